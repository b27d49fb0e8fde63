// Lists and forgets what earlier imports copied:
//   vantora-history                  the volumes in the history
//   vantora-history VOLUME           what was imported from one
//   vantora-history --forget VOLUME  removes its records
#include "history/importhistory.h"
#include "platform/bytepath.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTextStream>

#include <algorithm>

using namespace vantora;

namespace {

QString when(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

int usage(QTextStream &err)
{
    err << "usage: vantora-history [VOLUME | --forget VOLUME]\n";
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = argumentsFromBytes(argc, argv);
    const QString path = qEnvironmentVariable("VANTORA_HISTORY", defaultHistoryPath());

    if (args.size() > 2 || (args.size() == 2 && args.first() != QLatin1String("--forget")) ||
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
