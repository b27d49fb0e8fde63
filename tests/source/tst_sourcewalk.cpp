#include "platform/bytepath.h"
#include "platform/timedprobe.h"
#include "platform/volumesmounttable.h"
#include "source/maskmatch.h"
#include "source/readaheadwindow.h"
#include "source/sourcewalk.h"

#include "../platform/rawfiles.h"
#include "tables.h"
#include "testdir.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantora;
using vantora::test::TestDir;
using namespace vantora::test;

#include <atomic>
#include <future>

namespace {

// Makes each path below the folder: a folder where the path ends in '/', otherwise a file.
void makeTree(TestDir &dir, std::initializer_list<const char *> paths)
{
    for (const char *p : paths) {
        const QString path = QString::fromUtf8(p);
        if (path.endsWith(u'/'))
            dir.createDir(path);
        else
            dir.createFile(path);
    }
}

} // namespace

class TestSourceWalk final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void maskMatch_data()
    {
        addRows<Text, Text, bool>({"name", "mask", "expected"},
                                  {{"lower jpg by *.JPG", "img_0001.jpg", "*.JPG", true},
                                   {"upper by lower mask", "IMG_0001.JPG", "*.jpg", true},
                                   {"no dot, *.JPG", "JPG", "*.JPG", false},
                                   {"no dot, *.*", "README", "*.*", false},
                                   {"dot, *.*", "a.b", "*.*", true},
                                   {"trailing dot, *.*", "name.", "*.*", true},
                                   {"leading dot, *.*", ".hidden", "*.*", true},
                                   {"jpeg not jpg", "x.jpeg", "*.JPG", false},
                                   {"jpg.bak", "photo.jpg.bak", "*.JPG", false},
                                   {"two dots", "a.b.jpg", "*.JPG", true},
                                   {"question one", "ab.c", "a?.c", true},
                                   {"question needs one", "a.c", "a?.c", false},
                                   {"question in extension", "x.CR2", "*.C?2", true},
                                   {"set hit", "b1.cr2", "[ab]?.CR2", true},
                                   {"set miss", "c1.cr2", "[ab]?.CR2", false},
                                   {"negated set", "c1.cr2", "[!ab]?.CR2", true},
                                   {"negated set miss", "A1.cr2", "[!ab]?.CR2", false},
                                   {"range without case", "X5.nef", "[a-z]5.NEF", true},
                                   {"range miss", "55.nef", "[a-z]5.NEF", false},
                                   {"unclosed set is literal", "a[1.jpg", "a[1.jpg", true},
                                   {"double-byte name", "写真.JPG", "*.jpg", true},
                                   {"question takes a double-byte char", "写真.JPG", "??.JPG", true},
                                   {"only A-Z fold", "é.jpg", "É.jpg", false},
                                   {"full-width not folded", "ａ.jpg", "Ａ.jpg", false},
                                   {"star alone", "anything", "*", true},
                                   {"exact without case", "Thumbs.db", "THUMBS.DB", true},
                                   {"star in middle", "IMG_1234_x.JPG", "IMG*x.jpg", true},
                                   {"star backtracks", "aXbXc.jpg", "a*X*c.JPG", true},
                                   {"empty name", "", "*.*", false},
                                   {"tail question takes a dot", "a.TH.", "*.TH?", true},
                                   {"tail question", "x.thm", "*.TH?", true},
                                   {"tail longer than name", "THM", "*.TH?", false},
                                   {"tail over double-byte", "写真.jpg", "*?.JPG", true},
                                   {"tail negated set miss", "ba.jpg", "*[!a].JPG", false},
                                   {"tail negated set hit", "bc.jpg", "*[!a].JPG", true},
                                   {"tail unclosed set", "x.t[h.z", "*.t[h.?", true}});
    }

    void maskMatch()
    {
        QFETCH(QString, name);
        QFETCH(QString, mask);
        QFETCH(bool, expected);
        QCOMPARE(MatchesMask(name, mask), expected);
        const FileMask compiled(mask);
        QCOMPARE(compiled.matches(name), expected);
        const QByteArray native = name.toUtf8();
        QCOMPARE(compiled.matchesNative(native.constData(), std::size_t(native.size())), expected);
        // A set of rows counts every row that takes the name, the same mask twice included.
        const MaskSet rows({mask, QStringLiteral("*.MOV"), mask});
        QCOMPARE(rows.countMatches(native.constData(), std::size_t(native.size())),
                 (expected ? 2 : 0) + (MatchesMask(name, u"*.MOV") ? 1 : 0));
    }

    void maskSetAgreesWithMatchesMask()
    {
        const QStringList masks = {QStringLiteral("*.JPG"), QStringLiteral("*.jpg"), QStringLiteral("*.JP?"),
                                   QStringLiteral("*.*"), QStringLiteral("*.TAR.GZ"), QStringLiteral("IMG*"),
                                   QStringLiteral("*.写真"),
                                   // five characters of four bytes each: the longest free extension
                                   QStringLiteral("*.\U0001F4F7\U0001F4F7\U0001F4F7\U0001F4F7\U0001F4F7"),
                                   QStringLiteral("*.\U0001F4F7\U0001F4F7\U0001F4F7\U0001F4F7\U0001F4F8")};
        const MaskSet set(masks);
        for (const QString &name :
             {QStringLiteral("IMG_1.JPG"), QStringLiteral("a.jpeg"), QStringLiteral("x.tar.gz"),
              QStringLiteral("IMG"), QStringLiteral(".JPG"), QStringLiteral("a.写真"),
              QStringLiteral("a.JPG.MOV"), QStringLiteral("noext"),
              QStringLiteral("a.\U0001F4F7\U0001F4F7\U0001F4F7\U0001F4F7\U0001F4F7")}) {
            int expected = 0;
            for (const QString &m : masks)
                expected += MatchesMask(name, m) ? 1 : 0;
            const QByteArray n = name.toUtf8();
            QCOMPARE(set.countMatches(n.constData(), std::size_t(n.size())), expected);
        }
        const QByteArray camera =
            QStringLiteral("a.\U0001F4F7\U0001F4F7\U0001F4F7\U0001F4F7\U0001F4F7").toUtf8();
        QCOMPARE(set.countMatches(camera.constData(), std::size_t(camera.size())), 2); // "*.*" and its own
    }

    void maskLookup_data()
    {
        addRows<Text, Text>({"file", "expected"}, {{"wildcard", "b.raw", "/r"},
                                                   {"wildcard any case", "B.Rw2", "/r"},
                                                   {"question mark", "c.CR3", "/cr"},
                                                   {"plain", "d.jpg", "/jpg"},
                                                   {"none", "e.png", ""},
                                                   {"set", "IMG_0001.NEF", "/set"},
                                                   {"set, other letter", "IMG_0001.ARW", ""},
                                                   {"brackets are a set", "f.[N]", ""},
                                                   {"with folder", "/card/DCIM/100/b.RAF", "/r"}});
    }

    void maskLookup()
    {
        // A file the walk takes through a wildcard row must find that row's folder: the same rule decides.
        QFETCH(QString, file);
        QFETCH(QString, expected);
        const ExtensionRows rows{{QStringLiteral("*.JPG"), QStringLiteral("/jpg")},
                                 {QStringLiteral("*.R*"), QStringLiteral("/r")},
                                 {QStringLiteral("*.CR?"), QStringLiteral("/cr")},
                                 {QStringLiteral("*.[CN]*"), QStringLiteral("/set")}};
        QCOMPARE(LookupMaskDestination(rows, file), expected);
        bool taken = false;
        for (const ExtensionRow &row : rows)
            taken = taken || MatchesMask(QFileInfo(file).fileName(), row.key);
        QCOMPARE(taken, !expected.isEmpty());
    }

    // sizes: the bytes each file's read ahead begins (0: in the cache already). started: for each file in
    // turn, the files begun just before it is copied, "|" between files.
    void readAheadWindowKeepsItsBounds_data()
    {
        addRows<Text, qint64, int, Text>(
            {"sizes", "maxBytes", "maxFiles", "started"},
            {{"one file a time", "4 4 4 4 4", 4, 128, "0|1|2|3|4"},
             {"bytes: the file that fills it is begun", "4 4 4 4 4 4", 10, 128, "0 1 2|3|4|5||"},
             {"a large file fills it at once", "1 100 1 1", 10, 128, "0 1||2 3|"},
             {"cached files count only as files", "0 0 0 0 0 0", 10, 3, "0 1 2|3|4|5||"},
             {"files and bytes, whichever first", "1 1 1 9 1 1", 10, 2, "0 1|2|3|4|5|"},
             {"a single file", "5", 10, 128, "0"},
             {"no files", "", 10, 128, ""}});
    }
    void readAheadWindowKeepsItsBounds()
    {
        QFETCH(QString, sizes);
        QFETCH(qint64, maxBytes);
        QFETCH(int, maxFiles);
        QFETCH(QString, started);
        QList<qint64> size;
        for (const QString &n : sizes.split(u' ', Qt::SkipEmptyParts))
            size.append(n.toLongLong());
        QStringList begun;
        ReadAheadWindow window(
            size.size(),
            [&](qsizetype k) {
                begun.append(QString::number(k));
                return size.at(k);
            },
            {}, maxBytes, maxFiles);
        QStringList steps;
        for (qsizetype i = 0; i < size.size(); ++i) {
            window.advanceTo(i);
            steps.append(std::exchange(begun, {}).join(u' '));
        }
        QCOMPARE(steps.join(u'|'), started);
    }

    // A run that stops drops the files its window began and it will not reach; one that ends drops nothing.
    void readAheadWindowLeftEarlyCancels()
    {
        for (const qsizetype reached : {-1, 0, 2, 4}) {
            int cancelled = 0;
            {
                ReadAheadWindow window(
                    5, [](qsizetype) { return qint64(1); }, [&] { ++cancelled; }, 3, 128);
                for (qsizetype i = 0; i <= reached; ++i)
                    window.advanceTo(i);
            }
            QCOMPARE(cancelled, reached == 0 || reached == 2 ? 1 : 0);
        }
    }

    void hiddenEntriesAndNamesWithoutDot()
    {
        TestDir dir;
        makeTree(dir, {"src/.hidden/a.jpg", "src/.b.JPG", "src/normal/c.JPG", "src/normal/JPG", "src/README",
                       "src/notes.txt"});
        const QString src = dir.filePath(QStringLiteral("src"));
        // A hidden-and-read-only file is found too.
        QFile::setPermissions(src + QLatin1String("/.b.JPG"), QFile::ReadOwner);

        QCOMPARE(CollectRunList(src, {QStringLiteral("*.JPG")}),
                 QStringList({src + QLatin1String("/.b.JPG"), src + QLatin1String("/.hidden/a.jpg"),
                              src + QLatin1String("/normal/c.JPG")}));
        const QStringList all = CollectRunList(src, {QStringLiteral("*.*")});
        QCOMPARE(all.size(), 4);
        QVERIFY(!all.contains(src + QLatin1String("/README")));
        QVERIFY(!all.contains(src + QLatin1String("/normal/JPG")));
        QCOMPARE(CountFiles(src, {QStringLiteral("*.*")}), 4);
    }

    void fileTakenByTwoRowsListedTwice()
    {
        TestDir dir;
        dir.createFile(QStringLiteral("src/DCIM/IMG_1.JPG"));
        dir.createFile(QStringLiteral("src/DCIM/MVI_1.MOV"));
        const QString src = dir.filePath(QStringLiteral("src/"));
        const QStringList list = CollectRunList(src, {QStringLiteral("*.JPG"), QStringLiteral("*.*")});
        const QString jpg = src + QLatin1String("DCIM/IMG_1.JPG");
        QCOMPARE(list, QStringList({jpg, jpg, src + QLatin1String("DCIM/MVI_1.MOV")}));
        QCOMPARE(CountFiles(src, {QStringLiteral("*.JPG"), QStringLiteral("*.*")}), 3);
    }

    // One walk over all masks gives what one walk per mask would give.
    void singleWalkEqualsWalkPerRow()
    {
        TestDir dir;
        const QStringList exts = {QStringLiteral("JPG"), QStringLiteral("jpg"), QStringLiteral("CR2"),
                                  QStringLiteral("MOV"), QStringLiteral("txt"), QString()};
        auto *rng = QRandomGenerator::global();
        for (int i = 0; i < 400; ++i) {
            const QString ext = exts.at(int(rng->bounded(exts.size())));
            dir.createFile(QStringLiteral("src/%1/%2/f%3%4")
                               .arg(rng->bounded(5))
                               .arg(rng->bounded(3))
                               .arg(i)
                               .arg(ext.isEmpty() ? QString() : QLatin1Char('.') + ext));
        }
        const QString src = dir.filePath(QStringLiteral("src"));
        const QStringList masks = {QStringLiteral("*.JPG"), QStringLiteral("*.CR?"), QStringLiteral("*.*"),
                                   QStringLiteral("*.MOV"), QStringLiteral("f1*")};
        QStringList perRow;
        for (const QString &m : masks)
            CollectFiles(src, m, perRow);
        SortRunList(perRow);
        const QStringList single = CollectRunList(src, masks);
        QCOMPARE(single, perRow);
        QCOMPARE(CountFiles(src, masks), qint64(perRow.size()));
    }

    void sortIgnoresCase()
    {
        QStringList list = {QStringLiteral("/s/b.JPG"), QStringLiteral("/s/A.jpg"),
                            QStringLiteral("/s/c.jpg"), QStringLiteral("/s/B.jpg")};
        SortRunList(list);
        QCOMPARE(list.at(0), QStringLiteral("/s/A.jpg"));
        QCOMPARE(list.at(3), QStringLiteral("/s/c.jpg"));
        // Names equal without case keep one fixed order.
        QStringList again = {QStringLiteral("/s/B.jpg"), QStringLiteral("/s/b.JPG"),
                             QStringLiteral("/s/c.jpg"), QStringLiteral("/s/A.jpg")};
        SortRunList(again);
        QCOMPARE(again, list);
        // Paths that share part of a name below the common folder.
        QStringList mixed = {QStringLiteral("/p/AC.jpg"), QStringLiteral("/p/Ab/z.jpg"),
                             QStringLiteral("/p/aa/y.jpg")};
        SortRunList(mixed);
        QCOMPARE(mixed, QStringList({QStringLiteral("/p/aa/y.jpg"), QStringLiteral("/p/Ab/z.jpg"),
                                     QStringLiteral("/p/AC.jpg")}));
    }

    void missingSourceGivesNothing()
    {
        TestDir dir;
        QCOMPARE(CollectRunList(dir.filePath(QStringLiteral("gone")), {QStringLiteral("*.*")}),
                 QStringList());
        QCOMPARE(CountFiles(dir.filePath(QStringLiteral("gone")), {QStringLiteral("*.*")}), 0);
        QCOMPARE(CountFiles(QString(), {QStringLiteral("*.*")}), 0);
    }

    void linkCycleEndsAndCountsOnce()
    {
        TestDir dir;
        dir.createFile(QStringLiteral("src/a/IMG_1.JPG"));
        dir.createFile(QStringLiteral("src/a/b/IMG_2.JPG"));
        const QString src = dir.filePath(QStringLiteral("src"));
        // b/up points back at the source: an endless tree without the visited-folder check.
        QVERIFY(QFile::link(src, src + QLatin1String("/a/b/up")));
        QVERIFY(QFile::link(src + QLatin1String("/a"), src + QLatin1String("/a/self")));
        QCOMPARE(CountFiles(src, {QStringLiteral("*.JPG"), QStringLiteral("*.*")}), 4);
        QCOMPARE(CollectRunList(src, {QStringLiteral("*.JPG")}).size(), 2);
        // A link to a file is taken as that file; a broken link and a fifo are not files.
        QVERIFY(QFile::link(src + QLatin1String("/a/IMG_1.JPG"), src + QLatin1String("/LINK.JPG")));
        QVERIFY(QFile::link(src + QLatin1String("/none.JPG"), src + QLatin1String("/BROKEN.JPG")));
        QCOMPARE(mkfifo(QFile::encodeName(src + QLatin1String("/PIPE.JPG")).constData(), 0600), 0);
        QCOMPARE(CollectRunList(src, {QStringLiteral("*.JPG")}),
                 QStringList({src + QLatin1String("/a/b/IMG_2.JPG"), src + QLatin1String("/a/IMG_1.JPG"),
                              src + QLatin1String("/LINK.JPG")}));
    }

    void removeEmptyFolders()
    {
        // After a move: 100CANON and a/b/c were emptied by it; 102EMPTY and x/y were empty before. Every
        // empty folder goes; a file of any kind keeps its folders; a link is neither followed nor removed.
        TestDir dir;
        TestDir outside;
        const QString src = dir.createDir(QStringLiteral("DCIM"));
        makeTree(dir, {"DCIM/100CANON/", "DCIM/102EMPTY/", "DCIM/a/b/c/", "DCIM/x/y/", "DCIM/d/e/kept.txt",
                       "DCIM/d/empty/", "DCIM/f/.hidden", "DCIM/l/"});
        outside.createDir(QStringLiteral("target/emptysub"));
        outside.createDir(QStringLiteral("empty"));
        QVERIFY(QFile::link(outside.filePath(QStringLiteral("target")), src + QLatin1String("/h")));
        QVERIFY(QFile::link(outside.filePath(QStringLiteral("empty")), src + QLatin1String("/l/empty")));

        QCOMPARE(RemoveEmptySourceFolders(src), false);
        QVERIFY(QFileInfo(src).isDir());
        for (const char *gone : {"100CANON", "102EMPTY", "a", "x", "d/empty"})
            QVERIFY2(!QFileInfo::exists(src + QLatin1Char('/') + QLatin1String(gone)), gone);
        QVERIFY(QFileInfo::exists(src + QLatin1String("/d/e/kept.txt")));
        QVERIFY(QFileInfo::exists(src + QLatin1String("/f/.hidden")));
        QVERIFY(QFileInfo(src + QLatin1String("/h")).isSymLink());
        QVERIFY(QFileInfo(src + QLatin1String("/l/empty")).isSymLink());
        QVERIFY(QFileInfo(outside.filePath(QStringLiteral("target/emptysub"))).isDir());
        QVERIFY(QFileInfo(outside.filePath(QStringLiteral("empty"))).isDir());
    }

    void rawByteNamesWalkedExactly()
    {
        // The source folder itself, two files that U+FFFD would merge, and a folder in a legacy code page.
        RawTestDir dir;
        const QByteArray src = dir.path() + "/card\xFF";
        const QByteArray latin = src + "/\xE9t\xE9";
        QVERIFY(makeRawDir(src));
        QVERIFY(makeRawDir(latin));
        const QMap<QByteArray, QByteArray> files{{src + '/' + RawFfName, "ff"},
                                                 {src + '/' + RawReplacementName, "replacement"},
                                                 {latin + "/IMG_\x80.JPG", "latin"}};
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            QVERIFY(writeRawFile(it.key(), it.value()));
        QVERIFY(writeRawFile(src + "/notes\xFF.txt", "not taken"));
        const QString source = pathFromBytes(src);

        for (const QStringList &masks :
             {QStringList{QStringLiteral("*.JPG")}, QStringList{QStringLiteral("IMG_?.JPG")},
              QStringList{QStringLiteral("*?.JPG")}}) {
            const QStringList list = CollectRunList(source, masks);
            QCOMPARE(list.size(), 3);
            QSet<QByteArray> listed;
            for (const QString &path : list) {
                const QByteArray bytes = pathToBytes(path);
                listed.insert(bytes);
                QCOMPARE(readRawFile(bytes), files.value(bytes));
            }
            QCOMPARE(listed, QSet<QByteArray>(files.keyBegin(), files.keyEnd()));
            QCOMPARE(CountFiles(source, masks), 3);
        }
        QStringList collected;
        CollectFiles(source + QStringLiteral("/"), QStringLiteral("*.*"), collected);
        QCOMPARE(collected.size(), 4);
        QCOMPARE(QSet<QString>(collected.begin(), collected.end()).size(), 4);
    }

    void byteMatcherAgreesWithText()
    {
        // The walk matches a name's bytes, the routing its text: both must take the same files.
        const QStringList masks = {QStringLiteral("*.JPG"),
                                   QStringLiteral("IMG_?.JPG"),
                                   QStringLiteral("*?.JPG"),
                                   QStringLiteral("*.TH?"),
                                   QStringLiteral("??"),
                                   QStringLiteral("*\u00FF*"),
                                   QStringLiteral("\u00FF.JPG"),
                                   QStringLiteral("*写真*"),
                                   QStringLiteral("*真.JPG"),
                                   QStringLiteral("[!a]*"),
                                   QStringLiteral("*[\u00E0-\u00FF]?"),
                                   QStringLiteral("*.*"),
                                   QStringLiteral("*"),
                                   QStringLiteral("IMG*"),
                                   QStringLiteral("*??.J?G")};
        const QByteArray pieces[] = {
            "IMG_", ".JPG",     ".TH", "\xE5\x86\x99",     "\xE7\x9C\x9F", "\xFF",        "\xE5\x86",
            "\x80", "\xC3\xBF", "a",   "\xF0\x9F\x93\xB7", "\xED\xB2\x80", "\xEF\xBF\xBD"};
        QList<QByteArray> names = {RawFfName,  RawReplacementName, "a.TH\x80",
                                   "\xFF.JPG", "\xC3\xBF.JPG",     "\xE5\x86"};
        QRandomGenerator rng(4242);
        for (int i = 0; i < 20000; ++i) {
            QByteArray name;
            for (int n = int(rng.bounded(1, 6)); n > 0; --n)
                name += pieces[rng.bounded(int(std::size(pieces)))];
            names.append(name);
        }
        QList<FileMask> compiled;
        for (const QString &m : masks)
            compiled.append(FileMask(m));
        const MaskSet set(masks);
        for (const QByteArray &name : std::as_const(names)) {
            const QString text = pathFromBytes(name);
            int expected = 0;
            for (qsizetype m = 0; m < masks.size(); ++m) {
                const bool byText = MatchesMask(text, masks.at(m));
                expected += byText ? 1 : 0;
                if (compiled.at(m).matchesNative(name.constData(), std::size_t(name.size())) != byText ||
                    compiled.at(m).matches(text) != byText)
                    QFAIL(qPrintable(QStringLiteral("%1 and %2 disagree")
                                         .arg(masks.at(m), QString::fromLatin1(name.toHex()))));
            }
            QCOMPARE(set.countMatches(name.constData(), std::size_t(name.size())), expected);
        }
    }

    void removeEmptyFoldersByBytes()
    {
        RawTestDir dir;
        const QByteArray src = dir.path() + "/src\xFE";
        const QByteArray moved = src + "/\xFF\xFE";
        // Shown exactly like the folder above: removed by its own bytes, never taken for the other.
        const QByteArray twin = src + "/\xEF\xBF\xBD\xEF\xBF\xBD";
        const QByteArray sub = moved + "/sub\x80";
        const QByteArray kept = src + "/kept\x81";
        const QByteArray hidden = kept + "/.hidden\xFF";
        const QByteArray twinFile = twin + "/IMG_1.JPG";
        for (const QByteArray &d : {src, moved, sub, twin, kept})
            QVERIFY(makeRawDir(d));
        QVERIFY(writeRawFile(hidden, "x"));
        QVERIFY(writeRawFile(twinFile, "twin"));

        QCOMPARE(RemoveEmptySourceFolders(pathFromBytes(src)), false);
        QVERIFY(rawIsDir(src));
        QVERIFY(!rawExists(moved));
        QCOMPARE(readRawFile(twinFile), QByteArray("twin"));
        QCOMPARE(readRawFile(hidden), QByteArray("x"));

        // Emptied too: now nothing is left, and the source itself stays.
        QVERIFY(::unlink(hidden.constData()) == 0);
        QVERIFY(::unlink(twinFile.constData()) == 0);
        QCOMPARE(RemoveEmptySourceFolders(pathFromBytes(src) + QLatin1Char('/')), true);
        QVERIFY(rawIsDir(src));
        QVERIFY(!rawExists(twin));
        QVERIFY(!rawExists(kept));
    }

    void removeEmptyFoldersKeepsSource()
    {
        TestDir dir;
        const QString src = dir.createDir(QStringLiteral("src"));
        dir.createDir(QStringLiteral("src/100CANON/sub"));
        dir.createDir(QStringLiteral("src/101CANON"));
        for (const QString &given : {QString(src + QLatin1Char('/')), src})
            QCOMPARE(RemoveEmptySourceFolders(given), true);
        QVERIFY(QFileInfo(src).isDir());
        QCOMPARE(QDir(src).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
        QCOMPARE(RemoveEmptySourceFolders(dir.filePath(QStringLiteral("gone"))), false);
    }

    void hungShareDoesNotHoldTheWatch()
    {
        // A share whose server is gone: its query blocks until the test lets it go.
        TimedProbes probes;
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<int> asked{0};
        const auto hung = [&asked, released] {
            ++asked;
            released.wait();
            return true;
        };
        QElapsedTimer t;
        t.start();
        QVERIFY(!probes.ask(QStringLiteral("/mnt/share"), hung, std::chrono::milliseconds(50)));
        QVERIFY(t.elapsed() < 2000);
        // Still hanging: not asked again, and no wait this time.
        t.restart();
        QVERIFY(!probes.ask(QStringLiteral("/mnt/share"), hung, std::chrono::milliseconds(5000)));
        QVERIFY(t.elapsed() < 1000);
        QCOMPARE(asked.load(), 1);
        // Other volumes are asked meanwhile.
        QVERIFY(probes.ask(
            QStringLiteral("/mnt/other"), [] { return true; }, std::chrono::milliseconds(5000)));
        // The server is back: the late answer counts, and the next tick asks afresh.
        release.set_value();
        bool lateAnswer = false;
        QTRY_VERIFY(lateAnswer || (lateAnswer = probes.ask(QStringLiteral("/mnt/share"), hung,
                                                           std::chrono::milliseconds(0))));
        QVERIFY(probes.ask(QStringLiteral("/mnt/share"), hung, std::chrono::milliseconds(5000)));
        QCOMPARE(asked.load(), 2);
    }

    void mountTableParsed()
    {
        const QByteArray text =
            "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
            "23 22 0:5 / /proc rw shared:2 - proc proc rw\n"
            "24 22 0:6 / /sys rw - sysfs sysfs rw\n"
            "30 22 8:17 / /media/u/EOS\\040DIGITAL rw,nosuid shared:9 - vfat /dev/sdb1 rw\n"
            "31 22 0:40 / /mnt/old rw - tmpfs tmpfs rw\n"
            "32 22 0:41 / /mnt rw - tmpfs tmpfs rw\n"
            "33 22 0:42 / /net rw - nfs4 server:/export rw\n"
            "broken line\n";
        const QList<MountEntry> entries = parseMountInfo(text);
        QStringList points;
        for (const MountEntry &e : entries)
            points.append(e.mountPoint);
        // Pseudo file systems left out, escapes decoded, /mnt/old hidden by the later /mnt, sorted.
        QCOMPARE(points, QStringList({QStringLiteral("/"), QStringLiteral("/media/u/EOS DIGITAL"),
                                      QStringLiteral("/mnt"), QStringLiteral("/net")}));
        QCOMPARE(entries.at(1).fsType, QStringLiteral("vfat"));
        QCOMPARE(entries.at(1).source, QStringLiteral("/dev/sdb1"));
        QCOMPARE(entries.at(1).devNumber, QStringLiteral("8:17"));

        TestDir dir;
        QFile f(dir.filePath(QStringLiteral("mountinfo")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        const MountTableVolumes volumes(f.fileName());
        QCOMPARE(volumes.roots().size(), 4);
        QCOMPARE(volumes.rootOf(QStringLiteral("/media/u/EOS DIGITAL/DCIM/")),
                 QStringLiteral("/media/u/EOS DIGITAL"));
        QCOMPARE(volumes.rootOf(QStringLiteral("/media/u/EOS DIGITALX/DCIM")), QStringLiteral("/"));
        QCOMPARE(volumes.driveType(QStringLiteral("/net")), DriveType::NoRootDir); // no such folder here
        QCOMPARE(volumes.driveType(QStringLiteral("/gone")), DriveType::NoRootDir);
        QVERIFY(volumes.isReady(QStringLiteral("/")));
        QVERIFY(!volumes.isReady(QStringLiteral("/gone")));
    }

    void unreadableFolderKeptAndSkipped()
    {
        TestDir dir;
        const QString src = dir.createDir(QStringLiteral("src"));
        const QString ok = dir.createFile(QStringLiteral("src/ok/IMG_1.JPG"));
        dir.createFile(QStringLiteral("src/locked/IMG_2.JPG"));
        const QString locked = src + QStringLiteral("/locked");
        for (const QString &d : QStringList{dir.path(), src, src + QStringLiteral("/ok")})
            QVERIFY(::chmod(QFile::encodeName(d).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(ok).constData(), 0644) == 0);
        QVERIFY(::chmod(QFile::encodeName(locked).constData(), 0) == 0);

        // What a user who cannot read the folder gets: the rest of the tree, and the folder left alone.
        const auto faults = [&] {
            int f = 0;
            if (CollectRunList(src, {QStringLiteral("*.JPG")}) != QStringList{ok})
                f |= 1;
            if (CountFiles(src, {QStringLiteral("*.JPG")}) != 1)
                f |= 2;
            RemoveEmptySourceFolders(src);
            struct stat st;
            if (::lstat(QFile::encodeName(locked).constData(), &st) != 0)
                f |= 4;
            return f;
        };
        int found = 0;
        if (geteuid() == 0) {
            // Root reads every folder: the walk runs in a child that has become an ordinary user.
            const pid_t child = fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                if (setgid(65534) != 0 || setuid(65534) != 0)
                    _exit(100);
                _exit(faults());
            }
            int status = 0;
            QCOMPARE(waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status));
            QVERIFY2(WEXITSTATUS(status) != 100, "could not become an ordinary user");
            found = WEXITSTATUS(status);
        } else {
            found = faults();
        }
        ::chmod(QFile::encodeName(locked).constData(), 0755);
        QCOMPARE(found & 1, 0); // run list
        QCOMPARE(found & 2, 0); // count
        QCOMPARE(found & 4, 0); // folder kept
    }
};

QTEST_GUILESS_MAIN(TestSourceWalk)
#include "tst_sourcewalk.moc"
