#pragma once

#include <QImage>
#include <QString>

namespace vantora {

// What a file is for its thumbnail, told by its name: the grid shows an icon of the kind when it has no
// picture.
enum class ThumbnailKind
{
    Image,
    Video,
    Audio,
    Other,
};

ThumbnailKind ThumbnailKindOf(const QString &path);

// The long side a thumbnail needs at least: the smallest embedded preview that reaches it is taken, and a
// decoded picture is scaled down to fit a square of this side.
inline constexpr int ThumbnailSide = 160;

// The picture for one file: the smallest embedded preview (through exiv2) whose long side is at least
// ThumbnailSide, else the image decoded scaled down, else a null image. Every read is bounded: exiv2 sees
// a JPEG's metadata segments or a raw file's first bytes only, and a picture is decoded only when its
// format is known from its first bytes and its size is sane. Meant for the helper process: a decoder may
// still crash or hang on a hostile file.
QImage MakeThumbnail(const QString &path);

} // namespace vantora
