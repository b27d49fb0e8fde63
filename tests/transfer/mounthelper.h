#pragma once

#include <QByteArray>
#include <QString>

namespace vantora::test {

// A small tmpfs mounted for one test, unmounted at the end of its scope. Needs root; `error` says why not.
class SmallDisk final
{
public:
    SmallDisk(const QString &mountPoint, const QByteArray &size);
    ~SmallDisk();
    bool mounted() const { return m_mounted; }
    QString error() const { return m_error; }

private:
    QString m_mountPoint;
    bool m_mounted = false;
    QString m_error;
};

// Makes a folder immutable (chattr +i): nothing inside can be deleted, not even by root. Undone at the end.
class ImmutableFolder final
{
public:
    explicit ImmutableFolder(const QString &folder);
    ~ImmutableFolder();
    bool applied() const { return m_applied; }

private:
    QString m_folder;
    bool m_applied = false;
};

QByteArray fileHash(const QString &path);
QByteArray randomBytes(qsizetype size, quint32 seed);

} // namespace vantora::test
