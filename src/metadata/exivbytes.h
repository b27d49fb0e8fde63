#pragma once

#include <QByteArray>

#include <functional>

namespace Exiv2 {
class Image;
}

namespace vantora {

// The exiv2 readers handed bytes in memory: each reads only within what it is given.
enum class ExivReader
{
    Jpeg,
    Tiff,
    Cr2,
    Orf,
    Rw2,
    Crw,
    Mrw,
};

// Reads the metadata of bytes in memory with exiv2's reader of exactly this kind, so that no other reader
// of exiv2 (chosen by its own guess at the type) ever sees them, and hands the image to `use`. False when
// exiv2 could not read them (or `use` threw). exiv2's own log is muted.
bool ReadExivMetadata(ExivReader reader, const QByteArray &bytes,
                      const std::function<void(Exiv2::Image &)> &use);

} // namespace vantora
