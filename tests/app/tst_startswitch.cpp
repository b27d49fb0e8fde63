#include "app/singleinstance.h"
#include "platform/registrystore.h"
#include "sandbox.h"
#include "settings/settingsrecord.h"
#include "settings/settingsstore.h"
#include "testdir.h"

#include <QProcess>
#include <QtTest>

using namespace vantora;

// The whole program started with the registration switches, as the desktop or a user would.
class TestStartSwitch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void regRegistersRelaunchesAndCloses();
    void unregRemovesAndCloses();
    void switchInAnotherCaseIsASourcePath();
    void unwritableStoreKeepsTheInstanceOpen();

private:
    void start(QProcess &process, const QString &argument) const;
    QStringList log() const;
    QString program() const { return test::ProgramSandbox::program(); }

    test::ProgramSandbox m_sandbox;
    QString m_log;
};

void TestStartSwitch::initTestCase()
{
    if (!m_sandbox.error().isEmpty())
        QSKIP(qPrintable(m_sandbox.error()));
    m_log = m_sandbox.home() + QStringLiteral("/prompt.log");
}

void TestStartSwitch::init()
{
    QFile::remove(m_log);
    QDir(RegistryStore::defaultDirectory()).removeRecursively();
}

void TestStartSwitch::start(QProcess &process, const QString &argument) const
{
    QProcessEnvironment env = m_sandbox.environment();
    env.insert(QStringLiteral("VANTORA_PROMPT_LOG"), m_log);
    process.setProcessEnvironment(env);
    process.start(program(), {argument});
}

QStringList TestStartSwitch::log() const
{
    QFile f(m_log);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestStartSwitch::regRegistersRelaunchesAndCloses()
{
    // An ordinary instance is running meanwhile (this test): "/reg" is not blocked by it, and the
    // relaunched ordinary start only knocks on it.
    SingleInstance running;
    QVERIFY(running.acquire());
    QSignalSpy knocked(&running, &SingleInstance::activationRequested);

    QProcess reg;
    start(reg, QStringLiteral("/reg"));
    QTRY_COMPARE_WITH_TIMEOUT(reg.state(), QProcess::NotRunning, 15000);
    QCOMPARE(reg.exitCode(), 0);
    QCOMPARE(log(), QStringList{QStringLiteral("message\t自動再生に登録しました")});
    QTRY_COMPARE_WITH_TIMEOUT(knocked.count(), 1, 10000);

    RegistryStore store;
    QCOMPARE(
        store
            .readString(RegistryRoot::ClassesRoot, QStringLiteral("Vantora\\shell\\open\\command"), QString())
            .value_or(QString()),
        program() + QStringLiteral(" %L"));
    QCOMPARE(store.valueNames(RegistryRoot::CurrentUser, settingsKeyPath()).size(),
             SettingsRecord::fields().size() +
                 SettingsRecord::addedFields().size()); // closed by the close query
    QVERIFY(QFile::exists(m_sandbox.home() + QStringLiteral("/data/applications/vantora.desktop")));
}

void TestStartSwitch::unregRemovesAndCloses()
{
    SingleInstance running;
    QVERIFY(running.acquire());
    QSignalSpy knocked(&running, &SingleInstance::activationRequested);
    QProcess unreg;
    start(unreg, QStringLiteral("/unreg"));
    QTRY_COMPARE_WITH_TIMEOUT(unreg.state(), QProcess::NotRunning, 15000);
    QCOMPARE(unreg.exitCode(), 0);
    QCOMPARE(log(), QStringList{QStringLiteral("message\t自動再生から解除しました")});
    // The relaunched start knocks here; waiting for it keeps it out of the next test.
    QTRY_COMPARE_WITH_TIMEOUT(knocked.count(), 1, 10000);
    QVERIFY(!QFile::exists(m_sandbox.home() + QStringLiteral("/data/applications/vantora.desktop")));
}

void TestStartSwitch::switchInAnotherCaseIsASourcePath()
{
    // "/REG" is no switch: an ordinary start, which here only knocks on the running instance.
    SingleInstance running;
    QVERIFY(running.acquire());
    QSignalSpy knocked(&running, &SingleInstance::activationRequested);
    QProcess upper;
    start(upper, QStringLiteral("/REG"));
    QTRY_COMPARE_WITH_TIMEOUT(upper.state(), QProcess::NotRunning, 15000);
    QCOMPARE(upper.exitCode(), 0);
    QTRY_COMPARE(knocked.count(), 1);
    QVERIFY(log().isEmpty());
    QVERIFY(!RegistryStore().keyExists(RegistryRoot::ClassesRoot, QStringLiteral("Vantora")));
}

void TestStartSwitch::unwritableStoreKeepsTheInstanceOpen()
{
    // A file where the store's folder belongs: nothing can be written there, even by root.
    const QString storeDir = RegistryStore::defaultDirectory();
    QDir().mkpath(QFileInfo(storeDir).absolutePath());
    QFile blocker(storeDir);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QProcess reg;
    start(reg, QStringLiteral("/reg"));
    QVERIFY(reg.waitForStarted());
    QVERIFY(!reg.waitForFinished(2500)); // stays open
    const QStringList lines = log();
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.last().startsWith(QStringLiteral("message\t'")) &&
                 lines.last().endsWith(QStringLiteral("' の設定に失敗しました")),
             qPrintable(lines.join(QLatin1Char('|'))));
    QVERIFY(!lines.contains(QStringLiteral("message\t自動再生に登録しました")));
    reg.kill();
    reg.waitForFinished();
    QFile::remove(storeDir);
}

QTEST_MAIN(TestStartSwitch)
#include "tst_startswitch.moc"
