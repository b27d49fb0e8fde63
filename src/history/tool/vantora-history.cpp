// Lists and forgets what earlier imports copied:
//   vantora-history                  the volumes in the history
//   vantora-history VOLUME           what was imported from one
//   vantora-history --forget VOLUME  removes its records
//   vantora-history --verify FOLDER  reads every copy under FOLDER the history holds, names the changed
//                                    and missing ones (exit status 1 when any)
#include "history/importhistory.h"
#include "platform/bytepath.h"
#include "platform/contenthash.h"
#include "platform/filepath.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QMap>
#include <QTextStream>

#include <algorithm>
#include <cerrno>

using namespace vantora;

namespace {

QString when(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

int usage(QTextStream &err)
{
    err << "usage: vantora-history [VOLUME | --forget VOLUME | --verify FOLDER]\n";
    return 2;
}

// Every copy below folder, first or second, by its path: the content the latest import recorded.
QMap<QString, ImportedFile> copiesBelow(ImportHistory &history, const QString &folder)
{
    const FilePath root(QDir::cleanPath(QDir(folder).absolutePath()));
    QMap<QString, ImportedFile> copies;
    const auto take = [&](const QByteArray &bytes, const ImportedFile &f) {
        const QString copy = pathFromBytes(bytes);
        if (bytes.isEmpty() || !FilePath(copy).isSameOrInside(root))
            return;
        const auto it = copies.constFind(copy);
        if (it == copies.cend() || it->importedAt <= f.importedAt)
            copies.insert(copy, f);
    };
    for (const HistoryVolume &v : history.volumes()) {
        for (const ImportedFile &f : history.filesOf(v.identity)) {
            take(f.destination, f);
            if (!f.backupPending)
                take(f.backup, f);
        }
    }
    return copies;
}

// Reads each copy from the disk (not the cache) against its recorded hash.
int verifyFolder(ImportHistory &history, const QString &folder, QTextStream &out)
{
    const QMap<QString, ImportedFile> copies = copiesBelow(history, folder);
    qint64 changed = 0;
    qint64 missing = 0;
    for (auto it = copies.cbegin(); it != copies.cend(); ++it) {
        const ContentCheck check = HashFileContent(it.key(), true);
        if (check.error == ENOENT) {
            out << "missing\t" << displayPath(it.key()) << '\n';
            ++missing;
        } else if (check.error || check.hash != it->hash) {
            out << "changed\t" << displayPath(it.key()) << '\n';
            ++changed;
        }
    }
    out << copies.size() << " files checked, " << changed << " changed, " << missing << " missing\n";
    return changed + missing > 0 ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = argumentsFromBytes(argc, argv);
    const QString path = qEnvironmentVariable("VANTORA_HISTORY", defaultHistoryPath());

    const bool verify = args.size() == 2 && args.first() == QLatin1String("--verify");
    if (args.size() > 2 || (args.size() == 2 && args.first() != QLatin1String("--forget") && !verify) ||
        (args.size() == 1 && args.first().startsWith(QLatin1String("--"))))
        return usage(err);

    SqliteImportHistory history(path);
    if (!history.notice().isEmpty())
        err << history.notice().replace(QLatin1String("\r\n"), QLatin1String("\n")) << '\n';

    if (args.isEmpty()) {
        for (const HistoryVolume &v : history.volumes())
            out << v.identity << '\t' << v.label << '\t' << v.files << '\t' << when(v.lastImport) << '\n';
        return 0;
    }
    if (verify) {
        return verifyFolder(history, args.last(), out);
    }
    const QString volume = args.last();
    if (args.size() == 2) {
        const qint64 removed = history.forget(volume);
        out << removed << " records removed\n";
        return removed > 0 ? 0 : 1;
    }
    const ImportedFiles files = history.filesOf(volume);
    if (files.isEmpty()) {
        err << "no imports from " << volume << '\n';
        return 1;
    }
    QList<ImportedFile> sorted = files.values();
    std::sort(sorted.begin(), sorted.end(), [](const ImportedFile &a, const ImportedFile &b) {
        return std::tie(a.importedAt, a.path) < std::tie(b.importedAt, b.path);
    });
    for (const ImportedFile &f : std::as_const(sorted))
        out << displayPath(pathFromBytes(f.path)) << '\t' << f.size << '\t' << when(f.importedAt) << '\t'
            << displayPath(pathFromBytes(f.destination)) << '\t' << f.hash.toHex() << '\n';
    return 0;
}
