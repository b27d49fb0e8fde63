#include "platform/directoryreader.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantora {

namespace {

DIR *stream(void *p)
{
    return static_cast<DIR *>(p);
}

bool isDotOrDotDot(const char *n)
{
    return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0));
}

EntryKind kindOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    return EntryKind::Other;
}

EntryKind kindOfType(unsigned char type)
{
    switch (type) {
    case DT_DIR:
        return EntryKind::Folder;
    case DT_REG:
        return EntryKind::File;
    case DT_LNK:
        return EntryKind::Link;
    case DT_UNKNOWN:
        return EntryKind::Unknown;
    default:
        return EntryKind::Other;
    }
}

FileStatus statusOf(int rc, const struct stat &st)
{
    FileStatus s;
    if (rc != 0) {
        s.error = errno;
        return s;
    }
    s.kind = kindOfMode(st.st_mode);
    s.device = quint64(st.st_dev);
    s.inode = quint64(st.st_ino);
    s.size = qint64(st.st_size);
    s.mtime = FileTime{qint64(st.st_mtim.tv_sec), qint32(st.st_mtim.tv_nsec)};
    return s;
}

} // namespace

DirectoryReader::DirectoryReader(const QString &path)
{
    if (path.isEmpty()) {
        m_error = ENOENT;
        return;
    }
    const int fd = ::open(pathToBytes(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_error = errno;
        return;
    }
    *this = DirectoryReader(fd);
}

DirectoryReader::DirectoryReader(int fd)
{
    m_stream = fdopendir(fd);
    if (!m_stream) {
        m_error = errno;
        ::close(fd);
        return;
    }
    m_fd = fd;
}

DirectoryReader::~DirectoryReader()
{
    close();
}

void DirectoryReader::close()
{
    if (m_stream)
        closedir(stream(m_stream));
    m_stream = nullptr;
    m_fd = -1;
}

DirectoryReader::DirectoryReader(DirectoryReader &&other) noexcept
{
    *this = std::move(other);
}

DirectoryReader &DirectoryReader::operator=(DirectoryReader &&other) noexcept
{
    if (this == &other)
        return *this;
    close();
    m_stream = std::exchange(other.m_stream, nullptr);
    m_fd = std::exchange(other.m_fd, -1);
    m_error = other.m_error;
    m_name = std::exchange(other.m_name, nullptr);
    m_nameSize = std::exchange(other.m_nameSize, 0);
    m_entryKind = other.m_entryKind;
    return *this;
}

FileStatus DirectoryReader::status() const
{
    struct stat st;
    if (m_fd < 0) {
        FileStatus s;
        s.error = m_error ? m_error : EBADF;
        return s;
    }
    return statusOf(::fstat(m_fd, &st), st);
}

bool DirectoryReader::next()
{
    m_name = nullptr;
    m_nameSize = 0;
    if (!m_stream)
        return false;
    for (;;) {
        errno = 0;
        const dirent *e = readdir(stream(m_stream));
        if (!e) {
            if (errno != 0)
                m_error = errno;
            return false;
        }
        if (isDotOrDotDot(e->d_name))
            continue;
        m_name = e->d_name;
        m_nameSize = std::strlen(e->d_name);
        m_entryKind = kindOfType(e->d_type);
        return true;
    }
}

FileStatus DirectoryReader::entryStatus(bool followLinks) const
{
    struct stat st;
    if (!m_name) {
        FileStatus s;
        s.error = ENOENT;
        return s;
    }
    return statusOf(::fstatat(m_fd, m_name, &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW), st);
}

DirectoryReader DirectoryReader::openEntry(bool followLinks) const
{
    DirectoryReader sub;
    if (!m_name) {
        sub.m_error = ENOENT;
        return sub;
    }
    const int fd =
        ::openat(m_fd, m_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        sub.m_error = errno;
        return sub;
    }
    return DirectoryReader(fd);
}

int DirectoryReader::removeEntryFolder() const
{
    if (!m_name)
        return ENOENT;
    return ::unlinkat(m_fd, m_name, AT_REMOVEDIR) == 0 ? 0 : errno;
}

int DirectoryReader::removeEntryFile() const
{
    if (!m_name)
        return ENOENT;
    return ::unlinkat(m_fd, m_name, 0) == 0 ? 0 : errno;
}

} // namespace vantora
