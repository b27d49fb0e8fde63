#pragma once

#include "exception.h"
#include "tentryitems.h"
#include "texifrational.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringView>

#include <array>
#include <functional>
#include <memory>

namespace vantora {

class TStream;
class TExifInfo;

// The reader's error; its message is "TExifInfo: " and the text of the code.
class EExifError final : public Exception
{
public:
    explicit EExifError(int errCode);
    int ErrCode() const { return m_errCode; }

private:
    int m_errCode;
};

// Called before an error is raised; clearing allowError suppresses it and the read just ends.
using TExifReadErrorEvent = std::function<void(TExifInfo *sender, int errCode, bool &allowError)>;
using TNotifyEvent = std::function<void(TExifInfo *sender)>;

// Names of the colour components of the components-configuration tag, by value.
inline constexpr std::array<QStringView, 7> ComponentNames = {u"", u"Y", u"Cb", u"Cr", u"R", u"G", u"B"};

// Reads the Exif block of a JPEG file: setting ImageFileName performs the whole read into Entries (IFD0
// and its Exif, GPS and interoperability directories) and ThumbnailEntries (IFD1 and its directories),
// and takes the image size from the start-of-frame segment.
//
// Errors: -1 missing file (after OnUpdate), -2 no Exif segment, -5 a damaged block (the entries read
// before the damage stay). A file that ends before its start-of-frame raises the stream's EReadError
// and a file that cannot be opened EFOpenError; neither goes through OnError. Damaged files never make
// the reader read outside the file, allocate more than the file holds, or loop: value data must lie in
// the file, all values of one read together may not exceed the file's size, and a directory is read
// at most once per read.
class TExifInfo final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TExifInfo)
    Q_PROPERTY(QString ImageFileName READ ImageFileName WRITE SetImageFileName)
    Q_PROPERTY(int SearchBytes READ SearchBytes WRITE SetSearchBytes)

public:
    static constexpr quint16 ExifIfdTag = 0x8769;
    static constexpr quint16 GpsIfdTag = 0x8825;
    static constexpr quint16 InteropIfdTag = 0xA005;

    explicit TExifInfo(QObject *owner = nullptr);
    ~TExifInfo() override;

    QString ImageFileName() const { return m_imageFileName; }
    // The read. An empty name changes nothing, the entries of an earlier read stay.
    void SetImageFileName(const QString &name);
    qint32 SearchBytes() const { return m_searchBytes; }
    // A negative value is stored as 0.
    void SetSearchBytes(qint32 value) { m_searchBytes = value < 0 ? 0 : value; }

    TExifReadErrorEvent OnError() const { return m_onError; }
    void SetOnError(TExifReadErrorEvent handler) { m_onError = std::move(handler); }
    TNotifyEvent OnUpdate() const { return m_onUpdate; }
    void SetOnUpdate(TNotifyEvent handler) { m_onUpdate = std::move(handler); }

    qint64 ExifOffset() const { return m_exifOffset; }
    // The two byte-order bytes as one little-endian word: "II" 0x4949, "MM" 0x4D4D.
    quint16 ByteOrder() const { return m_byteOrder; }
    qint64 TiffOffset() const { return m_tiffOffset; }
    qint32 ImageHeight() const { return m_imageHeight; }
    qint32 ImageWidth() const { return m_imageWidth; }
    TEntryItems &Entries() { return *m_entries; }
    const TEntryItems &Entries() const { return *m_entries; }
    TEntryItems &ThumbnailEntries() { return *m_thumbnailEntries; }
    const TEntryItems &ThumbnailEntries() const { return *m_thumbnailEntries; }
    TExifRational *Rational() const { return m_rational; }

    static QString ErrorText(int errCode);
    // The value at index of a LONG entry, otherwise 0.
    static quint32 LongValue(const TEntryItem &entry, int index);
    // LongValue(…, 0) of the first entry with the tag in that directory; 0 when it is missing.
    static quint32 SubIfdOffset(const TEntryItems &items, quint16 tag, quint8 ifdIndex);

    void RationalDestroyed(TExifRational *rational);
    void DoUpdate();
    void DoError(int errCode);

    // The read of an open stream, what ImageFileName does once the file is open: size, segment, Exif.
    void ReadStream(TStream &stream);
    // The steps of the read, each keeping the stream's position.
    void ReadJpegSize(TStream &stream);
    qint64 FindExifSegment(TStream &stream);
    // Parses the block at ExifOffset; false on any failure, keeping the entries read so far.
    bool ReadExif(TStream &stream);

private:
    quint32 ReadIfd(TStream &stream, TEntryItems &items, quint8 ifdIndex);
    void ReadSubIfd(TStream &stream, TEntryItems &items, quint16 tag, quint8 lookupIfd, quint8 ifdIndex);

    QString m_imageFileName;
    qint32 m_searchBytes = 16;
    TExifReadErrorEvent m_onError;
    TNotifyEvent m_onUpdate;
    qint64 m_exifOffset = -1;
    quint16 m_byteOrder = 0;
    qint64 m_tiffOffset = 0;
    qint32 m_imageHeight = 0;
    qint32 m_imageWidth = 0;
    std::unique_ptr<TEntryItems> m_entries;
    std::unique_ptr<TEntryItems> m_thumbnailEntries;
    TExifRational *m_rational = nullptr;
    bool m_destroying = false;
    // Per read: bytes the entries may still take, and the directories already read.
    qint64 m_budget = 0;
    QSet<qint64> m_directories;
};

} // namespace vantora
