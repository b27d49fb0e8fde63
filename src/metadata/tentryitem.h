#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace vantora {

class TEntryItems;
class TStream;

// TIFF field types.
enum TExifFieldType : quint8
{
    eftByte = 1,
    eftAscii = 2,
    eftShort = 3,
    eftLong = 4,
    eftRational = 5,
    eftSByte = 6,
    eftUndefined = 7,
    eftSShort = 8,
    eftSLong = 9,
    eftSRational = 10,
    eftFloat = 11,
    eftDouble = 12,
};

// Bytes per component of a field type; 0 for a type outside 1-12.
int ExifTypeSize(quint8 fieldType);

struct TExifRationalValue
{
    qint64 Numerator = 0;
    qint64 Denominator = 0;
    bool operator==(const TExifRationalValue &) const = default;
};

// One directory entry and its decoded values. Numbers are kept in host order, one block per component;
// ASCII and UNDEFINED data are one byte block (ValueCount 1; an empty ASCII has none). Entries of a type
// outside 1-12 keep their tag, type and count and hold no values.
class TEntryItem final
{
public:
    explicit TEntryItem(TEntryItems *collection = nullptr);
    // Copies carry everything but the collection link.
    TEntryItem(const TEntryItem &other);
    TEntryItem &operator=(const TEntryItem &other);
    ~TEntryItem();

    void Assign(const TEntryItem &source);
    TEntryItems *Collection() const { return m_collection; }

    qint32 ValueCount() const { return m_valueCount; }
    quint32 Count() const { return m_count; }
    quint8 FieldType() const { return m_fieldType; }
    quint8 IfdIndex() const { return m_ifdIndex; }
    quint32 ValueOffset() const { return m_valueOffset; }
    quint16 Tag() const { return m_tag; }
    void SetIfdIndex(quint8 ifdIndex) { m_ifdIndex = ifdIndex; }

    // Two free 32-bit fields that copies carry over; reading never sets them.
    qint32 Data1() const { return m_data1; }
    qint32 Data2() const { return m_data2; }
    void SetData1(qint32 value) { m_data1 = value; }
    void SetData2(qint32 value) { m_data2 = value; }

    // Value accessors; an index outside 0..ValueCount-1 or a type that does not fit answers 0 / empty.
    // BYTE, SHORT, LONG as unsigned, SBYTE, SSHORT, SLONG as signed.
    qint64 IntegerValue(int index) const;
    TExifRationalValue RationalValue(int index) const;
    // FLOAT and DOUBLE; integers and rationals converted (a zero denominator gives 0).
    double RealValue(int index) const;
    // The bytes of an ASCII or UNDEFINED value.
    QByteArray BytesValue() const;
    // The host-order value blocks, back to back.
    const QByteArray &ValueData() const { return m_values; }

    void DeleteValue(int index);
    void ClearValues();

    // Reads Count values of FieldType at the stream's position in the byte order of the collection's
    // component (little-endian without one). The byte count is checked against the stream's size before
    // anything is allocated; a short stream raises EReadError.
    void ReadValue(TStream &stream);
    // Reads the 12-byte directory entry at the stream's position and its values, inline or at the
    // collection's TiffOffset plus the offset; leaves the stream right after the entry. When budget is
    // given, the bytes of out-of-line values are taken from it first and EReadError is raised when
    // they do not fit.
    void ReadEntry(TStream &stream, qint64 *budget = nullptr);

private:
    friend class TEntryItems;
    quint16 ByteOrder() const;
    qint64 TiffOffset() const;
    int BlockSize() const;

    TEntryItems *m_collection = nullptr;
    qint32 m_valueCount = 0;
    QByteArray m_values;
    quint32 m_count = 0;
    quint8 m_fieldType = 0;
    quint8 m_ifdIndex = 0;
    quint32 m_valueOffset = 0;
    quint16 m_tag = 0;
    qint32 m_data1 = 0;
    qint32 m_data2 = 0;
};

} // namespace vantora
