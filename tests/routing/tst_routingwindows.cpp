#include "formchild.h"
#include "platform/registrystore.h"
#include "platform/specialfolders.h"
#include "routing/extensioncatalogue.h"
#include "routing/widgets/extensionroutingcontroller.h"
#include "settings/settingsrecord.h"
#include "settings/settingsstore.h"
#include "tables.h"
#include "testdir.h"
#include "testprompt.h"
#include "ui/keyfilter.h"
#include "ui/textform.h"
#include "ui/tfolderdialog.h"
#include "ui/tmainform.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <tuple>

using namespace vantora;
using namespace vantora::test;
using namespace Qt::StringLiterals;

namespace {

// The two windows and the record, wired as the program does it.
struct Windows
{
    SettingsRecord settings;
    TMainForm main;
    TExtForm ext{&main};
    ExtensionRoutingController controller{main.destinationArea(), &ext, &settings};

    explicit Windows(const SettingsRecord &record) : settings(record)
    {
        // The source area's answer: the folder its edit shows.
        controller.setSourceFolderQuestion(
            [this] { return formChild<QLineEdit>(&main, "SourceEdit1")->text(); });
    }
};

std::unique_ptr<Windows> start(const SettingsRecord &record)
{
    auto w = std::make_unique<Windows>(record);
    w->controller.applySettings();
    return w;
}

QStringList column(QTableWidget *table, int c)
{
    QStringList texts;
    for (int r = 0; r < table->rowCount(); ++r)
        texts << (table->item(r, c) ? table->item(r, c)->text() : QString());
    return texts;
}

QStringList keys(QTableWidget *table)
{
    return column(table, 0);
}

QStringList folders(QTableWidget *table)
{
    return column(table, 1);
}

// The names of the settings that differ between two records.
QStringList changedSettings(const SettingsRecord &before, const SettingsRecord &after)
{
    QStringList names;
    for (const SettingsRecord::Field &f : SettingsRecord::fields()) {
        bool same = true;
        if (f.type == SettingsRecord::Type::String)
            same = f.text(before) == f.text(after);
        else if (f.type == SettingsRecord::Type::Boolean)
            same = f.flag(before) == f.flag(after);
        else
            same = f.number(before) == f.number(after);
        if (!same)
            names << QLatin1String(f.name);
    }
    names.sort();
    return names;
}

// What the next start reads: the record saved at close and loaded again.
SettingsRecord savedAndLoaded(SettingsRecord record)
{
    const TestDir dir;
    RegistryStore store(dir.path());
    if (!SaveSettings(store, record))
        qFatal("the settings could not be saved");
    SettingsRecord loaded;
    LoadSettings(store, loaded);
    return loaded;
}

QCheckBox *typeBox(const TExtForm &ext, QStringView code)
{
    return ext.typeCheckBoxes.at(std::size_t(extensionTypeIndex(code)));
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

void focusIn(QWidget *w)
{
    QFocusEvent e(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(w, &e);
}

void focusOut(QWidget *w)
{
    QFocusEvent e(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(w, &e);
}

// Types into a free-extension field as the user does: enter, keys, leave.
void typeFreeExtension(QLineEdit *edit, const QString &text)
{
    focusIn(edit);
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
    else
        QTest::keyClicks(edit, text);
    focusOut(edit);
}

void clickCell(QTableWidget *table, int row, int column)
{
    const QRect rect = table->visualItemRect(table->item(row, column));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
}

void clickRow(QTableWidget *table, int row)
{
    clickCell(table, row, 0);
}

// Runs the layout and scroll bar updates that the views post to themselves.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// The selected cells as "row:column", sorted.
QStringList selectedCells(const QTableWidget *table)
{
    QStringList cells;
    for (const QModelIndex &index : table->selectionModel()->selectedIndexes())
        cells << QStringLiteral("%1:%2").arg(index.row()).arg(index.column());
    cells.sort();
    return cells;
}

// Both columns lie whole inside the viewport, the key column at its left edge.
bool columnsFit(const QTableWidget *table)
{
    return table->horizontalScrollBar()->value() == 0 && table->columnViewportPosition(0) == 0 &&
           table->columnViewportPosition(1) + table->columnWidth(1) <= table->viewport()->width();
}

} // namespace

class TestRoutingWindows final : public QObject
{
    Q_OBJECT

private:
    IsolatedHome m_home;
    QString m_pictures;
    TestDir m_dirs;
    QString m_a, m_b, m_c, m_d;

    // A record with all-files off and exactly the given types chosen, each type folder its own.
    SettingsRecord perType(const QStringList &codes) const
    {
        SettingsRecord r = SettingsRecord::defaults();
        r.AllFileChecked = false;
        for (const ExtensionType &t : ExtensionCatalogue())
            *r.flagField(t.selectionSetting()) = codes.contains(t.codeText());
        r.type(u"JPG").dir = m_a;
        r.type(u"JPG").aliasDir = m_b;
        r.type(u"MOV").dir = m_c;
        return r;
    }

    // The same with the first free extension typed and given a folder.
    SettingsRecord perType(const QStringList &codes, const QString &ext1, const QString &ext1Dir) const
    {
        SettingsRecord r = perType(codes);
        r.ExtEdit1Text = ext1;
        r.Ext1Dir = ext1Dir;
        return r;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_pictures = GetSpecialFolderPath(CSIDL_MYPICTURES);
        QDir().mkpath(m_pictures);
        QDir().mkpath(GetSpecialFolderPath(CSIDL_PERSONAL));
        m_a = m_dirs.createDir(QStringLiteral("a")) + QLatin1Char('/');
        m_b = m_dirs.createDir(QStringLiteral("b")) + QLatin1Char('/');
        m_c = m_dirs.createDir(QStringLiteral("c")) + QLatin1Char('/');
        m_d = m_dirs.createDir(QStringLiteral("d")) + QLatin1Char('/');
    }

    void layout()
    {
        TMainForm main;
        TExtForm ext(&main);
        QCOMPARE(ext.objectName(), QStringLiteral("TExtForm"));
        QCOMPARE(ext.windowTitle(), QStringLiteral("拡張子ごと振り分け設定"));
        QCOMPARE(ext.size(), QSize(457, 682));
        QVERIFY(ext.AllFileCheckBox->isChecked());
        QCOMPARE(ext.AllFileCheckBox->text(), QStringLiteral("＊.＊[全て]"));
        QVERIFY(ext.AllFileCheckBox->font().bold());
        const auto &catalogue = ExtensionCatalogue();
        for (int t = 0; t < ExtensionTypeCount; ++t) {
            QCheckBox *box = ext.typeCheckBoxes[t];
            QCOMPARE(box->objectName(), catalogue[t].checkBoxName());
            QCOMPARE(box->text(), catalogue[t].codeText());
            QCOMPARE(ext.findChild<QCheckBox *>(box->objectName()), box);
            QVERIFY(!box->isEnabled());
            QVERIFY(!box->isChecked());
        }
        for (QLineEdit *edit : {ext.ExtEdit1, ext.ExtEdit2}) {
            QVERIFY(!edit->isEnabled());
            QCOMPARE(edit->maxLength(), 5);
        }
        QVERIFY(ext.TransferEdit1->isReadOnly());
        QCOMPARE(typingLimit(ext.TransferEdit1), 255);
        QCOMPARE(ext.BitBtn8->text(), QStringLiteral("MyPicture"));
        QCOMPARE(ext.BitBtn2->text(), QStringLiteral("転送先フォルダを拡張子ごとにセット"));
        QCOMPARE(ext.ExtListEditor->columnCount(), 2);
        QCOMPARE(ext.ExtListEditor->horizontalHeaderItem(0)->text(), QStringLiteral("拡張子"));
        QCOMPARE(ext.ExtListEditor->horizontalHeaderItem(1)->text(), QStringLiteral("転送先フォルダ"));
        // The key column must show the longest key whole, padding included.
        const int keyText = ext.ExtListEditor->fontMetrics().horizontalAdvance(QStringLiteral("*.JPEG"));
        QVERIFY2(ext.ExtListEditor->columnWidth(0) >= keyText + 12,
                 qPrintable(QStringLiteral("key column %1 px for %2 px of text")
                                .arg(ext.ExtListEditor->columnWidth(0))
                                .arg(keyText)));
        QCOMPARE(ext.FNumLabel1->text(), QStringLiteral("0個の対象ファイル"));
        auto *folderDialog = ext.findChild<TFolderDialog *>(QStringLiteral("FolderDialog1"));
        QVERIFY(folderDialog);
        QCOMPARE(folderDialog->property("Title").toString(), QStringLiteral("フォルダーの選択"));
        QVERIFY(folderDialog->folder().isEmpty());
    }

    void typeBoxesStandWhereTheyStood()
    {
        TMainForm main;
        TExtForm ext(&main);
        struct Place
        {
            const char *code;
            int x;
            int y;
        };
        // In tab order: line by line, left to right; MID stands left of FLAC.
        const Place places[] = {
            {"JPG", 12, 60},   {"TIF", 72, 60},   {"PNG", 132, 60},   {"GIF", 192, 60},  {"BMP", 252, 60},
            {"PSD", 312, 60},  {"DNG", 372, 60},  {"NEF", 12, 80},    {"CR2", 72, 80},   {"PEF", 132, 80},
            {"ARW", 192, 80},  {"ORF", 252, 80},  {"RW2", 312, 80},   {"RAF", 372, 80},  {"MOV", 12, 120},
            {"MP4", 72, 120},  {"AVI", 132, 120}, {"MPG", 192, 120},  {"WMV", 252, 120}, {"MKV", 312, 120},
            {"FLV", 372, 120}, {"WAV", 12, 160},  {"MP3", 72, 160},   {"AAC", 132, 160}, {"WMA", 192, 160},
            {"M4A", 252, 160}, {"MID", 312, 160}, {"FLAC", 372, 160},
        };
        QStringList expectedOrder;
        for (const Place &p : places) {
            const QString name = QLatin1String(p.code) + QLatin1String("CheckBox");
            expectedOrder << name;
            auto *box = ext.findChild<QCheckBox *>(name);
            QVERIFY2(box, qPrintable(name));
            QCOMPARE(box->parentWidget(), ext.TypeGroupBox);
            QCOMPARE(box->geometry(), QRect(p.x, p.y, 58, 18));
            QCOMPARE(box->text(), QLatin1String(p.code));
        }
        QStringList tabOrder;
        for (QWidget *w = ext.nextInFocusChain(); w != &ext; w = w->nextInFocusChain()) {
            if (w->objectName().endsWith(QLatin1String("CheckBox")) && w != ext.AllFileCheckBox)
                tabOrder << w->objectName();
        }
        QCOMPARE(tabOrder, expectedOrder);

        const std::tuple<const char *, QString, int> labels[] = {
            {"ImageLabel", QStringLiteral("画像ファイル"), 44},
            {"VideoLabel", QStringLiteral("動画ファイル"), 104},
            {"AudioLabel", QStringLiteral("音声ファイル"), 144},
        };
        for (const auto &[name, caption, y] : labels) {
            auto *label = ext.findChild<QLabel *>(QLatin1String(name));
            QVERIFY2(label, name);
            QCOMPARE(label->parentWidget(), ext.TypeGroupBox);
            QCOMPARE(label->text(), caption);
            QCOMPARE(label->geometry(), QRect(12, y, 120, 14));
        }
    }

    void startupWithoutSettings()
    {
        const SettingsRecord defaults = SettingsRecord::defaults();
        auto w = start(defaults);
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 QStringList{QStringLiteral("*.*")});
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 QStringList{defaults.AllFileDir});
        QCOMPARE(keys(w->ext.ExtListEditor), keys(formChild<QTableWidget>(&w->main, "ExtListEditor")));
        QCOMPARE(folders(w->ext.ExtListEditor), folders(formChild<QTableWidget>(&w->main, "ExtListEditor")));
        const QStringList ticked{u"JPG"_s, u"TIF"_s, u"MOV"_s, u"MP4"_s, u"AVI"_s};
        for (QCheckBox *box : w->ext.typeCheckBoxes) {
            QCOMPARE(box->isChecked(), ticked.contains(box->text()));
            QVERIFY(!box->isEnabled());
        }
        QVERIFY(w->ext.AllFileCheckBox->isChecked());
        QVERIFY(!w->ext.ExtEdit1->isEnabled());
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(), defaults.TransferEditText);
        QCOMPARE(changedSettings(defaults, w->settings), QStringList());
        QVERIFY(w->controller.allFilesMode());
        QCOMPARE(w->controller.mainTableRows().size(), 1);
    }

    void startupWithStoredTypes()
    {
        const SettingsRecord stored = perType({u"JPG"_s, u"MOV"_s});
        auto w = start(stored);
        const QStringList expected{u"*.JPG"_s, u"*.JPEG"_s, u"*.MOV"_s};
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")), expected);
        QCOMPARE(keys(w->ext.ExtListEditor), expected);
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), (QStringList{m_a, m_b, m_c}));
        QCOMPARE(folders(w->ext.ExtListEditor), (QStringList{m_a, m_b, m_c}));
        QVERIFY(!w->ext.AllFileCheckBox->isChecked());
        for (QCheckBox *box : w->ext.typeCheckBoxes)
            QVERIFY(box->isEnabled());
        QVERIFY(w->ext.ExtEdit1->isEnabled());
        // The handlers run by the start-up wrote the dialog's folder; all of it is undone.
        QCOMPARE(changedSettings(stored, w->settings), QStringList());
        const ExtensionRows rows = w->controller.mainTableRows();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(1).key, QStringLiteral("*.JPEG"));
        QCOMPARE(rows.at(1).folder, m_b);
    }

    void startupMissingFolderGivesPictures()
    {
        SettingsRecord stored = perType({u"JPG"_s, u"PNG"_s});
        const QString deleted = m_dirs.createDir(QStringLiteral("gone"));
        QVERIFY(QDir(deleted).removeRecursively());
        stored.type(u"PNG").dir = deleted + QLatin1Char('/');
        stored.type(u"JPG").aliasDir = QString(); // an empty stored folder counts as missing too
        auto w = start(stored);
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.PNG"_s}));
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{m_a, m_pictures, m_pictures}));
        QCOMPARE(w->settings.type(u"PNG").dir, deleted + QLatin1Char('/'));
        QCOMPARE(w->settings.type(u"JPG").aliasDir, QString());
        QCOMPARE(changedSettings(stored, w->settings), QStringList());
    }

    void startupStoredNothingChosen()
    {
        // All-files off with nothing else: the start-up repairs the choice as a click would.
        const SettingsRecord stored = perType({});
        auto w = start(stored);
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 QStringList{QStringLiteral("*.*")});
        QVERIFY(w->ext.AllFileCheckBox->isChecked());
        QVERIFY(typeBox(w->ext, u"JPG")->isChecked());
        QVERIFY(!typeBox(w->ext, u"JPG")->isEnabled());
        QCOMPARE(changedSettings(stored, w->settings), sorted({u"AllFileChecked"_s, u"JPGChecked"_s}));
    }

    void tickingTypeAppendsLast()
    {
        SettingsRecord stored = perType({u"JPG"_s}, QStringLiteral("raw"), m_c);
        auto w = start(stored);
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.raw"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        w->ext.show();
        QCOMPARE(w->ext.TransferEdit1->text(), m_d);
        const SettingsRecord before = w->settings;
        typeBox(w->ext, u"PNG")->click();
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.raw"_s, u"*.PNG"_s}));
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{m_a, m_b, m_c, m_d}));
        QCOMPARE(folders(w->ext.ExtListEditor), folders(formChild<QTableWidget>(&w->main, "ExtListEditor")));
        QCOMPARE(changedSettings(before, w->settings), sorted({u"PNGChecked"_s, u"PNGDir"_s}));
        QCOMPARE(w->settings.type(u"PNG").dir, m_d);
        w->ext.hide();

        // The next start puts it in catalogue order.
        auto again = start(w->settings);
        QCOMPARE(keys(formChild<QTableWidget>(&again->main, "ExtListEditor")),
                 (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.PNG"_s, u"*.raw"_s}));
    }

    void untickingLastTypeSwitchesAllFilesOn()
    {
        auto w = start(perType({u"MOV"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        w->ext.show();
        const SettingsRecord before = w->settings;
        typeBox(w->ext, u"MOV")->click();
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 QStringList{QStringLiteral("*.*")});
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), QStringList{m_d});
        QCOMPARE(keys(w->ext.ExtListEditor), QStringList{QStringLiteral("*.*")});
        QVERIFY(w->ext.AllFileCheckBox->isChecked());
        QVERIFY(typeBox(w->ext, u"JPG")->isChecked());
        QVERIFY(!typeBox(w->ext, u"JPG")->isEnabled());
        QVERIFY(!typeBox(w->ext, u"MOV")->isChecked());
        QVERIFY(!w->ext.ExtEdit2->isEnabled());
        QCOMPARE(changedSettings(before, w->settings),
                 sorted({u"MOVChecked"_s, u"MOVDir"_s, u"AllFileChecked"_s, u"AllFileDir"_s, u"JPGChecked"_s,
                         u"JPGDir"_s, u"JPEGDir"_s}));
        QCOMPARE(w->settings.AllFileDir, m_d);
        QVERIFY(w->settings.AllFileChecked);
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("clip.mov")), m_d);
    }

    void allFilesBoxRebuildsTable()
    {
        SettingsRecord stored = perType({u"JPG"_s, u"MOV"_s});
        stored.AllFileChecked = true;
        auto w = start(stored);
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 QStringList{QStringLiteral("*.*")});
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        w->ext.show();
        SettingsRecord before = w->settings;
        w->ext.AllFileCheckBox->click();
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.MOV"_s}));
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), (QStringList{m_a, m_b, m_c}));
        QVERIFY(typeBox(w->ext, u"MOV")->isEnabled());
        QVERIFY(w->ext.ExtEdit1->isEnabled());
        QCOMPARE(changedSettings(before, w->settings), sorted({u"AllFileChecked"_s, u"AllFileDir"_s}));
        QCOMPARE(w->settings.AllFileDir, m_d);

        w->ext.TransferEdit1->setText(m_c);
        before = w->settings;
        w->ext.AllFileCheckBox->click();
        QCOMPARE(keys(w->ext.ExtListEditor), QStringList{QStringLiteral("*.*")});
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), QStringList{m_c});
        QVERIFY(!typeBox(w->ext, u"MOV")->isEnabled());
        QVERIFY(typeBox(w->ext, u"MOV")->isChecked());
        QCOMPARE(changedSettings(before, w->settings), sorted({u"AllFileChecked"_s, u"AllFileDir"_s}));
    }

    void typeClickWritesItsFolders_data()
    {
        addRows<Text, QStringList, QStringList>(
            {"code", "rows", "written"},
            {{"JPG", "JPG", QStringList{u"*.MOV"_s, u"*.JPG"_s, u"*.JPEG"_s},
              QStringList{u"JPGChecked"_s, u"JPGDir"_s, u"JPEGDir"_s}},
             {"TIF", "TIF", QStringList{u"*.MOV"_s, u"*.TIF"_s, u"*.TIFF"_s},
              QStringList{u"TIFChecked"_s, u"TIFDir"_s, u"TIFFDir"_s}},
             {"MPG keeps MPEGDir", "MPG", QStringList{u"*.MOV"_s, u"*.MPG"_s, u"*.MPEG"_s},
              QStringList{u"MPGChecked"_s, u"MPGDir"_s}},
             {"FLAC", "FLAC", QStringList{u"*.MOV"_s, u"*.FLAC"_s},
              QStringList{u"FLACChecked"_s, u"FLACDir"_s}}});
    }

    void typeClickWritesItsFolders()
    {
        QFETCH(QString, code);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, written);
        auto w = start(perType({u"MOV"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        w->ext.show();
        const SettingsRecord before = w->settings;
        w->ext.findChild<QCheckBox *>(code + QLatin1String("CheckBox"))->click();
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")), rows);
        QCOMPARE(keys(w->ext.ExtListEditor), rows);
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")).mid(1),
                 QStringList(rows.size() - 1, m_d));
        QCOMPARE(changedSettings(before, w->settings), sorted(written));

        // Unticking removes its rows from both tables again.
        w->ext.findChild<QCheckBox *>(code + QLatin1String("CheckBox"))->click();
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 QStringList{QStringLiteral("*.MOV")});
        QCOMPARE(keys(w->ext.ExtListEditor), QStringList{QStringLiteral("*.MOV")});
    }

    void freeExtensions()
    {
        auto w = start(perType({u"MOV"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        w->ext.show();
        SettingsRecord before = w->settings;
        typeFreeExtension(w->ext.ExtEdit1, QStringLiteral("raw"));
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.MOV"_s, u"*.raw"_s}));
        QCOMPARE(keys(w->ext.ExtListEditor), (QStringList{u"*.MOV"_s, u"*.raw"_s}));
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")).last(), m_d);
        QCOMPARE(changedSettings(before, w->settings), sorted({u"ExtEdit1Text"_s, u"Ext1Dir"_s}));
        QCOMPARE(w->settings.ExtEdit1Text, QStringLiteral("raw"));

        typeFreeExtension(w->ext.ExtEdit2, QStringLiteral("R*"));
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.MOV"_s, u"*.raw"_s, u"*.R*"_s}));
        QCOMPARE(w->settings.ExtEdit2Text, QStringLiteral("R*"));

        // Changing a field replaces its row.
        typeFreeExtension(w->ext.ExtEdit1, QStringLiteral("cr3"));
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.MOV"_s, u"*.R*"_s, u"*.cr3"_s}));

        // The same text in the second field empties it and removes its previous row.
        before = w->settings;
        typeFreeExtension(w->ext.ExtEdit2, QStringLiteral("cr3"));
        QVERIFY(w->ext.ExtEdit2->text().isEmpty());
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.MOV"_s, u"*.cr3"_s}));
        QCOMPARE(keys(w->ext.ExtListEditor), (QStringList{u"*.MOV"_s, u"*.cr3"_s}));
        // The field was left holding "cr3": that is the text stored, as for any exit.
        QCOMPARE(changedSettings(before, w->settings), QStringList{QStringLiteral("ExtEdit2Text")});
        QCOMPARE(w->settings.ExtEdit2Text, QStringLiteral("cr3"));

        // A change of case keeps the row, spelled as the field is, so its folder still has a setting.
        typeFreeExtension(w->ext.ExtEdit1, QStringLiteral("CR3"));
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.MOV"_s, u"*.CR3"_s}));
        QCOMPARE(keys(w->ext.ExtListEditor), (QStringList{u"*.MOV"_s, u"*.CR3"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_b);
        formChild<QTableWidget>(&w->main, "ExtListEditor")->setCurrentCell(1, 0);
        formChild<QToolButton>(&w->main, "SpeedButton1")->click();
        QCOMPARE(w->settings.Ext1Dir, m_b);

        // Emptying a field removes its row.
        typeFreeExtension(w->ext.ExtEdit1, QString());
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 QStringList{QStringLiteral("*.MOV")});
        QCOMPARE(w->settings.ExtEdit1Text, QString());
    }

    void enterAndLeaveWithoutTyping()
    {
        SettingsRecord stored = perType({u"MOV"_s}, QStringLiteral("raw"), m_a);
        auto w = start(stored);
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        w->ext.show();
        focusIn(w->ext.ExtEdit1);
        QCOMPARE(w->settings.Ext1Dir, m_d);
        focusOut(w->ext.ExtEdit1);
        QCOMPARE(w->settings.Ext1Dir, m_d);
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.MOV"_s, u"*.raw"_s}));
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")).last(), m_a);
    }

    void windowFocusIsNoEnterOrExit()
    {
        auto w = start(perType({u"MOV"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        w->ext.show();
        const SettingsRecord before = w->settings;
        for (const Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
            QFocusEvent in(QEvent::FocusIn, reason);
            QApplication::sendEvent(w->ext.ExtEdit1, &in);
            w->ext.ExtEdit1->setText(QStringLiteral("raw"));
            QFocusEvent out(QEvent::FocusOut, reason);
            QApplication::sendEvent(w->ext.ExtEdit1, &out);
        }
        QCOMPARE(changedSettings(before, w->settings), QStringList());
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 QStringList{QStringLiteral("*.MOV")});
        focusOut(w->ext.ExtEdit1);
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.MOV"_s, u"*.raw"_s}));
    }

    void dialogTypedDestinationIsNotUsedByRuns()
    {
        auto w = start(perType({u"JPG"_s, u"MOV"_s}));
        w->ext.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w->ext));
        QTableWidget *table = w->ext.ExtListEditor;
        clickRow(table, 2);
        clickRow(table, 2);
        auto *editor = table->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        editor->setText(m_d);
        clickRow(table, 0);
        QCOMPARE(folders(table), (QStringList{m_a, m_b, m_d}));
        QCOMPARE(w->controller.dialogTableRows().at(2).folder, m_d);
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), (QStringList{m_a, m_b, m_c}));
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("a.mov")), m_c);
        QCOMPARE(w->settings.type(u"MOV").dir, m_c);
    }

    void freeExtensionKeys_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("messages");
        const QString refusedDot = QStringLiteral("半角[ . ]は入力できません");
        QTest::newRow("dot refused") << "ra.w"
                                     << "raw" << QStringList{refusedDot};
        QTest::newRow("slash refused") << "a/b"
                                       << "ab" << QStringList{QStringLiteral("半角[ / ]は入力できません")};
        QTest::newRow("backslash and colon") << "a\\:b"
                                             << "ab"
                                             << QStringList{QStringLiteral("半角[ \\ ]は入力できません"),
                                                            QStringLiteral("半角[ : ]は入力できません")};
        QTest::newRow("wildcards accepted") << "*?"
                                            << "*?" << QStringList();
        QTest::newRow("brackets accepted") << "[a]"
                                           << "[a]" << QStringList();
        QTest::newRow("five at most") << "abcdef"
                                      << "abcde" << QStringList();
    }

    void freeExtensionKeys()
    {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(QStringList, messages);
        TestPrompt prompt;
        auto w = start(perType({u"MOV"_s}));
        for (QLineEdit *edit : {w->ext.ExtEdit1, w->ext.ExtEdit2}) {
            prompt.clear();
            edit->clear();
            QTest::keyClicks(edit, typed);
            QCOMPARE(edit->text(), text);
            QCOMPARE(prompt.messages, messages);
        }
    }

    void speedButtonSetsSelectedRow()
    {
        auto w = start(perType({u"JPG"_s, u"MOV"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        formChild<QTableWidget>(&w->main, "ExtListEditor")->setCurrentCell(1, 0);
        const SettingsRecord before = w->settings;
        formChild<QToolButton>(&w->main, "SpeedButton1")->click();
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), (QStringList{m_a, m_d, m_c}));
        QCOMPARE(folders(w->ext.ExtListEditor), (QStringList{m_a, m_d, m_c}));
        QCOMPARE(changedSettings(before, w->settings), QStringList{QStringLiteral("JPEGDir")});
        QCOMPARE(w->settings.type(u"JPG").aliasDir, m_d);
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("z.jpeg")), m_d);
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("x.jpg")), m_a);
    }

    void speedButtonSetsAllRows()
    {
        auto w = start(perType({u"JPG"_s, u"MOV"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        const SettingsRecord before = w->settings;
        formChild<QToolButton>(&w->main, "SpeedButton2")->click();
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), QStringList(3, m_d));
        QCOMPARE(folders(w->ext.ExtListEditor), QStringList(3, m_d));
        QCOMPARE(changedSettings(before, w->settings), sorted({u"JPGDir"_s, u"JPEGDir"_s, u"MOVDir"_s}));
        QCOMPARE(w->settings.type(u"MOV").dir, m_d);
    }

    void dialogButtonsSetRows()
    {
        auto w = start(perType({u"JPG"_s, u"MOV"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        w->ext.show();
        w->ext.ExtListEditor->setCurrentCell(2, 0);
        SettingsRecord before = w->settings;
        w->ext.BitBtn2->click();
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), (QStringList{m_a, m_b, m_d}));
        QCOMPARE(folders(w->ext.ExtListEditor), (QStringList{m_a, m_b, m_d}));
        QCOMPARE(changedSettings(before, w->settings), QStringList{QStringLiteral("MOVDir")});

        w->ext.BitBtn7->click();
        const QString documents = GetSpecialFolderPath(CSIDL_PERSONAL);
        QCOMPARE(w->ext.TransferEdit1->text(), documents);
        before = w->settings;
        w->ext.BitBtn3->click();
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), QStringList(3, documents));
        QCOMPARE(changedSettings(before, w->settings), sorted({u"JPGDir"_s, u"JPEGDir"_s, u"MOVDir"_s}));
    }

    void freeExtensionSpellingTypeStoresTypeFolder()
    {
        SettingsRecord stored = perType({u"MOV"_s}, QStringLiteral("PNG"), m_a);
        auto w = start(stored);
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.MOV"_s, u"*.PNG"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        formChild<QTableWidget>(&w->main, "ExtListEditor")->setCurrentCell(1, 0);
        const SettingsRecord before = w->settings;
        formChild<QToolButton>(&w->main, "SpeedButton1")->click();
        QCOMPARE(changedSettings(before, w->settings), QStringList{QStringLiteral("PNGDir")});
        QCOMPARE(w->settings.Ext1Dir, m_a);

        // Spelled otherwise, the row belongs to the free extension.
        stored.ExtEdit1Text = QStringLiteral("raw");
        auto other = start(stored);
        formChild<QLineEdit>(&other->main, "TransferEdit1")->setText(m_d);
        formChild<QTableWidget>(&other->main, "ExtListEditor")->setCurrentCell(1, 0);
        formChild<QToolButton>(&other->main, "SpeedButton1")->click();
        QCOMPARE(other->settings.Ext1Dir, m_d);
    }

    void destinationButtons()
    {
        TestPrompt prompt;
        auto w = start(SettingsRecord::defaults());
        const SettingsRecord before = w->settings;

        formChild<QPushButton>(&w->main, "BitBtn5")->click(); // cancelled
        QCOMPARE(prompt.folderTitles, QStringList{QStringLiteral("転送先フォルダを選択して下さい")});
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(), before.TransferEditText);

        prompt.folders.enqueue(m_c.chopped(1));
        formChild<QPushButton>(&w->main, "BitBtn5")->click();
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(), m_c);
        QCOMPARE(w->settings.TransferEditText, m_c);

        formChild<QPushButton>(&w->main, "BitBtn9")->click();
        const QString videos = GetSpecialFolderPath(CSIDL_MYVIDEO);
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(), videos);
        QCOMPARE(w->settings.TransferEditText, videos);
        focusOut(formChild<QLineEdit>(&w->main, "TransferEdit1"));
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(), videos + QLatin1Char('/'));
        QCOMPARE(w->settings.TransferEditText, videos + QLatin1Char('/'));

        // The dialog's own buttons stage its folder; only its browser writes the setting.
        w->ext.show();
        QCOMPARE(w->ext.TransferEdit1->text(), videos + QLatin1Char('/'));
        w->ext.BitBtn8->click();
        QCOMPARE(w->ext.TransferEdit1->text(), m_pictures);
        QCOMPARE(w->settings.TransferEditText, videos + QLatin1Char('/'));
        prompt.folders.enqueue(m_b);
        w->ext.BitBtn5->click();
        QCOMPARE(w->ext.TransferEdit1->text(), m_b);
        QCOMPARE(w->settings.TransferEditText, m_b);
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(), videos + QLatin1Char('/'));
        QCOMPARE(changedSettings(before, w->settings), QStringList{QStringLiteral("TransferEditText")});
    }

    void longFolderStaysWholeIntoRowsAndSettings()
    {
        // A folder deeper than the field's typing limit, chosen in the browser.
        QString deep = m_dirs.path();
        while (deep.size() < 300)
            deep += QStringLiteral("/フォルダ階層");
        QVERIFY(QDir().mkpath(deep));
        const QString staged = deep + QLatin1Char('/');
        TestPrompt prompt;
        auto w = start(perType({u"JPG"_s, u"MOV"_s}));
        prompt.folders.enqueue(deep);
        formChild<QPushButton>(&w->main, "BitBtn5")->click();
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(), staged);
        QCOMPARE(w->settings.TransferEditText, staged);
        focusOut(formChild<QLineEdit>(&w->main, "TransferEdit1"));
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(), staged);

        formChild<QTableWidget>(&w->main, "ExtListEditor")->setCurrentCell(2, 0);
        formChild<QToolButton>(&w->main, "SpeedButton1")->click();
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{m_a, m_b, staged}));
        QCOMPARE(w->settings.type(u"MOV").dir, staged);
        formChild<QToolButton>(&w->main, "SpeedButton2")->click();
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), QStringList(3, staged));
        QCOMPARE(folders(w->ext.ExtListEditor), QStringList(3, staged));
        QCOMPARE(w->settings.type(u"JPG").dir, staged);
        QCOMPARE(w->settings.type(u"JPG").aliasDir, staged);
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("x.jpg")), staged);

        // Through the dialog and back, and through its own buttons.
        QTimer::singleShot(0, &w->ext, [&] {
            QCOMPARE(w->ext.TransferEdit1->text(), staged);
            w->ext.BitBtn3->click();
            w->ext.BitBtn1->click();
        });
        formChild<QPushButton>(&w->main, "BitBtn11")->click();
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(), staged);
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")), QStringList(3, staged));
        QCOMPARE(w->settings.type(u"MOV").dir, staged);
    }

    void typingStopsAtTheLimit()
    {
        TMainForm main;
        formChild<QLineEdit>(&main, "TransferEdit1")->setReadOnly(false); // typing is what the limit is about
        formChild<QLineEdit>(&main, "TransferEdit1")->setText(QString(254, QLatin1Char('a')));
        formChild<QLineEdit>(&main, "TransferEdit1")->setCursorPosition(254);
        QTest::keyClicks(formChild<QLineEdit>(&main, "TransferEdit1"), QStringLiteral("bc"));
        QCOMPARE(formChild<QLineEdit>(&main, "TransferEdit1")->text(),
                 QString(254, QLatin1Char('a')) + QLatin1Char('b'));
    }

    void dialogShownModallyHandsFolderBack()
    {
        auto w = start(perType({u"JPG"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_c);
        formChild<QLineEdit>(&w->main, "SourceEdit1")->setText(m_a);
        w->main.show();
        const SettingsRecord before = w->settings;
        bool ran = false;
        QTimer::singleShot(0, &w->ext, [&] {
            ran = true;
            QVERIFY(w->ext.isVisible());
            QCOMPARE(w->ext.TransferEdit1->text(), m_c);
            QCOMPARE(w->ext.Label2->text(), m_a);
            QCOMPARE(w->controller.lastClickedExtRow(), 0);
            w->ext.BitBtn9->click();
            w->ext.BitBtn1->click();
        });
        formChild<QPushButton>(&w->main, "BitBtn11")->click();
        QVERIFY(ran);
        QVERIFY(!w->ext.isVisible());
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(),
                 GetSpecialFolderPath(CSIDL_MYVIDEO));
        QCOMPARE(changedSettings(before, w->settings), QStringList());

        // The close box hands it back as well.
        QTimer::singleShot(0, &w->ext, [&] {
            w->ext.BitBtn7->click();
            w->ext.close();
        });
        formChild<QPushButton>(&w->main, "BitBtn11")->click();
        QCOMPARE(formChild<QLineEdit>(&w->main, "TransferEdit1")->text(),
                 GetSpecialFolderPath(CSIDL_PERSONAL));
    }

    void closingWhileTypingTakesTheText()
    {
        auto w = start(perType({u"JPG"_s}));
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_d);
        w->ext.show();
        QApplication::setActiveWindow(&w->ext);
        w->ext.ExtEdit1->setFocus(Qt::TabFocusReason);
        focusIn(w->ext.ExtEdit1);
        QTest::keyClicks(w->ext.ExtEdit1, QStringLiteral("raw"));
        w->ext.close();
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.raw"_s}));
        QCOMPARE(w->settings.ExtEdit1Text, QStringLiteral("raw"));
    }

    void tableClickEditsOnSecondClick()
    {
        auto w = start(perType({u"JPG"_s, u"MOV"_s}));
        w->main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w->main));
        QTableWidget *table = formChild<QTableWidget>(&w->main, "ExtListEditor");
        clickRow(table, 2);
        QCOMPARE(w->controller.lastClickedExtRow(), 3);
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        clickRow(table, 2);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectItems);
        QCOMPARE(table->currentColumn(), 1);
        auto *editor = table->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        QVERIFY(editor->isVisible());
        const SettingsRecord before = w->settings;
        editor->setText(m_d);
        // A click on another row closes the editor, keeping what was typed in this table only.
        clickRow(table, 0);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(w->controller.lastClickedExtRow(), 1);
        QCOMPARE(folders(table), (QStringList{m_a, m_b, m_d}));
        QCOMPARE(folders(w->ext.ExtListEditor), (QStringList{m_a, m_b, m_c}));
        QCOMPARE(w->controller.mainTableRows().at(2).folder, m_d);
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("clip.MOV")), m_d);
        QCOMPARE(changedSettings(before, w->settings), QStringList());
        // The key column cannot be edited.
        QVERIFY(!(table->item(0, 0)->flags() & Qt::ItemIsEditable));

        // The next rebuild replaces the typed folder.
        w->ext.AllFileCheckBox->click();
        w->ext.AllFileCheckBox->click();
        QCOMPARE(keys(table), (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.MOV"_s}));
        QCOMPARE(folders(table).last(), m_c);
    }

    void closingTheEditorSelectsTheWholeRow_data()
    {
        addRows<bool, int>({"dialog", "column"}, {{"main window, key", false, 0},
                                                  {"main window, folder", false, 1},
                                                  {"dialog, key", true, 0},
                                                  {"dialog, folder", true, 1}});
    }

    void closingTheEditorSelectsTheWholeRow()
    {
        QFETCH(bool, dialog);
        QFETCH(int, column);
        auto w = start(perType({u"JPG"_s, u"MOV"_s}));
        QWidget *window = dialog ? static_cast<QWidget *>(&w->ext) : &w->main;
        QTableWidget *table =
            dialog ? w->ext.ExtListEditor : formChild<QTableWidget>(&w->main, "ExtListEditor");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        clickRow(table, 2);
        QCOMPARE(selectedCells(table), (QStringList{u"2:0"_s, u"2:1"_s}));
        clickRow(table, 2);
        QVERIFY(table->viewport()->findChild<QLineEdit *>());
        QCOMPARE(selectedCells(table), QStringList{QStringLiteral("2:1")});

        clickCell(table, 0, column);
        QCOMPARE(w->controller.lastClickedExtRow(), 1);
        QCOMPARE(table->currentRow(), 0);
        QCOMPARE(selectedCells(table), (QStringList{u"0:0"_s, u"0:1"_s}));
        QVERIFY(table->selectionModel()->isRowSelected(0, QModelIndex()));
        auto *editor = table->viewport()->findChild<QLineEdit *>();
        QVERIFY(!editor || !editor->isVisible());
    }

    void manyRowsBringNoSidewaysScrolling_data()
    {
        addRows<bool>({"dialog"}, {{"main window", false}, {"dialog", true}});
    }

    void manyRowsBringNoSidewaysScrolling()
    {
        QFETCH(bool, dialog);
        QStringList all;
        for (const ExtensionType &t : ExtensionCatalogue())
            all << t.codeText();
        auto w = start(perType(all));
        QWidget *window = dialog ? static_cast<QWidget *>(&w->ext) : &w->main;
        QTableWidget *table =
            dialog ? w->ext.ExtListEditor : formChild<QTableWidget>(&w->main, "ExtListEditor");
        QCOMPARE(table->rowCount(), 31);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        settle();
        QVERIFY(table->verticalScrollBar()->isVisible());
        QVERIFY(!table->horizontalScrollBar()->isVisible());
        QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
        QVERIFY(columnsFit(table));

        // Rows added while the table is shown: the scroll bar comes, the columns still fit.
        auto few = start(perType({u"JPG"_s}));
        QWidget *fewWindow = dialog ? static_cast<QWidget *>(&few->ext) : &few->main;
        table = dialog ? few->ext.ExtListEditor : formChild<QTableWidget>(&few->main, "ExtListEditor");
        fewWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(fewWindow));
        settle();
        QVERIFY(!table->verticalScrollBar()->isVisible());
        QVERIFY(columnsFit(table));
        for (QCheckBox *box : few->ext.typeCheckBoxes) {
            if (!box->isChecked())
                box->click();
        }
        QCOMPARE(table->rowCount(), 31);
        settle();
        QVERIFY(table->verticalScrollBar()->isVisible());
        QVERIFY(!table->horizontalScrollBar()->isVisible());
        QCOMPARE(table->horizontalScrollBar()->maximum(), 0);
        QVERIFY(columnsFit(table));
    }

    void editorKeepsTheKeysInView_data()
    {
        addRows<bool, bool>({"dialog", "manyRows"}, {{"main window", false, false},
                                                     {"main window, many rows", false, true},
                                                     {"dialog", true, false},
                                                     {"dialog, many rows", true, true}});
    }

    void editorKeepsTheKeysInView()
    {
        QFETCH(bool, dialog);
        QFETCH(bool, manyRows);
        QString deep = m_dirs.path();
        while (deep.size() < 300)
            deep += QStringLiteral("/フォルダ階層");
        QVERIFY(QDir().mkpath(deep));
        QStringList codes{u"JPG"_s, u"MOV"_s};
        if (manyRows) {
            for (const ExtensionType &t : ExtensionCatalogue())
                codes << t.codeText();
        }
        SettingsRecord stored = perType(codes);
        stored.type(u"MOV").dir = deep + QLatin1Char('/');
        auto w = start(stored);
        QWidget *window = dialog ? static_cast<QWidget *>(&w->ext) : &w->main;
        QTableWidget *table =
            dialog ? w->ext.ExtListEditor : formChild<QTableWidget>(&w->main, "ExtListEditor");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        settle();
        const int row = int(keys(table).indexOf(QStringLiteral("*.MOV")));
        QCOMPARE(table->item(row, 1)->text(), stored.type(u"MOV").dir);
        QVERIFY(table->fontMetrics().horizontalAdvance(stored.type(u"MOV").dir) > table->viewport()->width());
        table->scrollToItem(table->item(row, 0));
        settle();
        clickRow(table, row);
        clickRow(table, row);
        auto *editor = table->viewport()->findChild<QLineEdit *>();
        QVERIFY(editor);
        QVERIFY(editor->isVisible());
        settle();
        QCOMPARE(table->horizontalScrollBar()->value(), 0);
        QVERIFY(columnsFit(table));
        QVERIFY(!table->horizontalScrollBar()->isVisible());
        // The editor stays inside the folder cell.
        QCOMPARE(editor->geometry().left(), table->columnViewportPosition(1));
    }

    void lookupThroughTheMainTable()
    {
        auto w = start(perType({u"JPG"_s, u"MOV"_s}));
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("/card/DCIM/x.jpg")), m_a);
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("Y.JPG")), m_a);
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("z.jpeg")), m_b);
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("a.png")), QString());
        QCOMPARE(w->controller.LookupExtensionDestination(QStringLiteral("README")), QString());
        QVERIFY(!w->controller.allFilesMode());

        auto all = start(SettingsRecord::defaults());
        for (const QString &name : {u"x.jpg"_s, u"a.png"_s, u"README"_s, u"b.tar.gz"_s})
            QCOMPARE(all->controller.LookupExtensionDestination(name), all->settings.AllFileDir);
    }

    void sharedKeysKeepTheirRow()
    {
        // "jpg" typed while JPG is ticked shares the "*.JPG" row; neither choice's removal drops the
        // other's files, and the row kept is spelled as the choice that keeps it.
        SettingsRecord stored = perType({u"JPG"_s, u"MOV"_s});
        stored.ExtEdit1Text = QStringLiteral("jpg");
        auto w = start(stored);
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.MOV"_s}));
        w->ext.show();
        typeBox(w->ext, u"JPG")->click();
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.jpg"_s, u"*.MOV"_s}));
        typeFreeExtension(w->ext.ExtEdit1, QString());
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 QStringList{QStringLiteral("*.MOV")});

        auto other = start(stored);
        other->ext.show();
        typeFreeExtension(other->ext.ExtEdit1, QString());
        QCOMPARE(keys(formChild<QTableWidget>(&other->main, "ExtListEditor")),
                 (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.MOV"_s}));

        // A free extension changed to a text whose row exists already takes no files of its old text.
        typeFreeExtension(other->ext.ExtEdit1, QStringLiteral("raw"));
        QCOMPARE(keys(formChild<QTableWidget>(&other->main, "ExtListEditor")),
                 (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.MOV"_s, u"*.raw"_s}));
        typeFreeExtension(other->ext.ExtEdit1, QStringLiteral("mov"));
        QCOMPARE(keys(formChild<QTableWidget>(&other->main, "ExtListEditor")),
                 (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.MOV"_s}));
        QCOMPARE(keys(other->ext.ExtListEditor), (QStringList{u"*.JPG"_s, u"*.JPEG"_s, u"*.MOV"_s}));
    }

    void sharedRowKeepsItsFolder_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("ticked");
        QTest::addColumn<int>("slot");
        // Texts left in the field in turn; "stored:" a text read at start-up; "click" the type's box,
        // clicked with another folder in the dialog.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("row");
        const QStringList jpg{u"*.JPG"_s, u"*.JPEG"_s, u"*.MOV"_s};
        QTest::newRow("jpg while JPG ticked")
            << u"JPG"_s << true << 1 << QStringList{u"jpg"_s} << jpg << u"*.JPG"_s;
        QTest::newRow("JPG then jpg")
            << u"JPG"_s << true << 1 << QStringList{u"JPG"_s, u"jpg"_s} << jpg << u"*.JPG"_s;
        QTest::newRow("png emptied after PNG ticked")
            << u"PNG"_s << false << 0 << QStringList{u"png"_s, u"click"_s, QString()}
            << QStringList{u"*.MOV"_s, u"*.PNG"_s} << u"*.PNG"_s;
        QTest::newRow("JPG unticked while jpg stays")
            << u"JPG"_s << true << 0 << QStringList{u"stored:jpg"_s, u"click"_s}
            << QStringList{u"*.jpg"_s, u"*.MOV"_s} << u"*.jpg"_s;
    }

    void sharedRowKeepsItsFolder()
    {
        // A free extension and a ticked type that spell one key in different case share one row: its
        // spelling and folder never change by the free extension, and the folder survives a restart.
        QFETCH(QString, type);
        QFETCH(bool, ticked);
        QFETCH(int, slot);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        QFETCH(QString, row);
        SettingsRecord stored = perType(ticked ? QStringList{type, u"MOV"_s} : QStringList{u"MOV"_s});
        if (steps.first().startsWith(u"stored:"_s))
            (slot == 0 ? stored.ExtEdit1Text : stored.ExtEdit2Text) = steps.takeFirst().mid(7);
        auto w = start(stored);
        auto *mainTable = formChild<QTableWidget>(&w->main, "ExtListEditor");
        formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(m_b);
        w->ext.show();
        for (const QString &step : steps) {
            if (step == u"click"_s) {
                w->ext.TransferEdit1->setText(m_c);
                typeBox(w->ext, type)->click();
            } else {
                typeFreeExtension(slot == 0 ? w->ext.ExtEdit1 : w->ext.ExtEdit2, step);
            }
        }
        QCOMPARE(keys(mainTable), expected);
        QCOMPARE(keys(w->ext.ExtListEditor), expected);
        const int r = int(expected.indexOf(row));
        const QString folder = folders(mainTable).at(r);
        w->ext.hide();

        // The row's folder, and one then set on it by a button, are there at the next start.
        for (const QString &set : {QString(), m_d}) {
            if (!set.isEmpty()) {
                formChild<QLineEdit>(&w->main, "TransferEdit1")->setText(set);
                mainTable->setCurrentCell(r, 0);
                formChild<QToolButton>(&w->main, "SpeedButton1")->click();
            }
            auto again = start(savedAndLoaded(w->settings));
            auto *table = formChild<QTableWidget>(&again->main, "ExtListEditor");
            const qsizetype at = keys(table).indexOf(row);
            QVERIFY(at >= 0);
            QCOMPARE(folders(table).at(at), set.isEmpty() ? folder : set);
        }
    }

    void storedEqualFreeExtensionsKeepFirst()
    {
        SettingsRecord stored = perType({u"MOV"_s});
        stored.ExtEdit1Text = QStringLiteral("raw");
        stored.ExtEdit2Text = QStringLiteral("raw");
        stored.Ext1Dir = m_a;
        auto w = start(stored);
        QCOMPARE(keys(formChild<QTableWidget>(&w->main, "ExtListEditor")),
                 (QStringList{u"*.MOV"_s, u"*.raw"_s}));
        QCOMPARE(folders(formChild<QTableWidget>(&w->main, "ExtListEditor")).last(), m_a);
        QVERIFY(w->ext.ExtEdit2->text().isEmpty());
        QCOMPARE(w->ext.ExtEdit1->text(), QStringLiteral("raw"));
    }
};

QTEST_MAIN(TestRoutingWindows)
#include "tst_routingwindows.moc"
