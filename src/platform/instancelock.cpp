#include "platform/instancelock.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vantora {

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString InstanceLock::runtimeDirectory()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(QString::fromLocal8Bit(runtime)).exists())
        return QString::fromLocal8Bit(runtime);
    return QDir::tempPath();
}

QString InstanceLock::userScopedName(const QString &name)
{
    return runtimeDirectory() + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(::getuid());
}

bool InstanceLock::tryAcquire(const QString &name)
{
    if (m_fd >= 0)
        return true;
    const QByteArray path = QFile::encodeName(userScopedName(name) + QLatin1String(".lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // no marker can be made: start normally, as a failed mutex would
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

} // namespace vantora
