#include "platform/filetimes.h"

#include "platform/bytepath.h"

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

} // namespace vantora
