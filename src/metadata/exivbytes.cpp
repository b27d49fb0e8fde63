#include "metadata/exivbytes.h"

#include <exiv2/exiv2.hpp>

#include <mutex>

namespace vantora {

// exiv2 0.27 hands its readers their input as std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

bool ReadExivMetadata(ExivReader reader, const QByteArray &bytes,
                      const std::function<void(Exiv2::Image &)> &use)
{
    if (bytes.isEmpty())
        return false;
    static std::once_flag once;
    std::call_once(once, [] { Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute); });
    // exiv2 keeps every namespace an XMP packet brings in a registry of its own until it is told to forget
    // them: without this a card of files with made-up namespaces would grow it without end.
    struct ForgetNamespaces
    {
        ~ForgetNamespaces() { Exiv2::XmpProperties::unregisterNs(); }
    } forget;
    try {
        Exiv2::BasicIo::AutoPtr io(
            new Exiv2::MemIo(reinterpret_cast<const Exiv2::byte *>(bytes.constData()), long(bytes.size())));
        Exiv2::Image::AutoPtr image;
        switch (reader) {
        case ExivReader::Jpeg:
            image.reset(new Exiv2::JpegImage(io, false));
            break;
        case ExivReader::Tiff:
            image.reset(new Exiv2::TiffImage(io, false));
            break;
        case ExivReader::Cr2:
            image.reset(new Exiv2::Cr2Image(io, false));
            break;
        case ExivReader::Orf:
            image.reset(new Exiv2::OrfImage(io, false));
            break;
        case ExivReader::Rw2:
            image.reset(new Exiv2::Rw2Image(io));
            break;
        case ExivReader::Crw:
            image.reset(new Exiv2::CrwImage(io, false));
            break;
        case ExivReader::Mrw:
            image.reset(new Exiv2::MrwImage(io, false));
            break;
        }
        image->readMetadata();
        use(*image);
        return true;
    } catch (...) {
        return false;
    }
}

#pragma GCC diagnostic pop

} // namespace vantora
