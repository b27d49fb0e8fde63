#include "app/aftertransferapp.h"
#include "formchild.h"
#include "platform/bytepath.h"
#include "platform/directoryreader.h"
#include "platform/filestamp.h"
#include "platform/launcher.h"
#include "platform/nativefile.h"
#include "platform/pathops.h"
#include "platform/volumesmounttable.h"
#include "routing/widgets/extensionroutingcontroller.h"
#include "settings/settingsrecord.h"
#include "ui/textform.h"
#include "ui/tmainform.h"

#include "rawfiles.h"
#include "testdir.h"
#include "testprompt.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QtTest>

#include <cerrno>

using namespace vantora;
using namespace vantora::test;

namespace {

// Takes byte strings built with "+" as they are.
QString textOf(const QByteArray &bytes)
{
    return pathFromBytes(bytes);
}

// A program that writes its arguments, one a line, to a file (through a temporary name, so the file
// appears complete).
QByteArray writeRecorder(const QByteArray &script, const QByteArray &out)
{
    const QByteArray text = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out +
                            ".tmp'\nmv '" + out + ".tmp' '" + out + "'\n";
    if (!writeRawFile(script, text) || ::chmod(script.constData(), 0755) != 0)
        return QByteArray();
    return script;
}

// The arguments the recorder wrote, once it has written them.
QList<QByteArray> recorded(const QByteArray &out)
{
    if (!QTest::qWaitFor([&] { return rawExists(out); }, 20000))
        return {QByteArray("<not started>")};
    QList<QByteArray> args = readRawFile(out).split('\n');
    args.removeLast(); // after the last newline
    return args;
}

} // namespace

class TestRawNames final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void readerListsExactBytes();
    void readerDoesNotFollowWhereToldNot();
    void pathOperationsActOnTheBytes();
    void nativeFileOpensTheRightTwin();
    void mountPointNamedWithRawBytes();
    void launchPassesRawArgumentsExactly();
    void launchFailureReported();
    void afterTransferLaunchPassesRawFolder();
};

void TestRawNames::readerListsExactBytes()
{
    RawTestDir dir;
    const QByteArray base = dir.path() + "/src\xFF";
    QVERIFY(makeRawDir(base));
    QVERIFY(writeRawFile(base + '/' + RawFfName, "ff"));
    QVERIFY(writeRawFile(base + '/' + RawReplacementName, "replacement"));
    const QByteArray latin = base + "/\xE9t\xE9";
    QVERIFY(makeRawDir(latin));
    QVERIFY(::symlink(latin.constData(), QByteArray(base + "/l\xFF").constData()) == 0);
    QVERIFY(::mkfifo(QByteArray(base + "/p\xFE").constData(), 0600) == 0);

    DirectoryReader reader(textOf(base));
    QVERIFY(reader.isOpen());
    const FileStatus self = reader.status();
    QCOMPARE(self.kind, EntryKind::Folder);
    const FileStatus byPath = statPath(textOf(base));
    QCOMPARE(self.device, byPath.device);
    QCOMPARE(self.inode, byPath.inode);

    QMap<QByteArray, EntryKind> listed;
    QMap<QByteArray, EntryKind> followed;
    while (reader.next()) {
        const QByteArray name = reader.nameBytes().toByteArray();
        QCOMPARE(reader.name(), pathFromBytes(name));
        QCOMPARE(pathToBytes(reader.name()), name);
        EntryKind kind = reader.entryKind();
        if (kind == EntryKind::Unknown)
            kind = reader.entryStatus(false).kind;
        listed.insert(name, kind);
        followed.insert(name, reader.entryStatus(true).kind);
    }
    QCOMPARE(reader.error(), 0);
    const QMap<QByteArray, EntryKind> expected{{RawFfName, EntryKind::File},
                                               {RawReplacementName, EntryKind::File},
                                               {"\xE9t\xE9", EntryKind::Folder},
                                               {"l\xFF", EntryKind::Link},
                                               {"p\xFE", EntryKind::Other}};
    QCOMPARE(listed, expected);
    QCOMPARE(followed.value("l\xFF"), EntryKind::Folder);
    QCOMPARE(reader.next(), false);

    DirectoryReader missing(textOf(base + "/gone\xFF"));
    QVERIFY(!missing.isOpen());
    QCOMPARE(missing.error(), ENOENT);
    QVERIFY(!missing.next());
    // The same folder by its U+FFFD spelling is another, missing, folder.
    QVERIFY(!DirectoryReader(displayPath(textOf(base))).isOpen());
}

void TestRawNames::readerDoesNotFollowWhereToldNot()
{
    RawTestDir dir;
    const QByteArray base = dir.path();
    const QByteArray outside = base + "/outside\xFF";
    QVERIFY(makeRawDir(outside));
    QVERIFY(makeRawDir(base + "/src"));
    QVERIFY(makeRawDir(base + "/src/empty\x80"));
    QVERIFY(::symlink(outside.constData(), QByteArray(base + "/src/link\x80").constData()) == 0);

    DirectoryReader reader(textOf(base + "/src"));
    int seen = 0;
    while (reader.next()) {
        ++seen;
        if (reader.nameBytes() == QByteArrayView("link\x80")) {
            QVERIFY(!reader.openEntry(false).isOpen());
            QVERIFY(reader.openEntry(true).isOpen());
            QVERIFY(reader.removeEntryFolder() != 0);
        } else {
            QCOMPARE(reader.nameBytes(), QByteArrayView("empty\x80"));
            QVERIFY(reader.openEntry(false).isOpen());
            QCOMPARE(reader.removeEntryFolder(), 0);
        }
    }
    QCOMPARE(seen, 2);
    QVERIFY(!rawExists(base + "/src/empty\x80"));
    QVERIFY(rawExists(base + "/src/link\x80"));
    QVERIFY(rawIsDir(outside));
}

void TestRawNames::pathOperationsActOnTheBytes()
{
    RawTestDir dir;
    const QByteArray base = dir.path();
    const QByteArray deep = base + "/a\xFF/\xEF\xBF\xBD/c\xFE";
    QCOMPARE(makeFolderPath(textOf(deep) + QLatin1Char('/')), 0);
    QVERIFY(rawIsDir(deep));
    QVERIFY(rawIsDir(base + "/a\xFF/\xEF\xBF\xBD"));
    QVERIFY(!rawExists(base + "/a\xEF\xBF\xBD"));
    QCOMPARE(makeFolderPath(textOf(deep)), 0); // already there
    QCOMPARE(makeFolder(textOf(deep)), EEXIST);
    QVERIFY(isFolderPath(textOf(deep)));

    const QByteArray file = deep + '/' + RawFfName;
    QVERIFY(writeRawFile(file, "ff"));
    QVERIFY(isRegularFilePath(textOf(file)));
    QVERIFY(!isRegularFilePath(textOf(deep + '/' + RawReplacementName)));
    QCOMPARE(makeFolderPath(textOf(file + "/x")), ENOTDIR);
    QCOMPARE(statPath(textOf(file)).size, 2);
    QCOMPARE(statPath(textOf(deep + "/none\xFF")).error, ENOENT);

    const QByteArray link = base + "/link\xFF";
    QVERIFY(::symlink(deep.constData(), link.constData()) == 0);
    QCOMPARE(canonicalPath(textOf(link)), textOf(deep));
    QCOMPARE(pathToBytes(canonicalPath(textOf(link + "/" + RawFfName))), file);
    QCOMPARE(statPath(textOf(link), false).kind, EntryKind::Link);
    QCOMPARE(statPath(textOf(link)).kind, EntryKind::Folder);
    // Never through a link: rmdir refuses it and the folder behind stays.
    QVERIFY(removeFolder(textOf(link)) != 0);
    QVERIFY(rawIsDir(deep));
    QCOMPARE(RemoveFile(textOf(link)), 0);
    QVERIFY(!rawExists(link) && rawIsDir(deep));

    QCOMPARE(removeFolder(textOf(deep)), ENOTEMPTY);
    QCOMPARE(RemoveFile(textOf(file)), 0);
    QVERIFY(!rawExists(file));
    QCOMPARE(removeFolder(textOf(deep)), 0);
    QVERIFY(!rawExists(deep));

    const QString relative = textOf("rel\xFF");
    QVERIFY(absolutePath(relative).startsWith(u'/'));
    QVERIFY(absolutePath(relative).endsWith(QLatin1Char('/') + relative));
    QCOMPARE(absolutePath(QStringLiteral("/abs")), QStringLiteral("/abs"));
}

void TestRawNames::nativeFileOpensTheRightTwin()
{
    // The Exif reader opens files through this: each of the two names must open its own file.
    RawTestDir dir;
    const QByteArray base = dir.path();
    QVERIFY(writeRawFile(base + '/' + RawFfName, "ff"));
    QVERIFY(writeRawFile(base + '/' + RawReplacementName, "replacement"));
    for (const QByteArray &name : {RawFfName, RawReplacementName}) {
        const QString path = textOf(base + '/' + name);
        QVERIFY(nativeRegularFileExists(path));
        int error = 0;
        const int h = openNativeFile(path, NativeFileAccess::Read, NativeFileLock::Shared, false, error);
        QVERIFY2(h >= 0, qPrintable(nativeErrorText(error)));
        char buf[32] = {};
        const qint64 n = readNativeFile(h, buf, sizeof buf, error);
        closeNativeFile(h);
        QCOMPARE(QByteArray(buf, int(n)), readRawFile(base + '/' + name));
    }
    int error = 0;
    QCOMPARE(openNativeFile(textOf(base + "/IMG_\xFE.JPG"), NativeFileAccess::Read, NativeFileLock::None,
                            false, error),
             -1);
    QCOMPARE(error, ENOENT);
}

void TestRawNames::mountPointNamedWithRawBytes()
{
    RawTestDir dir;
    const QByteArray point = dir.path() + "/CARD \xFF";
    QVERIFY(makeRawDir(point));
    QByteArray escaped = point;
    escaped.replace(" ", "\\040").replace("\xFF", "\\377");
    const QByteArray table =
        "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n30 22 0:77 / " + escaped + " rw,nosuid - tmpfs tmpfs rw\n";
    const QList<MountEntry> entries = parseMountInfo(table);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(pathToBytes(entries.at(1).mountPoint), point);

    QVERIFY(writeRawFile(dir.path() + "/mountinfo", table));
    const MountTableVolumes volumes(QString::fromUtf8(dir.path() + "/mountinfo"));
    const QString root = textOf(point);
    QCOMPARE(volumes.driveType(root), DriveType::RamDisk);
    QVERIFY(volumes.isReady(root));
    QCOMPARE(volumes.rootOf(textOf(point + "/DCIM")), root);
}

void TestRawNames::launchPassesRawArgumentsExactly()
{
    RawTestDir dir;
    const QByteArray base = dir.path();
    const QByteArray out = base + "/args";
    // The program's own name is not UTF-8 either.
    const QByteArray script = writeRecorder(base + "/rec\xFF", out);
    QVERIFY(!script.isEmpty());
    const QList<QByteArray> args{base + "/dest/IMG_\xFF", base + "/dest/IMG_\xEF\xBF\xBD", "a b\x80",
                                 "\xE5\x86\x99\xE7\x9C\x9F"};
    QStringList texts;
    for (const QByteArray &a : args)
        texts.append(textOf(a));
    QVERIFY(launcher().start(textOf(script), texts));
    QCOMPARE(recorded(out), args);
}

void TestRawNames::launchFailureReported()
{
    RawTestDir dir;
    const QByteArray base = dir.path();
    QCOMPARE(startDetachedProcess(textOf(base + "/none\xFF"), {}), ENOENT);
    QVERIFY(writeRawFile(base + "/plain\xFF", "not a program"));
    QCOMPARE(startDetachedProcess(textOf(base + "/plain\xFF"), {}), EACCES);
}

void TestRawNames::afterTransferLaunchPassesRawFolder()
{
    RawTestDir dir;
    TestPrompt prompt;
    const QByteArray base = dir.path();
    const QByteArray out = base + "/args";
    const QByteArray script = writeRecorder(base + "/record", out);
    QVERIFY(!script.isEmpty());
    const QByteArray folder = base + "/trip/1\3770PANA";

    TMainForm form;
    SettingsRecord settings;
    TExtForm ext(&form);
    ExtensionRoutingController routing(form.destinationArea(), &ext, &settings);
    AfterTransferApp app(form.afterTransferArea(), &settings);
    app.setFirstRowFolderQuestion([&] { return routing.firstRowFolder(); });
    settings.ExecEditText = QString::fromUtf8(script);
    settings.ExecChecked = true;
    settings.ParamRadioGroupIndex = 0;
    app.applySettings();

    // The run's first destination folder, with its trailing "/".
    app.LaunchAfterTransferApp(textOf(folder + '/'));
    QCOMPARE(recorded(out), QList<QByteArray>{folder});
    QVERIFY(::unlink(out.constData()) == 0);

    // The test button: the first row's folder, shown readable, passed exact.
    formChild<QTableWidget>(&form, "ExtListEditor")->setRowCount(1);
    formChild<QTableWidget>(&form, "ExtListEditor")
        ->setItem(0, 0, new QTableWidgetItem(QStringLiteral("*.JPG")));
    formChild<QTableWidget>(&form, "ExtListEditor")->setItem(0, 1, new QTableWidgetItem(textOf(folder)));
    app.ExecTestButtonClick();
    QCOMPARE(recorded(out), QList<QByteArray>{folder});
    QCOMPARE(prompt.messages.size(), 1);
    QVERIFY(prompt.messages.at(0).endsWith(displayPath(textOf(folder))));
    QVERIFY(!hasEscapedBytes(prompt.messages.at(0)));
}

QTEST_MAIN(TestRawNames)
#include "tst_rawnames.moc"
