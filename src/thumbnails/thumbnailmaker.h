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

// The long side a preview needs at least to be taken: the smallest embedded preview that reaches it is.
inline constexpr int ThumbnailSide = 160;

struct Thumbnail
{
    QImage image;     // fits a square of the side asked for; null when the file has no picture
    QSize sourceSize; // the size of the preview or picture it was made from
};

// The picture for one file: the smallest embedded preview (through exiv2) whose long side is at least
// ThumbnailSide, else the image itself, decoded scaled down to fit a square of `side` (the decoders
// then skip most of the work). Every read is bounded: exiv2 sees a JPEG's metadata segments or a raw
// file's first bytes only, and a picture is decoded only when its format is known from its first bytes
// and its size is sane. Meant for the helper process: a decoder may still crash or hang on a hostile file.
Thumbnail MakeThumbnail(const QString &path, int side = ThumbnailSide);

// Loads what the first thumbnail would otherwise wait for (the image plugins, exiv2's tables), so that a
// helper started ahead of its work answers its first file as quickly as the others.
void PrepareThumbnails();

} // namespace vantora
