#include "metadata/quicktimedate.h"

#include "metadata/isobox.h"

#include <QTimeZone>

#include <cstring>

namespace vantora {

namespace {

constexpr qint64 SecondsFrom1904To1970 = 2082844800;
constexpr qint64 LastSecondOf9999 = 253402300799; // 9999-12-31 23:59:59 UTC, since 1970

} // namespace

bool QuickTimeBytes::readAt(qint64 offset, char *buffer, int count)
{
    if (offset < 0 || count < 0 || offset > m_bytes.size() || m_bytes.size() - offset < count)
        return false;
    std::memcpy(buffer, m_bytes.data() + offset, size_t(count));
    return true;
}

QDateTime ReadQuickTimeCreationTime(QuickTimeSource &source)
{
    const qint64 fileSize = source.size();
    if (fileSize < 8)
        return {};
    IsoBoxWalker walk(source, QuickTimeMaxBoxes);
    IsoBox moov;
    if (!walk.find(0, fileSize, "moov", moov))
        return {};
    IsoBox mvhd;
    if (!walk.find(moov.content, moov.end, "mvhd", mvhd))
        return {};
    char versionAndFlags[4];
    if (!walk.read(mvhd.content, versionAndFlags, 4, mvhd.end))
        return {};
    const int version = static_cast<unsigned char>(versionAndFlags[0]);
    quint64 seconds;
    char field[8];
    if (version == 0) {
        if (!walk.read(mvhd.content + 4, field, 4, mvhd.end))
            return {};
        seconds = IsoBe32(field);
    } else if (version == 1) {
        if (!walk.read(mvhd.content + 4, field, 8, mvhd.end))
            return {};
        seconds = IsoBe64(field);
    } else {
        return {};
    }
    if (seconds == 0) // never set
        return {};
    if (seconds > quint64(LastSecondOf9999 + SecondsFrom1904To1970))
        return {};
    return QDateTime::fromSecsSinceEpoch(qint64(seconds) - SecondsFrom1904To1970, QTimeZone::utc());
}

QDate ReadQuickTimeCreationDate(QuickTimeSource &source)
{
    const QDateTime utc = ReadQuickTimeCreationTime(source);
    return utc.isValid() ? utc.toLocalTime().date() : QDate();
}

bool LooksLikeQuickTime(QByteArrayView head)
{
    if (head.size() < 8)
        return false;
    const quint32 size = IsoBe32(head.data());
    if (size != 0 && size != 1 && size < 8)
        return false;
    const char *type = head.data() + 4;
    for (const auto &name : {"ftyp", "moov", "mdat", "wide", "free", "skip", "pnot"}) {
        if (std::memcmp(type, name, 4) == 0)
            return true;
    }
    return false;
}

} // namespace vantora
