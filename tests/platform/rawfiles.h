#pragma once

// Files and folders named by raw bytes, made and read with the system calls themselves: a test checks the
// program's byte handling against these, never against the program's own functions.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>

#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantora::test {

// The two names that decode to one text when bytes that are not UTF-8 become U+FFFD.
inline const QByteArray RawFfName("IMG_\xFF.JPG");
inline const QByteArray RawReplacementName("IMG_\xEF\xBF\xBD.JPG");

inline bool writeRawFile(const QByteArray &path, const QByteArray &content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && ok;
}

inline bool makeRawDir(const QByteArray &path)
{
    return ::mkdir(path.constData(), 0755) == 0;
}

// The file's content, or "<missing>" when it cannot be opened by these bytes.
inline QByteArray readRawFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray("<missing>");
    QByteArray out;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.append(buf, n);
    ::close(fd);
    return out;
}

inline bool rawExists(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

inline bool rawIsDir(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Everything below a folder by relative byte path: files with their content, folders as "<dir>".
inline void rawTree(const QByteArray &root, const QByteArray &relative, QMap<QByteArray, QByteArray> &out)
{
    const QByteArray folder = root + relative;
    DIR *d = ::opendir(folder.constData());
    if (!d)
        return;
    while (const dirent *e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray rel = relative + name;
        if (rawIsDir(root + rel)) {
            out.insert(rel, QByteArray("<dir>"));
            rawTree(root, rel + '/', out);
        } else {
            out.insert(rel, readRawFile(root + rel));
        }
    }
    ::closedir(d);
}

inline QMap<QByteArray, QByteArray> rawTree(const QByteArray &root)
{
    QMap<QByteArray, QByteArray> out;
    rawTree(root.endsWith('/') ? root : root + '/', QByteArray(), out);
    return out;
}

// Removes a tree by its bytes (links themselves, never what they point at).
inline void removeRawTree(const QByteArray &path)
{
    if (!rawIsDir(path)) {
        ::unlink(path.constData());
        return;
    }
    ::chmod(path.constData(), 0700);
    if (DIR *d = ::opendir(path.constData())) {
        while (const dirent *e = ::readdir(d)) {
            const QByteArray name(e->d_name);
            if (name != "." && name != "..")
                removeRawTree(path + '/' + name);
        }
        ::closedir(d);
    }
    ::rmdir(path.constData());
}

// A temporary folder for names that are not UTF-8: QTemporaryDir cannot remove those (its clean-up reads
// them as text), so this one removes its tree by bytes.
class RawTestDir final
{
public:
    RawTestDir()
    {
        QByteArray templ = QFile::encodeName(QDir::tempPath()) + "/vantora-raw-XXXXXX";
        if (::mkdtemp(templ.data()))
            m_path = templ;
    }
    ~RawTestDir()
    {
        if (!m_path.isEmpty())
            removeRawTree(m_path);
    }
    RawTestDir(const RawTestDir &) = delete;
    RawTestDir &operator=(const RawTestDir &) = delete;

    // The folder's path, ASCII; every name below it is the test's own bytes.
    const QByteArray &path() const { return m_path; }

private:
    QByteArray m_path;
};

} // namespace vantora::test
