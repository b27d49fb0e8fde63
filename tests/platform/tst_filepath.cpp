#include "platform/bytepath.h"
#include "platform/filepath.h"
#include "platform/filestamp.h"
#include "platform/volumes.h"

#include <QTest>

using namespace vantora;

class TestFilePath final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void takesPathsApart_data();
    void takesPathsApart();
};

void TestFilePath::takesPathsApart_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("suffix");
    QTest::addColumn<QByteArray>("parent");
    QTest::addColumn<QByteArray>("joined"); // path.join("n")
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<bool>("inside"); // path.isSameOrInside(folder)

    QTest::newRow("file in its folder")
        << QByteArray("/a/b/c.jpg") << QByteArray("c.jpg") << QByteArray("jpg") << QByteArray("/a/b")
        << QByteArray("/a/b/c.jpg/n") << QByteArray("/a/b") << true;
    QTest::newRow("a prefix that is not a parent")
        << QByteArray("/a/bc") << QByteArray("bc") << QByteArray() << QByteArray("/a")
        << QByteArray("/a/bc/n") << QByteArray("/a/b") << false;
    QTest::newRow("the folder itself, its trailing slashes not counted")
        << QByteArray("/a/b") << QByteArray("b") << QByteArray() << QByteArray("/a") << QByteArray("/a/b/n")
        << QByteArray("/a/b//") << true;
    QTest::newRow("a folder above is not inside")
        << QByteArray("/a") << QByteArray("a") << QByteArray() << QByteArray("/") << QByteArray("/a/n")
        << QByteArray("/a/b") << false;
    QTest::newRow("trailing slash: no name, the folder is the parent")
        << QByteArray("/a/b/") << QByteArray() << QByteArray() << QByteArray("/a/b") << QByteArray("/a/b/n")
        << QByteArray("/a/b") << true;
    QTest::newRow("root") << QByteArray("/") << QByteArray() << QByteArray() << QByteArray("/")
                          << QByteArray("/n") << QByteArray("/") << true;
    QTest::newRow("a name under the root")
        << QByteArray("/x.tar.gz") << QByteArray("x.tar.gz") << QByteArray("gz") << QByteArray("/")
        << QByteArray("/x.tar.gz/n") << QByteArray("/") << true;
    QTest::newRow("a relative path is not under the root")
        << QByteArray("a/b") << QByteArray("b") << QByteArray() << QByteArray("a") << QByteArray("a/b/n")
        << QByteArray("/") << false;
    QTest::newRow("a lone name: its parent is the current folder")
        << QByteArray("README") << QByteArray("README") << QByteArray() << QByteArray(".")
        << QByteArray("README/n") << QByteArray(".") << false;
    QTest::newRow("a hidden name, a folder name with a dot")
        << QByteArray("/d.x/.hidden") << QByteArray(".hidden") << QByteArray("hidden") << QByteArray("/d.x")
        << QByteArray("/d.x/.hidden/n") << QByteArray("/d") << false;
    QTest::newRow("\"..\" is a name like any other")
        << QByteArray("/a/b/../c") << QByteArray("c") << QByteArray() << QByteArray("/a/b/..")
        << QByteArray("/a/b/../c/n") << QByteArray("/a/b") << true;
    QTest::newRow("\".\" is a name like any other")
        << QByteArray("/a/b") << QByteArray("b") << QByteArray() << QByteArray("/a") << QByteArray("/a/b/n")
        << QByteArray("/a/b/.") << false;
    QTest::newRow("a doubled slash is cut at the last one")
        << QByteArray("/a//b") << QByteArray("b") << QByteArray() << QByteArray("/a/")
        << QByteArray("/a//b/n") << QByteArray("/a") << true;
    QTest::newRow("empty path") << QByteArray() << QByteArray() << QByteArray() << QByteArray(".")
                                << QByteArray("n") << QByteArray("/") << false;
    QTest::newRow("empty folder: the root without its slash")
        << QByteArray("/a") << QByteArray("a") << QByteArray() << QByteArray("/") << QByteArray("/a/n")
        << QByteArray() << true;
    QTest::newRow("a name that is not UTF-8")
        << QByteArray("/a/\xff\xfe.jpg") << QByteArray("\xff\xfe.jpg") << QByteArray("jpg")
        << QByteArray("/a") << QByteArray("/a/\xff\xfe.jpg/n") << QByteArray("/a") << true;
    QTest::newRow("the bytes of a folder name start another name")
        << QByteArray("/a/\xc3\xa9") << QByteArray("\xc3\xa9") << QByteArray() << QByteArray("/a")
        << QByteArray("/a/\xc3\xa9/n") << QByteArray("/a/\xc3") << false;
    QTest::newRow("inside a folder that is not UTF-8")
        << QByteArray("/a/\xc3/x") << QByteArray("x") << QByteArray() << QByteArray("/a/\xc3")
        << QByteArray("/a/\xc3/x/n") << QByteArray("/a/\xc3/") << true;
}

void TestFilePath::takesPathsApart()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, suffix);
    QFETCH(QByteArray, parent);
    QFETCH(QByteArray, joined);
    QFETCH(QByteArray, folder);
    QFETCH(bool, inside);

    const FilePath p = FilePath::fromBytes(path);
    QCOMPARE(p.bytes(), path);
    QCOMPARE(p.text(), pathFromBytes(path));
    QCOMPARE(FilePath(pathFromBytes(path)), p);
    QCOMPARE(pathToBytes(p.name()), name);
    QCOMPARE(pathToBytes(p.suffix()), suffix);
    QCOMPARE(p.parent().bytes(), parent);
    QCOMPARE(p.join(QStringLiteral("n")).bytes(), joined);

    const FilePath f = FilePath::fromBytes(folder);
    QCOMPARE(p.isSameOrInside(f), inside);
    // The containment tests of the program all answer as the type does.
    if (!inside)
        QVERIFY(PassesThroughLink(f.text(), p.text()));
}

QTEST_GUILESS_MAIN(TestFilePath)
#include "tst_filepath.moc"
