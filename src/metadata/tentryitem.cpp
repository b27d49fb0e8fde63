#include "tentryitem.h"

#include "exception.h"
#include "tentryitems.h"
#include "texifinfo.h"
#include "tstream.h"

#include <QtEndian>

#include <cstring>

namespace vantora {

namespace {

constexpr quint16 kUserCommentTag = 0x9286;
constexpr quint16 kLittleEndian = 0x4949;

template <typename T> T load(const char *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T> void store(char *p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

quint16 orderedWord(const char *p, bool little)
{
    return little ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
}

quint32 orderedLong(const char *p, bool little)
{
    return little ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p);
}

quint64 orderedQuad(const char *p, bool little)
{
    return little ? qFromLittleEndian<quint64>(p) : qFromBigEndian<quint64>(p);
}

} // namespace

int ExifTypeSize(quint8 fieldType)
{
    static constexpr int sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    return fieldType < std::size(sizes) ? sizes[fieldType] : 0;
}

TEntryItem::TEntryItem(TEntryItems *collection) : m_collection(collection)
{
}

TEntryItem::TEntryItem(const TEntryItem &other)
{
    Assign(other);
}

TEntryItem &TEntryItem::operator=(const TEntryItem &other)
{
    if (this != &other)
        Assign(other);
    return *this;
}

TEntryItem::~TEntryItem()
{
    ClearValues();
}

void TEntryItem::Assign(const TEntryItem &source)
{
    ClearValues();
    m_values = source.m_values;
    m_valueCount = source.m_valueCount;
    m_count = source.m_count;
    m_fieldType = source.m_fieldType;
    m_ifdIndex = source.m_ifdIndex;
    m_valueOffset = source.m_valueOffset;
    m_tag = source.m_tag;
    m_data1 = source.m_data1;
    m_data2 = source.m_data2;
}

quint16 TEntryItem::ByteOrder() const
{
    const TExifInfo *owner = m_collection ? m_collection->Owner() : nullptr;
    return owner ? owner->ByteOrder() : kLittleEndian;
}

qint64 TEntryItem::TiffOffset() const
{
    return m_collection ? m_collection->TiffOffset() : 0;
}

int TEntryItem::BlockSize() const
{
    if (m_fieldType == eftAscii || m_fieldType == eftUndefined)
        return 0;
    return ExifTypeSize(m_fieldType);
}

qint64 TEntryItem::IntegerValue(int index) const
{
    const int size = BlockSize();
    if (size == 0 || index < 0 || index >= m_valueCount)
        return 0;
    const char *p = m_values.constData() + qint64(index) * size;
    switch (m_fieldType) {
    case eftByte:
        return load<quint8>(p);
    case eftSByte:
        return load<qint8>(p);
    case eftShort:
        return load<quint16>(p);
    case eftSShort:
        return load<qint16>(p);
    case eftLong:
        return load<quint32>(p);
    case eftSLong:
        return load<qint32>(p);
    default:
        return 0;
    }
}

TExifRationalValue TEntryItem::RationalValue(int index) const
{
    if ((m_fieldType != eftRational && m_fieldType != eftSRational) || index < 0 || index >= m_valueCount)
        return {};
    const char *p = m_values.constData() + qint64(index) * 8;
    if (m_fieldType == eftRational)
        return {load<quint32>(p), load<quint32>(p + 4)};
    return {load<qint32>(p), load<qint32>(p + 4)};
}

double TEntryItem::RealValue(int index) const
{
    if (BlockSize() == 0 || index < 0 || index >= m_valueCount)
        return 0;
    const char *p = m_values.constData() + qint64(index) * BlockSize();
    switch (m_fieldType) {
    case eftFloat:
        return load<float>(p);
    case eftDouble:
        return load<double>(p);
    case eftRational:
    case eftSRational: {
        const TExifRationalValue r = RationalValue(index);
        return r.Denominator == 0 ? 0.0 : double(r.Numerator) / double(r.Denominator);
    }
    default:
        return double(IntegerValue(index));
    }
}

QByteArray TEntryItem::BytesValue() const
{
    if ((m_fieldType != eftAscii && m_fieldType != eftUndefined) || m_valueCount == 0)
        return QByteArray();
    return m_values;
}

void TEntryItem::DeleteValue(int index)
{
    if (index < 0 || index >= m_valueCount)
        return;
    const int size = BlockSize();
    if (size == 0)
        m_values.clear();
    else
        m_values.remove(qsizetype(index) * size, size);
    m_valueCount -= 1;
}

void TEntryItem::ClearValues()
{
    for (int i = m_valueCount - 1; i >= 0; --i)
        DeleteValue(i);
    m_values.clear();
}

void TEntryItem::ReadValue(TStream &stream)
{
    ClearValues();
    const bool little = ByteOrder() == kLittleEndian;
    if (m_tag == kUserCommentTag && m_fieldType == eftAscii && m_ifdIndex == 1)
        m_fieldType = eftUndefined;
    const int typeSize = ExifTypeSize(m_fieldType);
    if (typeSize == 0)
        return;
    const QByteArray raw = stream.ReadBytes(qint64(typeSize) * m_count);
    if (m_fieldType == eftAscii || m_fieldType == eftUndefined) {
        m_values = raw;
        m_valueCount = (m_fieldType == eftAscii && m_count == 0) ? 0 : 1;
        return;
    }
    QByteArray values(raw.size(), Qt::Uninitialized);
    const char *in = raw.constData();
    char *out = values.data();
    const qsizetype n = raw.size();
    switch (typeSize) {
    case 1:
        values = raw;
        break;
    case 2:
        for (qsizetype i = 0; i < n; i += 2)
            store(out + i, orderedWord(in + i, little));
        break;
    case 4:
        // LONG, SLONG, FLOAT and both halves of the rationals
        for (qsizetype i = 0; i < n; i += 4)
            store(out + i, orderedLong(in + i, little));
        break;
    case 8:
        if (m_fieldType == eftDouble) {
            for (qsizetype i = 0; i < n; i += 8)
                store(out + i, orderedQuad(in + i, little));
        } else {
            for (qsizetype i = 0; i < n; i += 4)
                store(out + i, orderedLong(in + i, little));
        }
        break;
    }
    m_values = values;
    m_valueCount = qint32(m_count);
}

void TEntryItem::ReadEntry(TStream &stream, qint64 *budget)
{
    const bool little = ByteOrder() == kLittleEndian;
    char entry[8];
    stream.ReadBuffer(entry, 8);
    m_tag = orderedWord(entry, little);
    m_fieldType = quint8(orderedWord(entry + 2, little) & 0xFF);
    m_count = orderedLong(entry + 4, little);
    // 64-bit: a count near 4 billion must not wrap into a small inline value
    const qint64 size = qint64(ExifTypeSize(m_fieldType)) * m_count;
    if (size > 4) {
        const qint64 position = stream.Position();
        char offset[4];
        stream.ReadBuffer(offset, 4);
        m_valueOffset = orderedLong(offset, little);
        if (budget) {
            if (size > *budget)
                throw EReadError(StreamReadErrorText());
            *budget -= size;
        }
        stream.SetPosition(TiffOffset() + m_valueOffset);
        ReadValue(stream);
        stream.SetPosition(position + 4);
    } else {
        m_valueOffset = 0;
        ReadValue(stream);
        stream.Seek(4 - size, TSeekOrigin::soCurrent);
    }
}

} // namespace vantora
