#pragma once

#include "exfatdisk.h"
#include "mounthelper.h"
#include "sandbox.h"
#include "testdir.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

#include <memory>

#include <signal.h>

// What the tests that start and kill the window-less import program (vantora-import) share.
namespace vantora::test {

// The window-less import program of this build; the one place that knows where it lands.
inline QString importToolPath()
{
    return QString::fromLocal8Bit(qgetenv("VANTORA_BINARY_DIR")) + QStringLiteral("/src/vantora-import");
}

struct TransferDriver
{
    QString path;
    QString namespaceError; // why this test program has no private mount namespace; empty when it has

    // Finds the program and enters a private mount namespace; false when the program is not built.
    bool prepare()
    {
        path = importToolPath();
        namespaceError = enterPrivateMountNamespace();
        return QFileInfo(path).isExecutable();
    }
};

// A settings file for the program in folder: one row sending the files `mask` matches from source to dest.
inline QString writeDriverSettings(const QString &folder, const QString &source, const QString &dest,
                                   bool move, const QString &mask)
{
    const QString path = folder + QStringLiteral("/settings.txt");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(QStringLiteral("SourceEditText=%1/\nDelChecked=%3\nRow=%4|%2\n")
                .arg(source, dest, move ? QStringLiteral("1") : QStringLiteral("0"), mask)
                .toUtf8());
    return path;
}

// How a run of the program that a test killed went.
struct KilledRun
{
    bool started = false;
    bool ended = false;  // after the kill, within ten seconds
    bool midway = false; // the kill caught it still running
};

// Starts the program on a settings file (see writeDriverSettings) and kills it after delayMs.
inline KilledRun killRunAfter(const QString &program, const QString &settings, int delayMs)
{
    KilledRun run;
    QProcess p;
    p.start(program, {QStringLiteral("--quiet"), settings});
    run.started = p.waitForStarted();
    if (!run.started)
        return run;
    QTest::qSleep(delayMs);
    const bool wasRunning = p.state() == QProcess::Running;
    ::kill(pid_t(p.processId()), SIGKILL);
    run.ended = p.waitForFinished(10000);
    run.midway = wasRunning && p.exitStatus() == QProcess::CrashExit;
    return run;
}

// The data of a test run on each of the named filesystems (see TestFilesystem): one column, "filesystem".
inline void filesystemRows(const QStringList &kinds)
{
    QTest::addColumn<QString>("filesystem");
    for (const QString &kind : kinds)
        QTest::newRow(kind.toUtf8().constData()) << kind;
}

// The filesystem a test of the program writes to, that of the test's row of filesystemRows(): "disk" (a
// folder as it is), or a "tmpfs" or "exfat" of `mib` MiB mounted in the program's private mount namespace
// (the exFAT image lies beside it), on a new folder `name` of dir. Unmounted at the end of its scope;
// error() says why it could not be made, and the test skips.
class TestFilesystem final
{
public:
    TestFilesystem(const TransferDriver &driver, TestDir &dir, const QString &name, int mib)
        : m_path(dir.createDir(name))
    {
        QFETCH(QString, filesystem);
        if (filesystem == QLatin1String("disk"))
            return;
        if (!driver.namespaceError.isEmpty()) {
            m_error = driver.namespaceError;
        } else if (filesystem == QLatin1String("tmpfs")) {
            m_tmpfs = std::make_unique<SmallDisk>(m_path, QByteArray::number(mib) + 'm');
            if (!m_tmpfs->mounted())
                m_error = m_tmpfs->error();
        } else if (filesystem == QLatin1String("exfat")) {
            m_exfat = std::make_unique<ExfatDisk>(m_path + QStringLiteral(".img"), m_path, mib);
            m_error = m_exfat->error();
        }
    }
    QString path() const { return m_path; }
    QString error() const { return m_error; }

private:
    QString m_path;
    std::unique_ptr<SmallDisk> m_tmpfs;
    std::unique_ptr<ExfatDisk> m_exfat;
    QString m_error;
};

} // namespace vantora::test
