#include "system/desktopentry.h"
#include "testdir.h"
#include "testhooks.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <QXmlStreamReader>

#include <optional>

using namespace vantora;

namespace {

QString env(const char *name)
{
    return qEnvironmentVariable(name);
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The keys of a desktop entry's main group; later groups (actions) are not read.
QMap<QString, QString> desktopKeys(const QString &text)
{
    QMap<QString, QString> keys;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('#')) || line == QLatin1String("[Desktop Entry]"))
            continue;
        if (line.startsWith(QLatin1Char('[')))
            break;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            keys.insert(line.left(eq), line.mid(eq + 1));
    }
    return keys;
}

} // namespace

// The installed files of a desktop program, as a package gets them: installed into a temporary DESTDIR
// with prefix /usr from this build folder, then read back and checked with the desktop's own validators.
class TestInstallData : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void installsExactlyTheProgramFiles();
    void importToolRunsFromTheInstall();
    void programHoldsTheTestSwitchOnlyWithTestHooks();
    void desktopEntryIsValid();
    void desktopEntryIsTheRegisteredOneForThePath();
    void iconIsASquareSvg();
    void metainfoIsValid();
    void metainfoNamesTheEntryAndThisVersion();

private:
    QString installed(const QString &relative) const { return m_root.filePath(relative); }
    // Runs a tool to the end; its exit code, with stdout and stderr in `output`.
    static int run(const QString &program, const QStringList &arguments, QString *output,
                   const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    // The same for a validator found on the PATH; no exit code when it is not installed.
    static std::optional<int> validate(const char *tool, const QStringList &arguments, QString *output);

    test::TestDir m_root;
    QString m_appId;
};

int TestInstallData::run(const QString &program, const QStringList &arguments, QString *output,
                         const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        *output = QStringLiteral("did not finish: ") + program;
        return -1;
    }
    *output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::optional<int> TestInstallData::validate(const char *tool, const QStringList &arguments, QString *output)
{
    const QString found = QStandardPaths::findExecutable(QString::fromUtf8(tool));
    if (found.isEmpty())
        return std::nullopt;
    return run(found, arguments, output);
}

void TestInstallData::initTestCase()
{
    m_appId = env("VANTORA_APP_ID");
    QVERIFY(!m_appId.isEmpty());
    QVERIFY(!env("VANTORA_CMAKE").isEmpty());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), m_root.path());
    QString output;
    const int code = run(env("VANTORA_CMAKE"),
                         {QStringLiteral("--install"), env("VANTORA_BINARY_DIR"), QStringLiteral("--prefix"),
                          QStringLiteral("/usr")},
                         &output, environment);
    QVERIFY2(code == 0, qPrintable(output));
}

void TestInstallData::installsExactlyTheProgramFiles()
{
    QStringList files;
    QDirIterator it(m_root.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(m_root.path()).relativeFilePath(it.next());
    files.sort();
    const QStringList expected = {
        QStringLiteral("usr/bin/vantora"),
        QStringLiteral("usr/bin/vantora-exif"),
        QStringLiteral("usr/bin/vantora-history"),
        QStringLiteral("usr/bin/vantora-import"),
        // Started by the program from ../libexec/vantora beside its own folder.
        // The video and HEIF decoders, which the helper loads from beside itself when it meets such a file.
        QStringLiteral("usr/libexec/vantora/vantora-thumbnail-media.so"),
        QStringLiteral("usr/libexec/vantora/vantora-thumbnailer"),
        QStringLiteral("usr/share/applications/vantora.desktop"),
        QStringLiteral("usr/share/icons/hicolor/scalable/apps/vantora.svg"),
        QStringLiteral("usr/share/metainfo/") + m_appId + QStringLiteral(".metainfo.xml"),
    };
    QCOMPARE(files, expected);
    for (const char *program : {"usr/bin/vantora", "usr/bin/vantora-exif", "usr/bin/vantora-history",
                                "usr/bin/vantora-import", "usr/libexec/vantora/vantora-thumbnailer"})
        QVERIFY2(QFileInfo(installed(QLatin1String(program))).isExecutable(), program);
}

void TestInstallData::importToolRunsFromTheInstall()
{
    // Without the build tree's run path: what a package installs must find its libraries by itself.
    QString output;
    const int code =
        run(installed(QStringLiteral("usr/bin/vantora-import")), {QStringLiteral("--help")}, &output);
    QVERIFY2(code == 0, qPrintable(output));
    QVERIFY2(output.startsWith(QLatin1String("Usage: vantora-import ")), qPrintable(output));
}

void TestInstallData::programHoldsTheTestSwitchOnlyWithTestHooks()
{
    const QByteArray program = readAll(installed(QStringLiteral("usr/bin/vantora")));
    QVERIFY(!program.isEmpty());
    QCOMPARE(program.contains("VANTORA_PROMPT_LOG"), WithTestHooks);
    // The thumbnail helper's crash and hang switch likewise.
    const QByteArray helper = readAll(installed(QStringLiteral("usr/libexec/vantora/vantora-thumbnailer")));
    QVERIFY(!helper.isEmpty());
    QCOMPARE(helper.contains("VANTORA_THUMBNAILER_FAULT"), WithTestHooks);
}

void TestInstallData::desktopEntryIsValid()
{
    QString output;
    const std::optional<int> code =
        validate("desktop-file-validate",
                 {installed(QStringLiteral("usr/share/applications/vantora.desktop"))}, &output);
    if (!code)
        QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
    QVERIFY2(*code == 0, qPrintable(output));
    QVERIFY2(!output.contains(QLatin1String("warning")), qPrintable(output));
}

void TestInstallData::desktopEntryIsTheRegisteredOneForThePath()
{
    // The same entry the program writes when it registers itself, except that the program is found
    // through PATH and the icon is the installed one.
    const QMap<QString, QString> entry = desktopKeys(
        QString::fromUtf8(readAll(installed(QStringLiteral("usr/share/applications/vantora.desktop")))));
    QMap<QString, QString> registered = desktopKeys(DesktopEntryText(QStringLiteral("/usr/bin/vantora")));
    QCOMPARE(registered.value(QStringLiteral("Exec")), QStringLiteral("/usr/bin/vantora %f"));
    registered.insert(QStringLiteral("Exec"), QStringLiteral("vantora %f"));
    registered.insert(QStringLiteral("Icon"), QStringLiteral("vantora"));
    QCOMPARE(entry, registered);
    QVERIFY(QFileInfo::exists(installed(QStringLiteral("usr/share/icons/hicolor/scalable/apps/") +
                                        entry.value(QStringLiteral("Icon")) + QStringLiteral(".svg"))));
}

void TestInstallData::iconIsASquareSvg()
{
    QXmlStreamReader xml(
        readAll(installed(QStringLiteral("usr/share/icons/hicolor/scalable/apps/vantora.svg"))));
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name(), QLatin1String("svg"));
    QCOMPARE(xml.namespaceUri(), QLatin1String("http://www.w3.org/2000/svg"));
    const QStringList box =
        xml.attributes().value(QLatin1String("viewBox")).toString().split(QLatin1Char(' '));
    QCOMPARE(box.size(), 4);
    QVERIFY(box.at(2).toDouble() > 0);
    QCOMPARE(box.at(2), box.at(3));
    while (!xml.atEnd())
        xml.readNext();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
}

void TestInstallData::metainfoIsValid()
{
    QString output;
    const std::optional<int> code = validate(
        "appstreamcli",
        {QStringLiteral("validate"), QStringLiteral("--no-net"),
         installed(QStringLiteral("usr/share/metainfo/") + m_appId + QStringLiteral(".metainfo.xml"))},
        &output);
    if (!code)
        QSKIP("appstreamcli is not installed (Debian package appstream)");
    QVERIFY2(*code == 0, qPrintable(output));
}

void TestInstallData::metainfoNamesTheEntryAndThisVersion()
{
    QXmlStreamReader xml(readAll(
        installed(QStringLiteral("usr/share/metainfo/") + m_appId + QStringLiteral(".metainfo.xml"))));
    QMap<QString, QString> found;
    QStringList releases;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (name == QLatin1String("release")) {
            releases << xml.attributes().value(QLatin1String("version")).toString();
        } else if (name == QLatin1String("id") || name == QLatin1String("metadata_license")) {
            found.insert(name, xml.readElementText());
        } else if (name == QLatin1String("launchable")) {
            // The key before the text: reading the text moves past the attributes.
            const QString key = name + QLatin1Char(':') + xml.attributes().value(QLatin1String("type"));
            found.insert(key, xml.readElementText());
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(found.value(QStringLiteral("id")), m_appId);
    QCOMPARE(found.value(QStringLiteral("metadata_license")), QStringLiteral("CC0-1.0"));
    QCOMPARE(found.value(QStringLiteral("launchable:desktop-id")), DesktopEntryFileName.toString());
    // The newest release comes first, and it is this build's version.
    QVERIFY(!releases.isEmpty());
    QCOMPARE(releases.first(), env("VANTORA_VERSION"));
}

QTEST_GUILESS_MAIN(TestInstallData)
#include "tst_installdata.moc"
