#include "platform/pathops.h"

#include "platform/bytepath.h"

#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace vantora {

FileStatus statPath(const QString &path, bool followLinks)
{
    FileStatus s;
    struct stat st;
    const QByteArray native = pathToBytes(path);
    if (path.isEmpty() ||
        (followLinks ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) != 0) {
        s.error = path.isEmpty() ? ENOENT : errno;
        return s;
    }
    s.kind = S_ISDIR(st.st_mode)   ? EntryKind::Folder
             : S_ISREG(st.st_mode) ? EntryKind::File
             : S_ISLNK(st.st_mode) ? EntryKind::Link
                                   : EntryKind::Other;
    s.device = quint64(st.st_dev);
    s.inode = quint64(st.st_ino);
    s.size = qint64(st.st_size);
    return s;
}

bool isFolderPath(const QString &path)
{
    return statPath(path).kind == EntryKind::Folder;
}

bool isRegularFilePath(const QString &path)
{
    return statPath(path).kind == EntryKind::File;
}

bool isExecutableFilePath(const QString &path)
{
    return isRegularFilePath(path) && ::access(pathToBytes(path).constData(), X_OK) == 0;
}

QString canonicalPath(const QString &path)
{
    if (path.isEmpty())
        return QString();
    char *resolved = ::realpath(pathToBytes(path).constData(), nullptr);
    if (!resolved)
        return QString();
    const QString out = pathFromBytes(resolved);
    std::free(resolved);
    return out;
}

QString absolutePath(const QString &path)
{
    if (path.startsWith(u'/'))
        return path;
    char *cwd = ::getcwd(nullptr, 0);
    if (!cwd)
        return path;
    QString out = pathFromBytes(cwd);
    std::free(cwd);
    if (!out.endsWith(u'/'))
        out += u'/';
    return out + path;
}

int makeFolder(const QString &path)
{
    if (path.isEmpty())
        return ENOENT;
    return ::mkdir(pathToBytes(path).constData(), 0777) == 0 ? 0 : errno;
}

int makeFolderPath(const QString &path)
{
    if (path.isEmpty())
        return ENOENT;
    const QByteArray native = pathToBytes(path);
    // Each "/" ends a parent; the bytes are cut there, so no name is ever re-encoded.
    for (qsizetype i = 1; i <= native.size(); ++i) {
        if (i < native.size() && native.at(i) != '/')
            continue;
        if (native.at(i - 1) == '/')
            continue;
        const QByteArray part = native.left(i);
        if (::mkdir(part.constData(), 0777) == 0 || errno == EEXIST)
            continue;
        const int error = errno;
        struct stat st;
        // A parent that cannot be created may exist already where mkdir may not look (EACCES above it).
        if (::stat(part.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            return error;
    }
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int removeFolder(const QString &path)
{
    if (path.isEmpty())
        return ENOENT;
    return ::rmdir(pathToBytes(path).constData()) == 0 ? 0 : errno;
}

QString descriptorPath(int fd)
{
    return QStringLiteral("/proc/%1/fd/%2").arg(qint64(::getpid())).arg(fd);
}

} // namespace vantora
