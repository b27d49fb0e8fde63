#include "app/vantoraapp.h"
#include "formchild.h"
#include "platform/registrystore.h"
#include "platform/specialfolders.h"
#include "platform/volumesfake.h"
#include "settings/settingsstore.h"
#include "tables.h"
#include "testdir.h"
#include "testprompt.h"
#include "ui/tmainform.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace vantora;
using vantora::test::formChild;

namespace {

const QString kKey = QStringLiteral("Software\\Q.Lintar\\Vantix");

// The 90 values, then those added later.
qsizetype storedValueCount()
{
    return SettingsRecord::fields().size() + SettingsRecord::addedFields().size();
}

QString documents()
{
    return GetSpecialFolderPath(CSIDL_PERSONAL) + QLatin1Char('/');
}

QString pictures()
{
    return GetSpecialFolderPath(CSIDL_MYPICTURES) + QLatin1Char('/');
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void storedValuesInTheirFixedOrder();
    void firstStartGivesTheDefaults();
    void closeWritesAllValuesAndASecondStartReadsThemBack();
    void partialStores_data();
    void partialStores();
    void storedSourceOnAMissingFolder();
    void garbageFileIsKeptAsideWithOneMessage();
    void addedValuesComeLastAndAnOlderFileLoadsWithoutThem();
    void specialFoldersHaveNoTrailingDelimiter();

private:
    QTemporaryDir m_home;
    // The windows see these volumes, never the machine's: a card mounted here changes nothing.
    std::unique_ptr<FakeVolumes> m_volumes;
    QString m_registry;
};

void TestSettings::initTestCase()
{
    test::isolateHome(m_home.path());
    // The home plays the system volume; no other volume is mounted.
    m_volumes = std::make_unique<FakeVolumes>(m_home.path());
    m_registry = RegistryStore::defaultDirectory();
    QVERIFY(m_registry.startsWith(m_home.path()));
}

void TestSettings::init()
{
    QDir(m_registry).removeRecursively();
    QDir(m_home.path() + QLatin1String("/Documents")).removeRecursively();
    QDir(m_home.path() + QLatin1String("/Pictures")).removeRecursively();
}

void TestSettings::storedValuesInTheirFixedOrder()
{
    // Written out by hand: the type values are generated from the extension catalogue, and a stored
    // name or its place must never move with it.
    using T = SettingsRecord::Type;
    const std::pair<const char *, T> expected[] = {
        {"SourceEditText", T::String},
        {"TransferEditText", T::String},
        {"DelChecked", T::Boolean},
        {"UwagakiChecked", T::Boolean},
        {"JPGChecked", T::Boolean},
        {"JPGDir", T::String},
        {"JPEGDir", T::String},
        {"TIFChecked", T::Boolean},
        {"TIFDir", T::String},
        {"TIFFDir", T::String},
        {"PNGChecked", T::Boolean},
        {"PNGDir", T::String},
        {"GIFChecked", T::Boolean},
        {"GIFDir", T::String},
        {"BMPChecked", T::Boolean},
        {"BMPDir", T::String},
        {"PSDChecked", T::Boolean},
        {"PSDDir", T::String},
        {"DNGChecked", T::Boolean},
        {"DNGDir", T::String},
        {"NEFChecked", T::Boolean},
        {"NEFDir", T::String},
        {"CR2Checked", T::Boolean},
        {"CR2Dir", T::String},
        {"PEFChecked", T::Boolean},
        {"PEFDir", T::String},
        {"ARWChecked", T::Boolean},
        {"ARWDir", T::String},
        {"ORFChecked", T::Boolean},
        {"ORFDir", T::String},
        {"RW2Checked", T::Boolean},
        {"RW2Dir", T::String},
        {"RAFChecked", T::Boolean},
        {"RAFDir", T::String},
        {"MOVChecked", T::Boolean},
        {"MOVDir", T::String},
        {"MP4Checked", T::Boolean},
        {"MP4Dir", T::String},
        {"AVIChecked", T::Boolean},
        {"AVIDir", T::String},
        {"MPGChecked", T::Boolean},
        {"MPGDir", T::String},
        {"MPEGDir", T::String},
        {"WMVChecked", T::Boolean},
        {"WMVDir", T::String},
        {"MKVChecked", T::Boolean},
        {"MKVDir", T::String},
        {"FLVChecked", T::Boolean},
        {"FLVDir", T::String},
        {"WAVChecked", T::Boolean},
        {"WAVDir", T::String},
        {"MP3Checked", T::Boolean},
        {"MP3Dir", T::String},
        {"AACChecked", T::Boolean},
        {"AACDir", T::String},
        {"WMAChecked", T::Boolean},
        {"WMADir", T::String},
        {"M4AChecked", T::Boolean},
        {"M4ADir", T::String},
        {"FLACChecked", T::Boolean},
        {"FLACDir", T::String},
        {"MIDChecked", T::Boolean},
        {"MIDDir", T::String},
        {"ExtEdit1Text", T::String},
        {"Ext1Dir", T::String},
        {"ExtEdit2Text", T::String},
        {"Ext2Dir", T::String},
        {"AllFileChecked", T::Boolean},
        {"AllFileDir", T::String},
        {"DirRenbanSpinEditValue", T::Integer},
        {"FileRenbanSpinEditValue", T::Integer},
        {"sDayEditText", T::String},
        {"ExecEditText", T::String},
        {"ExecChecked", T::Boolean},
        {"DirNameEditText", T::String},
        {"FileNameEditText", T::String},
        {"DirCreateChecked", T::Boolean},
        {"RenameChecked", T::Boolean},
        {"ParamRadioGroupIndex", T::Integer},
        {"RenbanResetChecked", T::Boolean},
        {"PANA101Checked", T::Boolean},
        {"PreDirNameEditText", T::String},
        {"SufDirNameEditText", T::String},
        {"PreFileNameEditText", T::String},
        {"SufFileNameEditText", T::String},
        {"ExecCloseChecked", T::Boolean},
        {"PreDirChecked", T::Boolean},
        {"SufDirChecked", T::Boolean},
        {"PreFileChecked", T::Boolean},
        {"SufFileChecked", T::Boolean},
    };
    const auto &fields = SettingsRecord::fields();
    QCOMPARE(int(fields.size()), int(std::size(expected)));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        QCOMPARE(QLatin1String(fields[i].name), QLatin1String(expected[i].first));
        QVERIFY2(fields[i].type == expected[i].second, expected[i].first);
    }
}

void TestSettings::firstStartGivesTheDefaults()
{
    test::TestPrompt prompt;
    RegistryStore store;
    SettingsRecord r;
    r.type(u"JPG").checked = false;
    QCOMPARE(LoadSettings(store, r), LoadOutcome::NoKey);
    QCOMPARE(r.SourceEditText, documents());
    QVERIFY(r.SourceEditText.endsWith(QLatin1String("/Documents/")));
    QCOMPARE(r.TransferEditText, pictures());
    QCOMPARE(r.type(u"JPG").dir, pictures());
    QCOMPARE(r.AllFileDir, pictures());
    for (bool ticked : {r.type(u"JPG").checked, r.type(u"TIF").checked, r.type(u"MOV").checked,
                        r.type(u"MP4").checked, r.type(u"AVI").checked, r.AllFileChecked})
        QVERIFY(ticked);
    QVERIFY(!r.type(u"PNG").checked && !r.DelChecked && !r.SufFileChecked);
    QCOMPARE(r.DirRenbanSpinEditValue, 1);
    QCOMPARE(r.FileRenbanSpinEditValue, 1);
    QCOMPARE(r.DirNameEditText, QStringLiteral("新しいフォルダ"));
    QCOMPARE(r.FileNameEditText, QStringLiteral("[元のファイル名]"));
    QVERIFY(r.sDayEditText.isEmpty());
    QCOMPARE(r.ParamRadioGroupIndex, 0);

    // Through the real window: no message at all. (The start-up detection keeps an existing source.)
    QDir().mkpath(documents());
    VantoraApp app({}, m_volumes.get());
    app.mainForm()->show();
    QVERIFY(prompt.messages.isEmpty());
    QCOMPARE(formChild<QLineEdit>(app.mainForm(), "SourceEdit1")->text(), documents());
    app.mainForm()->close();
}

void TestSettings::closeWritesAllValuesAndASecondStartReadsThemBack()
{
    test::TestPrompt prompt;
    const QString source = m_home.filePath(QStringLiteral("card/DCIM"));
    QVERIFY(QDir().mkpath(source));
    {
        VantoraApp app({}, m_volumes.get());
        app.mainForm()->show();
        app.settings().SourceEditText = source;
        app.settings().DirRenbanSpinEditValue = 42;
        app.settings().type(u"FLAC").dir = QStringLiteral("/music/flac");
        formChild<QCheckBox>(app.mainForm(), "DelCheckBox")->setChecked(true);
        QVERIFY(app.settings().DelChecked);
        QVERIFY(app.mainForm()->close());
    }
    RegistryStore store;
    QCOMPARE(store.valueNames(RegistryRoot::CurrentUser, kKey).size(), storedValueCount());
    for (const SettingsRecord::Field &f : SettingsRecord::fields()) {
        RegistryError error;
        if (f.type == SettingsRecord::Type::String)
            QVERIFY2(store.readString(RegistryRoot::CurrentUser, kKey, QLatin1String(f.name), &error),
                     f.name);
        else
            QVERIFY2(store.readDword(RegistryRoot::CurrentUser, kKey, QLatin1String(f.name), &error), f.name);
    }
    QCOMPARE(store.readDword(RegistryRoot::CurrentUser, kKey, QStringLiteral("DelChecked")).value(), 1u);

    VantoraApp second({}, m_volumes.get());
    second.mainForm()->show();
    QVERIFY(prompt.messages.isEmpty());
    QCOMPARE(second.settings().SourceEditText, source);
    QCOMPARE(second.settings().DirRenbanSpinEditValue, 42);
    QCOMPARE(second.settings().type(u"FLAC").dir, QStringLiteral("/music/flac"));
    QVERIFY(formChild<QCheckBox>(second.mainForm(), "DelCheckBox")->isChecked());
    QCOMPARE(formChild<QLineEdit>(second.mainForm(), "SourceEdit1")->text(), source);
    second.mainForm()->close();
}

void TestSettings::partialStores_data()
{
    test::addRows<QString>({"storeKind"},
                           {{"only source and destination", QStringLiteral("two")},
                            {"only SufFileChecked missing", QStringLiteral("lastMissing")},
                            {"folder counter stored as a string", QStringLiteral("counterAsString")}});
}

void TestSettings::partialStores()
{
    QFETCH(QString, storeKind);
    test::TestDir folders;
    const QString source = folders.createDir(QStringLiteral("src"));
    const QString target = folders.createDir(QStringLiteral("dst"));
    {
        RegistryStore store;
        if (storeKind == QLatin1String("two")) {
            store.writeString(RegistryRoot::CurrentUser, kKey, QStringLiteral("SourceEditText"), source);
            store.writeString(RegistryRoot::CurrentUser, kKey, QStringLiteral("TransferEditText"), target);
        } else {
            SettingsRecord full = SettingsRecord::defaults();
            full.SourceEditText = source;
            full.TransferEditText = target;
            full.DelChecked = true;
            full.DirRenbanSpinEditValue = 7;
            full.FileRenbanSpinEditValue = 9;
            full.PreFileChecked = true;
            full.SufFileChecked = true;
            QVERIFY(SaveSettings(store, full));
            if (storeKind == QLatin1String("lastMissing")) {
                QVERIFY(store.deleteValue(RegistryRoot::CurrentUser, kKey, QStringLiteral("SufFileChecked")));
            } else {
                store.writeString(RegistryRoot::CurrentUser, kKey, QStringLiteral("DirRenbanSpinEditValue"),
                                  QStringLiteral("7"));
            }
        }
    }
    RegistryStore store;
    SettingsRecord r;
    QCOMPARE(LoadSettings(store, r), LoadOutcome::Partial);
    QCOMPARE(r.SourceEditText, source);
    QCOMPARE(r.TransferEditText, target);
    if (storeKind == QLatin1String("two")) {
        QVERIFY(!r.DelChecked);
        QVERIFY(r.type(u"JPG").checked);
        QCOMPARE(r.type(u"JPG").dir, pictures());
    } else if (storeKind == QLatin1String("lastMissing")) {
        QVERIFY(r.DelChecked);
        QCOMPARE(r.FileRenbanSpinEditValue, 9);
        QVERIFY(r.PreFileChecked);
        QVERIFY(!r.SufFileChecked); // its default
    } else {
        QVERIFY(r.DelChecked); // read before the error
        QCOMPARE(r.DirRenbanSpinEditValue, 1);
        QCOMPARE(r.FileRenbanSpinEditValue, 1);
        QVERIFY(!r.PreFileChecked);
    }

    // The window shows the one message, and the next close completes the key.
    test::TestPrompt prompt;
    {
        VantoraApp app({}, m_volumes.get());
        app.mainForm()->show();
        QCOMPARE(prompt.messages, QStringList{partialSettingsMessage()});
        app.mainForm()->close();
    }
    QCOMPARE(RegistryStore().valueNames(RegistryRoot::CurrentUser, kKey).size(), storedValueCount());
    SettingsRecord again;
    QCOMPARE(LoadSettings(store = RegistryStore(), again), LoadOutcome::Complete);
}

void TestSettings::storedSourceOnAMissingFolder()
{
    {
        RegistryStore store;
        SettingsRecord r = SettingsRecord::defaults();
        r.SourceEditText = QStringLiteral("/media/nocard/DCIM/");
        r.TransferEditText = QStringLiteral("/nowhere/at/all/");
        r.type(u"PNG").dir = QStringLiteral("/deleted/folder/");
        // Written directly: the save rule would already replace the folders.
        store.beginBatch(RegistryRoot::CurrentUser);
        for (const SettingsRecord::Field &f : SettingsRecord::fields()) {
            if (f.type == SettingsRecord::Type::String)
                store.writeString(RegistryRoot::CurrentUser, kKey, QLatin1String(f.name), f.text(r));
            else if (f.type == SettingsRecord::Type::Boolean)
                store.writeDword(RegistryRoot::CurrentUser, kKey, QLatin1String(f.name), f.flag(r));
            else
                store.writeDword(RegistryRoot::CurrentUser, kKey, QLatin1String(f.name),
                                 quint32(f.number(r)));
        }
        QVERIFY(store.endBatch(RegistryRoot::CurrentUser));
    }
    RegistryStore store;
    SettingsRecord r;
    QCOMPARE(LoadSettings(store, r), LoadOutcome::Complete);
    QCOMPARE(r.SourceEditText, documents());
    QCOMPARE(r.TransferEditText, pictures());
    QCOMPARE(r.type(u"PNG").dir, QStringLiteral("/deleted/folder/")); // type folders load unchanged
}

void TestSettings::garbageFileIsKeptAsideWithOneMessage()
{
    QDir().mkpath(m_registry);
    QFile garbage(m_registry + QLatin1String("/HKEY_CURRENT_USER.reg"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("\x00\xff garbage [[[ \"", 16);
    garbage.close();

    test::TestPrompt prompt;
    {
        VantoraApp app({}, m_volumes.get());
        app.mainForm()->show();
        QCOMPARE(prompt.messages.size(), 1);
        QVERIFY(prompt.messages.first().contains(garbage.fileName()));
        QCOMPARE(app.settings().SourceEditText, documents());
        QVERIFY(app.settings().type(u"JPG").checked);
        app.mainForm()->close();
    }
    const QStringList aside =
        QDir(m_registry).entryList({QStringLiteral("HKEY_CURRENT_USER.reg.unreadable-*")});
    QCOMPARE(aside.size(), 1);
    QFile kept(m_registry + QLatin1Char('/') + aside.first());
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("\x00\xff garbage [[[ \"", 16));
    QCOMPARE(RegistryStore().valueNames(RegistryRoot::CurrentUser, kKey).size(), storedValueCount());
}

void TestSettings::addedValuesComeLastAndAnOlderFileLoadsWithoutThem()
{
    QCOMPARE(SettingsRecord::fields().size(), 90);
    QStringList added;
    for (const SettingsRecord::Field &f : SettingsRecord::addedFields())
        added << QLatin1String(f.name);
    QCOMPARE(added, (QStringList{QStringLiteral("SkipImportedChecked"), QStringLiteral("VerifyChecked"),
                                 QStringLiteral("EjectChecked"), QStringLiteral("KeepShotsTogetherChecked"),
                                 QStringLiteral("ClockOffsetMinutes"), QStringLiteral("CameraModel"),
                                 QStringLiteral("BackupChecked"), QStringLiteral("BackupDirText"),
                                 QStringLiteral("ManifestChecked")}));
    for (const QString &name : std::as_const(added))
        QVERIFY2(!SettingsRecord::field(name), qPrintable(name)); // not among the 90

    // Ticked, stored and read back.
    SettingsRecord record = SettingsRecord::defaults();
    record.SkipImportedChecked = true;
    record.VerifyChecked = true;
    record.EjectChecked = true;
    record.KeepShotsTogetherChecked = true;
    record.ClockOffsetMinutes = -540;
    record.CameraModel = QStringLiteral("Directory Browse");
    record.BackupChecked = true;
    record.BackupDirText = QStringLiteral("/media/second/写真");
    record.ManifestChecked = true;
    record.DelChecked = true;
    {
        RegistryStore store;
        QVERIFY(SaveSettings(store, record));
    }
    SettingsRecord back;
    {
        RegistryStore store;
        QCOMPARE(LoadSettings(store, back), LoadOutcome::Complete);
    }
    QVERIFY(back.SkipImportedChecked);
    QVERIFY(back.VerifyChecked);
    QVERIFY(back.EjectChecked);
    QVERIFY(back.KeepShotsTogetherChecked);
    QCOMPARE(back.ClockOffsetMinutes, -540);
    QCOMPARE(back.CameraModel, QStringLiteral("Directory Browse"));
    QVERIFY(back.BackupChecked);
    QCOMPARE(back.BackupDirText, QStringLiteral("/media/second/写真"));
    QVERIFY(back.ManifestChecked);

    // A file written before the values existed: no message, every other value as stored, the new ones off.
    {
        RegistryStore store;
        for (const QString &name : std::as_const(added))
            QVERIFY(store.deleteValue(RegistryRoot::CurrentUser, kKey, name));
    }
    QCOMPARE(RegistryStore().valueNames(RegistryRoot::CurrentUser, kKey).size(), 90);
    test::TestPrompt prompt;
    {
        VantoraApp app({}, m_volumes.get());
        app.mainForm()->show();
        QVERIFY(app.settings().DelChecked);
        QVERIFY(!app.settings().SkipImportedChecked);
        QVERIFY(!app.settings().VerifyChecked);
        QVERIFY(!app.settings().EjectChecked);
        QVERIFY(!app.settings().BackupChecked);
        QVERIFY(app.settings().BackupDirText.isEmpty());
        QVERIFY(!app.settings().ManifestChecked);
        auto *skip = formChild<QCheckBox>(app.mainForm(), "SkipImportedCheckBox");
        auto *verify = formChild<QCheckBox>(app.mainForm(), "VerifyCheckBox");
        auto *eject = formChild<QCheckBox>(app.mainForm(), "EjectCheckBox");
        QVERIFY(!skip->isChecked());
        QVERIFY(!verify->isChecked());
        QVERIFY(!eject->isChecked());
        verify->click();
        QVERIFY(app.settings().VerifyChecked);
        eject->click();
        QVERIFY(app.settings().EjectChecked);
        auto *backup = formChild<QCheckBox>(app.mainForm(), "BackupCheckBox");
        auto *backupDir = formChild<QLineEdit>(app.mainForm(), "BackupDirEdit");
        auto *manifest = formChild<QCheckBox>(app.mainForm(), "ManifestCheckBox");
        QVERIFY(!backup->isChecked());
        QVERIFY(!manifest->isChecked());
        QCOMPARE(backup->text(), QStringLiteral("バックアップ先にもコピー"));
        QCOMPARE(manifest->text(), QStringLiteral("チェックサム一覧を保存"));
        prompt.folders.append(m_home.path());
        formChild<QPushButton>(app.mainForm(), "BackupDirButton")->click();
        QCOMPARE(backupDir->text(), m_home.path());
        QCOMPARE(app.settings().BackupDirText, m_home.path());
        backup->click();
        manifest->click();
        QVERIFY(app.settings().BackupChecked);
        QVERIFY(app.settings().ManifestChecked);
        app.mainForm()->close();
    }
    QCOMPARE(prompt.messages, QStringList());
    // Stored after the 90, in their order.
    const QStringList names = RegistryStore().valueNames(RegistryRoot::CurrentUser, kKey);
    QCOMPARE(names.size(), storedValueCount());
    QCOMPARE(names.mid(90), added);
    SettingsRecord again;
    {
        RegistryStore store;
        QCOMPARE(LoadSettings(store, again), LoadOutcome::Complete);
    }
    QVERIFY(again.VerifyChecked);
    QVERIFY(again.EjectChecked);
    QVERIFY(!again.SkipImportedChecked);
    QVERIFY(again.BackupChecked);
    QVERIFY(again.ManifestChecked);
    QCOMPARE(again.BackupDirText, m_home.path());
}

void TestSettings::specialFoldersHaveNoTrailingDelimiter()
{
    const QString home = m_home.path();
    QCOMPARE(GetSpecialFolderPath(CSIDL_PERSONAL), home + QLatin1String("/Documents"));
    QCOMPARE(GetSpecialFolderPath(CSIDL_MYPICTURES), home + QLatin1String("/Pictures"));
    QCOMPARE(GetSpecialFolderPath(CSIDL_MYVIDEO), home + QLatin1String("/Videos"));
    QCOMPARE(GetSpecialFolderPath(CSIDL_MYMUSIC), home + QLatin1String("/Music"));
    QVERIFY(!QFileInfo::exists(home + QLatin1String("/Videos"))); // not created by the lookup
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
