// Feeds arbitrary bytes to the Exif reader as if they were a JPEG file.
#include "metadata/texifinfo.h"
#include "metadata/tmemorystream.h"

#include <cstddef>
#include <cstdint>

using namespace vantora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TMemoryStream stream(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    TExifInfo info;
    info.SetOnError([](TExifInfo *, int, bool &allowError) { allowError = false; });
    try {
        info.ReadStream(stream);
    } catch (const EReadError &) {
        // a file that ends before its start-of-frame
    }
    // Touch every value the read kept, and copy the collections as a caller might.
    double sink = 0;
    for (const TEntryItems *items : {&info.Entries(), &info.ThumbnailEntries()}) {
        for (int i = 0; i < items->Count(); ++i) {
            const TEntryItem &e = items->Items(i);
            for (int v = 0; v < e.ValueCount(); ++v)
                sink += e.RealValue(v) + double(e.IntegerValue(v)) + double(e.RationalValue(v).Numerator);
            sink += e.BytesValue().size();
        }
        TEntryItems copy;
        copy.Assign(*items);
        if (copy.Count() > 0)
            copy.Items(0).DeleteValue(0);
    }
    return sink == -1.0 ? 1 : 0;
}
