// vantora-import: one import (a copy or a move) from a settings file, without a window, for scripts and
// automation; the benchmarks and the tests of whole runs use it too. --help says what it reads and answers.

#include "history/importhistory.h"
#include "platform/bytepath.h"
#include "platform/camera.h"
#include "platform/volumes.h"
#include "settings/settingsrecord.h"
#include "source/camerasource.h"
#include "source/importedfilter.h"
#include "source/sourcewalk.h"
#include "transfer/copyprogress.h"
#include "transfer/memorytransferview.h"
#include "transfer/shootingdate.h"
#include "transfer/transferloop.h"
#include "transfer/transferstate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <csignal>

using namespace vantora;

namespace {

// The exit status, as --help and README.md document it.
enum ExitCode
{
    ExitImported = 0,
    ExitFailed = 1,
    ExitBadUsage = 2,
    ExitCancelled = 3,
};

const char *const Usage = R"(Usage: vantora-import [--quiet] [--pause-stats] SETTINGS
       vantora-import --dates FILE...
       vantora-import --help
)";

const char *const HelpSettings = R"(
Runs one import (a copy or a move) as the start button would after its checks, without a window, with
the same safety: a copy takes its name only once it is complete and on the disk, and a move deletes a
source only after that.

SETTINGS is a text file of key=value lines (UTF-8; blank lines and lines starting with # are ignored):
  SourceEditText=<folder>  the source folder, e.g. SourceEditText=/media/card/DCIM/, or a camera or
                           phone on a cable as gphoto2://[PORT]/, e.g. gphoto2://[usb:001,004]/ (the
                           ports `gphoto2 --auto-detect` lists), or gphoto2://[disk:/some/folder]/ for
                           libgphoto2's "Directory Browse" camera
  CameraModel=<model>      the camera's model as libgphoto2 names it, where the port alone does not
                           tell it (e.g. CameraModel=Directory Browse); libgphoto2's own CAMLIBS and
                           IOLIBS variables say where its drivers are
  Row=<mask>|<folder>      one row of the extension table, in order (e.g. Row=*.JPG|/home/me/Pictures).
                           Without Row lines, AllFileChecked=1 gives the one row "*.*" with AllFileDir.
  DelChecked=1             move: each source is deleted once its copy is on the disk
  UwagakiChecked=1         overwrite
  DirCreateChecked=1       copies go to a new folder named by DirNameEditText (e.g. [yyyymmdd])
  RenameChecked=1          copies are named by FileNameEditText (e.g. [元のファイル名]_[RENBAN]),
                           numbered from FileRenbanSpinEditValue
  sDayEditText=.           the date separator of the templates
  PANA101Checked=1         keep the camera's folders
  History=<file>           the import history (an SQLite file); without it nothing is recorded
  Volume=<identity>        the source volume's identity in the history (default: the system's answer)
  VolumeRoot=<folder>      that volume's root (default: the mount point holding the source; a camera's
                           is its gphoto2://[PORT]/, its identity its serial number)
  SkipImportedChecked=1    leave out what the history holds (and with DelChecked=1 finish its moves)
  VerifyChecked=1          read every copy back before its source is deleted
  BackupChecked=1          also copy every file below BackupDirText=<folder>, at the same path below it
                           as its first copy below its row's folder, from the same read; a file counts
                           as imported (and a move deletes its source) only once both copies are on
                           the disk (and, with VerifyChecked=1, both read back equal). A second copy
                           that fails (a full or removed backup drive) is recorded as pending: its
                           source stays, and the next run with SkipImportedChecked=1 makes it from the
                           first copy. A backup folder that is missing or cannot be written: nothing
                           is written and the exit status is 1, for a copy too (the window asks
                           whether to go on without the backup; here the answer is no: run again with
                           BackupChecked=0 to copy without it)
  ManifestChecked=1        each folder written into gets vantora.xxh128, the files' XXH3-128 hashes
                           as `xxhsum -c` checks them, extended by later runs
  <value name>=<value>     any stored setting by its value name; booleans and numbers are decimal (any
                           non-zero number is true). The value names:
)";

const char *const HelpRest =
    R"(Settings not named keep their defaults, except AllFileChecked, which is off unless set.
Destination folders must exist. Nothing is stored back (running numbers, settings), and what the main
window does after a run (ExecChecked, ExecEditText, ExecCloseChecked, EjectChecked, RenbanResetChecked)
is not done here.

Options:
  --quiet        no status lines: standard error gets only the run's messages
  --pause-stats  add longest-pause-ms=<ms>, the longest gap between two event-loop turns, to the result
                 line, before status=
  --dates FILE…  print the shooting date of each file (yyyy-MM-dd), one a line, and nothing else
  -h, --help     print this text

Standard output gets one line, at the end of the run:
  result=<ok|failed|cancelled> imported=<n> skipped=<n> verify-failed=<n> not-deleted=<yes|no> status=<text>
  imported       files copied (or moved) by the run
  skipped        files left out because the history holds them
  verify-failed  copies that differed from their sources when read back (removed again, sources kept)
  not-deleted    yes when a move could not delete a source after its good copy
  status         the status text the main window would show at the end, to the end of the line
The run's messages (a file that could not be copied, a full disk…), its status as it changes (without
--quiet) and errors of this program go to standard error.

SIGINT or SIGTERM stops the run after the file in progress, as the Cancel button does; a second one ends
the program at once.

Exit status:
  0  the run succeeded: every file was imported (with a move, every source deleted), or the history
     holds every file already (a copy with SkipImportedChecked=1)
  1  the run failed or stopped with a problem: the source folder is not there (or the camera cannot be
     opened or listed), it holds no file the rows take, a file was not copied, the disk is full, a copy differed when read back, a move could not
     delete a source, the backup folder cannot be written, a second copy is pending; its messages say
     which
  2  bad usage, or a settings file that cannot be read or holds a bad line: nothing was written
  3  cancelled by SIGINT or SIGTERM
)";

QTextStream &errorStream()
{
    static QTextStream err(stderr);
    return err;
}

// A line on standard error at once, so that it keeps its place among the run's other lines.
void printError(const QString &text)
{
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    errorStream() << lines << '\n';
    errorStream().flush();
}

int badUsage(const QString &why)
{
    printError(QStringLiteral("vantora-import: ") + why);
    printError(QStringLiteral("Try 'vantora-import --help'."));
    return ExitBadUsage;
}

// The value names of every stored setting, grouped by their type, wrapped.
QString settingNames()
{
    struct Group
    {
        SettingsRecord::Type type;
        const char *title;
    };
    QString text;
    for (const Group &group :
         {Group{SettingsRecord::Type::String, "text"}, Group{SettingsRecord::Type::Boolean, "boolean"},
          Group{SettingsRecord::Type::Integer, "number"}}) {
        const QString indent(4, QLatin1Char(' '));
        QString line = indent + QString(QLatin1String(group.title) + QLatin1Char(':')).leftJustified(8);
        for (const QList<SettingsRecord::Field> *fields :
             {&SettingsRecord::fields(), &SettingsRecord::addedFields()}) {
            for (const SettingsRecord::Field &f : *fields) {
                if (f.type != group.type)
                    continue;
                const QString name = QString::fromLatin1(f.name);
                if (line.size() + 1 + name.size() > 104) {
                    text += line + QLatin1Char('\n');
                    line = indent + QString(8, QLatin1Char(' '));
                }
                line += QLatin1Char(' ') + name;
            }
        }
        text += line + QLatin1Char('\n');
    }
    return text;
}

struct HistoryOptions
{
    QString file;
    QString volume;
    QString volumeRoot;
};

// What the settings file asks for.
struct ImportSettings
{
    SettingsRecord settings;
    ExtensionRows rows;
    HistoryOptions history;
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

bool readSettings(const QString &path, ImportSettings &import, QString &error)
{
    SettingsRecord &settings = import.settings;
    ExtensionRows &rows = import.rows;
    HistoryOptions &history = import.history;
    settings = SettingsRecord::defaults();
    settings.AllFileChecked = false; // the rows come from the file
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    // Read whole first: a pipe (process substitution, a FIFO) is at its end only once its writer closed it.
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    int lineNumber = 0;
    for (const QByteArray &bytes : lines) {
        ++lineNumber;
        const QString line = QString::fromUtf8(bytes).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            error = QStringLiteral("%1:%2: expected key=value").arg(path).arg(lineNumber);
            return false;
        }
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1);
        if (key == QLatin1String("Row")) {
            const qsizetype bar = value.indexOf(QLatin1Char('|'));
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

// Set by SIGINT or SIGTERM; the run reads it at each event-loop turn.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal)
{
    stopSignal = 1;
    // The next one ends the program at once, as if no handler were there.
    std::signal(signal, SIG_DFL);
}

// How an import went: what the result line and the exit status say.
struct ImportReport
{
    enum class Result
    {
        Ok,
        Failed,
        Cancelled
    };
    Result result = Result::Failed;
    qint64 imported = 0;
    qint64 skipped = 0;
    qint64 verifyFailed = 0;
    bool notDeleted = false; // a move kept a source after its good copy
    QString status;
    qint64 longestPauseNs = 0; // between two event-loop turns
};

// Refuses a run as the start button does, with its message: a source that is not there, or nothing to take.
ImportReport refused(const QString &message, ImportReport::Result result, qint64 skipped,
                     const QString &status)
{
    printError(message);
    ImportReport report;
    report.result = result;
    report.skipped = skipped;
    report.status = status;
    return report;
}

ImportReport cancelledReport()
{
    ImportReport report;
    report.result = ImportReport::Result::Cancelled;
    report.status = cancelledStatusText();
    return report;
}

// A camera that cannot be opened or listed: cancelled, or refused with the reason.
ImportReport cameraRefused(const QString &source, const CameraResult &result)
{
    if (result.cancelled() || stopSignal != 0)
        return cancelledReport();
    const QString text = cameraNotReadyMessage(source, result);
    return refused(text, ImportReport::Result::Failed, 0, text);
}

// The source the settings name: a folder, or a camera connected here (nothing, with the report, when it
// cannot be).
std::unique_ptr<Source> openSource(const SettingsRecord &settings, const std::optional<QString> &cameraPort,
                                   TransferState &state, TransferView &view, ImportReport &refusal)
{
    if (!cameraPort)
        return std::make_unique<FolderSource>(settings.SourceEditText);
    auto camera = std::make_unique<CameraSource>(CameraId{settings.CameraModel, *cameraPort});
    camera->setActivity(RunCameraActivity(state, view));
    const CameraResult connected = camera->connect();
    if (connected.ok())
        return camera;
    refusal = cameraRefused(settings.SourceEditText, connected);
    return nullptr;
}

// The history the run records into (none without a History= file), and the filter of the files it holds.
std::unique_ptr<SqliteImportHistory> openHistory(const ImportSettings &import, const CameraSource *camera,
                                                 RunHistory &history, std::unique_ptr<ImportedFilter> &filter)
{
    const SettingsRecord &settings = import.settings;
    const HistoryOptions &options = import.history;
    if (options.file.isEmpty())
        return nullptr;
    auto store = std::make_unique<SqliteImportHistory>(options.file);
    if (!store->notice().isEmpty())
        printError(store->notice());
    history.store = store.get();
    if (camera) {
        // A camera is its own volume, known by its serial number.
        history.volumeRoot = options.volumeRoot.isEmpty() ? camera->root() : options.volumeRoot;
        history.volume = options.volume.isEmpty() ? camera->identity() : options.volume;
        history.label = camera->model();
    } else {
        const std::unique_ptr<Volumes> volumes = createSystemVolumes();
        history.volumeRoot =
            options.volumeRoot.isEmpty() ? volumes->rootOf(settings.SourceEditText) : options.volumeRoot;
        history.volume = options.volume.isEmpty() ? volumes->identity(history.volumeRoot) : options.volume;
    }
    if (settings.SkipImportedChecked)
        filter = std::make_unique<ImportedFilter>(store->stampsOf(history.volume), history.volumeRoot);
    return store;
}

ImportReport reportOf(const TransferOutcome &outcome, const TransferState &state, bool cancelRequested)
{
    ImportReport report;
    report.imported = outcome.copied;
    report.skipped = outcome.skippedImported;
    report.verifyFailed = outcome.verifyFailed.size();
    report.notDeleted = state.notDeleted;
    report.status = outcome ? finishedStatusText(outcome.skippedImported) : outcome.status;
    if (cancelRequested && outcome.status == cancelledStatusText())
        report.result = ImportReport::Result::Cancelled;
    else if (outcome && !state.notDeleted)
        report.result = ImportReport::Result::Ok;
    return report;
}

// The one call of the transfer loop: lists the source and runs the transfer, showing the status through
// standard error unless quiet.
ImportReport runImport(const ImportSettings &import, bool quiet)
{
    const SettingsRecord &settings = import.settings;
    const std::optional<QString> cameraPort = CameraPortOf(settings.SourceEditText);
    if (!cameraPort && !QFileInfo(settings.SourceEditText).isDir()) {
        const QString text = sourceNotReadyMessage(settings.SourceEditText);
        return refused(text, ImportReport::Result::Failed, 0, text);
    }

    TransferState state;
    MemoryTransferView view;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    bool cancelRequested = false;
    QString lastStatus;
    view.onPump = [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        if (stopSignal != 0) {
            cancelRequested = true;
            CancelCopy(state, view);
        }
        if (!quiet && view.status != lastStatus &&
            !view.status.startsWith(QStringLiteral("コピーしています"))) {
            lastStatus = view.status;
            printError(view.status);
        }
    };
    clock.start();

    ImportReport refusal;
    const std::unique_ptr<Source> source = openSource(settings, cameraPort, state, view, refusal);
    if (!source)
        return refusal;
    const auto *camera = dynamic_cast<const CameraSource *>(source.get());
    QStringList masks;
    for (const ExtensionRow &row : import.rows)
        masks.append(row.key);
    RunHistory history;
    std::unique_ptr<ImportedFilter> filter;
    const std::unique_ptr<SqliteImportHistory> store = openHistory(import, camera, history, filter);
    // A camera is listed on a worker; a signal then ends the listing.
    WalkPump cameraPump([] { return stopSignal != 0; });
    const SourceFiles runList = source->list(masks, camera ? &cameraPump : nullptr, filter.get());
    if (camera && !camera->listResult().ok())
        return cameraRefused(settings.SourceEditText, camera->listResult());
    if (filter)
        history.skipped = filter->skipped();
    // A move whose files were all imported still has their sources to delete. A copy of a card whose
    // files were all imported has nothing left to do (unless second copies are pending): that is no
    // failure to a script.
    const qint64 imported = history.skipped.size();
    const bool pendingBackups =
        settings.SkipImportedChecked && store && store->hasPendingBackups(history.volume);
    if (runList.isEmpty() && !(imported > 0 && settings.DelChecked) && !pendingBackups) {
        if (imported == 0)
            return refused(noFilesMessage(), ImportReport::Result::Failed, 0, noFilesMessage());
        return refused(allImportedMessage(imported), ImportReport::Result::Ok, imported,
                       allImportedMessage(imported));
    }

    const TransferOutcome outcome =
        RunTransfer(state, *source, runList, runList.size(), import.rows, settings, view, &history);
    for (const RunProblem &problem : outcome.problems)
        printError(ProblemMessage(problem));
    ImportReport report = reportOf(outcome, state, cancelRequested);
    report.longestPauseNs = longest;
    return report;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = argumentsFromBytes(argc, argv);
    QTextStream out(stdout);

    if (args.isEmpty()) {
        errorStream() << Usage;
        return ExitBadUsage;
    }
    if (args.first() == QLatin1String("--dates")) {
        for (const QString &file : args.mid(1))
            out << ReadShootingDate(file).toString(Qt::ISODate) << '\n';
        return ExitImported;
    }
    bool quiet = false;
    bool pauseStats = false;
    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            out << Usage << HelpSettings << settingNames() << HelpRest;
            return ExitImported;
        }
        if (arg == QLatin1String("--quiet")) {
            quiet = true;
        } else if (arg == QLatin1String("--pause-stats")) {
            pauseStats = true;
        } else if (arg == QLatin1String("--")) {
            files += args.mid(i + 1);
            break;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return badUsage(QStringLiteral("unknown option %1").arg(arg));
        } else {
            files.append(arg);
        }
    }
    if (files.size() != 1)
        return badUsage(files.isEmpty() ? QStringLiteral("no settings file named")
                                        : QStringLiteral("one settings file, not %1").arg(files.size()));

    // Before the settings are read: a signal that comes while they are is not lost.
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    ImportSettings import;
    QString error;
    if (!readSettings(files.first(), import, error)) {
        printError(QStringLiteral("vantora-import: ") + error);
        return ExitBadUsage;
    }

    const ImportReport report = runImport(import, quiet);
    const char *const result[] = {"ok", "failed", "cancelled"};
    out << "result=" << result[int(report.result)] << " imported=" << report.imported
        << " skipped=" << report.skipped << " verify-failed=" << report.verifyFailed
        << " not-deleted=" << (report.notDeleted ? "yes" : "no");
    if (pauseStats)
        out << " longest-pause-ms=" << QString::number(double(report.longestPauseNs) / 1e6, 'f', 1);
    out << " status=" << QString(report.status).replace(QLatin1String("\r\n"), QLatin1String(" ")) << '\n';
    switch (report.result) {
    case ImportReport::Result::Ok:
        return ExitImported;
    case ImportReport::Result::Cancelled:
        return ExitCancelled;
    case ImportReport::Result::Failed:
        break;
    }
    return ExitFailed;
}
