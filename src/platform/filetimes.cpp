#include "platform/filetimes.h"

#include "platform/bytepath.h"

#include <limits>

#include <sys/stat.h>

namespace vantora {

QDateTime fileLastModified(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QByteArray native = pathToBytes(path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        return {};
    const qint64 ms = qint64(st.st_mtim.tv_sec) * 1000 + qint64(st.st_mtim.tv_nsec) / 1000000;
    return QDateTime::fromMSecsSinceEpoch(ms); // local time
}

qint64 FileTime::ns() const
{
    constexpr FileTime Max = fromNs(std::numeric_limits<qint64>::max());
    constexpr FileTime Min = fromNs(std::numeric_limits<qint64>::min());
    if (*this >= Max)
        return std::numeric_limits<qint64>::max();
    if (*this <= Min)
        return std::numeric_limits<qint64>::min();
    // Negative seconds are taken one short, so that the product stays within a qint64.
    return sec < 0 ? (sec + 1) * qint64(1'000'000'000) + (nsec - qint64(1'000'000'000))
                   : sec * qint64(1'000'000'000) + nsec;
}

} // namespace vantora
