#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vantora::test {

// A mount for one test, made in the test process's private mount namespace and unmounted at the end of
// its scope. Needs root; `error` says why not.
class TestMount
{
public:
    ~TestMount();
    bool mounted() const { return m_mounted; }
    QString error() const { return m_error; }

protected:
    TestMount(const QString &mountPoint, const QStringList &mountArgs);

private:
    QString m_mountPoint;
    bool m_mounted = false;
    QString m_error;
};

// A small tmpfs.
class SmallDisk final : public TestMount
{
public:
    SmallDisk(const QString &mountPoint, const QByteArray &size);
};

// A folder shown a second time at another path.
class BindMount final : public TestMount
{
public:
    BindMount(const QString &folder, const QString &mountPoint);
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

// Runs a tool to its end; its exit code, or -1 when it did not end normally. Output and errors go to
// `output` when given.
int runTestTool(const QString &program, const QStringList &args, QString *output = nullptr);

QByteArray fileHash(const QString &path);
QByteArray randomBytes(qsizetype size, quint32 seed);

} // namespace vantora::test
