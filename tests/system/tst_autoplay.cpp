#include "platform/registrystore.h"
#include "sandbox.h"
#include "system/autoplayregistration.h"
#include "system/desktopentry.h"
#include "system/registrationswitch.h"
#include "tables.h"
#include "testdir.h"
#include "testprompt.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <sys/mount.h>

using namespace vantora;

namespace {

// Program paths a registration must write so that the program starts: one column, "program".
void programPathRows()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("plain") << QStringLiteral("/usr/bin/vantora");
    QTest::newRow("blanks") << QStringLiteral("/opt/my photo tools/vantora app");
    QTest::newRow("blanks in a folder") << QStringLiteral("/opt/My Apps/vantora");
    QTest::newRow("quote and backslash") << QStringLiteral("/opt/it's \"new\"/a\\b/vantora");
    QTest::newRow("shell characters") << QStringLiteral("/opt/a$b`c\"d'e\\f;g&h(i)|j<k>~l*m?#/vantora");
    QTest::newRow("percent") << QStringLiteral("/opt/100%/vantora");
    QTest::newRow("percent and letter") << QStringLiteral("/opt/100%u/vantora");
    QTest::newRow("japanese") << QStringLiteral("/home/ユーザー/写真 ツール/vantora");
    QTest::newRow("japanese with blank") << QStringLiteral("/home/写真 ツール/vantora");
}

const QString kHandler = QStringLiteral(
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers\\Handlers\\Vantora");
const QString kEvents = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandl"
                                       "ers\\EventHandlers\\ShowPicturesOnArrival");

struct Expected
{
    RegistryRoot root;
    QString key;
    QString name;
    QString data;
};

// The fifteen rows as they must come out, for a given program path: nineteen writes, since row 14
// writes the five values of rows 5-9 again.
QVector<Expected> expectedEntries(const QString &program)
{
    const RegistryRoot cr = RegistryRoot::ClassesRoot;
    const RegistryRoot lm = RegistryRoot::LocalMachine;
    const QString handlerLower = QStringLiteral(
        "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\explorer\\AutoplayHandlers\\Handlers\\Vantora");
    const QString handler = QLatin1Char('\\') + kHandler;
    QVector<Expected> e = {
        {cr, QStringLiteral("\\Vantora"), QString(), QStringLiteral("Vantora Class")},
        {cr, QStringLiteral("\\Vantora\\shell"), QString(), QString()},
        {cr, QStringLiteral("\\Vantora\\shell\\open"), QString(), QString()},
        {cr, QStringLiteral("\\Vantora\\shell\\open\\command"), QString(), program + QStringLiteral(" %L")},
        {lm, handler, QStringLiteral("Action"), QStringLiteral("ファイルを取り込む")},
        {lm, handler, QStringLiteral("DefaultIcon"), program + QStringLiteral(", 0")},
        {lm, handler, QStringLiteral("Provider"), QStringLiteral("Vantora")},
        {lm, handler, QStringLiteral("InvokeProgID"), QStringLiteral("Vantora")},
        {lm, handler, QStringLiteral("InvokeVerb"), QStringLiteral("open")},
        {lm, QStringLiteral("\\SOFTWARE\\Classes\\Vantora"), QString(), QStringLiteral("Vantora Class")},
        {lm, QStringLiteral("\\SOFTWARE\\Classes\\Vantora\\shell"), QString(), QString()},
        {lm, QStringLiteral("\\SOFTWARE\\Classes\\Vantora\\shell\\open"), QString(), QString()},
        {lm, QStringLiteral("\\SOFTWARE\\Classes\\Vantora\\shell\\open\\command"), QString(),
         program + QStringLiteral(" %L")},
        {lm, handlerLower, QStringLiteral("Action"), QStringLiteral("ファイルを取り込む")},
        {lm, handlerLower, QStringLiteral("DefaultIcon"), program + QStringLiteral(", 0")},
        {lm, handlerLower, QStringLiteral("Provider"), QStringLiteral("Vantora")},
        {lm, handlerLower, QStringLiteral("InvokeProgID"), QStringLiteral("Vantora")},
        {lm, handlerLower, QStringLiteral("InvokeVerb"), QStringLiteral("open")},
        {lm, QLatin1Char('\\') + kEvents, QStringLiteral("Vantora"), QString()},
    };
    return e;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Splits an Exec value the way a desktop reads it: the string escapes first, then the quoting rules.
QStringList parseExec(const QString &value)
{
    QString s;
    for (int i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value[++i];
            s += n == QLatin1Char('n')   ? QChar(QLatin1Char('\n'))
                 : n == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                 : n == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
                 : n == QLatin1Char('s') ? QChar(QLatin1Char(' '))
                                         : n;
        } else {
            s += value[i];
        }
    }
    QStringList args;
    QString cur;
    bool inQuotes = false;
    bool any = false;
    for (int i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < s.size())
                cur += s[++i];
            else if (c == QLatin1Char('"'))
                inQuotes = false;
            else
                cur += c;
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            any = true;
        } else if (c == QLatin1Char(' ')) {
            if (any || !cur.isEmpty())
                args << cur;
            cur.clear();
            any = false;
        } else if (c == QLatin1Char('%') && i + 1 < s.size() && s[i + 1] == QLatin1Char('%')) {
            cur += c;
            ++i;
        } else {
            cur += c;
        }
    }
    if (any || !cur.isEmpty())
        args << cur;
    return args;
}

QString desktopValue(const QString &text, const QString &key)
{
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    }
    return QString();
}

} // namespace

class TestAutoPlay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void entriesAreTheFifteenInOrder();
    void registerWritesEveryEntryIntoTheStoreFiles();
    void registerTwiceLeavesTheSameEntries();
    void programPathIsWrittenUnquoted_data();
    void programPathIsWrittenUnquoted();
    void unregisterRemovesOnlyWhatRegistrationWrote();
    void unregisterWhenNothingIsRegisteredIsSilent();
    void desktopEntryAppearsValidatesAndDisappears_data();
    void desktopEntryAppearsValidatesAndDisappears();
    void desktopEntryGoesToTheUsersApplicationsFolder();

    void switchRegisters();
    void switchUnregisters();
    void notASwitch_data();
    void notASwitch();
    void unwritableStoreKeepsTheInstanceOpen();
    void laterWriteFailureStopsThere();
    void unwritableDesktopEntryKeepsTheInstanceOpen();
    void readOnlyFilesystems();
    void restartElevatedStartsNothing();

private:
    QString registryDir() const { return m_work->filePath(QStringLiteral("registry")); }
    QString appsDir() const { return m_work->filePath(QStringLiteral("applications")); }
    // Runs the switch with a launcher that only counts the starts it is asked for.
    RegistrationSwitch runCountingStarts(const QStringList &arguments, RegistryStore &store,
                                         int &starts) const
    {
        return RunRegistrationSwitch(arguments, store, m_program, appsDir(),
                                     [&starts](const QString &, const QStringList &) {
                                         ++starts;
                                         return true;
                                     });
    }
    // The same on a store of its own over the registry folder.
    RegistrationSwitch runCountingStarts(const QStringList &arguments, int &starts) const
    {
        RegistryStore store(registryDir());
        return runCountingStarts(arguments, store, starts);
    }
    // Registers with a store of its own, gone before the test reads the files back.
    bool registerWithOwnStore(const QString &program) const
    {
        RegistryStore store(registryDir());
        return RegisterAutoPlayHandler(store, program, appsDir());
    }

    QTemporaryDir m_home;
    std::unique_ptr<test::TestDir> m_work;
    std::unique_ptr<test::TestPrompt> m_prompt;
    const QString m_program = QStringLiteral("/opt/vantora/bin/vantora");
};

void TestAutoPlay::initTestCase()
{
    test::isolateHome(m_home.path());
}

void TestAutoPlay::init()
{
    m_work = std::make_unique<test::TestDir>();
    m_prompt = std::make_unique<test::TestPrompt>();
}

void TestAutoPlay::cleanup()
{
    m_prompt.reset();
    m_work.reset();
}

void TestAutoPlay::entriesAreTheFifteenInOrder()
{
    const QVector<AutoPlayEntry> entries = AutoPlayEntries(m_program);
    const QVector<Expected> expected = expectedEntries(m_program);
    QCOMPARE(entries.size(), expected.size());
    for (int i = 0; i < entries.size(); ++i) {
        QCOMPARE(int(entries[i].root), int(expected[i].root));
        QCOMPARE(entries[i].key, expected[i].key);
        QCOMPARE(entries[i].name, expected[i].name);
        QCOMPARE(entries[i].data, expected[i].data);
    }

    const QVector<AutoPlayRemoval> removals = AutoPlayRemovals();
    QCOMPARE(removals.size(), 5);
    QCOMPARE(removals[0].key, QStringLiteral("\\Vantora"));
    QCOMPARE(int(removals[0].root), int(RegistryRoot::ClassesRoot));
    QCOMPARE(removals[1].key, QLatin1Char('\\') + kHandler);
    QCOMPARE(removals[2].key, QStringLiteral("\\SOFTWARE\\Classes\\Vantora"));
    QVERIFY(removals[3].key.contains(QLatin1String("\\explorer\\")));
    QCOMPARE(removals[4].key, QLatin1Char('\\') + kEvents);
    QCOMPARE(removals[4].name, QStringLiteral("Vantora"));
    for (int i = 1; i < 5; ++i)
        QCOMPARE(int(removals[i].root), int(RegistryRoot::LocalMachine));
}

void TestAutoPlay::registerWritesEveryEntryIntoTheStoreFiles()
{
    {
        RegistryStore store(registryDir());
        QVERIFY(RegisterAutoPlayHandler(store, m_program, appsDir()));
    }
    QVERIFY(m_prompt->messages.isEmpty());

    // A fresh store reads the files back.
    RegistryStore reread(registryDir());
    for (const Expected &e : expectedEntries(m_program)) {
        RegistryError error = RegistryError::None;
        const auto value = reread.readString(e.root, e.key, e.name, &error);
        QVERIFY2(value.has_value(), qPrintable(e.key + QLatin1Char(' ') + e.name));
        QCOMPARE(*value, e.data);
    }
    QCOMPARE(reread.valueNames(RegistryRoot::LocalMachine, kHandler),
             QStringList({QStringLiteral("Action"), QStringLiteral("DefaultIcon"), QStringLiteral("Provider"),
                          QStringLiteral("InvokeProgID"), QStringLiteral("InvokeVerb")}));
    QCOMPARE(reread.valueNames(RegistryRoot::LocalMachine, kEvents), QStringList{QStringLiteral("Vantora")});

    // The two spellings of "Explorer" are one key in the file.
    const QString lm = QString::fromUtf8(readAll(reread.filePath(RegistryRoot::LocalMachine)));
    QCOMPARE(
        lm.count(QStringLiteral("[HKEY_LOCAL_MACHINE\\") + kHandler + QLatin1Char(']'), Qt::CaseInsensitive),
        1);
    QVERIFY(lm.contains(QStringLiteral("\"Action\"=\"ファイルを取り込む\"")));
    QVERIFY(lm.contains(QStringLiteral("\"Vantora\"=\"\"")));
    const QString cr = QString::fromUtf8(readAll(reread.filePath(RegistryRoot::ClassesRoot)));
    QVERIFY(cr.contains(QStringLiteral("[HKEY_CLASSES_ROOT\\Vantora\\shell\\open\\command]\r\n@=\"") +
                        m_program + QStringLiteral(" %L\"")));
    QVERIFY(cr.contains(QStringLiteral("[HKEY_CLASSES_ROOT\\Vantora]\r\n@=\"Vantora Class\"")));
    // Nothing lands in the user's own settings.
    QVERIFY(!QFile::exists(reread.filePath(RegistryRoot::CurrentUser)));
}

void TestAutoPlay::registerTwiceLeavesTheSameEntries()
{
    RegistryStore store(registryDir());
    QVERIFY(RegisterAutoPlayHandler(store, m_program, appsDir()));
    const QByteArray cr = readAll(store.filePath(RegistryRoot::ClassesRoot));
    const QByteArray lm = readAll(store.filePath(RegistryRoot::LocalMachine));
    const QByteArray entry = readAll(appsDir() + QStringLiteral("/vantora.desktop"));
    QVERIFY(!cr.isEmpty() && !lm.isEmpty() && !entry.isEmpty());

    RegistryStore again(registryDir());
    QVERIFY(RegisterAutoPlayHandler(again, m_program, appsDir()));
    QCOMPARE(readAll(store.filePath(RegistryRoot::ClassesRoot)), cr);
    QCOMPARE(readAll(store.filePath(RegistryRoot::LocalMachine)), lm);
    QCOMPARE(readAll(appsDir() + QStringLiteral("/vantora.desktop")), entry);
    QVERIFY(m_prompt->messages.isEmpty());
}

void TestAutoPlay::programPathIsWrittenUnquoted_data()
{
    programPathRows();
}

void TestAutoPlay::programPathIsWrittenUnquoted()
{
    QFETCH(QString, program);
    QVERIFY(registerWithOwnStore(program));
    RegistryStore reread(registryDir());
    QCOMPARE(reread.readString(RegistryRoot::ClassesRoot, QStringLiteral("Vantora\\shell\\open\\command"),
                               QString()),
             std::optional<QString>(program + QStringLiteral(" %L")));
    QCOMPARE(reread.readString(RegistryRoot::LocalMachine,
                               QStringLiteral("SOFTWARE\\Classes\\Vantora\\shell\\open\\command"), QString()),
             std::optional<QString>(program + QStringLiteral(" %L")));
    QCOMPARE(reread.readString(RegistryRoot::LocalMachine, kHandler, QStringLiteral("DefaultIcon")),
             std::optional<QString>(program + QStringLiteral(", 0")));
}

void TestAutoPlay::unregisterRemovesOnlyWhatRegistrationWrote()
{
    RegistryStore store(registryDir());
    // Another handler of the same event and another class stay.
    QVERIFY(store.writeString(RegistryRoot::LocalMachine, kEvents, QStringLiteral("OtherApp"), QString()));
    QVERIFY(store.writeString(RegistryRoot::ClassesRoot, QStringLiteral("OtherClass"), QString(),
                              QStringLiteral("x")));
    QVERIFY(store.writeString(RegistryRoot::CurrentUser, QStringLiteral("Software\\Q.Lintar\\Vantix"),
                              QStringLiteral("SourceEditText"), QStringLiteral("/media/card/DCIM/")));
    QVERIFY(RegisterAutoPlayHandler(store, m_program, appsDir()));
    QVERIFY(QFile::exists(appsDir() + QStringLiteral("/vantora.desktop")));

    QVERIFY(UnregisterAutoPlayHandler(store, appsDir()));
    QVERIFY(m_prompt->messages.isEmpty());

    RegistryStore reread(registryDir());
    QVERIFY(!reread.keyExists(RegistryRoot::ClassesRoot, QStringLiteral("Vantora")));
    QVERIFY(!reread.keyExists(RegistryRoot::LocalMachine, kHandler));
    QVERIFY(!reread.keyExists(RegistryRoot::LocalMachine, QStringLiteral("SOFTWARE\\Classes\\Vantora")));
    QCOMPARE(reread.valueNames(RegistryRoot::LocalMachine, kEvents), QStringList{QStringLiteral("OtherApp")});
    QCOMPARE(reread.readString(RegistryRoot::ClassesRoot, QStringLiteral("OtherClass"), QString()),
             std::optional<QString>(QStringLiteral("x")));
    QVERIFY(reread
                .readString(RegistryRoot::CurrentUser, QStringLiteral("Software\\Q.Lintar\\Vantix"),
                            QStringLiteral("SourceEditText"))
                .has_value());
    QVERIFY(!QFile::exists(appsDir() + QStringLiteral("/vantora.desktop")));
}

void TestAutoPlay::unregisterWhenNothingIsRegisteredIsSilent()
{
    RegistryStore store(registryDir());
    QVERIFY(UnregisterAutoPlayHandler(store, appsDir()));
    QVERIFY(m_prompt->messages.isEmpty());
    // Nothing to remove, nothing written.
    QVERIFY(!QFile::exists(store.filePath(RegistryRoot::LocalMachine)));
    QVERIFY(!QFile::exists(store.filePath(RegistryRoot::ClassesRoot)));

    // The event key without our value: opened, not created, its other values kept.
    QVERIFY(store.writeString(RegistryRoot::LocalMachine, kEvents, QStringLiteral("OtherApp"), QString()));
    QVERIFY(UnregisterAutoPlayHandler(store, appsDir()));
    QCOMPARE(store.valueNames(RegistryRoot::LocalMachine, kEvents), QStringList{QStringLiteral("OtherApp")});

    QStringList started;
    const auto outcome = RunRegistrationSwitch({QStringLiteral("/unreg")}, store, m_program, appsDir(),
                                               [&](const QString &p, const QStringList &a) {
                                                   started << p << a;
                                                   return true;
                                               });
    QCOMPARE(outcome, RegistrationSwitch::CloseWindow);
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("自動再生から解除しました")});
    QCOMPARE(started, QStringList{m_program});
}

void TestAutoPlay::desktopEntryAppearsValidatesAndDisappears_data()
{
    programPathRows();
}

void TestAutoPlay::desktopEntryAppearsValidatesAndDisappears()
{
    QFETCH(QString, program);
    RegistryStore store(registryDir());
    QVERIFY(RegisterAutoPlayHandler(store, program, appsDir()));
    const QString path = appsDir() + QStringLiteral("/vantora.desktop");
    QVERIFY(QFile::exists(path));

    const QString text = QString::fromUtf8(readAll(path));
    QCOMPARE(desktopValue(text, QStringLiteral("Name")), QStringLiteral("Vantora"));
    QCOMPARE(desktopValue(text, QStringLiteral("Comment")), QStringLiteral("ファイルを取り込む"));
    QCOMPARE(desktopValue(text, QStringLiteral("MimeType")), QStringLiteral("x-content/image-dcf;"));
    QVERIFY(!desktopValue(text, QStringLiteral("Icon")).isEmpty());
    // The desktop gets the program back as one argument, then the medium's folder.
    QCOMPARE(parseExec(desktopValue(text, QStringLiteral("Exec"))),
             QStringList({program, QStringLiteral("%f")}));
    if (program.contains(QLatin1Char(' ')))
        QVERIFY(desktopValue(text, QStringLiteral("Exec")).startsWith(QLatin1Char('"')));

    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (!validator.isEmpty()) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(validator, {path});
        QVERIFY(p.waitForFinished(20000));
        const QByteArray out = p.readAll();
        QVERIFY2(p.exitCode() == 0 && !out.contains("error"), out.constData());
    }
    // The desktop database offers the program for camera cards.
    if (!QStandardPaths::findExecutable(QStringLiteral("update-desktop-database")).isEmpty()) {
        const QByteArray cache = readAll(appsDir() + QStringLiteral("/mimeinfo.cache"));
        QVERIFY2(cache.contains("x-content/image-dcf=vantora.desktop;"), cache.constData());
    }

    QVERIFY(UnregisterAutoPlayHandler(store, appsDir()));
    QVERIFY(!QFile::exists(path));
    QVERIFY(!readAll(appsDir() + QStringLiteral("/mimeinfo.cache")).contains("vantora.desktop"));
    QVERIFY(m_prompt->messages.isEmpty());
}

void TestAutoPlay::desktopEntryGoesToTheUsersApplicationsFolder()
{
    QCOMPARE(DesktopEntryDirectory(), m_home.path() + QStringLiteral("/data/applications"));
    // Never a default application: no mimeapps.list is written.
    RegistryStore store(registryDir());
    QVERIFY(RegisterAutoPlayHandler(store, m_program, DesktopEntryDirectory()));
    QVERIFY(QFile::exists(m_home.path() + QStringLiteral("/data/applications/vantora.desktop")));
    QVERIFY(!QFile::exists(m_home.path() + QStringLiteral("/config/mimeapps.list")));
    QVERIFY(!QFile::exists(m_home.path() + QStringLiteral("/data/applications/mimeapps.list")));
    QVERIFY(UnregisterAutoPlayHandler(store, DesktopEntryDirectory()));
    QVERIFY(!QFile::exists(m_home.path() + QStringLiteral("/data/applications/vantora.desktop")));
}

void TestAutoPlay::switchRegisters()
{
    RegistryStore store(registryDir());
    QList<QPair<QString, QStringList>> started;
    const auto outcome = RunRegistrationSwitch({QStringLiteral("/reg")}, store, m_program, appsDir(),
                                               [&](const QString &p, const QStringList &a) {
                                                   started.append({p, a});
                                                   return true;
                                               });
    QCOMPARE(outcome, RegistrationSwitch::CloseWindow);
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("自動再生に登録しました")});
    QCOMPARE(started.size(), 1);
    QCOMPARE(started[0].first, m_program);
    QVERIFY(started[0].second.isEmpty());
    RegistryStore reread(registryDir());
    for (const Expected &e : expectedEntries(m_program))
        QCOMPARE(reread.readString(e.root, e.key, e.name), std::optional<QString>(e.data));
    QVERIFY(QFile::exists(appsDir() + QStringLiteral("/vantora.desktop")));
}

void TestAutoPlay::switchUnregisters()
{
    RegistryStore store(registryDir());
    QVERIFY(RegisterAutoPlayHandler(store, m_program, appsDir()));
    int starts = 0;
    // A failed relaunch is not reported.
    const auto outcome =
        RunRegistrationSwitch({QStringLiteral("/unreg"), QStringLiteral("extra")}, store, m_program,
                              appsDir(), [&](const QString &, const QStringList &a) {
                                  ++starts;
                                  return a.isEmpty() && false;
                              });
    QCOMPARE(outcome, RegistrationSwitch::CloseWindow);
    QCOMPARE(starts, 1);
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("自動再生から解除しました")});
    QVERIFY(!RegistryStore(registryDir()).keyExists(RegistryRoot::ClassesRoot, QStringLiteral("Vantora")));
    QVERIFY(!QFile::exists(appsDir() + QStringLiteral("/vantora.desktop")));
}

void TestAutoPlay::notASwitch_data()
{
    test::addRows<QStringList>(
        {"arguments"},
        {{"none", QStringList()},
         {"capitals", QStringList{QStringLiteral("/REG")}},
         {"mixed case", QStringList{QStringLiteral("/Unreg")}},
         {"second argument", QStringList{QStringLiteral("/media/card"), QStringLiteral("/reg")}},
         {"trailing blank", QStringList{QStringLiteral("/reg ")}},
         {"longer", QStringList{QStringLiteral("/register")}},
         {"a drive", QStringList{QStringLiteral("/media/user/CARD")}},
         {"empty first", QStringList{QString(), QStringLiteral("/reg")}}});
}

void TestAutoPlay::notASwitch()
{
    QFETCH(QStringList, arguments);
    int starts = 0;
    const auto outcome = runCountingStarts(arguments, starts);
    QCOMPARE(outcome, RegistrationSwitch::None);
    QCOMPARE(starts, 0);
    QVERIFY(m_prompt->messages.isEmpty());
    QVERIFY(!QFileInfo::exists(registryDir()));
    QVERIFY(!QFileInfo::exists(appsDir()));
}

void TestAutoPlay::unwritableStoreKeepsTheInstanceOpen()
{
    // Running as root, permissions do not stop writes: a regular file where the store's folder belongs does.
    m_work->createFile(QStringLiteral("registry"), "not a folder");
    int starts = 0;
    const auto outcome = runCountingStarts({QStringLiteral("/reg")}, starts);
    QCOMPARE(outcome, RegistrationSwitch::StayOpen);
    // The first row is a key's default value: its name is empty.
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("'' の設定に失敗しました")});
    QCOMPARE(starts, 0);
    QVERIFY(!QFileInfo::exists(appsDir() + QStringLiteral("/vantora.desktop")));
    QCOMPARE(readAll(registryDir()), QByteArray("not a folder"));
}

void TestAutoPlay::laterWriteFailureStopsThere()
{
    RegistryStore store(registryDir());
    // The machine root's file cannot be replaced: a folder holds its name.
    QVERIFY(!store.keyExists(RegistryRoot::LocalMachine, kHandler));
    QVERIFY(QDir().mkpath(store.filePath(RegistryRoot::LocalMachine) + QStringLiteral("/keep")));

    int starts = 0;
    const auto outcome = runCountingStarts({QStringLiteral("/reg")}, store, starts);
    QCOMPARE(outcome, RegistrationSwitch::StayOpen);
    QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("'Action' の設定に失敗しました")});
    QCOMPARE(starts, 0);
    // Rows 1 to 4 went in before the failure; nothing after it.
    RegistryStore reread(registryDir());
    QCOMPARE(reread.readString(RegistryRoot::ClassesRoot, QStringLiteral("Vantora\\shell\\open\\command"),
                               QString()),
             std::optional<QString>(m_program + QStringLiteral(" %L")));
    QVERIFY(QFileInfo(store.filePath(RegistryRoot::LocalMachine)).isDir());
    QVERIFY(QFileInfo::exists(store.filePath(RegistryRoot::LocalMachine) + QStringLiteral("/keep")));
    QVERIFY(!QFileInfo::exists(appsDir() + QStringLiteral("/vantora.desktop")));
}

void TestAutoPlay::unwritableDesktopEntryKeepsTheInstanceOpen()
{
    m_work->createFile(QStringLiteral("applications"), "a file");
    int starts = 0;
    const auto outcome = runCountingStarts({QStringLiteral("/reg")}, starts);
    QCOMPARE(outcome, RegistrationSwitch::StayOpen);
    QCOMPARE(m_prompt->messages, QStringList{QLatin1Char('\'') + appsDir() +
                                             QStringLiteral("/vantora.desktop' の設定に失敗しました")});
    QCOMPARE(starts, 0);
    QCOMPARE(readAll(appsDir()), QByteArray("a file"));
}

void TestAutoPlay::readOnlyFilesystems()
{
    // The mounts stay in this process's own namespace, out of every other test's sight.
    if (const QString why = test::enterPrivateMountNamespace(); !why.isEmpty())
        QSKIP(qPrintable(why));
    const QByteArray registry = QFile::encodeName(m_work->createDir(QStringLiteral("registry")));
    if (::mount("tmpfs", registry.constData(), "tmpfs", MS_RDONLY, "size=64k") != 0)
        QSKIP("needs root to mount a read-only tmpfs");
    const QByteArray apps = QFile::encodeName(m_work->createDir(QStringLiteral("applications")));
    const bool appsMounted = ::mount("tmpfs", apps.constData(), "tmpfs", 0, "size=64k") == 0;
    auto unmount = qScopeGuard([&] {
        ::umount(registry.constData());
        if (appsMounted)
            ::umount(apps.constData());
    });
    QVERIFY(appsMounted);

    int starts = 0;
    const ProgramStarter starter = [&](const QString &, const QStringList &) {
        ++starts;
        return true;
    };
    {
        RegistryStore store(registryDir());
        QCOMPARE(RunRegistrationSwitch({QStringLiteral("/reg")}, store, m_program, appsDir(), starter),
                 RegistrationSwitch::StayOpen);
        QCOMPARE(m_prompt->messages, QStringList{QStringLiteral("'' の設定に失敗しました")});
        QCOMPARE(starts, 0);
        QVERIFY(!QFileInfo::exists(appsDir() + QStringLiteral("/vantora.desktop")));
    }

    // An entry the desktop still offers, on a folder that became read-only: unregistering says so.
    QVERIFY(WriteDesktopEntry(appsDir(), m_program));
    QCOMPARE(::mount("tmpfs", apps.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    m_prompt->clear();
    RegistryStore store(registryDir());
    QCOMPARE(RunRegistrationSwitch({QStringLiteral("/unreg")}, store, m_program, appsDir(), starter),
             RegistrationSwitch::StayOpen);
    QCOMPARE(m_prompt->messages, QStringList{QLatin1Char('\'') + appsDir() +
                                             QStringLiteral("/vantora.desktop' の削除に失敗しました")});
    QCOMPARE(starts, 0);
    QVERIFY(QFileInfo::exists(appsDir() + QStringLiteral("/vantora.desktop")));
}

void TestAutoPlay::restartElevatedStartsNothing()
{
    QVERIFY(!RestartElevated(m_program, QStringLiteral("/reg")));
    QVERIFY(!RestartElevated(m_program, QStringLiteral("/unreg")));
}

QTEST_GUILESS_MAIN(TestAutoPlay)
#include "tst_autoplay.moc"
