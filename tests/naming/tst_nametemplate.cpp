#include "naming/nametemplate.h"
#include "tables.h"

#include <QtTest>

using namespace vantora;
using vantora::test::Text;

namespace {

const QString kSource = QStringLiteral("/media/card/DCIM/100PANA/P1000123.JPG");
const QDate kShot(2017, 3, 5);
const QDate kToday(2024, 1, 9);

QDate fixedToday()
{
    return kToday;
}

// A file name from the template alone, prefix and suffix off: shot on kShot, made today.
QString bareFileName(const QString &templ, qint32 number, const QString &source, const QString &separator)
{
    return ExpandNameTemplate(TemplateDialogMode::File, templ, QString(), false, QString(), false, number,
                              source, kShot, separator, fixedToday);
}

} // namespace

class TestNameTemplate final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void workedExamples_data();
    void workedExamples();
    void tokens_data();
    void tokens();
    void sourceNames_data();
    void sourceNames();
    void folderFraming_data();
    void folderFraming();
    void midnightCrossing();
    void formatTemplateDate_data();
    void formatTemplateDate();
    void previews_data();
    void previews();
    void folderPreviewTrimsButExpansionKeeps();
    void dialogPreviewIgnoresSwitches();
    void checkFileTemplate_data();
    void checkFileTemplate();
    void checkFolderTemplate();
    void runningNumbers_data();
    void runningNumbers();
    void leavesFolder_data();
    void leavesFolder();
    void setSnapshotOverload();
};

void TestNameTemplate::workedExamples_data()
{
    test::addRows<bool, Text, Text, int, Text, bool, Text, bool, Text>(
        {"folder", "templ", "separator", "number", "prefix", "prefixOn", "suffix", "suffixOn", "expected"},
        {{"shooting date and number", false, "[YYYYMMDD]_[RENBAN]", ".", 7, "p", false, "s", false,
          "2017.03.05_7.JPG"},
         {"source, today, prefix and suffix", false, "[元のファイル名]-[yyyymmdd]", "-", 1, "trip_", true,
          "_a", true, "trip_P1000123-2024-01-09_a.JPG"},
         {"number twice, suffix only", false, "[RENBAN]-[RENBAN]", ".", 3, "x", false, "_b", true,
          "3-3_b.JPG"},
         {"lower-case token is text", false, "[renban]", ".", 3, "", false, "", false, "[renban].JPG"},
         {"folder today and number", true, "[yyyymmdd] [RENBAN]", ".", 12, "Cam", true, "x", false,
          "/Cam2024.01.09 12/"},
         {"folder keeps source token", true, "[元のファイル名]", ".", 1, "", false, "", false,
          "/[元のファイル名]/"},
         {"folder empty separator", true, "[YYYYMMDD]", "", 1, "", false, "", false, "/20170305/"}});
}

void TestNameTemplate::workedExamples()
{
    QFETCH(bool, folder);
    QFETCH(QString, templ);
    QFETCH(QString, separator);
    QFETCH(int, number);
    QFETCH(QString, prefix);
    QFETCH(bool, prefixOn);
    QFETCH(QString, suffix);
    QFETCH(bool, suffixOn);
    QFETCH(QString, expected);

    const auto mode = folder ? TemplateDialogMode::Folder : TemplateDialogMode::File;
    const QString source = folder ? QString() : kSource;
    QCOMPARE(ExpandNameTemplate(mode, templ, prefix, prefixOn, suffix, suffixOn, number, source, kShot,
                                separator, fixedToday),
             expected);
}

void TestNameTemplate::tokens_data()
{
    test::addRows<Text, Text, Text>(
        {"templ", "separator", "expected"},
        {{"every token twice", "[RENBAN][yyyymmdd][YYYYMMDD][RENBAN][yyyymmdd][YYYYMMDD]", "",
          "4202401092017030542024010920170305.JPG"},
         {"other case", "[Renban][YYYYmmdd][yyyyMMDD][元のファイル名]", ".",
          "[Renban][YYYYmmdd][yyyyMMDD]P1000123.JPG"},
         {"unknown brackets", "[abc]_[RENBAN", ".", "[abc]_[RENBAN.JPG"},
         {"source name twice", "[元のファイル名]_[元のファイル名]", ".", "P1000123_P1000123.JPG"},
         {"four-character separator", "[yyyymmdd]|[YYYYMMDD]", "-~_ ",
          "2024-~_ 01-~_ 09|2017-~_ 03-~_ 05.JPG"},
         {"letters in separator literal", "[yyyymmdd] [YYYYMMDD]", "d'y",
          "2024d'y01d'y09 2017d'y03d'y05.JPG"},
         {"spaces kept", "  [RENBAN]  ", ".", "  4  .JPG"}});
}

void TestNameTemplate::tokens()
{
    QFETCH(QString, templ);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QCOMPARE(bareFileName(templ, 4, kSource, separator), expected);
}

void TestNameTemplate::sourceNames_data()
{
    test::addRows<Text, Text, Text>(
        {"source", "templ", "expected"},
        {{"no extension", "/card/README", "[元のファイル名]_x", "README_x"},
         {"two dots", "/card/photo.jpeg.bak", "[元のファイル名]", "photo.jpeg.bak"},
         {"two dots base", "/card/photo.jpeg.bak", "<[元のファイル名]>", "<photo.jpeg>.bak"},
         {"hidden", "/card/.hidden", "[元のファイル名]", ".hidden"},
         {"hidden base empty", "/card/.hidden", "a[元のファイル名]b", "ab.hidden"},
         {"extension case kept", "/card/p1000123.JpG", "[RENBAN]", "9.JpG"},
         {"token inside source name", "/card/P[RENBAN].JPG", "[元のファイル名]", "P[RENBAN].JPG"},
         {"date token inside source name", "/card/[yyyymmdd][YYYYMMDD].JPG", "[元のファイル名]",
          "[yyyymmdd][YYYYMMDD].JPG"},
         {"colon is part of the name", "/card/a:b.JPG", "[元のファイル名]", "a:b.JPG"},
         {"dot in folder only", "/card/DCIM.X/README", "[元のファイル名]", "README"},
         {"empty template", "/card/P1.JPG", "", ".JPG"}});
}

void TestNameTemplate::sourceNames()
{
    QFETCH(QString, source);
    QFETCH(QString, templ);
    QFETCH(QString, expected);
    QCOMPARE(bareFileName(templ, 9, source, QStringLiteral(".")), expected);
}

void TestNameTemplate::folderFraming_data()
{
    test::addRows<Text, Text, bool, Text, bool, Text>(
        {"templ", "prefix", "prefixOn", "suffix", "suffixOn", "expected"},
        {{"empty", "", "", false, "", false, "//"},
         {"ends with delimiter", "a/", "", false, "", false, "/a/"},
         {"suffix ends with delimiter", "a", "", false, "b/", true, "/ab/"},
         {"tokens in prefix and suffix literal", "[RENBAN]", "[RENBAN]", true, "[yyyymmdd]", true,
          "/[RENBAN]5[yyyymmdd]/"},
         {"prefix only", "x", "P", true, "S", false, "/Px/"},
         {"suffix only", "x", "P", false, "S", true, "/xS/"},
         {"spaces kept", " a ", " ", true, "", false, "/  a /"},
         {"double-byte last character", "表", "", false, "", false, "/表/"}});
}

void TestNameTemplate::folderFraming()
{
    QFETCH(QString, templ);
    QFETCH(QString, prefix);
    QFETCH(bool, prefixOn);
    QFETCH(QString, suffix);
    QFETCH(bool, suffixOn);
    QFETCH(QString, expected);
    QCOMPARE(ExpandNameTemplate(TemplateDialogMode::Folder, templ, prefix, prefixOn, suffix, suffixOn, 5,
                                kSource, kShot, QStringLiteral("."), fixedToday),
             expected);
}

void TestNameTemplate::midnightCrossing()
{
    // The clock is asked at every expansion: a run that crosses midnight names later files by the new day.
    QList<QDate> days{QDate(2024, 12, 31), QDate(2025, 1, 1)};
    int calls = 0;
    const TodayFunction clock = [&] { return days.at(qMin(calls++, int(days.size()) - 1)); };
    const NameTemplate t{QStringLiteral("[yyyymmdd]_[元のファイル名]")};
    QCOMPARE(ExpandNameTemplate(TemplateDialogMode::File, t, 1, QStringLiteral("/c/A.JPG"), kShot, QString(),
                                clock),
             QStringLiteral("20241231_A.JPG"));
    QCOMPARE(ExpandNameTemplate(TemplateDialogMode::File, t, 1, QStringLiteral("/c/B.JPG"), kShot, QString(),
                                clock),
             QStringLiteral("20250101_B.JPG"));
    QCOMPARE(calls, 2);

    // No date token: the clock is not needed.
    calls = 0;
    ExpandNameTemplate(TemplateDialogMode::Folder, NameTemplate{QStringLiteral("x")}, 1, QString(), kShot,
                       QString(), clock);
    QCOMPARE(calls, 0);

    // The real clock is used by default (read before and after, in case the test itself crosses midnight).
    const QString before = FormatTemplateDate(QDate::currentDate(), QString());
    const QString name =
        ExpandNameTemplate(TemplateDialogMode::Folder, NameTemplate{QStringLiteral("[yyyymmdd]")}, 1,
                           QString(), kShot, QString());
    const QString after = FormatTemplateDate(QDate::currentDate(), QString());
    QVERIFY2(name == u'/' + before + u'/' || name == u'/' + after + u'/', qPrintable(name));
}

void TestNameTemplate::formatTemplateDate_data()
{
    test::addRows<int, int, int, Text, Text>({"year", "month", "day", "separator", "expected"},
                                             {{"underscore", 2024, 1, 9, "_", "2024_01_09"},
                                              {"empty", 2024, 1, 9, "", "20240109"},
                                              {"two-digit parts", 1999, 12, 31, ".", "1999.12.31"},
                                              {"four characters", 2024, 10, 5, "yyyy", "2024yyyy10yyyy05"}});
}

void TestNameTemplate::formatTemplateDate()
{
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QCOMPARE(FormatTemplateDate(year, month, day, separator), expected);
    QCOMPARE(FormatTemplateDate(QDate(year, month, day), separator), expected);
}

void TestNameTemplate::previews_data()
{
    test::addRows<bool, Text, bool, bool, Text>(
        {"folder", "templ", "prefixOn", "suffixOn", "expected"},
        {{"folder all tokens", true, "[yyyymmdd]_[YYYYMMDD]_[RENBAN]_[元のファイル名]", true, true,
          "/pre2024.01.09_YYYY.MM.DD_12_[元のファイル名]suf/"},
         {"folder switches off", true, "a", false, false, "/a/"},
         {"folder empty", true, "", false, false, "//"},
         {"file all tokens", false, "[元のファイル名]_[RENBAN]_[yyyymmdd]_[YYYYMMDD]", true, false,
          "preDSC_1234_34_2024.01.09_YYYY.MM.DD[.拡張子]"},
         {"file suffix only", false, "[元のファイル名]", false, true, "DSC_1234suf[.拡張子]"},
         {"file keeps spaces", false, " [RENBAN] ", false, false, " 34 [.拡張子]"}});
}

void TestNameTemplate::previews()
{
    QFETCH(bool, folder);
    QFETCH(QString, templ);
    QFETCH(bool, prefixOn);
    QFETCH(bool, suffixOn);
    QFETCH(QString, expected);
    const NameTemplate t{templ, QStringLiteral("pre"), prefixOn, QStringLiteral("suf"), suffixOn};
    if (folder)
        QCOMPARE(BuildFolderNamePreview(t, 12, QStringLiteral("."), kToday), expected);
    else
        QCOMPARE(BuildFileNamePreview(t, 34, QStringLiteral("."), kToday), expected);
}

void TestNameTemplate::folderPreviewTrimsButExpansionKeeps()
{
    const NameTemplate t{QStringLiteral(" [RENBAN]\t"), QStringLiteral("  "), true, QString(), false};
    QCOMPARE(BuildFolderNamePreview(t, 3, QString(), kToday), QStringLiteral("/3/"));
    QCOMPARE(ExpandNameTemplate(TemplateDialogMode::Folder, t, 3, QString(), kShot, QString(), fixedToday),
             QStringLiteral("/   3\t/"));
    // Only spaces and control characters go; the ideographic space stays.
    const NameTemplate wide{QStringLiteral("\u3000a\u3000")};
    QCOMPARE(BuildFolderNamePreview(wide, 1, QString(), kToday), QStringLiteral("/\u3000a\u3000/"));
}

void TestNameTemplate::dialogPreviewIgnoresSwitches()
{
    const NameTemplate folder{QStringLiteral("unused"), QStringLiteral("P "), false, QStringLiteral(" S"),
                              false};
    QCOMPARE(BuildDialogNamePreview(TemplateDialogMode::Folder, QStringLiteral("[RENBAN]-[yyyymmdd]"), folder,
                                    8, QStringLiteral("-"), kToday),
             QStringLiteral("/P 8-2024-01-09 S/"));
    const NameTemplate file{QStringLiteral("unused"), QStringLiteral("a_"), false, QStringLiteral("_z"),
                            true};
    QCOMPARE(BuildDialogNamePreview(TemplateDialogMode::File, QStringLiteral("[元のファイル名][YYYYMMDD]"),
                                    file, 8, QString(), kToday),
             QStringLiteral("a_DSC_1234YYYYMMDD_z[.拡張子]"));
    QCOMPARE(
        BuildDialogNamePreview(TemplateDialogMode::Folder, QString(), NameTemplate{}, 1, QString(), kToday),
        QStringLiteral("//"));
}

void TestNameTemplate::checkFileTemplate_data()
{
    test::addRows<Text, Text, bool>({"text", "expected", "message"},
                                    {{"empty", "", "[元のファイル名]", false},
                                     {"transfer date only", "[yyyymmdd]", "[元のファイル名][yyyymmdd]", true},
                                     {"number", "x[RENBAN]", "x[RENBAN]", false},
                                     {"source name", "[元のファイル名]", "[元のファイル名]", false},
                                     {"lower-case number", "[renban]", "[元のファイル名][renban]", true},
                                     {"space only", " ", "[元のファイル名] ", true}});
}

void TestNameTemplate::checkFileTemplate()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QFETCH(bool, message);
    const FileTemplateCheck check = CheckFileTemplate(text);
    QCOMPARE(check.text, expected);
    QCOMPARE(check.message,
             message
                 ? QStringLiteral(
                       "ファイル名に[元のファイル名]または[RENBAN]は必須です\r\n[元のファイル名]を付加します")
                 : QString());
}

void TestNameTemplate::checkFolderTemplate()
{
    QCOMPARE(CheckFolderTemplate(QString()), QStringLiteral("新しいフォルダ"));
    QCOMPARE(CheckFolderTemplate(QStringLiteral("[yyyymmdd]")), QStringLiteral("[yyyymmdd]"));
    QCOMPARE(CheckFolderTemplate(QStringLiteral(" ")), QStringLiteral(" "));
}

void TestNameTemplate::runningNumbers_data()
{
    test::addRows<qint32, qint32>({"n", "next"}, {{"one", 1, 2},
                                                  {"ordinary", 7, 8},
                                                  {"below maximum", 2147483646, 2147483647},
                                                  {"maximum wraps", 2147483647, 1},
                                                  {"zero", 0, 1},
                                                  {"negative", -5, 1},
                                                  {"most negative", std::numeric_limits<qint32>::min(), 1}});
}

void TestNameTemplate::runningNumbers()
{
    QFETCH(qint32, n);
    QFETCH(qint32, next);
    QCOMPARE(NextRunningNumber(n), next);
    QVERIFY(NextRunningNumber(n) >= 1);

    QCOMPARE(ClampRunningNumber(0), 1);
    QCOMPARE(ClampRunningNumber(-1), 1);
    QCOMPARE(ClampRunningNumber(5), 5);
    QCOMPARE(ClampRunningNumber(qint64(2147483647)), 2147483647);
    QCOMPARE(ClampRunningNumber(qint64(2147483648LL)), 2147483647);
    QCOMPARE(ClampRunningNumber(qint64(99999999999LL)), 2147483647);
}

void TestNameTemplate::leavesFolder_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("leaves");

    QTest::newRow("folder plain") << true << "/2024.01.09/" << false;
    QTest::newRow("folder empty fragment") << true << "//" << false;
    QTest::newRow("folder two levels") << true << "/a/b/" << false;
    QTest::newRow("folder parent") << true << "/../" << true;
    QTest::newRow("folder parent inside") << true << "/a/../../b/" << true;
    QTest::newRow("folder dot") << true << "/./" << true;
    QTest::newRow("folder dots in a name") << true << "/..a/" << false;
    QTest::newRow("folder NUL") << true << QStringLiteral("/a") + QChar(u'\0') + QStringLiteral("/") << true;
    QTest::newRow("file plain") << false << "P1000123.JPG" << false;
    QTest::newRow("file empty") << false << "" << true;
    QTest::newRow("file dot") << false << "." << true;
    QTest::newRow("file parent") << false << ".." << true;
    QTest::newRow("file escape") << false << "../x.JPG" << true;
    QTest::newRow("file trailing delimiter") << false << "x/" << true;
    QTest::newRow("file dots") << false << "...JPG" << false;
}

void TestNameTemplate::leavesFolder()
{
    QFETCH(bool, folder);
    QFETCH(QString, name);
    QFETCH(bool, leaves);
    QCOMPARE(NameLeavesFolder(folder ? TemplateDialogMode::Folder : TemplateDialogMode::File, name), leaves);
}

void TestNameTemplate::setSnapshotOverload()
{
    NameTemplateSet set;
    QCOMPARE(set.folder.text, QStringLiteral("新しいフォルダ"));
    QCOMPARE(set.file.text, QStringLiteral("[元のファイル名]"));
    QCOMPARE(set.folderCounter, 1);
    QCOMPARE(set.fileCounter, 1);
    QVERIFY(set.separator.isEmpty());
    set.file =
        NameTemplate{QStringLiteral("[RENBAN]"), QStringLiteral("a"), true, QStringLiteral("b"), false};
    set.separator = QStringLiteral("_");
    QCOMPARE(&set.forMode(TemplateDialogMode::File), &set.file);
    QCOMPARE(&set.forMode(TemplateDialogMode::Folder), &set.folder);
    QCOMPARE(
        ExpandNameTemplate(TemplateDialogMode::File, set.file, 42, kSource, kShot, set.separator, fixedToday),
        QStringLiteral("a42.JPG"));
    QCOMPARE(ExpandNameTemplate(TemplateDialogMode::Folder, set.folder, 42, QString(), kShot, set.separator,
                                fixedToday),
             QStringLiteral("/新しいフォルダ/"));
}

QTEST_GUILESS_MAIN(TestNameTemplate)
#include "tst_nametemplate.moc"
