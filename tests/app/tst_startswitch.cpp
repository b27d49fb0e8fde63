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
    struct BesideRun
    {
        int exitCode = -1; // -1 too when it did not end in time
        qsizetype knocks = 0;
    };

    void start(QProcess &process, const QString &argument) const;
    BesideRun runBesideInstance(const QString &argument) const;
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

// Runs the program with the argument while this test holds the single instance (an ordinary instance
// running meanwhile); waits for its end, then for the knock of the ordinary start it relaunches, which also
// keeps that start out of the next test.
TestStartSwitch::BesideRun TestStartSwitch::runBesideInstance(const QString &argument) const
{
    BesideRun run;
    SingleInstance running;
    if (!running.acquire())
        return run;
    QSignalSpy knocked(&running, &SingleInstance::activationRequested);
    QProcess process;
    start(process, argument);
    if (QTest::qWaitFor([&process] { return process.state() == QProcess::NotRunning; }, 15000))
        run.exitCode = process.exitCode();
    if (QTest::qWaitFor([&knocked] { return !knocked.isEmpty(); }, 10000))
        run.knocks = knocked.count();
    return run;
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
    const BesideRun reg = runBesideInstance(QStringLiteral("/reg"));
    QCOMPARE(reg.exitCode, 0);
    QCOMPARE(log(), QStringList{QStringLiteral("message\t自動再生に登録しました")});
    QCOMPARE(reg.knocks, 1);

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
    const BesideRun unreg = runBesideInstance(QStringLiteral("/unreg"));
    QCOMPARE(unreg.exitCode, 0);
    QCOMPARE(log(), QStringList{QStringLiteral("message\t自動再生から解除しました")});
    // The relaunched start knocks here.
    QCOMPARE(unreg.knocks, 1);
    QVERIFY(!QFile::exists(m_sandbox.home() + QStringLiteral("/data/applications/vantora.desktop")));
}

void TestStartSwitch::switchInAnotherCaseIsASourcePath()
{
    // "/REG" is no switch: an ordinary start, which here only knocks on the running instance.
    const BesideRun upper = runBesideInstance(QStringLiteral("/REG"));
    QCOMPARE(upper.exitCode, 0);
    QCOMPARE(upper.knocks, 1);
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
