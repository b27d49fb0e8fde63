// vantora-transfer: runs one transfer from a settings file, without a window.

#include "history/importhistory.h"
#include "platform/prompt.h"
#include "platform/volumes.h"
#include "settings/settingsrecord.h"
#include "source/importedfilter.h"
#include "source/sourcewalk.h"
#include "transfer/memorytransferview.h"
#include "transfer/shootingdate.h"
#include "transfer/transferloop.h"
#include "transfer/transferstate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <cstdio>

using namespace vantora;

namespace {

const char *const Help = R"(Usage: vantora-transfer [--quiet] [--pause-stats] SETTINGS
       vantora-transfer --dates FILE...

Runs one transfer (copy or move) as the start button would after its checks, without a window.

SETTINGS is a text file of key=value lines (UTF-8; blank lines and lines starting with # are ignored):
  <value name>=<value>   any stored setting by its value name, e.g.
                           SourceEditText=/media/card/DCIM/
                           DelChecked=1            (move)
                           UwagakiChecked=0        (overwrite)
                           DirCreateChecked=1
                           DirNameEditText=[yyyymmdd]
                           RenameChecked=1
                           FileNameEditText=[元のファイル名]_[RENBAN]
                           FileRenbanSpinEditValue=7
                           sDayEditText=.
                           PANA101Checked=1
                           AllFileChecked=1
                         booleans and numbers are decimal (any non-zero number is true).
  Row=<mask>|<folder>    one row of the extension table, in order (e.g. Row=*.JPG|/home/me/Pictures).
                         Without Row lines, AllFileChecked=1 gives the one row "*.*" with AllFileDir.
  History=<file>         the import history (an SQLite file); without it nothing is recorded
  Volume=<identity>      the source volume's identity in the history (default: the system's answer)
  VolumeRoot=<folder>    that volume's root (default: the mount point holding the source)
  SkipImportedChecked=1  leave out what the history holds (and with DelChecked=1 finish its moves)
  VerifyChecked=1        read every copy back before its source is deleted
Settings not named keep their defaults, except AllFileChecked, which is off unless set.
Destination folders must exist.

Options:
  --quiet        print only the final line
  --pause-stats  add the longest gap between two event-loop turns (ms) to the final line
  --dates FILE…  print the shooting date of each file (yyyy-MM-dd) and nothing else

The final line is "result=<0|1> copied=<n> skipped=<n> status=<status text>"; messages go to standard
error.
Exit status: 0 when the run succeeded, 1 when it did not, 2 for a bad settings file.
)";

class ConsolePrompt final : public Prompt
{
public:
    void message(const QString &text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    bool confirm(const QString &text) override
    {
        std::fprintf(stderr, "%s [OK]\n", qPrintable(text));
        return true;
    }
    bool askYesNo(const QString &text) override
    {
        std::fprintf(stderr, "%s [はい]\n", qPrintable(text));
        return true;
    }
    QString chooseFolder(const QString &, const QString &) override { return {}; }
    QString chooseFile(const QString &, const QStringList &, const QString &) override { return {}; }
};

struct HistoryOptions
{
    QString file;
    QString volume;
    QString volumeRoot;
};

const SettingsRecord::Field *findField(const QString &name)
{
    if (const SettingsRecord::Field *f = SettingsRecord::field(name))
        return f;
    for (const SettingsRecord::Field &f : SettingsRecord::addedFields()) {
        if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return &f;
    }
    return nullptr;
}

bool readSettings(const QString &path, SettingsRecord &settings, ExtensionRows &rows, HistoryOptions &history,
                  QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            error = QStringLiteral("%1:%2: expected key=value").arg(path).arg(lineNumber);
            return false;
        }
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1);
        if (key == QLatin1String("Row")) {
            const int bar = value.indexOf(QLatin1Char('|'));
            if (bar <= 0) {
                error = QStringLiteral("%1:%2: expected Row=<mask>|<folder>").arg(path).arg(lineNumber);
                return false;
            }
            rows.append(ExtensionRow{value.left(bar), value.mid(bar + 1)});
            continue;
        }
        if (key == QLatin1String("History") || key == QLatin1String("Volume") ||
            key == QLatin1String("VolumeRoot")) {
            (key == QLatin1String("History")  ? history.file
             : key == QLatin1String("Volume") ? history.volume
                                              : history.volumeRoot) = value;
            continue;
        }
        const SettingsRecord::Field *f = findField(key);
        if (!f) {
            error = QStringLiteral("%1:%2: unknown setting %3").arg(path).arg(lineNumber).arg(key);
            return false;
        }
        bool ok = true;
        if (f->type == SettingsRecord::Type::String)
            f->text(settings) = value;
        else if (f->type == SettingsRecord::Type::Boolean)
            f->flag(settings) = value.trimmed().toLongLong(&ok) != 0;
        else
            f->number(settings) = value.trimmed().toInt(&ok);
        if (!ok) {
            error = QStringLiteral("%1:%2: %3 needs a number").arg(path).arg(lineNumber).arg(key);
            return false;
        }
    }
    if (rows.isEmpty() && settings.AllFileChecked)
        rows.append(ExtensionRow{QStringLiteral("*.*"), settings.AllFileDir});
    if (rows.isEmpty()) {
        error = QStringLiteral("%1: no Row lines and AllFileChecked is off").arg(path);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QTextStream out(stdout);

    if (args.isEmpty() || args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out << Help;
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == QLatin1String("--dates")) {
        for (const QString &file : args.mid(1))
            out << ReadShootingDate(file).toString(Qt::ISODate) << '\n';
        return 0;
    }
    const bool quiet = args.removeAll(QStringLiteral("--quiet")) > 0;
    const bool pauseStats = args.removeAll(QStringLiteral("--pause-stats")) > 0;
    if (args.size() != 1) {
        std::fprintf(stderr, "%s", Help);
        return 2;
    }

    SettingsRecord settings = SettingsRecord::defaults();
    settings.AllFileChecked = false; // the rows come from the file
    ExtensionRows rows;
    HistoryOptions historyOptions;
    QString error;
    if (!readSettings(args.first(), settings, rows, historyOptions, error)) {
        std::fprintf(stderr, "vantora-transfer: %s\n", qPrintable(error));
        return 2;
    }
    ConsolePrompt console;
    setPrompt(&console);

    QStringList masks;
    for (const ExtensionRow &row : rows)
        masks.append(row.key);
    std::unique_ptr<SqliteImportHistory> store;
    RunHistory history;
    std::unique_ptr<ImportedFilter> filter;
    if (!historyOptions.file.isEmpty()) {
        store = std::make_unique<SqliteImportHistory>(historyOptions.file);
        if (!store->notice().isEmpty())
            console.message(store->notice());
        const std::unique_ptr<Volumes> volumes = createSystemVolumes();
        history.store = store.get();
        history.volumeRoot = historyOptions.volumeRoot.isEmpty() ? volumes->rootOf(settings.SourceEditText)
                                                                 : historyOptions.volumeRoot;
        history.volume =
            historyOptions.volume.isEmpty() ? volumes->identity(history.volumeRoot) : historyOptions.volume;
        if (settings.SkipImportedChecked)
            filter = std::make_unique<ImportedFilter>(store->stampsOf(history.volume), history.volumeRoot);
    }
    const FolderSource source(settings.SourceEditText);
    const SourceFiles runList = source.list(masks, nullptr, filter.get());
    if (filter)
        history.skipped = filter->skipped();

    MemoryTransferView view;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QString lastStatus;
    view.onPump = [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        if (!quiet && view.status != lastStatus &&
            !view.status.startsWith(QStringLiteral("コピーしています"))) {
            lastStatus = view.status;
            out << view.status << '\n';
            out.flush();
        }
    };
    TransferState state;
    clock.start();
    const TransferOutcome outcome =
        RunTransfer(state, source, runList, runList.size(), rows, settings, view, &history);
    for (const RunProblem &problem : outcome.problems)
        prompt().message(ProblemMessage(problem));
    StoreRunningNumbers(outcome, settings);
    const bool ok = outcome.result;

    out << "result=" << (ok ? 1 : 0) << " copied=" << outcome.copied << " skipped=" << outcome.skippedImported
        << " status=" << outcome.status;
    if (pauseStats)
        out << " longest-pause-ms=" << QString::number(double(longest) / 1e6, 'f', 1);
    out << '\n';
    return ok ? 0 : 1;
}
