#include "platform/filestamp.h"

#include "platform/bytepath.h"
#include "platform/filepath.h"

#include <QByteArray>

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantora {

FileStamp FileStampFromStat(const struct stat &st)
{
    return FileStamp{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                     FileTime{qint64(st.st_mtim.tv_sec), qint32(st.st_mtim.tv_nsec)}};
}

std::optional<FileStamp> FileStampOf(const QString &path)
{
    struct stat st;
    if (::stat(pathToBytes(path).constData(), &st) != 0)
        return std::nullopt;
    return FileStampFromStat(st);
}

std::optional<FileStamp> RegularFileStampOf(const QString &path)
{
    struct stat st;
    if (::lstat(pathToBytes(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileStampFromStat(st);
}

std::optional<FileId> FileIdOf(const QString &path)
{
    struct stat st;
    if (::stat(pathToBytes(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

KeptCopy &KeptCopy::operator=(KeptCopy &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

KeptCopy::~KeptCopy()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

KeptCopy KeptCopy::open(const QString &path)
{
    return KeptCopy(::open(pathToBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
}

bool KeptCopy::isNamedBy(const QString &path) const
{
    struct stat held;
    struct stat named;
    if (m_fd < 0 || ::fstat(m_fd, &held) != 0 || ::lstat(pathToBytes(path).constData(), &named) != 0)
        return false;
    return S_ISREG(named.st_mode) && FileStampFromStat(held) == FileStampFromStat(named);
}

bool FolderListsName(const QString &path)
{
    const FilePath p(path);
    const QByteArray name = pathToBytes(p.name());
    DIR *dir = ::opendir(p.parent().bytes().constData());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent *entry = ::readdir(dir)) {
        if (name == entry->d_name) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool PathAnswers(const QString &path)
{
    struct stat st;
    return ::stat(pathToBytes(path).constData(), &st) == 0 || (errno != ENOTCONN && errno != ECONNABORTED);
}

bool PathExists(const QString &path)
{
    struct stat st;
    return ::lstat(pathToBytes(path).constData(), &st) == 0;
}

int RemoveFile(const QString &path)
{
    return ::unlink(pathToBytes(path).constData()) == 0 ? 0 : errno;
}

QString VolumeRootOf(const QString &path)
{
    FilePath p(path);
    if (!path.startsWith(u'/')) {
        char *cwd = ::getcwd(nullptr, 0);
        p = FilePath(pathFromBytes(cwd ? cwd : "/") + u'/' + path);
        ::free(cwd);
    }
    struct stat st;
    FilePath silent; // the highest folder of a mount whose filesystem stopped answering
    while (::stat(p.bytes().constData(), &st) != 0) {
        if (errno == ENOTCONN || errno == ECONNABORTED)
            silent = p;
        if (p.isRoot())
            return QStringLiteral("/");
        p = p.parent();
    }
    if (!silent.isEmpty())
        return silent.text();
    while (!p.isRoot()) {
        const FilePath up = p.parent();
        struct stat parent;
        if (::stat(up.bytes().constData(), &parent) != 0 || parent.st_dev != st.st_dev)
            break;
        p = up;
    }
    return p.text();
}

bool PassesThroughLink(const QString &root, const QString &path)
{
    if (!FilePath(path).isSameOrInside(FilePath(root)))
        return true;
    QByteArray base = pathToBytes(root);
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    const QByteArray full = pathToBytes(path);
    // Every folder from just below root down to the file itself.
    qsizetype at = base.size();
    for (;;) {
        at = full.indexOf('/', at + 1);
        const QByteArray part = at < 0 ? full : full.left(at);
        if (part.size() > base.size() && !part.endsWith('/')) {
            struct stat st;
            if (::lstat(part.constData(), &st) != 0 || S_ISLNK(st.st_mode))
                return true;
        }
        if (at < 0)
            return false;
    }
}

} // namespace vantora
