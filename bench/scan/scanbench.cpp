// Times the source count against find, 33 rows against 7, the count that leaves out imported files, and the
// run list's memory.
// Usage: vantora-bench-scan DIR vs-find|rows|memory|history   (DIR is filled with 100,000 files in 1,000
// folders when empty; every name matches "*.*", 60% of them the seven default rows)

#include "history/importhistory.h"
#include "platform/bytepath.h"
#include "platform/filestamp.h"
#include "source/importedfilter.h"
#include "source/sourcewalk.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace vantora;

namespace {

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;
constexpr int kRuns = 11; // the machine is shared: medians of many short runs

const QStringList kDefaultRows = {
    QStringLiteral("*.JPG"), QStringLiteral("*.JPEG"), QStringLiteral("*.TIF"), QStringLiteral("*.TIFF"),
    QStringLiteral("*.MOV"), QStringLiteral("*.MP4"),  QStringLiteral("*.AVI"),
};

QStringList allRows()
{
    QStringList rows;
    for (const char *code : {"JPG", "JPEG", "TIF", "TIFF", "PNG", "GIF", "BMP", "PSD",  "DNG", "NEF",  "CR2",
                             "PEF", "ARW",  "ORF", "RW2",  "RAF", "MOV", "MP4", "AVI",  "MPG", "MPEG", "WMV",
                             "MKV", "FLV",  "WAV", "MP3",  "AAC", "WMA", "M4A", "FLAC", "MID"})
        rows.append(QStringLiteral("*.") + QLatin1String(code));
    rows << QStringLiteral("*.XMP")
         << QStringLiteral("*.TH?"); // the two free extensions, one with a wildcard
    return rows;
}

void makeTree(const QString &root)
{
    static const char *const exts[] = {"JPG", "JPG", "JPG", "jpg", "CR2", "CR2", "MOV", "MP4", "XMP", "THM"};
    for (int d = 0; d < kFolders; ++d) {
        const QString folder = root + QStringLiteral("/DCIM/%1_%2/sub").arg(100 + d / 10).arg(d % 10);
        QDir().mkpath(folder);
        const QByteArray base = QFile::encodeName(folder);
        for (int f = 0; f < kFilesPerFolder; ++f) {
            const QByteArray name =
                base + "/IMG_" + QByteArray::number(d * kFilesPerFolder + f) + '.' + exts[f % 10];
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
        }
    }
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double timeCount(const QString &root, const QStringList &rows, qint64 *count)
{
    QElapsedTimer t;
    t.start();
    WalkPump pump;
    *count = CountFiles(root, rows, &pump);
    return double(t.nsecsElapsed()) / 1e6;
}

double timeFind(const QString &root, qint64 *count)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("find \"$1\" -type f | wc -l"),
                                   QStringLiteral("sh"), root});
    p.waitForFinished(-1);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    *count = p.readAllStandardOutput().trimmed().toLongLong();
    return ms;
}

double timeFindWithStatus(const QString &root, qint64 *lines)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("find \"$1\" -type f -printf '%s %T@\\n' | wc -l"),
             QStringLiteral("sh"), root});
    p.waitForFinished(-1);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    *lines = p.readAllStandardOutput().trimmed().toLongLong();
    return ms;
}

// A history holding every file of the tree, as if the whole card had been imported once.
void fillHistory(const QString &root, const QString &file, const QString &volume)
{
    QFile::remove(file);
    SqliteImportHistory history(file);
    QList<ImportedFile> records;
    const QStringList all = CollectRunList(root, {QStringLiteral("*.*")});
    for (const QString &path : all) {
        const std::optional<FileStamp> stamp = FileStampOf(path);
        if (!stamp)
            continue;
        records.append({HistoryPath(path, root), stamp->size, stamp->mtime.ns(), QByteArray(16, 'h'),
                        pathToBytes(QString(QStringLiteral("/photos/") + path.mid(root.size()))), 0});
    }
    history.add(volume, QStringLiteral("BENCH"), records);
}

// The program opens its history once; each count reads the card's records and walks.
double timeCountWithHistory(const QString &root, SqliteImportHistory &history, const QString &volume,
                            qint64 *count, qint64 *skipped)
{
    QElapsedTimer t;
    t.start();
    ImportedFilter filter(history.stampsOf(volume), root, false);
    if (qEnvironmentVariableIsSet("VANTORA_BENCH_DETAIL"))
        std::fprintf(stderr, "history loaded in %.1fms\n", double(t.nsecsElapsed()) / 1e6);
    WalkPump pump;
    *count = CountFiles(root, {QStringLiteral("*.*")}, &pump, 0, {}, &filter);
    *skipped = filter.skippedCount();
    return double(t.nsecsElapsed()) / 1e6;
}

qint64 statusKiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString mode = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (argc < 3 || (mode != QLatin1String("vs-find") && mode != QLatin1String("rows") &&
                     mode != QLatin1String("memory") && mode != QLatin1String("history"))) {
        std::fprintf(stderr, "usage: vantora-bench-scan DIR vs-find|rows|memory|history\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(root);
    if (QDir(root).isEmpty())
        makeTree(root);
    // What was just written would otherwise reach the disk in the middle of the timed runs.
    ::sync();

    if (mode == QLatin1String("vs-find")) {
        qint64 findCount = 0;
        qint64 ours = 0;
        timeFind(root, &findCount); // warm the folder cache
        std::vector<double> findMs, oursMs;
        for (int i = 0; i < kRuns; ++i) {
            findMs.push_back(timeFind(root, &findCount));
            oursMs.push_back(timeCount(root, kDefaultRows, &ours));
        }
        std::fprintf(stderr, "files: %lld (find), taken by 7 rows: %lld\n", findCount, ours);
        std::printf("scan-vs-find: %.1fms vs %.1fms = %.2f\n", median(oursMs), median(findMs),
                    median(oursMs) / median(findMs));
    } else if (mode == QLatin1String("history")) {
        const QString file = root + QStringLiteral(".history.sqlite");
        const QString volume = QStringLiteral("uuid:BENCH");
        fillHistory(root, file, volume);
        ::sync();
        qint64 lines = 0;
        qint64 count = 0;
        qint64 skipped = 0;
        timeFindWithStatus(root, &lines);
        std::vector<double> findMs, oursMs;
        {
            SqliteImportHistory history(file);
            for (int i = 0; i < kRuns; ++i) {
                findMs.push_back(timeFindWithStatus(root, &lines));
                oursMs.push_back(timeCountWithHistory(root, history, volume, &count, &skipped));
            }
        }
        std::fprintf(stderr, "files: %lld (find), left to import: %lld, left out as imported: %lld\n", lines,
                     count, skipped);
        std::printf("scan-with-history-vs-find: %.1fms vs %.1fms = %.2f\n", median(oursMs), median(findMs),
                    median(oursMs) / median(findMs));
        QFile::remove(file);
        QFile::remove(file + QStringLiteral("-wal"));
        QFile::remove(file + QStringLiteral("-shm"));
    } else if (mode == QLatin1String("rows")) {
        qint64 seven = 0;
        qint64 all = 0;
        timeCount(root, kDefaultRows, &seven);
        std::vector<double> sevenMs, allMs;
        for (int i = 0; i < kRuns; ++i) {
            sevenMs.push_back(timeCount(root, kDefaultRows, &seven));
            allMs.push_back(timeCount(root, allRows(), &all));
        }
        std::fprintf(stderr, "taken by 7 rows: %lld, by 33 rows: %lld\n", seven, all);
        std::printf("scan-33-rows-vs-7: %.1fms vs %.1fms = %.2f\n", median(allMs), median(sevenMs),
                    median(allMs) / median(sevenMs));
    } else {
        // The collator is loaded first, then the peak is reset, so the figure is the list and its sort.
        QStringList warm = {QStringLiteral("b"), QStringLiteral("a")};
        SortRunList(warm);
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        clear.close();
        const qint64 before = statusKiB("VmRSS:");
        qint64 entries = 0;
        {
            WalkPump pump;
            const QStringList list = CollectRunList(root, {QStringLiteral("*.*")}, &pump);
            entries = list.size();
        }
        const qint64 peak = statusKiB("VmHWM:");
        std::fprintf(stderr, "run list entries: %lld\n", entries);
        std::printf("scan-runlist-mib: %.1f\n", double(peak - before) / 1024.0);
    }
    return 0;
}
