#include "cameradrivers.h"
#include "mounthelper.h"
#include "settings/settingsrecord.h"
#include "testdir.h"
#include "transferdriver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <memory>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vantora;
using namespace vantora::test;

namespace {

// How a row runs the program.
enum class Way
{
    Once,
    AfterAnEarlierRun,   // the same run made once before
    SigtermBeforeTheRun, // settings from a FIFO, written only after SIGTERM reached the program reading it
};

const QStringList Photos = {QStringLiteral("IMG_0001.JPG"), QStringLiteral("IMG_0002.JPG"),
                            QStringLiteral("IMG_0003.JPG")};

QByteArray photoContent(const QString &name)
{
    return QByteArray(4096, name.at(7).toLatin1()) + name.toUtf8();
}

QStringList filesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Opens the FIFO for writing once the program holds it open for reading; -1 after ten seconds.
int openFifoWhenRead(const QString &fifo)
{
    for (int i = 0; i < 1000; ++i) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 || errno != ENXIO)
            return fd;
        QTest::qSleep(10);
    }
    return -1;
}

} // namespace

// What scripts rely on: vantora-import's options, result line, messages and exit codes.
class TestImportTool final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void contract_data();
    void contract();

private:
    QString m_program;
    TestDir m_drivers;
};

void TestImportTool::initTestCase()
{
    m_program = importToolPath();
    QVERIFY2(QFileInfo(m_program).isExecutable(), qPrintable(m_program + QStringLiteral(" is not built")));
    // The program started reaches libgphoto2's folder camera alone.
    QVERIFY(useDirectoryCameraOnly(m_drivers.path()));
}

// Arguments and settings name their files through placeholders: {settings} (the settings file), {card}
// and {source} (a card and its DCIM folder holding the three photos), {dest} (an empty folder), {missing} (a
// folder that is not there), {locked} (an empty folder this user cannot write to), {history} (a history
// file) and {camera} (the card as libgphoto2's folder camera shows it: gphoto2://[disk:<card>]/).
void TestImportTool::contract_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("settings"); // empty: no settings file
    QTest::addColumn<int>("way");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutPattern"); // matches the whole of standard output
    QTest::addColumn<QStringList>("stdoutHas"); // patterns each found in standard output
    QTest::addColumn<QString>("stderrPattern"); // matches the whole of standard error
    QTest::addColumn<QString>("target");        // where the row's copies go
    QTest::addColumn<int>("copies");            // files there after the run
    QTest::addColumn<int>("sourcesLeft");       // photos still on the card

    const QString copy = QStringLiteral("SourceEditText={source}/\nRow=*.JPG|{dest}\n");
    const QString move = QStringLiteral("SourceEditText={source}/\nDelChecked=1\nRow=*.JPG|{dest}\n");
    const QString none = QStringLiteral("^$");
    const auto resultLine = [](const char *result, int imported, int skipped, const QString &status) {
        return QStringLiteral(
                   "^result=%1 imported=%2 skipped=%3 verify-failed=0 not-deleted=no status=%4\\n$")
            .arg(QLatin1String(result))
            .arg(imported)
            .arg(skipped)
            .arg(status);
    };
    const QString finished = QStringLiteral("全ての転送が終了");
    const QString failed = QStringLiteral("不明なエラーが発生しました");
    const QString usageHint = QStringLiteral("\\nTry 'vantora-import --help'.\\n$");
    // The message of a copy that failed, naming why and both files.
    const auto copyFailed = [](const QString &why, const QString &folder) {
        return QStringLiteral(
                   "^転送処理で不明なエラーが発生しました\\n.*\\n%1\\n転送元：[^\\n]*/card/DCIM/100CANON/"
                   "IMG_0001.JPG\\n転送先：[^\\n]*/%2/IMG_0001.JPG\\n$")
            .arg(why, folder);
    };

    QStringList literals = {QStringLiteral("SourceEditText"),
                            QStringLiteral("DelChecked"),
                            QStringLiteral("SkipImportedChecked"),
                            QStringLiteral("VerifyChecked"),
                            QStringLiteral("RenameChecked"),
                            QStringLiteral("FileNameEditText"),
                            QStringLiteral("History="),
                            QStringLiteral("Volume="),
                            QStringLiteral("VolumeRoot="),
                            QStringLiteral("Row=<mask>|<folder>"),
                            QStringLiteral("--quiet"),
                            QStringLiteral("--pause-stats"),
                            QStringLiteral("--dates"),
                            QStringLiteral("result=<ok|failed|cancelled> imported=<n> skipped=<n>"),
                            QStringLiteral("Exit status"),
                            QStringLiteral("  3  cancelled")};
    QStringList names;
    for (const QString &literal : std::as_const(literals))
        names << QRegularExpression::escape(literal);
    // Every stored setting the file may set, as a word of its own.
    for (const QList<SettingsRecord::Field> *fields :
         {&SettingsRecord::fields(), &SettingsRecord::addedFields()}) {
        for (const SettingsRecord::Field &f : *fields)
            names << QStringLiteral("[ \\n]%1[ \\n]").arg(QString::fromLatin1(f.name));
    }

    const int once = int(Way::Once);
    const QStringList quietRun = {QStringLiteral("--quiet"), QStringLiteral("{settings}")};
    QTest::newRow("--help names every key, option and exit code")
        << QStringList{QStringLiteral("--help")} << QString() << once << 0
        << QStringLiteral("^Usage: vantora-import .*\\n$") << names << none << QStringLiteral("{dest}") << 0
        << 3;
    QTest::newRow("no arguments") << QStringList{} << QString() << once << 2 << none << QStringList{}
                                  << QStringLiteral("^Usage: vantora-import ") << QStringLiteral("{dest}")
                                  << 0 << 3;
    QTest::newRow("missing settings file")
        << QStringList{QStringLiteral("{missing}/settings.txt")} << QString() << once << 2 << none
        << QStringList{} << QStringLiteral("^vantora-import: cannot read [^\\n]*/missing/settings.txt: ")
        << QStringLiteral("{dest}") << 0 << 3;
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate"),
                                                   QStringLiteral("{settings}")}
                                    << move << once << 2 << none << QStringList{}
                                    << QStringLiteral("^vantora-import: unknown option --frobnicate") +
                                           usageHint
                                    << QStringLiteral("{dest}") << 0 << 3;
    QTest::newRow("two settings files")
        << QStringList{QStringLiteral("{settings}"), QStringLiteral("{settings}")} << move << once << 2
        << none << QStringList{} << QStringLiteral("^vantora-import: one settings file, not 2") + usageHint
        << QStringLiteral("{dest}") << 0 << 3;
    QTest::newRow("unknown setting")
        << quietRun << move + QStringLiteral("Frobnicate=1\n") << once << 2 << none << QStringList{}
        << QStringLiteral("^vantora-import: [^\\n]*/settings.txt:4: unknown setting Frobnicate\\n$")
        << QStringLiteral("{dest}") << 0 << 3;
    QTest::newRow("quiet copy") << quietRun << copy << once << 0 << resultLine("ok", 3, 0, finished)
                                << QStringList{} << none << QStringLiteral("{dest}") << 3 << 3;
    QTest::newRow("move with pause figure")
        << QStringList{QStringLiteral("--pause-stats"), QStringLiteral("{settings}")} << move << once << 0
        << QStringLiteral("^result=ok imported=3 skipped=0 verify-failed=0 not-deleted=no "
                          "longest-pause-ms=[0-9]+\\.[0-9] status=%1\\n$")
               .arg(finished)
        << QStringList{} << QStringLiteral(".*") << QStringLiteral("{dest}") << 3 << 0;
    // With the history, a card imported before has nothing left to copy: no failure to a script.
    QTest::newRow("copy of a card imported before")
        << quietRun
        << copy + QStringLiteral(
                      "SkipImportedChecked=1\nHistory={history}\nVolume=uuid:CARD\nVolumeRoot={card}\n")
        << int(Way::AfterAnEarlierRun) << 0
        << resultLine("ok", 0, 3, QStringLiteral("全てのファイルは取り込み済みです\\(3個\\)"))
        << QStringList{} << QStringLiteral("^全てのファイルは取り込み済みです\\(3個\\)\\n$")
        << QStringLiteral("{dest}") << 3 << 3;
    const QString fromCamera =
        QStringLiteral("SourceEditText={camera}\nCameraModel=Directory Browse\nRow=*.JPG|{dest}\n");
    QTest::newRow("move from a camera")
        << quietRun << fromCamera + QStringLiteral("DelChecked=1\nVerifyChecked=1\n") << once << 0
        << resultLine("ok", 3, 0, finished) << QStringList{} << none << QStringLiteral("{dest}") << 3 << 0;
    // Known by its identity in the history, with no volume named.
    QTest::newRow("copy from a camera imported before")
        << quietRun << fromCamera + QStringLiteral("SkipImportedChecked=1\nHistory={history}\n")
        << int(Way::AfterAnEarlierRun) << 0
        << resultLine("ok", 0, 3, QStringLiteral("全てのファイルは取り込み済みです\\(3個\\)"))
        << QStringList{} << QStringLiteral("^全てのファイルは取り込み済みです\\(3個\\)\\n$")
        << QStringLiteral("{dest}") << 3 << 3;
    QTest::newRow("camera that cannot be opened")
        << quietRun
        << QString(fromCamera).replace(QStringLiteral("Directory Browse"), QStringLiteral("No Such Camera"))
        << once << 1 << QStringLiteral("^result=failed imported=0 .*\\n$") << QStringList{}
        << QStringLiteral("^転送元：gphoto2://\\[disk:[^\\n]*/card\\]/\\n\\nカメラが接続されていないか、"
                          "アクセスできません。\\n\\([^\\n]+\\)\\n$")
        << QStringLiteral("{dest}") << 0 << 3;
    QTest::newRow("source folder not there")
        << quietRun << QString(copy).replace(QStringLiteral("{source}"), QStringLiteral("{missing}")) << once
        << 1
        << resultLine("failed", 0, 0,
                      QStringLiteral("転送元：[^\\n]*/missing/  メモリーカードが挿入されていないか、"
                                     "アクセスできません。"))
        << QStringList{}
        << QStringLiteral(
               "^転送元：[^\\n]*/missing/\\n\\nメモリーカードが挿入されていないか、アクセスできません。\\n$")
        << QStringLiteral("{dest}") << 0 << 3;
    QTest::newRow("move into a missing folder")
        << quietRun << QString(move).replace(QStringLiteral("{dest}"), QStringLiteral("{missing}")) << once
        << 1 << resultLine("failed", 0, 0, failed) << QStringList{}
        << copyFailed(QStringLiteral("転送先のフォルダが見つかりません"), QStringLiteral("missing"))
        << QStringLiteral("{missing}") << 0 << 3;
    QTest::newRow("move into a folder that cannot be written")
        << quietRun << QString(move).replace(QStringLiteral("{dest}"), QStringLiteral("{locked}")) << once
        << 1 << resultLine("failed", 0, 0, failed) << QStringList{}
        << copyFailed(QStringLiteral("転送先のフォルダに書き込む権限がありません"), QStringLiteral("locked"))
        << QStringLiteral("{locked}") << 0 << 3;
    // SIGTERM is the Cancel button: the file in progress is finished (the three are small), the rest stay.
    QTest::newRow("move cancelled by SIGTERM")
        << quietRun << move << int(Way::SigtermBeforeTheRun) << 3
        << resultLine("cancelled", 1, 0, QStringLiteral("転送はキャンセルされました")) << QStringList{}
        << none << QStringLiteral("{dest}") << 1 << 2;
}

void TestImportTool::contract()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, settings);
    QFETCH(int, way);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutPattern);
    QFETCH(QStringList, stdoutHas);
    QFETCH(QString, stderrPattern);
    QFETCH(QString, target);
    QFETCH(int, copies);
    QFETCH(int, sourcesLeft);

    TestDir dir;
    const QString source = dir.createDir(QStringLiteral("card/DCIM"));
    for (const QString &name : Photos)
        dir.createFile(QStringLiteral("card/DCIM/100CANON/") + name, photoContent(name));
    const QString locked = dir.createDir(QStringLiteral("locked"));
    QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    std::unique_ptr<ImmutableFolder> immutable;
    if (target == QLatin1String("{locked}") && ::geteuid() == 0)
        immutable = std::make_unique<ImmutableFolder>(locked); // root writes through the permissions
    if (target == QLatin1String("{locked}") &&
        QFile(locked + QStringLiteral("/probe")).open(QIODevice::WriteOnly))
        QSKIP("this user can write to any folder here (root on a filesystem without chattr +i)");
    const auto fill = [&](QString text) {
        return text.replace(QStringLiteral("{source}"), source)
            .replace(QStringLiteral("{dest}"), dir.createDir(QStringLiteral("dest")))
            .replace(QStringLiteral("{missing}"), dir.filePath(QStringLiteral("missing")))
            .replace(QStringLiteral("{locked}"), locked)
            .replace(QStringLiteral("{settings}"), dir.filePath(QStringLiteral("settings.txt")))
            .replace(QStringLiteral("{history}"), dir.filePath(QStringLiteral("history.sqlite")))
            .replace(QStringLiteral("{card}"), dir.filePath(QStringLiteral("card")))
            .replace(QStringLiteral("{camera}"),
                     QStringLiteral("gphoto2://[disk:%1]/").arg(dir.filePath(QStringLiteral("card"))));
    };
    const QString settingsPath = dir.filePath(QStringLiteral("settings.txt"));
    if (Way(way) == Way::SigtermBeforeTheRun) {
        QCOMPARE(::mkfifo(QFile::encodeName(settingsPath).constData(), 0600), 0);
    } else if (!settings.isEmpty()) {
        QFile f(settingsPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(fill(settings).toUtf8());
    }
    QStringList args;
    for (const QString &arg : std::as_const(arguments))
        args << fill(arg);

    if (Way(way) == Way::AfterAnEarlierRun) {
        QString earlier;
        QVERIFY2(runTestTool(m_program, args, &earlier) == 0, qPrintable(earlier));
    }

    QProcess p;
    p.start(m_program, args);
    QVERIFY(p.waitForStarted());
    if (Way(way) == Way::SigtermBeforeTheRun) {
        // The program reads its settings only after it set its handlers: once it holds the FIFO, SIGTERM is
        // its own to handle, and it comes before the run has begun.
        const int fd = openFifoWhenRead(settingsPath);
        QVERIFY2(fd >= 0, "the program never opened its settings");
        QCOMPARE(::kill(pid_t(p.processId()), SIGTERM), 0);
        const QByteArray text = fill(settings).toUtf8();
        QCOMPARE(::write(fd, text.constData(), size_t(text.size())), ssize_t(text.size()));
        ::close(fd);
    }
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const QString said = QStringLiteral("stdout:\n%1\nstderr:\n%2").arg(out, err);
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == exitCode, qPrintable(QString::number(p.exitCode()) + QLatin1Char('\n') + said));
    QVERIFY2(QRegularExpression(stdoutPattern, QRegularExpression::DotMatchesEverythingOption)
                 .match(out)
                 .hasMatch(),
             qPrintable(said));
    for (const QString &pattern : std::as_const(stdoutHas))
        QVERIFY2(QRegularExpression(pattern).match(out).hasMatch(), qPrintable(pattern));
    QVERIFY2(QRegularExpression(stderrPattern, QRegularExpression::DotMatchesEverythingOption)
                 .match(err)
                 .hasMatch(),
             qPrintable(said));

    // Every photo is on the card, at the target, or both, and nothing else is at the target.
    const QString targetFolder = fill(target);
    const QStringList arrived = filesUnder(targetFolder);
    QVERIFY2(arrived.size() == copies, qPrintable(arrived.join(QLatin1Char(' '))));
    int left = 0;
    for (const QString &name : Photos) {
        const QString onCard = source + QStringLiteral("/100CANON/") + name;
        const bool there = arrived.contains(name);
        if (QFileInfo::exists(onCard)) {
            ++left;
            QCOMPARE(contentOf(onCard), photoContent(name));
        } else {
            QVERIFY2(there, qPrintable(name + QStringLiteral(" is lost")));
        }
        if (there)
            QCOMPARE(contentOf(targetFolder + QLatin1Char('/') + name), photoContent(name));
    }
    QCOMPARE(left, sourcesLeft);
}

QTEST_GUILESS_MAIN(TestImportTool)
#include "tst_importtool.moc"
