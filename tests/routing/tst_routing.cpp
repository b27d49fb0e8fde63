#include "platform/specialfolders.h"
#include "routing/extensioncatalogue.h"
#include "routing/extensionrouting.h"
#include "routing/extensiontable.h"
#include "settings/settingsrecord.h"
#include "tables.h"
#include "testdir.h"

#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <array>
#include <memory>

using namespace vantora;
using namespace vantora::test;
using namespace Qt::StringLiterals;

namespace {

// Choices without windows: a change of a box runs its click handling, as the dialog's boxes do.
class FakeChoices final : public ExtensionChoices
{
public:
    ExtensionRouting *routing = nullptr;
    QString folder;
    bool allFiles = true;
    std::array<bool, ExtensionTypeCount> types{};
    std::array<QString, 2> texts;
    int allFilesClicks = 0;
    int depth = 0;
    int maxDepth = 0;

    bool allFilesTicked() const override { return allFiles; }
    bool typeTicked(int type) const override { return types[type]; }
    QString freeText(int slot) const override { return texts[slot]; }
    void emptySecondFreeText() override { texts[1].clear(); }
    void tickAllFiles() override { setAllFiles(true); }
    void tickType(int type) override { setType(type, true); }

    void setAllFiles(bool on)
    {
        if (allFiles == on)
            return;
        allFiles = on;
        ++allFilesClicks;
        enter();
        routing->AllFileCheckBoxClick(folder);
        --depth;
    }
    void setType(int type, bool on)
    {
        if (types[type] == on)
            return;
        types[type] = on;
        enter();
        routing->TypeCheckBoxClick(type, folder);
        --depth;
    }

private:
    void enter()
    {
        maxDepth = std::max(maxDepth, ++depth);
        QVERIFY2(depth < 10, "the click handling does not end");
    }
};

QStringList keysOf(const ExtensionRows &rows)
{
    QStringList keys;
    for (const ExtensionRow &r : rows)
        keys << r.key;
    return keys;
}

QStringList foldersOf(const ExtensionRows &rows)
{
    QStringList folders;
    for (const ExtensionRow &r : rows)
        folders << r.folder;
    return folders;
}

ExtensionRows rowsOf(std::initializer_list<std::pair<const char *, const char *>> list)
{
    ExtensionRows rows;
    for (const auto &[key, folder] : list)
        rows.append({QString::fromUtf8(key), QString::fromUtf8(folder)});
    return rows;
}

} // namespace

class TestRouting final : public QObject
{
    Q_OBJECT

private:
    IsolatedHome m_home;
    TestDir m_dirs;

private Q_SLOTS:
    void initTestCase() { QDir().mkpath(GetSpecialFolderPath(CSIDL_MYPICTURES)); }

    void catalogue()
    {
        const auto &types = ExtensionCatalogue();
        QStringList codes;
        QStringList chosen;
        for (const ExtensionType &t : types) {
            codes << t.codeText();
            QCOMPARE(t.checkBoxName(), t.codeText() + QLatin1String("CheckBox"));
            QCOMPARE(t.selectionSetting(), t.codeText() + QLatin1String("Checked"));
            QCOMPARE(t.destinationSetting(), t.codeText() + QLatin1String("Dir"));
            if (t.chosenByDefault)
                chosen << t.codeText();
        }
        QCOMPARE(
            codes.join(QLatin1Char(' ')),
            QStringLiteral("JPG TIF PNG GIF BMP PSD DNG NEF CR2 PEF ARW ORF RW2 RAF MOV MP4 AVI MPG WMV MKV "
                           "FLV WAV MP3 AAC WMA M4A FLAC MID"));
        QCOMPARE(chosen, (QStringList{u"JPG"_s, u"TIF"_s, u"MOV"_s, u"MP4"_s, u"AVI"_s}));
        QCOMPARE(types[0].group, ExtensionGroup::Image);
        QCOMPARE(types[13].group, ExtensionGroup::Image);
        QCOMPARE(types[14].group, ExtensionGroup::Video);
        QCOMPARE(types[20].group, ExtensionGroup::Video);
        QCOMPARE(types[21].group, ExtensionGroup::Audio);
        QCOMPARE(extensionGroupCaption(ExtensionGroup::Audio), QStringLiteral("音声ファイル"));
        // Each box has a place of its own in its group's grid, and no place is left empty.
        for (ExtensionGroup group : ExtensionGroups) {
            QList<int> places;
            for (const ExtensionType &t : types) {
                if (t.group == group)
                    places << t.place;
            }
            std::sort(places.begin(), places.end());
            for (int i = 0; i < places.size(); ++i)
                QCOMPARE(places.at(i), i);
        }

        QStringList keys;
        QStringList settings;
        for (const CatalogueKey &k : CatalogueKeys()) {
            keys << k.key();
            settings << k.destinationSetting();
        }
        QCOMPARE(keys.size(), 31);
        QCOMPARE(keys.mid(0, 5), (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.TIF"_s, u"*.TIFF"_s, u"*.PNG"_s}));
        QCOMPARE(keys.mid(19, 3), (QStringList{u"*.MPG"_s, u"*.MPEG"_s, u"*.WMV"_s}));
        QCOMPARE(keys.last(), QStringLiteral("*.MID"));
        QCOMPARE(settings.mid(19, 2), (QStringList{u"MPGDir"_s, u"MPEGDir"_s}));

        // Every named setting exists in the record.
        SettingsRecord record;
        for (const ExtensionType &t : types) {
            QVERIFY(record.flagField(t.selectionSetting()));
            for (const QString &s : t.clickDestinationSettings())
                QVERIFY(record.textField(s));
        }
        for (const QString &s : settings)
            QVERIFY(record.textField(s));
        QCOMPARE(types[0].clickDestinationSettings(), (QStringList{u"JPGDir"_s, u"JPEGDir"_s}));
        QCOMPARE(types[1].clickDestinationSettings(), (QStringList{u"TIFDir"_s, u"TIFFDir"_s}));
        QCOMPARE(types[17].clickDestinationSettings(), QStringList{QStringLiteral("MPGDir")});
    }

    void keyFilter_data()
    {
        QTest::addColumn<QChar>("c");
        QTest::addColumn<bool>("refused");
        for (char c : QByteArray("\",./:;<>\\|", 10))
            QTest::newRow(QByteArray(1, c).constData()) << QChar::fromLatin1(c) << true;
        QTest::newRow("NUL") << QChar(0) << true;
        for (char c : QByteArray("*?[] -_aZ09~\b"))
            QTest::newRow(QByteArray("ok ").append(c).constData()) << QChar::fromLatin1(c) << false;
        QTest::newRow("full-width colon") << QChar(0xFF1A) << false;
        QTest::newRow("kana") << QChar(0x30A2) << false;
    }

    void keyFilter()
    {
        QFETCH(QChar, c);
        QFETCH(bool, refused);
        QCOMPARE(ExtensionKeyFilter(c), refused);
    }

    void destinationSettingForKey_data()
    {
        addRows<Text, Text, Text, Text>({"key", "ext1", "ext2", "setting"},
                                        {{"all files", "*.*", "*", "", "AllFileDir"},
                                         {"JPG", "*.JPG", "", "", "JPGDir"},
                                         {"JPEG alias", "*.JPEG", "", "", "JPEGDir"},
                                         {"TIFF alias", "*.TIFF", "", "", "TIFFDir"},
                                         {"MPEG alias", "*.MPEG", "", "", "MPEGDir"},
                                         {"MID", "*.MID", "", "", "MIDDir"},
                                         {"free spelling a type", "*.PNG", "PNG", "", "PNGDir"},
                                         {"first free", "*.raw", "raw", "R*", "Ext1Dir"},
                                         {"second free", "*.R*", "raw", "R*", "Ext2Dir"},
                                         {"case counts for types", "*.jpg", "", "", ""},
                                         {"case counts for free", "*.RAW", "raw", "", ""},
                                         {"unknown", "*.xyz", "raw", "", ""}});
    }

    void destinationSettingForKey()
    {
        QFETCH(QString, key);
        QFETCH(QString, ext1);
        QFETCH(QString, ext2);
        QFETCH(QString, setting);
        SettingsRecord record;
        record.ExtEdit1Text = ext1;
        record.ExtEdit2Text = ext2;
        QCOMPARE(DestinationSettingForKey(key, record), setting);
    }

    void lookup_data()
    {
        addRows<Text, Text>({"file", "expected"}, {{"lower case", "/card/DCIM/100/x.jpg", "/jpg"},
                                                   {"upper case", "Y.JPG", "/jpg"},
                                                   {"alias", "z.jpeg", "/jpeg"},
                                                   {"last dot", "a.tar.gz", "/gz"},
                                                   {"no row", "a.png", ""},
                                                   {"no extension", "README", ""},
                                                   {"dot in folder only", "/a.b/README", ""},
                                                   {"wildcard rows are literal", "b.raw", ""},
                                                   {"first row wins", "c.mov", "/mov1"}});
    }

    void lookup()
    {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        const ExtensionRows rows = rowsOf({{"*.JPG", "/jpg"},
                                           {"*.JPEG", "/jpeg"},
                                           {"*.R*", "/r"},
                                           {"*.GZ", "/gz"},
                                           {"*.MOV", "/mov1"},
                                           {"*.mov", "/mov2"}});
        QCOMPARE(LookupExtensionDestination(rows, file, false), expected);
        QCOMPARE(LookupExtensionDestination(rows, file), expected);
    }

    void lookupAllFiles()
    {
        const ExtensionRows all = rowsOf({{"*.*", "/all/"}});
        for (const QString &name : {u"x.jpg"_s, u"README"_s, u"a.tar.gz"_s}) {
            QCOMPARE(LookupExtensionDestination(all, name, true), QStringLiteral("/all/"));
            QCOMPARE(LookupExtensionDestination(all, name), QStringLiteral("/all/"));
        }
        // The all-files mode is the setting's, not the rows': per type, "*.*" is a literal key.
        QCOMPARE(LookupExtensionDestination(rowsOf({{"*.JPG", "/j"}, {"*.*", "/x"}}), u"a.png"_s, false),
                 QString());
        QCOMPARE(LookupExtensionDestination(rowsOf({{"*.JPG", "/j"}}), u"a.jpg"_s, true), QString());
    }

    void rowsWithoutWindows()
    {
        const QString pictures = GetSpecialFolderPath(CSIDL_MYPICTURES);
        const QString folder = m_dirs.createDir(QStringLiteral("dest"));
        SettingsRecord record = SettingsRecord::defaults();
        FakeChoices choices;
        ExtensionRouting routing(record, choices);
        choices.routing = &routing;
        choices.folder = folder;
        int notified = 0;
        routing.rowsChanged = [&](ExtensionTable) { ++notified; };

        routing.RebuildExtensionTable(QStringLiteral("/all"));
        QCOMPARE(keysOf(routing.rows(ExtensionTable::Main)), QStringList{QStringLiteral("*.*")});
        QCOMPARE(foldersOf(routing.rows(ExtensionTable::Main)), QStringList{QStringLiteral("/all")});
        QVERIFY(notified > 0);

        // Leaving all-files mode with MOV chosen: its stored folder does not exist, so the row gets
        // the pictures folder while the setting keeps its text.
        choices.types[14] = true;
        record.type(u"MOV").dir = QStringLiteral("/nonexistent/folder/");
        choices.setAllFiles(false);
        QCOMPARE(keysOf(routing.rows(ExtensionTable::Main)), QStringList{QStringLiteral("*.MOV")});
        QCOMPARE(foldersOf(routing.rows(ExtensionTable::Main)), QStringList{pictures});
        QCOMPARE(record.type(u"MOV").dir, QStringLiteral("/nonexistent/folder/"));
        QCOMPARE(record.AllFileDir, folder);
        QVERIFY(!record.AllFileChecked);

        // Unticking the only type: EnsureSelection switches all files on and ticks JPG; it ends.
        choices.maxDepth = 0;
        choices.setType(14, false);
        QVERIFY(choices.allFiles);
        QVERIFY(choices.types[0]);
        QCOMPARE(choices.maxDepth, 2);
        QCOMPARE(keysOf(routing.rows(ExtensionTable::Main)), QStringList{QStringLiteral("*.*")});
        QCOMPARE(keysOf(routing.rows(ExtensionTable::Dialog)), QStringList{QStringLiteral("*.*")});
        QCOMPARE(foldersOf(routing.rows(ExtensionTable::Main)), QStringList{folder});
        QVERIFY(record.AllFileChecked);
        QVERIFY(record.type(u"JPG").checked);

        // In all-files mode with nothing else chosen, EnsureSelection still ticks JPG.
        choices.types[0] = false;
        routing.EnsureSelection();
        QVERIFY(choices.types[0]);

        // Typed destinations stay in their own table.
        routing.setTypedDestination(ExtensionTable::Dialog, 0, QStringLiteral("/typed"));
        QCOMPARE(foldersOf(routing.rows(ExtensionTable::Dialog)), QStringList{QStringLiteral("/typed")});
        QCOMPARE(foldersOf(routing.rows(ExtensionTable::Main)), QStringList{folder});
        QCOMPARE(record.AllFileDir, folder);
        QCOMPARE(routing.LookupExtensionDestination(QStringLiteral("x.any")), folder);
    }

    void destinationsWithoutRows()
    {
        SettingsRecord record = SettingsRecord::defaults();
        const SettingsRecord before = record;
        FakeChoices choices;
        ExtensionRouting routing(record, choices);
        choices.routing = &routing;
        routing.SetSelectedRowDestination(ExtensionTable::Main, 0, QStringLiteral("/x"));
        routing.SetSelectedRowDestination(ExtensionTable::Main, -1, QStringLiteral("/x"));
        routing.SetAllRowDestinations(ExtensionTable::Dialog, QStringLiteral("/x"));
        QVERIFY(routing.rows(ExtensionTable::Main).isEmpty());
        QCOMPARE(record.AllFileDir, before.AllFileDir);
        QCOMPARE(record.type(u"JPG").dir, before.type(u"JPG").dir);
    }
};

QTEST_GUILESS_MAIN(TestRouting)
#include "tst_routing.moc"
