#include "exiv2files.h"
#include "system/shelldetails.h"
#include "testdir.h"

#include <QDateTime>
#include <QFileInfo>
#include <QtTest>

using namespace vantora;

namespace {

QString at(const QStringList &texts, int column)
{
    return texts.at(column - FirstDetailColumn);
}

} // namespace

class TestShellDetails : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void codePageWidth_data();
    void codePageWidth();
    void labels();
    void columnNames();
    void folderItemsInOrder();
    void pictureDetails();
    void detailsOfOtherItems();
    void listings();
    void missingFolder();

private:
    test::TestDir m_dir;
    QString m_folder;
    QString m_jpeg;
    QString m_tiff;
};

void TestShellDetails::initTestCase()
{
    m_folder = m_dir.createDir(QStringLiteral("DCIM/100TEST"));
    m_jpeg = m_folder + QStringLiteral("/IMG_0001.JPG");
    m_tiff = m_folder + QStringLiteral("/TEST.TIF");
    QVERIFY(test::writeJpeg(m_jpeg, 64, 48));
    QVERIFY(test::exiv2Modify(m_jpeg, {QStringLiteral("set Exif.Photo.DateTimeOriginal 2021:04:05 06:07:08"),
                                       QStringLiteral("set Exif.Image.Model TestCam X1"),
                                       QStringLiteral("set Exif.Image.Artist Alice"),
                                       QStringLiteral("set Exif.Image.ImageDescription Harbour at dawn"),
                                       QStringLiteral("set Exif.Image.Copyright (c) Alice"),
                                       QStringLiteral("add Iptc.Application2.Keywords sea"),
                                       QStringLiteral("add Iptc.Application2.Keywords boats")}));
    QVERIFY(test::writeTiff(m_tiff, 16, 8));
    QVERIFY(
        test::exiv2Modify(m_tiff, {QStringLiteral("set Exif.Photo.DateTimeOriginal 2019:12:31 23:59:00")}));
    m_dir.createFile(QStringLiteral("DCIM/100TEST/notes.txt"), "plain text");
    m_dir.createDir(QStringLiteral("DCIM/100TEST/sub"));
}

void TestShellDetails::codePageWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::newRow("ascii") << "29 ?" << 4;
    QTest::newRow("full width") << "名前" << 4;
    QTest::newRow("half-width katakana") << "ﾎﾟｰﾀﾌﾞﾙ" << 7;
    QTest::newRow("mixed") << "写真の撮影日(?)" << 15;
    QTest::newRow("empty") << "" << 0;
}

void TestShellDetails::codePageWidth()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QCOMPARE(CodePageWidth(text), width);
}

void TestShellDetails::labels()
{
    QCOMPARE(DetailLabel(QStringLiteral("名前")), QStringLiteral("[名前                    ] "));
    QCOMPARE(DetailLabel(QStringLiteral("29 ?")), QStringLiteral("[29 ?                    ] "));
    QCOMPARE(DetailLabel(QStringLiteral("オーディオサンプルレート")),
             QStringLiteral("[オーディオサンプルレート] "));
    // Every label is 24 bytes wide in the code page, whatever the name.
    for (int c = FirstDetailColumn; c <= LastDetailColumn; ++c) {
        const QString label = DetailLabel(DetailColumnName(c));
        QVERIFY2(CodePageWidth(label) >= 27, qPrintable(label));
        if (CodePageWidth(DetailColumnName(c)) <= 24)
            QCOMPARE(CodePageWidth(label), 27);
    }
}

void TestShellDetails::columnNames()
{
    QCOMPARE(DetailColumnName(-1), QStringLiteral("ツールチップ"));
    QCOMPARE(DetailColumnName(0), QStringLiteral("名前"));
    QCOMPARE(DetailColumnName(3), QStringLiteral("更新日時"));
    QCOMPARE(DetailColumnName(12), QStringLiteral("カテゴリ"));
    QCOMPARE(DetailColumnName(24), QStringLiteral("カメラのモデル"));
    QCOMPARE(DetailColumnName(25), QStringLiteral("写真の撮影日"));
    QCOMPARE(DetailColumnName(29), QStringLiteral("29 ?"));
    QCOMPARE(DetailColumnName(30), QStringLiteral("30 ?"));
    QCOMPARE(DetailColumnName(31), QStringLiteral("写真の撮影日(?)"));
    QCOMPARE(DetailColumnName(35), QStringLiteral("会社名"));
    QCOMPARE(DetailColumnName(39), QStringLiteral("製品バージョン"));
    QCOMPARE(DetailColumnName(40), QStringLiteral("Keywords"));
    QCOMPARE(DetailColumnName(-2), QString());
    QCOMPARE(DetailColumnName(41), QString());
}

void TestShellDetails::folderItemsInOrder()
{
    const QStringList items = FolderItems(m_folder);
    QStringList names;
    for (const QString &item : items) {
        QVERIFY(item.startsWith(m_folder + QLatin1Char('/')));
        names << QFileInfo(item).fileName();
    }
    QCOMPARE(names, QStringList({QStringLiteral("sub"), QStringLiteral("IMG_0001.JPG"),
                                 QStringLiteral("notes.txt"), QStringLiteral("TEST.TIF")}));
}

void TestShellDetails::pictureDetails()
{
    const QStringList d = GetAllDetailsOf(m_jpeg);
    QCOMPARE(d.size(), LastDetailColumn - FirstDetailColumn + 1);
    const QFileInfo info(m_jpeg);
    QCOMPARE(at(d, 0), QStringLiteral("IMG_0001.JPG"));
    QCOMPARE(at(d, 1), QString::number((info.size() + 1023) / 1024) + QStringLiteral(" KB"));
    QCOMPARE(at(d, 2), QStringLiteral("JPG ファイル"));
    QCOMPARE(at(d, 3), info.lastModified().toString(QStringLiteral("yyyy/MM/dd HH:mm")));
    QCOMPARE(at(d, 9), QStringLiteral("Alice"));
    // Column 12 carries the date the picture was taken, as the shooting-date lookup reads it.
    QCOMPARE(at(d, 12), QStringLiteral("2021/04/05 06:07"));
    QCOMPARE(at(d, 25), QStringLiteral("2021/04/05 06:07"));
    QCOMPARE(at(d, 15), QStringLiteral("(c) Alice"));
    QCOMPARE(at(d, 24), QStringLiteral("TestCam X1"));
    QCOMPARE(at(d, 26), QStringLiteral("64 x 48"));
    QCOMPARE(at(d, 27), QStringLiteral("64 ピクセル"));
    QCOMPARE(at(d, 28), QStringLiteral("48 ピクセル"));
    QCOMPARE(at(d, 36), QStringLiteral("Harbour at dawn"));
    QCOMPARE(at(d, 40), QStringLiteral("sea; boats"));
    QVERIFY(at(d, -1).contains(QStringLiteral("JPG ファイル")));
    // One column at a time gives the same texts.
    for (int c : {0, 3, 12, 24, 40})
        QCOMPARE(GetDetailsOf(m_jpeg, c), at(d, c));

    const QStringList t = GetAllDetailsOf(m_tiff);
    QCOMPARE(at(t, 2), QStringLiteral("TIF ファイル"));
    QCOMPARE(at(t, 12), QStringLiteral("2019/12/31 23:59"));
    QCOMPARE(at(t, 27), QStringLiteral("16 ピクセル"));
}

void TestShellDetails::detailsOfOtherItems()
{
    const QStringList text = GetAllDetailsOf(m_folder + QStringLiteral("/notes.txt"));
    QCOMPARE(at(text, 0), QStringLiteral("notes.txt"));
    QCOMPARE(at(text, 1), QStringLiteral("1 KB"));
    QCOMPARE(at(text, 2), QStringLiteral("TXT ファイル"));
    QCOMPARE(at(text, 12), QString());
    QCOMPARE(at(text, 24), QString());

    const QStringList folder = GetAllDetailsOf(m_folder + QStringLiteral("/sub"));
    QCOMPARE(at(folder, 0), QStringLiteral("sub"));
    QCOMPARE(at(folder, 1), QString());
    QCOMPARE(at(folder, 2), QStringLiteral("ファイル フォルダー"));
    QVERIFY(at(folder, 6).contains(QLatin1Char('D')));

    const QStringList missing = GetAllDetailsOf(m_folder + QStringLiteral("/gone.jpg"));
    QCOMPARE(missing.size(), LastDetailColumn - FirstDetailColumn + 1);
    for (const QString &s : missing)
        QVERIFY(s.isEmpty());
    QCOMPARE(GetDetailsOf(m_jpeg, 41), QString());
    QCOMPARE(GetDetailsOf(m_jpeg, -2), QString());
}

void TestShellDetails::listings()
{
    const QStringList lines = DetailListing(m_folder);
    const int perItem = 2 + (LastDetailColumn - FirstDetailColumn + 1);
    QCOMPARE(lines.size(), 4 * perItem);
    const int jpeg = perItem; // the folder "sub" comes first
    QCOMPARE(lines[jpeg], QString(20, QLatin1Char('-')));
    QCOMPARE(lines[jpeg + 1], m_jpeg);
    QVERIFY(lines[jpeg + 2].startsWith(QStringLiteral("[ツールチップ            ] ")));
    QCOMPARE(lines[jpeg + 3], QStringLiteral("[名前                    ] IMG_0001.JPG"));
    QCOMPARE(lines[jpeg + 2 + 13], QStringLiteral("[カテゴリ                ] 2021/04/05 06:07"));
    QCOMPARE(lines[jpeg + 2 + 25], QStringLiteral("[カメラのモデル          ] TestCam X1"));
    QCOMPARE(lines[jpeg + perItem - 1], QStringLiteral("[Keywords                ] sea; boats"));

    const QStringList shortLines = ShortDetailListing(m_folder);
    QCOMPARE(shortLines.size(), 4 * 3);
    QCOMPARE(shortLines.mid(3, 3),
             QStringList({QStringLiteral("[名前] IMG_0001.JPG"),
                          QStringLiteral("[更新日時] ") +
                              QFileInfo(m_jpeg).lastModified().toString(QStringLiteral("yyyy/MM/dd HH:mm")),
                          QStringLiteral("[撮影日時] 2021/04/05 06:07")}));
    QCOMPARE(shortLines[11], QStringLiteral("[撮影日時] 2019/12/31 23:59"));
}

void TestShellDetails::missingFolder()
{
    QVERIFY(FolderItems(m_dir.filePath(QStringLiteral("nothing"))).isEmpty());
    QVERIFY(DetailListing(m_dir.filePath(QStringLiteral("nothing"))).isEmpty());
    QVERIFY(ShortDetailListing(m_dir.filePath(QStringLiteral("nothing"))).isEmpty());
}

QTEST_MAIN(TestShellDetails)
#include "tst_shelldetails.moc"
