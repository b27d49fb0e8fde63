#include "texifinfo.h"

#include "tkxwidefilestream.h"
#include "tstream.h"

#include <QtEndian>

#include <cstring>

namespace vantora {

namespace {

constexpr quint16 kLittleEndian = 0x4949;

quint8 readByte(TStream &stream)
{
    quint8 b;
    stream.ReadBuffer(&b, 1);
    return b;
}

// JPEG markers and lengths are big-endian whatever the Exif byte order.
quint16 readWordBigEndian(TStream &stream)
{
    uchar b[2];
    stream.ReadBuffer(b, 2);
    return qFromBigEndian<quint16>(b);
}

quint16 ReadWordOrdered(TStream &stream, quint16 order)
{
    uchar b[2];
    stream.ReadBuffer(b, 2);
    return order == kLittleEndian ? qFromLittleEndian<quint16>(b) : qFromBigEndian<quint16>(b);
}

quint32 ReadLongOrdered(TStream &stream, quint16 order)
{
    uchar b[4];
    stream.ReadBuffer(b, 4);
    return order == kLittleEndian ? qFromLittleEndian<quint32>(b) : qFromBigEndian<quint32>(b);
}

bool isStartOfFrame(quint16 marker)
{
    return (marker >= 0xFFC0 && marker <= 0xFFC3) || (marker >= 0xFFC5 && marker <= 0xFFC7) ||
           (marker >= 0xFFC9 && marker <= 0xFFCB) || (marker >= 0xFFCD && marker <= 0xFFCF);
}

// Every path out of a read step puts the stream back where it was.
class PositionKeeper final
{
public:
    explicit PositionKeeper(TStream &stream) : m_stream(stream), m_position(stream.Position()) {}
    ~PositionKeeper()
    {
        try {
            m_stream.SetPosition(m_position);
        } catch (const EStreamError &) {
        }
    }
    PositionKeeper(const PositionKeeper &) = delete;
    PositionKeeper &operator=(const PositionKeeper &) = delete;

private:
    TStream &m_stream;
    qint64 m_position;
};

class UpdateScope final
{
public:
    explicit UpdateScope(TEntryItems &items) : m_items(items) { m_items.BeginUpdate(); }
    ~UpdateScope() { m_items.EndUpdate(); }
    UpdateScope(const UpdateScope &) = delete;
    UpdateScope &operator=(const UpdateScope &) = delete;

private:
    TEntryItems &m_items;
};

} // namespace

EExifError::EExifError(int errCode)
    : Exception(QStringLiteral("TExifInfo: ") + TExifInfo::ErrorText(errCode)), m_errCode(errCode)
{
}

TExifInfo::TExifInfo(QObject *owner)
    : QObject(owner), m_entries(std::make_unique<TEntryItems>(this)),
      m_thumbnailEntries(std::make_unique<TEntryItems>(this)), m_rational(new TExifRational(this))
{
}

TExifInfo::~TExifInfo()
{
    m_destroying = true;
    delete m_rational;
}

QString TExifInfo::ErrorText(int errCode)
{
    switch (errCode) {
    case -1:
        return QStringLiteral("ファイルが見つかりません");
    case -2:
        return QStringLiteral("Exif、またはDCF形式ではありません");
    case -3:
        return QStringLiteral("ユーザコメントは不明な形式です");
    case -4:
        return QStringLiteral("ASCII文字以外は書き込みできません");
    case -5:
        return QStringLiteral("不正なストリーム");
    case -6:
        return QStringLiteral("不正なインデックス");
    case -7:
        return QStringLiteral("タグが見つかりません");
    case -8:
        return QStringLiteral("日時は不明です");
    default:
        return QStringLiteral("不明なエラーです");
    }
}

quint32 TExifInfo::LongValue(const TEntryItem &entry, int index)
{
    if (entry.FieldType() != eftLong || index < 0 || index > entry.ValueCount() - 1)
        return 0;
    return quint32(entry.IntegerValue(index));
}

quint32 TExifInfo::SubIfdOffset(const TEntryItems &items, quint16 tag, quint8 ifdIndex)
{
    const int i = items.IndexOfTag(tag, ifdIndex);
    return i < 0 ? 0 : LongValue(items.Items(i), 0);
}

void TExifInfo::RationalDestroyed(TExifRational *rational)
{
    if (!m_destroying && rational == m_rational)
        m_rational = new TExifRational(this);
}

void TExifInfo::DoUpdate()
{
    if (m_onUpdate && !m_destroying)
        m_onUpdate(this);
}

void TExifInfo::DoError(int errCode)
{
    bool allowError = true;
    if (m_onError)
        m_onError(this, errCode, allowError);
    if (allowError)
        throw EExifError(errCode);
}

void TExifInfo::SetImageFileName(const QString &name)
{
    m_imageFileName = name;
    if (name.isEmpty())
        return;
    m_entries->Clear();
    m_thumbnailEntries->Clear();
    if (!WideFileExists(name)) {
        m_imageHeight = 0;
        m_imageWidth = 0;
        DoUpdate();
        DoError(-1);
        return;
    }
    TKxWideFileStream stream(name, fmOpenRead | fmShareCompat);
    ReadStream(stream);
}

void TExifInfo::ReadStream(TStream &stream)
{
    m_entries->Clear();
    m_thumbnailEntries->Clear();
    ReadJpegSize(stream);
    m_exifOffset = FindExifSegment(stream);
    if (m_exifOffset == -1)
        DoError(-2);
    else if (!ReadExif(stream))
        DoError(-5);
}

void TExifInfo::ReadJpegSize(TStream &stream)
{
    m_imageHeight = 0;
    m_imageWidth = 0;
    PositionKeeper keep(stream);
    stream.SetPosition(0);
    if (readWordBigEndian(stream) != 0xFFD8)
        return;
    for (;;) {
        const quint16 marker = readWordBigEndian(stream);
        const quint16 length = readWordBigEndian(stream);
        if (isStartOfFrame(marker))
            break;
        // A length below 2 still moves on: the marker and length words were four bytes.
        stream.Seek(qint64(length) - 2, TSeekOrigin::soCurrent);
    }
    stream.Seek(1, TSeekOrigin::soCurrent);
    m_imageHeight = readWordBigEndian(stream);
    m_imageWidth = readWordBigEndian(stream);
}

qint64 TExifInfo::FindExifSegment(TStream &stream)
{
    PositionKeeper keep(stream);
    qint64 result = -1;
    try {
        if (readWordBigEndian(stream) != 0xFFD8)
            return -1;
        quint16 marker = readWordBigEndian(stream);
        if (marker >= 0xFFE0 && marker <= 0xFFEF) {
            // Segment walk: the first APP1 that carries "Exif\0\0"; XMP and other APP1 blocks are passed.
            while ((marker >> 8) == 0xFF) {
                const quint16 length = readWordBigEndian(stream);
                const qint64 body = stream.Position();
                if (marker == 0xFFE1 && length >= 8) {
                    char id[6];
                    stream.ReadBuffer(id, 6);
                    if (std::memcmp(id, "Exif\0\0", 6) == 0) {
                        result = body - 4;
                        break;
                    }
                }
                stream.SetPosition(body + qint64(length) - 2);
                marker = readWordBigEndian(stream);
            }
        } else {
            qint64 examined = 0;
            do {
                const quint8 b = readByte(stream);
                ++examined;
                if (b == 0xFF) {
                    if (readByte(stream) == 0xE1) {
                        result = stream.Position() - 2;
                        break;
                    }
                    stream.Seek(-1, TSeekOrigin::soCurrent);
                }
            } while (examined <= m_searchBytes);
        }
    } catch (const EStreamError &) {
    }
    return result;
}

bool TExifInfo::ReadExif(TStream &stream)
{
    try {
        m_budget = stream.Size();
        m_directories.clear();
        stream.SetPosition(m_exifOffset + 2);
        // Pass the length and the identifier: stop on the first non-zero byte after two zero bytes.
        int zeros = 0;
        quint8 b;
        do {
            b = readByte(stream);
            if (b == 0)
                ++zeros;
        } while (zeros < 2 || b == 0);
        stream.Seek(-1, TSeekOrigin::soCurrent);

        m_tiffOffset = stream.Position();
        m_entries->SetTiffOffset(m_tiffOffset);
        m_thumbnailEntries->SetTiffOffset(m_tiffOffset);
        uchar order[2];
        stream.ReadBuffer(order, 2);
        m_byteOrder = qFromLittleEndian<quint16>(order);
        stream.Seek(2, TSeekOrigin::soCurrent);
        const quint32 ifd0 = ReadLongOrdered(stream, m_byteOrder);

        stream.SetPosition(m_tiffOffset + ifd0);
        quint32 ifd1 = 0;
        {
            UpdateScope update(*m_entries);
            ifd1 = ReadIfd(stream, *m_entries, 0);
            ReadSubIfd(stream, *m_entries, ExifIfdTag, 0, 1);
            ReadSubIfd(stream, *m_entries, GpsIfdTag, 0, 2);
            ReadSubIfd(stream, *m_entries, InteropIfdTag, 1, 3);
        }
        if (ifd1 != 0) {
            UpdateScope update(*m_thumbnailEntries);
            stream.SetPosition(m_tiffOffset + ifd1);
            ReadIfd(stream, *m_thumbnailEntries, 0);
            ReadSubIfd(stream, *m_thumbnailEntries, ExifIfdTag, 0, 1);
            ReadSubIfd(stream, *m_thumbnailEntries, InteropIfdTag, 1, 3);
        }
    } catch (...) {
        return false;
    }
    DoUpdate();
    return true;
}

void TExifInfo::ReadSubIfd(TStream &stream, TEntryItems &items, quint16 tag, quint8 lookupIfd,
                           quint8 ifdIndex)
{
    const quint32 offset = SubIfdOffset(items, tag, lookupIfd);
    if (offset == 0)
        return;
    stream.SetPosition(m_tiffOffset + offset);
    ReadIfd(stream, items, ifdIndex);
}

quint32 TExifInfo::ReadIfd(TStream &stream, TEntryItems &items, quint8 ifdIndex)
{
    const qint64 start = stream.Position();
    // A directory read twice in one read is a loop in the block, not data.
    if (m_directories.contains(start))
        throw EReadError(StreamReadErrorText());
    m_directories.insert(start);
    const quint16 count = ReadWordOrdered(stream, m_byteOrder);
    for (int i = 0; i < count; ++i) {
        m_budget -= 12;
        if (m_budget < 0)
            throw EReadError(StreamReadErrorText());
        TEntryItem &item = items.Add();
        item.SetIfdIndex(ifdIndex);
        try {
            item.ReadEntry(stream, &m_budget);
        } catch (...) {
            // only whole entries stay
            items.Delete(items.Count() - 1);
            throw;
        }
    }
    return ReadLongOrdered(stream, m_byteOrder);
}

} // namespace vantora
