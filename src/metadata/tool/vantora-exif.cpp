// Prints what the Exif reader finds in each file: the image size, then one line per entry.
#include "metadata/texifinfo.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

using namespace vantora;

namespace {

constexpr int kMaxValues = 64;

QByteArray asciiText(const QByteArray &bytes)
{
    QByteArray text = bytes;
    while (text.endsWith('\0'))
        text.chop(1);
    QByteArray out;
    for (const char c : text) {
        const auto u = uchar(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (u < 0x20 || u == 0x7F)
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

QByteArray valuesText(const TEntryItem &entry)
{
    QByteArrayList parts;
    switch (entry.FieldType()) {
    case eftAscii:
        return asciiText(entry.BytesValue());
    case eftUndefined: {
        const QByteArray bytes = entry.BytesValue();
        for (int i = 0; i < bytes.size() && i < kMaxValues; ++i)
            parts += QByteArray::number(uchar(bytes[i]), 16).rightJustified(2, '0');
        if (bytes.size() > kMaxValues)
            parts += "...";
        return parts.join(' ');
    }
    default:
        break;
    }
    const int n = std::min(entry.ValueCount(), kMaxValues);
    for (int i = 0; i < n; ++i) {
        switch (entry.FieldType()) {
        case eftRational:
        case eftSRational: {
            const TExifRationalValue r = entry.RationalValue(i);
            parts += QByteArray::number(r.Numerator) + '/' + QByteArray::number(r.Denominator);
            break;
        }
        case eftFloat:
            parts += QByteArray::number(entry.RealValue(i), 'g', 9);
            break;
        case eftDouble:
            parts += QByteArray::number(entry.RealValue(i), 'g', 17);
            break;
        default:
            parts += QByteArray::number(entry.IntegerValue(i));
            break;
        }
    }
    if (entry.ValueCount() > kMaxValues)
        parts += "...";
    return parts.join(' ');
}

void printEntries(const char *name, const TEntryItems &items)
{
    for (int i = 0; i < items.Count(); ++i) {
        const TEntryItem &e = items[i];
        const QByteArray line = QByteArray(name) + '\t' + QByteArray::number(e.IfdIndex()) + '\t' + "0x" +
                                QByteArray::number(e.Tag(), 16).rightJustified(4, '0') + '\t' +
                                QByteArray::number(e.FieldType()) + '\t' + QByteArray::number(e.Count()) +
                                '\t' + valuesText(e) + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList files = app.arguments().mid(1);
    if (files.isEmpty()) {
        std::fputs("usage: vantora-exif FILE...\n", stderr);
        return 2;
    }
    int status = 0;
    for (const QString &file : files) {
        TExifInfo info;
        try {
            info.SetImageFileName(file);
        } catch (const Exception &e) {
            std::fprintf(stderr, "%s: %s\n", file.toLocal8Bit().constData(),
                         e.Message().toUtf8().constData());
            status = 1;
            continue;
        }
        const QByteArray size = "size\t" + QByteArray::number(info.ImageWidth()) + '\t' +
                                QByteArray::number(info.ImageHeight()) + '\n';
        std::fwrite(size.constData(), 1, size_t(size.size()), stdout);
        printEntries("main", info.Entries());
        printEntries("thumbnail", info.ThumbnailEntries());
    }
    return status;
}
