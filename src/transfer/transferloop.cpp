#include "transfer/transferloop.h"

#include "naming/nametemplate.h"
#include "platform/bytepath.h"
#include "platform/contenthash.h"
#include "platform/copyfile.h"
#include "platform/directoryreader.h"
#include "platform/filepath.h"
#include "platform/filestamp.h"
#include "platform/pathtext.h"
#include "settings/settingsrecord.h"
#include "source/readaheadwindow.h"
#include "transfer/backupcopies.h"
#include "transfer/commitbatch.h"
#include "transfer/copyprogress.h"
#include "transfer/destination.h"
#include "transfer/filecopier.h"
#include "transfer/shootingdate.h"
#include "transfer/shots.h"
#include "transfer/transferrate.h"
#include "transfer/transferstate.h"
#include "transfer/transferview.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QThread>

#include <cerrno>
#include <memory>
#include <optional>
#include <unistd.h>
#include <utility>

namespace vantora {

int OverallGaugePercent(qint64 worked, qint64 target)
{
    if (target <= 0)
        return 100;
    const qint64 scaled = worked * 100;
    qint64 q = scaled / target;
    const qint64 r = scaled % target;
    if (2 * r > target || (2 * r == target && (q % 2) != 0))
        ++q;
    return int(std::min<qint64>(q, 100));
}

namespace {

constexpr int MaxPendingSources = 64; // each holds its copy's descriptor open
// Copies wait without a name until a flush has put their data on the disk. The flush of one batch runs
// while the next is copied; each copy waiting holds a descriptor. Large batches: a disk that is written
// to in few long runs loses less to the card's reads in between.
constexpr int MaxUnnamedCopies = 128;
constexpr qint64 MaxUnnamedBytes = 512 * 1024 * 1024;
constexpr qint64 MaxPendingBytes = 64 * 1024 * 1024;
// A move that reads its copies back names, reads back and deletes a batch while the next is copied: in
// batches of 512 MiB a 1 GiB move would read back only once all of it was written.
constexpr qint64 MaxReadBackBatchBytes = 128 * 1024 * 1024;
// A copy that deletes nothing needs no flush before the run's own at its end, and a flush in the middle
// would stall it: its copies are recorded (and read back) after that one. A killed copy run leaves its
// copies unrecorded; with the skip of imported files the next run recognises them by their content. The
// limits only bound the memory the waiting records take.
constexpr int MaxPendingCopies = 200'000;
constexpr qint64 MaxPendingCopyBytes = qint64(256) * 1024 * 1024 * 1024;

CopyError flushPumped(TransferView &view, const QStringList &paths)
{
    CopyError code;
    RunPumped(view, [&code, paths] { code = SyncFileSystems(paths); });
    return code;
}

// Passes everything on, remembering the status text, so that the one shown while the disk is flushed can
// give way to what the run last said.
class StatusKeepingView final : public ForwardingTransferView
{
public:
    using ForwardingTransferView::ForwardingTransferView;
    QString lastStatus() const { return m_status; }

    void setStatusText(const QString &text) override
    {
        m_status = text;
        m_view.setStatusText(text);
    }

private:
    QString m_status;
};

class Run final
{
public:
    Run(TransferState &state, const Source &source, const ExtensionRows &table, qint64 targetCount,
        TransferView &view, const RunHistory *history)
        : m_state(state), m_source(source), m_table(table), m_targetCount(targetCount), m_view(view),
          m_history(history), m_batch(batchOptions()),
          m_copier(source, state, m_view, m_rate, m_hasher ? &*m_hasher : nullptr)
    {
        // The dates of a camera's files come from their downloads, which the copies then read.
        m_state.shootingDateOf = [this](const QString &path) {
            return ReadShootingDate(m_source, fileAt(path), m_state.options.clockOffsetMinutes);
        };
        m_journaling = history && history->store && !history->volume.isEmpty();
        if (m_journaling && state.options.skipImported) {
            for (IntendedCopy &copy : history->store->journalOf(history->volume))
                m_journal.insert(copy.path, std::move(copy));
        }
    }

    // The run's total from the listing's sizes; shown at once.
    void measure(const SourceFiles &runList);
    void file(const SourceFile &file);
    void shot(const Shot &shot);
    void afterLoop();
    void completeBackups();
    bool stopped() const { return m_stop; }
    // Writing every file twice, the card would stand idle between its files.
    bool readsAhead() const { return !m_state.options.backupFolder.isEmpty(); }
    qint64 worked() const { return m_worked; }
    bool fileNumberAdvanced() const { return m_fileNumberAdvanced; }
    QString lastStatus() const { return m_view.lastStatus(); }
    const QStringList &verifyFailedCopies() const { return m_verifyFailedCopies; }
    RunProblems takeProblems() { return std::exchange(m_problems, {}); }
    // Files the history held whose content turned out not to be the one recorded.
    qint64 notImported() const { return m_notImported; }

private:
    CommitBatch::Options batchOptions();
    const SourceFile &fileAt(const QString &path);
    void committed(const CommitResult &result);
    bool adoptJournaled(const QString &source);
    std::optional<QStringList> journaledShot(const QStringList &sources) const;
    bool adoptAmong(const QString &source, const QString &name);
    QStringList finishImportedMoves();
    QHash<QString, ContentCheck> readThroughSource(const QList<SkippedImport> &skipped);
    void named(const QString &source, const QString &dest, CopyOutcome &outcome, BackupCopy backup = {});
    QString backupFor(const QString &dest) const;
    bool nameTaken(const QString &dest) const;
    BackupCopy nameBackup(CopyOutcome &outcome, const QString &dest, bool replace);
    void reportBackups();
    QString resolve(const QString &source, const ShotNaming *shot);
    bool place(const QString &source, const QString &dest);
    void countWorked();
    void advanceFileNumber();
    void rotateIfFull();
    bool pendingFull() const;
    bool movesReadBack() const { return m_state.options.move && m_state.options.verify; }
    void flushUnnamed();
    void nameFlushed();
    void nameAll();
    void stop(const QString &status, std::optional<RunProblem> problem = std::nullopt);
    void report(RunProblem::Kind kind);
    void reportUncreatedFolders();
    void failed(const QString &source, const QString &dest, CopyError code, const CopyOutcome &outcome);
    void deleteFlushedSources();

    TransferState &m_state;
    const Source &m_source;
    QHash<QString, SourceFile> m_files; // the run list's records by path
    const ExtensionRows &m_table;
    const qint64 m_targetCount;
    qint64 m_worked = 0; // files copied so far
    bool m_fileNumberAdvanced = false;
    StatusKeepingView m_view;
    const RunHistory *m_history;
    TransferRate m_rate{transferClockForRuns()};
    QHash<QString, qint64> m_sizes; // of the listed files, as the run found them
    QStringList m_verifyFailedSources;
    QStringList m_verifyFailedCopies;
    QSet<QString> m_moved; // sources of good copies in a move, deleted or about to be
    struct Unnamed
    {
        QString source;
        QString dest; // the name it is to take (or the first of its free names)
        bool overwrite;
        qint32 nextFileNumber; // the file running number after it, -1 when the run numbers none
        CopyOutcome outcome;
        quint64 shot = 0; // the shot it belongs to; 0 for none
    };
    quint64 m_shots = 0;                   // shots begun
    quint64 m_namingShot = 0;              // the shot of the copy being named
    quint64 m_currentShot = 0;             // the one being copied; 0 outside a shot
    QSet<QString> m_intended;              // the names waiting copies are to take
    std::optional<qint32> m_journalNumber; // where an adopted copy's running numbers went on
    // Copies an earlier run was about to name, by their source's path below the volume's root.
    QMultiHash<QByteArray, IntendedCopy> m_journal;
    bool m_journaling = false;
    void journal(const std::vector<Unnamed> &batch);
    std::vector<Unnamed> m_unnamed;  // complete copies waiting for a flush
    std::vector<Unnamed> m_flushing; // the batch m_flusher is flushing
    QSet<QString> m_unnamedSources;  // the sources of both
    qint64 m_unnamedBytes = 0;
    std::unique_ptr<QThread> m_flusher;
    CopyError m_flushCode;
    bool m_namingStopped = false; // a flush or a name failed: nothing more takes a name
    // A copy's hash is needed only when its batch is recorded, so a plain copy leaves it to this thread and
    // goes on with the next file.
    std::optional<ContentHasher> m_hasher;
    // Copies waiting to reach the disk, and with a move their sources.
    CommitBatch m_batch;
    FileCopier m_copier;
    qint64 m_notImported = 0;
    RunProblems m_problems;
    bool m_stop = false;
    // The second copies: each destination folder's folder below the backup folder.
    QHash<QString, QString> m_backupFolderOf;
    QStringList m_backupPending;      // sources whose second copy is missing
    QList<CommittedCopy> m_committed; // for the lists of hashes
    CopyError m_backupFlushCode;      // of the batch m_flusher flushed
    QSet<QString> m_backupFolders;    // written into, for the flush at the end
};

CommitBatch::Options Run::batchOptions()
{
    CommitBatch::Options options;
    options.source = &m_source;
    options.verify = m_state.options.verify;
    options.history = m_history;
    if (!m_state.options.move && !m_state.options.verify && m_history && m_history->store)
        options.hasher = &m_hasher.emplace();
    options.pump = [this] { m_view.processEvents(); };
    options.verifying = [this, before = QString()](bool verifying) mutable {
        if (verifying)
            before = m_view.lastStatus();
        m_view.setStatusText(verifying ? verifyingStatusText() : before);
    };
    return options;
}

const SourceFile &Run::fileAt(const QString &path)
{
    auto it = m_files.find(path);
    if (it == m_files.end()) {
        // A sidecar that joined its shot: not in the listing.
        SourceFile file;
        file.path = path;
        file.relative = path.startsWith(m_source.root()) ? path.mid(m_source.root().size()) : path;
        if (const std::optional<FileStamp> stamp = FileStampOf(path))
            file.stamp = *stamp;
        it = m_files.insert(path, file);
    }
    return *it;
}

void Run::stop(const QString &status, std::optional<RunProblem> problem)
{
    m_view.setStatusText(status);
    if (problem)
        m_problems.append(std::move(*problem));
    m_state.result = false;
    m_stop = true;
}

void Run::report(RunProblem::Kind kind)
{
    RunProblem problem;
    problem.kind = kind;
    m_problems.append(std::move(problem));
}

void Run::reportUncreatedFolders()
{
    for (const QString &folder : std::exchange(m_state.uncreatedFolders, {})) {
        RunProblem problem;
        problem.kind = RunProblem::Kind::FolderNotCreated;
        problem.folder = folder;
        m_problems.append(std::move(problem));
    }
}

void Run::failed(const QString &source, const QString &dest, CopyError code, const CopyOutcome &outcome)
{
    CopyFailure why;
    why.code = code;
    why.source = source;
    why.destination = dest;
    why.sourceFailed = outcome.sourceFailed;
    why.sourceChanged = outcome.sourceChanged;
    const SourceFault fault = outcome.sourceFailed ? m_source.lastFault() : SourceFault::None;
    why.sourceShort = fault == SourceFault::Short;
    why.sourceVolumeGone =
        fault == SourceFault::Gone ||
        (fault != SourceFault::Short &&
         (outcome.sourceFailed || code.errnoValue == EIO || code.errnoValue == ENOTCONN) && m_source.gone());
    RunProblem problem;
    if (code.kind == CopyError::DiskFull && !why.sourceVolumeGone) {
        problem.kind = RunProblem::Kind::DiskFull;
        problem.volume = VolumeRootOf(dest);
        problem.failure = why;
        stop(diskFullStatusText(problem.volume), problem);
        return;
    }
    // A drive whose filesystem died (a FUSE daemon that crashed, a share gone) answers with a number no
    // one can read.
    if (!why.sourceVolumeGone && !why.sourceFailed &&
        (code.errnoValue == ENOTCONN || code.errnoValue == ECONNABORTED ||
         !PathAnswers(folderTextOf(dest)))) {
        why.destinationSilent = true;
        problem.kind = RunProblem::Kind::SilentDrive;
        problem.volume = VolumeRootOf(dest);
        problem.failure = why;
        stop(silentDriveStatusText(problem.volume), problem);
        return;
    }
    problem.kind = RunProblem::Kind::Failed;
    problem.failure = why;
    stop(unknownErrorStatusText(), problem);
}

void Run::named(const QString &source, const QString &dest, CopyOutcome &outcome, BackupCopy backup)
{
    m_copier.named(dest, outcome.copy);
    CommitEntry entry;
    entry.copy = dest;
    entry.backup = backup.path;
    entry.backupMissing = backup.missing;
    entry.backupKept = std::move(backup.kept);
    entry.backupStamp = backup.stamp;
    if (!backup.path.isEmpty() && !backup.missing)
        m_backupFolders.insert(folderTextOf(backup.path));
    entry.copied = outcome.source;
    entry.copyStamp = outcome.copy;
    entry.hash = outcome.hash;
    entry.hashTicket = outcome.hashTicket;
    entry.shot = m_namingShot;
    if (m_state.options.move) {
        // A file copied onto itself must stay: compare the files, not the paths, since one file can be
        // reached by two paths.
        const FileStamp &from = outcome.source;
        const bool sameFile = from.device == outcome.copy.device && from.inode == outcome.copy.inode;
        if (!sameFile && outcome.kept.isOpen()) {
            entry.file = fileAt(source);
            entry.kept = std::move(outcome.kept);
            entry.deleteSource = true;
            m_batch.add(std::move(entry));
        } else if (!sameFile) {
            m_state.notDeleted = true;
        }
    } else if ((!outcome.hash.isEmpty() || outcome.hashTicket) &&
               ((m_history && m_history->store) || m_state.options.verify || m_state.options.backup ||
                m_state.options.manifest)) {
        // Recorded (and read back) once on the disk.
        entry.file = fileAt(source);
        m_batch.add(std::move(entry));
    }
}

// The second copy goes to the same path below the backup folder as the first below its row's folder.
QString Run::backupFor(const QString &dest) const
{
    const auto folder = m_backupFolderOf.constFind(folderTextOf(dest));
    return folder == m_backupFolderOf.cend() ? QString() : *folder + FilePath(dest).name();
}

// Both copies carry the same name: a name is free only where both are.
bool Run::nameTaken(const QString &dest) const
{
    if (PathExists(dest))
        return true;
    const QString backup = backupFor(dest);
    return !backup.isEmpty() && PathExists(backup);
}

BackupCopy Run::nameBackup(CopyOutcome &outcome, const QString &dest, bool replace)
{
    const QString path = backupFor(dest);
    if (path.isEmpty())
        return {};
    return NameBackup(outcome, path, replace, m_state.options.move);
}

bool Run::pendingFull() const
{
    const bool moving = m_state.options.move;
    const qint64 movingBytes = movesReadBack() ? MaxReadBackBatchBytes : MaxPendingBytes;
    return m_batch.size() >= (moving ? MaxPendingSources : MaxPendingCopies) ||
           m_batch.bytes() >= (moving ? movingBytes : MaxPendingCopyBytes);
}

void Run::countWorked()
{
    ++m_worked;
    m_view.setWorkedText(QString::number(m_worked));
    m_view.setOverallProgress(OverallGaugePercent(m_worked, m_targetCount));
    m_state.result = true;
}

void Run::advanceFileNumber()
{
    if (!m_state.options.FileCounterMode) {
        m_journalNumber.reset();
        return;
    }
    m_state.fileNumber = m_journalNumber.value_or(NextRunningNumber(m_state.fileNumber));
    m_journalNumber.reset();
    m_fileNumberAdvanced = true;
    m_view.showFileCounter(m_state.fileNumber);
}

// Batches are handed on between files and between shots, never inside a shot: a shot's copies are
// named, recorded and their sources deleted together.
void Run::rotateIfFull()
{
    if (int(m_unnamed.size()) >= MaxUnnamedCopies ||
        m_unnamedBytes >= (movesReadBack() ? MaxReadBackBatchBytes : MaxUnnamedBytes))
        flushUnnamed();
    if (pendingFull())
        committed(m_batch.start());
}

// Hands the copies written since the last call to a flush on a worker thread, once the batch flushed
// before has taken its names.
void Run::flushUnnamed()
{
    nameFlushed();
    if (m_unnamed.empty())
        return;
    QStringList folders;
    QStringList backupFolders;
    for (const Unnamed &u : m_unnamed) {
        folders.append(folderTextOf(u.dest));
        if (u.outcome.alsoUnnamed.isOpen())
            backupFolders.append(folderTextOf(backupFor(u.dest)));
    }
    folders.removeDuplicates();
    backupFolders.removeDuplicates();
    m_flushing = std::exchange(m_unnamed, {});
    m_unnamedBytes = 0;
    m_flushCode = {};
    m_backupFlushCode = {};
    m_flusher.reset(QThread::create([this, folders, backupFolders] {
        // One flush for both where they share a filesystem; each on its own only to tell which failed.
        const bool both = !backupFolders.isEmpty() && !SyncFileSystems(folders + backupFolders);
        if (!both) {
            m_flushCode = SyncFileSystems(folders);
            if (!m_flushCode && !backupFolders.isEmpty())
                m_backupFlushCode = SyncFileSystems(backupFolders);
        }
        // The flushed copies' pages are handed back: an import as large as the disk then reuses its own
        // pages instead of making the system reclaim others' (which showed as seconds of system time).
        // Pages not yet written stay whatever is asked.
        if (!m_flushCode) {
            for (const Unnamed &u : m_flushing) {
                u.outcome.unnamed.dropCachedPages();
                u.outcome.alsoUnnamed.dropCachedPages();
            }
        }
    }));
    m_flusher->start();
}

// Waits for the flush of the batch handed over last, then gives its copies their names in the order they
// were copied: a name taken meanwhile moves a copy on to the next free "_n" name, and a file this run
// wrote is never replaced.
void Run::nameFlushed()
{
    if (!m_flusher)
        return;
    while (!m_flusher->wait(QDeadlineTimer(20)))
        m_view.processEvents();
    m_flusher.reset();
    std::vector<Unnamed> batch = std::exchange(m_flushing, {});
    for (const Unnamed &u : batch)
        m_intended.remove(u.dest);
    if (m_flushCode && !m_namingStopped) {
        // Not known to be on the disk: the copies go unnamed and their sources stay.
        m_namingStopped = true;
        if (!m_stop && !batch.empty())
            failed(QString(), folderTextOf(batch.front().dest), m_flushCode, CopyOutcome());
    }
    if (!m_namingStopped)
        journal(batch);
    for (Unnamed &u : batch) {
        m_unnamedSources.remove(u.source);
        if (m_namingStopped) {
            if (m_state.options.move)
                m_state.notDeleted = true;
            continue;
        }
        QString dest = u.dest;
        CopyError code;
        BackupCopy backup;
        if (m_backupFlushCode)
            u.outcome.alsoUnnamed = UnnamedCopy(); // not known to be on the disk: pending
        if (u.outcome.unnamed.isOpen()) {
            const bool replace = u.overwrite && !m_copier.writtenThisRun(dest);
            const auto giveName = [&](const QString &name, bool replacing) {
                const QString second = backupFor(name);
                if (!replacing && u.outcome.alsoUnnamed.isOpen() && !second.isEmpty() && PathExists(second))
                    return CopyError::exists();
                return u.outcome.unnamed.name(name, replacing);
            };
            code = giveName(dest, replace);
            for (int n = 2; code.kind == CopyError::Exists && !replace && n <= LastFreeNameNumber; ++n) {
                dest = NumberedName(u.dest, n);
                code = giveName(dest, false);
            }
            if (code.kind == CopyError::Exists) {
                // Every free name was taken: the file stays at its source and the run goes on.
                m_state.skipped = true;
                continue;
            }
            if (!code && m_state.options.move)
                u.outcome.kept = u.outcome.unnamed.keep();
            else if (!code)
                code = u.outcome.unnamed.close(dest);
            if (!code)
                backup = nameBackup(u.outcome, dest, replace);
            if (code) {
                m_namingStopped = true;
                failed(u.source, dest, code, u.outcome);
                continue;
            }
        }
        if (dest != u.dest)
            m_view.setStatusText(renamedStatusText());
        m_namingShot = u.shot;
        named(u.source, dest, u.outcome, std::move(backup));
        m_namingShot = 0;
        const bool shotEnds = u.shot == 0 || &u == &batch.back() || (&u + 1)->shot != u.shot;
        if (shotEnds && pendingFull())
            committed(m_batch.start());
    }
}

void Run::nameAll()
{
    flushUnnamed();
    nameFlushed();
}

QString Run::resolve(const QString &source, const ShotNaming *shot)
{
    DestinationError why = DestinationError::None;
    QString dest = ResolveDestination(m_state, m_table, source, &why, shot);
    reportUncreatedFolders();
    if (!m_state.firstFile) {
        m_state.FirstDestinationFolder = FilePath(dest).parent().text();
        m_state.firstFile = true;
    }
    RunProblem problem;
    if (why == DestinationError::InsideSource) {
        problem.kind = RunProblem::Kind::TargetInsideSource;
        problem.folder = m_state.refusedFolder;
        problem.sourceFolder = m_source.root();
        stop(unknownErrorStatusText(), problem);
        return {};
    }
    if (dest.isEmpty()) {
        problem.kind = RunProblem::Kind::NoDestination;
        problem.failure.code = CopyError::fromErrno(why == DestinationError::NoRow ? ENOENT : EINVAL);
        stop(unknownErrorStatusText(), problem);
        return {};
    }
    if (!m_state.options.backupFolder.isEmpty()) {
        const QString folder = folderTextOf(dest);
        const QString base = withTrailingSlash(m_state.destinationBase);
        if (folder.startsWith(base))
            m_backupFolderOf.insert(folder, withTrailingSlash(m_state.options.backupFolder) +
                                                folder.mid(base.size()));
    }
    return dest;
}

void Run::file(const SourceFile &file)
{
    const QString &source = file.path;
    m_state.CancelRequested = false;
    // A file matched by two rows is listed twice; once moved, its second entry has nothing to copy.
    if (m_moved.contains(source)) {
        m_rate.dropFromTotal(m_sizes.value(source));
        return;
    }
    const QString dest = resolve(source, nullptr);
    if (dest.isEmpty())
        return;
    const qsizetype first = qsizetype(m_unnamed.size());
    if (place(source, dest)) {
        advanceFileNumber();
        for (auto i = std::size_t(first); i < m_unnamed.size(); ++i)
            m_unnamed[i].nextFileNumber = m_state.options.FileCounterMode ? m_state.fileNumber : -1;
    }
    rotateIfFull();
}

// The files of a shot share one running number, one shooting date and one "_n": the first under which
// every new name of the shot is free.
void Run::shot(const Shot &shot)
{
    m_state.CancelRequested = false;
    QStringList sources;
    for (const QString &file : shot.files) {
        if (m_moved.contains(file))
            m_rate.dropFromTotal(m_sizes.value(file));
        else
            sources.append(file);
    }
    if (sources.isEmpty())
        return;
    ShotNaming naming;
    if (m_state.options.ShootingDateFolderMode || m_state.options.ShootingDateFileMode) {
        for (const QString &file : std::as_const(sources)) {
            if ((naming.date = m_state.shootingDateOf(file)).isValid())
                break;
        }
    }
    QStringList dests;
    for (const QString &file : std::as_const(sources)) {
        dests.append(resolve(file, &naming));
        if (dests.last().isEmpty())
            return;
    }
    naming.folder = folderTextOf(dests.first());
    for (const QString &sidecar : shot.sidecars) {
        sources.append(sidecar);
        dests.append(resolve(sidecar, &naming));
        if (dests.last().isEmpty())
            return;
    }
    const auto numbered = [](const QString &name, int n) { return n == 1 ? name : NumberedName(name, n); };
    const auto taken = [this](const QString &name) {
        return m_intended.contains(name) || m_copier.writtenThisRun(name) ||
               (!m_state.options.overwrite && nameTaken(name));
    };
    int n = 1;
    if (const std::optional<QStringList> journaled = journaledShot(sources))
        dests = *journaled;
    else
        while (n <= LastFreeNameNumber && std::any_of(dests.cbegin(), dests.cend(), [&](const QString &d) {
                   return taken(numbered(d, n));
               }))
            ++n;
    if (n > LastFreeNameNumber) {
        m_state.skipped = true;
        for (const QString &file : std::as_const(sources))
            m_rate.dropFromTotal(m_sizes.value(file));
        return;
    }
    m_currentShot = ++m_shots;
    const qsizetype first = qsizetype(m_unnamed.size());
    bool placed = false;
    for (qsizetype i = 0; i < sources.size() && !m_stop; ++i)
        placed = place(sources.at(i), numbered(dests.at(i), n)) || placed;
    m_currentShot = 0;
    if (placed) {
        advanceFileNumber();
        for (auto i = std::size_t(first); i < m_unnamed.size(); ++i)
            m_unnamed[i].nextFileNumber = m_state.options.FileCounterMode ? m_state.fileNumber : -1;
    }
    rotateIfFull();
}

// Copies one file to dest, or takes the copy an earlier run left there. True when the file went.
bool Run::place(const QString &source, const QString &dest)
{
    m_view.setFileName(displayPath(FilePath(dest).name()));
    // A source still waiting for its deletion holds this name: delete it first, as if it had gone at
    // once, so the new copy neither clashes with it nor is taken for it.
    if (m_unnamedSources.contains(dest))
        nameAll();
    if (m_batch.holdsSource(dest))
        deleteFlushedSources();

    // A file this run wrote is never replaced by a later one of the same name (two camera folders both
    // holding IMG_0001.JPG): the later one takes a free name as in a clash without overwrite.
    const bool overwrite =
        m_state.options.overwrite && !m_copier.writtenThisRun(dest) && !m_intended.contains(dest);
    CopyOutcome outcome;
    // With imported files skipped, a file whose copy is already there (a run killed before it could
    // record it) is taken as imported rather than copied again under a "_2" name. A killed run gave its
    // names in order, so the search ends at the first free one.
    if (m_state.options.skipImported && adoptJournaled(source))
        return true;
    if (m_state.options.skipImported && !overwrite && adoptAmong(source, dest))
        return true;
    // Where every free name is taken already, nothing is read: the file stays at its source.
    if (!overwrite) {
        int n = 1;
        while (n <= LastFreeNameNumber && nameTaken(n == 1 ? dest : NumberedName(dest, n)))
            ++n;
        if (n > LastFreeNameNumber) {
            m_state.skipped = true;
            m_rate.dropFromTotal(m_sizes.value(source));
            return false;
        }
    }
    const CopyError code = m_copier.copy(fileAt(source), dest, overwrite, outcome, backupFor(dest));
    if (!code) {
        if (m_state.options.move)
            m_moved.insert(source);
        m_unnamedSources.insert(source);
        m_unnamedBytes += outcome.copy.size;
        m_intended.insert(dest);
        countWorked();
        m_unnamed.push_back({source, dest, overwrite, -1, std::move(outcome), m_currentShot});
        if (m_state.CancelRequested)
            stop(cancelledStatusText());
        return true;
    }
    if (m_state.CancelRequested)
        stop(cancelledStatusText());
    else
        failed(source, dest, code, outcome);
    return false;
}

// The history learns the names of a batch before they are given: a run killed before it recorded them
// leaves copies under names the next run would not give them (its running numbers start elsewhere), and
// the journal leads it to them.
void Run::journal(const std::vector<Unnamed> &batch)
{
    if (!m_journaling)
        return;
    QList<IntendedCopy> copies;
    for (const Unnamed &u : batch) {
        if (!u.outcome.unnamed.isOpen() ||
            !FilePath(u.source).isSameOrInside(FilePath(m_history->volumeRoot)))
            continue;
        copies.append({HistoryPath(u.source, m_history->volumeRoot), u.outcome.source.size,
                       u.outcome.source.mtime, pathToBytes(u.dest), u.nextFileNumber});
    }
    if (!copies.isEmpty())
        m_history->store->journal(m_history->volume, m_history->label, copies);
}

// A copy an earlier, killed run made of this source, found through the journal and taken when its content
// is the source's; the running numbers go on from after it.
bool Run::adoptJournaled(const QString &source)
{
    if (m_journal.isEmpty() || !FilePath(source).isSameOrInside(FilePath(m_history->volumeRoot)))
        return false;
    const std::optional<FileStamp> from = FileStampOf(source);
    if (!from)
        return false;
    const QByteArray path = HistoryPath(source, m_history->volumeRoot);
    for (auto it = m_journal.constFind(path); it != m_journal.cend() && it.key() == path; ++it) {
        const IntendedCopy &entry = *it;
        if (entry.size != from->size || entry.mtime != from->mtime)
            continue;
        if (adoptAmong(source, pathFromBytes(entry.destination))) {
            if (entry.nextFileNumber >= 0)
                m_journalNumber = entry.nextFileNumber;
            return true;
        }
    }
    return false;
}

// A shot an earlier, killed run was naming when it stopped: some of its files may have their names, the
// others none. It keeps the names that run meant for it (where each is free or holds a file of the size to
// be taken), so that the files named join the rest instead of the shot being split over two "_n".
std::optional<QStringList> Run::journaledShot(const QStringList &sources) const
{
    if (!m_state.options.skipImported || m_journal.isEmpty())
        return std::nullopt;
    QStringList names;
    for (const QString &source : sources) {
        const std::optional<FileStamp> from = FileStampOf(source);
        if (!from || !FilePath(source).isSameOrInside(FilePath(m_history->volumeRoot)))
            return std::nullopt;
        const QByteArray path = HistoryPath(source, m_history->volumeRoot);
        auto it = m_journal.constFind(path);
        while (it != m_journal.cend() && it.key() == path &&
               (it->size != from->size || it->mtime != from->mtime))
            ++it;
        if (it == m_journal.cend() || it.key() != path)
            return std::nullopt;
        const QString name = pathFromBytes(it->destination);
        const std::optional<FileStamp> there = RegularFileStampOf(name);
        if (m_copier.writtenThisRun(name) || (PathExists(name) && (!there || there->size != from->size)))
            return std::nullopt;
        names.append(name);
    }
    return names;
}

// Takes the first copy of the source under name or its "_n" names, up to the first free one (a killed run
// gave its names in order), as this run's own.
bool Run::adoptAmong(const QString &source, const QString &name)
{
    for (int n = 1; n <= LastFreeNameNumber; ++n) {
        const QString candidate = n == 1 ? name : NumberedName(name, n);
        if (!PathExists(candidate))
            return false;
        CopyOutcome outcome;
        if (m_copier.writtenThisRun(candidate) ||
            !m_copier.identicalCopy(fileAt(source), candidate, m_state.options.move, outcome))
            continue;
        m_rate.dropFromTotal(outcome.copy.size);
        if (m_state.options.move)
            m_moved.insert(source);
        BackupCopy backup;
        if (const QString second = backupFor(candidate); !second.isEmpty()) {
            RunPumped(m_view, [&] {
                backup = BackupFromCopy(candidate, second, outcome.hash, m_state.options.move);
            });
        }
        m_namingShot = m_currentShot;
        named(source, candidate, outcome, std::move(backup));
        m_namingShot = 0;
        countWorked();
        return true;
    }
    return false;
}

void Run::committed(const CommitResult &result)
{
    if (result.notDeleted)
        m_state.notDeleted = true;
    m_state.movedFromFolders.unite(result.movedFromFolders);
    m_verifyFailedSources += result.verifyFailedSources;
    m_verifyFailedCopies += result.verifyFailedCopies;
    m_backupPending += result.backupPendingSources;
    if (m_state.options.manifest)
        m_committed += result.committed;
}

// Sources whose second copy is missing stayed; the lists of hashes name what reached the disk.
void Run::reportBackups()
{
    if (!m_backupPending.isEmpty()) {
        RunProblem problem;
        problem.kind = RunProblem::Kind::BackupPending;
        problem.folder = m_state.options.backupFolder;
        problem.sources = m_backupPending;
        m_problems.append(std::move(problem));
        m_state.result = false;
    }
    if (!m_committed.isEmpty() && !WriteManifests(m_committed)) {
        RunProblem problem;
        problem.failure.code = CopyError::fromErrno(EIO);
        problem.failure.destination = FilePath(m_committed.first().path).parent().text();
        m_problems.append(std::move(problem));
        m_state.result = false;
    }
}

// Sources of a move go only once their copies are on the disk; the history records the batch after the
// flush (and the read-back), before any source of it goes: a run killed in between is finished by the
// next one. While a full batch is flushed and read back, the run goes on copying (start()); here the
// run waits for every batch.
void Run::deleteFlushedSources()
{
    committed(m_batch.commit());
}

// Sources an earlier move copied and recorded but did not get to delete: deleted now, under the same rules
// as the run's own, when the recorded copy is still there with the same size and content, and the source
// still holds the content that was recorded: a card formatted and filled again, or one of two cards taken
// for each other, can hold a new photo under an old name, size and time. Returns those new photos, for
// the run to copy.
// The imported files of a source that reads its files itself (a camera's), each read whole through it on
// this thread, which it keeps turning.
QHash<QString, ContentCheck> Run::readThroughSource(const QList<SkippedImport> &skipped)
{
    QHash<QString, ContentCheck> read;
    if (m_source.filesHavePaths())
        return read;
    for (const SkippedImport &s : skipped) {
        SourceFile file;
        file.path = s.source;
        file.relative = s.source.mid(m_source.root().size());
        file.stamp = FileStamp{0, 0, s.record.size, s.record.mtime()};
        m_files.insert(file.path, file);
        ContentCheck check{EIO, {}, {}};
        if (const int fd = m_source.open(file); fd >= 0) {
            RunPumped(m_view, [&check, fd] { check = HashOpenFile(fd); });
            ::close(fd);
            check.stamp = m_source.openedStamp(file, check.stamp);
        }
        read.insert(file.path, check);
    }
    return read;
}

QStringList Run::finishImportedMoves()
{
    if (!m_history || !m_state.options.move || !m_state.options.skipImported || m_history->skipped.isEmpty())
        return {};
    CommitBatch::Options options = batchOptions();
    options.verify = false; // each copy was read whole just now
    CommitBatch batch(options);
    QStringList fresh;
    // The walk read only what recognises a file; where its copy went is read now.
    const ImportedFiles recorded =
        m_history->store ? m_history->store->filesOf(m_history->volume) : ImportedFiles();
    const QHash<QString, ContentCheck> read = readThroughSource(m_history->skipped);
    RunPumped(m_view, [&] {
        for (const SkippedImport &s : m_history->skipped) {
            const ImportedFile *full = s.record.hash.isEmpty() ? findImported(recorded, s.record.path,
                                                                              s.record.size, s.record.mtime())
                                                               : &s.record;
            if (!full)
                continue;
            // A source goes only once its second copy is made too.
            const ImportedFile *withBackup =
                findImported(recorded, s.record.path, s.record.size, s.record.mtime());
            if (withBackup && withBackup->backupPending)
                continue;
            // Read whole: it is about to be deleted on the strength of this hash.
            const ContentCheck source = m_source.filesHavePaths()
                                            ? HashRegularFile(s.source)
                                            : read.value(s.source, ContentCheck{EIO, {}, {}});
            if (source.error)
                continue;
            if (source.hash != full->hash) {
                fresh.append(s.source);
                continue;
            }
            CommitEntry entry;
            entry.copy = pathFromBytes(full->destination);
            entry.kept = KeptCopy::open(entry.copy);
            const ContentCheck check = HashRegularFile(entry.copy);
            if (check.error || check.stamp.size != full->size || check.hash != full->hash)
                continue;
            entry.file =
                m_source.filesHavePaths() ? SourceFile{s.source, {}, {}, 0} : m_files.value(s.source);
            entry.copied = source.stamp;
            entry.copyStamp = check.stamp;
            entry.hash = check.hash;
            entry.deleteSource = true;
            entry.record = false;
            batch.add(std::move(entry));
        }
    });
    m_notImported = fresh.size();
    const qsizetype imported = m_history->skipped.size() - fresh.size();
    if (batch.size() < imported)
        m_state.notDeleted = true;
    const CommitResult result = batch.commit();
    committed(result);
    // A run that only finished an earlier one's move ended well when every source went.
    if (m_worked == 0 && result.deleted == imported && fresh.isEmpty())
        m_state.result = true;
    return fresh;
}

// Second copies an earlier run could not make are made from the first copies before anything is deleted.
void Run::completeBackups()
{
    if (!m_state.options.skipImported || !m_history || !m_history->store || m_history->volume.isEmpty())
        return;
    const PendingBackups backups = CompletePendingBackups(
        *m_history->store, m_history->volume, m_history->label, [this] { m_view.processEvents(); });
    for (const QByteArray &path : backups.pending)
        m_backupPending.append(FilePath(m_history->volumeRoot).join(pathFromBytes(path)).text());
    if (m_state.options.manifest)
        m_committed += backups.made;
    // A run that only made the second copies an earlier one left pending ended well when it made them all.
    if (backups.pending.isEmpty() && !backups.made.isEmpty())
        m_state.result = true;
}

void Run::measure(const SourceFiles &runList)
{
    qint64 total = 0;
    for (const SourceFile &file : runList) {
        m_files.insert(file.path, file);
        m_sizes.insert(file.path, file.size());
        total += file.size();
    }
    m_rate.start(total);
    m_rate.due();
    m_view.setBytesText(m_rate.text());
}

void Run::afterLoop()
{
    nameAll();
    deleteFlushedSources();
    if (!m_stop) {
        for (const QString &source : finishImportedMoves()) {
            file(fileAt(source));
            if (m_stop)
                break;
        }
        nameAll();
        deleteFlushedSources();
    }
    // A photographer formats the card after a good run: the copies must be on the disk by then.
    if (const QSet<QString> written = m_copier.writtenFolders() + m_backupFolders; !written.isEmpty()) {
        m_state.flushing = true;
        const QString before = m_view.lastStatus();
        if (m_state.result)
            m_view.setStatusText(flushingStatusText());
        const CopyError code = flushPumped(m_view, QStringList(written.cbegin(), written.cend()));
        m_state.flushing = false;
        if (m_state.result)
            m_view.setStatusText(before);
        if (code && m_state.result) {
            m_view.setStatusText(unknownErrorStatusText());
            RunProblem problem;
            problem.failure.code = code;
            m_problems.append(problem);
            m_state.result = false;
        }
    }
    reportBackups();
    if (m_state.notDeleted)
        report(RunProblem::Kind::NotDeleted);
    if (m_state.skipped) {
        report(RunProblem::Kind::NotCopied);
        m_state.result = false;
    }
    if (!m_verifyFailedCopies.isEmpty()) {
        m_view.setStatusText(verifyFailedStatusText());
        RunProblem problem;
        problem.kind = RunProblem::Kind::VerifyFailed;
        problem.sources = m_verifyFailedSources;
        problem.copies = m_verifyFailedCopies;
        m_problems.append(std::move(problem));
        m_state.result = false;
    }
    if (m_state.options.FolderCounterMode) {
        m_state.folderNumber = NextRunningNumber(m_state.folderNumber);
        m_view.showFolderCounter(m_state.folderNumber);
    }
    m_state.firstFile = false;
}

} // namespace

QString TargetInsideSource(const TransferState &state, const ExtensionRows &table, const QStringList &runList,
                           const QString &sourceFolder)
{
    if (sourceFolder.isEmpty())
        return {};
    const TransferOptions &o = state.options;
    QStringList bases;
    for (const ExtensionRow &row : table) {
        if (!row.folder.isEmpty())
            bases.append(withoutTrailingSlash(row.folder));
    }
    // A created folder named from the shooting date differs per file; the loop checks those itself.
    QString fragment;
    if (o.folderCreation && !o.ShootingDateFolderMode)
        fragment = ExpandNameTemplate(TemplateDialogMode::Folder, o.folderTemplate, state.folderNumber,
                                      QString(), QDate(), o.separator);
    QSet<QString> holders;
    if (o.CameraFolderMode) {
        for (const QString &file : runList)
            holders.insert(CameraFolderName(file));
    }
    for (const QString &base : std::as_const(bases)) {
        QStringList targets;
        const QString created =
            fragment.isEmpty() ? base : withoutTrailingSlash(withTrailingSlash(base) + fragment);
        targets.append(created);
        for (const QString &holder : std::as_const(holders))
            targets.append(withTrailingSlash(created) + holder);
        for (const QString &target : std::as_const(targets)) {
            if (IsFolderInside(target, sourceFolder))
                return target;
        }
    }
    return {};
}

void StoreRunningNumbers(const TransferOutcome &outcome, SettingsRecord &settings)
{
    if (outcome.fileNumber)
        settings.FileRenbanSpinEditValue = *outcome.fileNumber;
    if (outcome.folderNumber)
        settings.DirRenbanSpinEditValue = *outcome.folderNumber;
}

namespace {

// Why a run must not start; nothing is written then.
std::optional<RunProblem> refusal(const TransferState &state, const ExtensionRows &table,
                                  const QStringList &paths, const SettingsRecord &settings)
{
    RunProblem problem;
    // Copying a folder into itself would import the user's own files over and over (and a move would
    // flatten them).
    if (const QString target = TargetInsideSource(state, table, paths, state.sourceFolder);
        !target.isEmpty()) {
        problem.kind = RunProblem::Kind::TargetInsideSource;
        problem.folder = target;
        problem.sourceFolder = state.sourceFolder;
        return problem;
    }
    // The second copies cannot be made: the window asks before a copy goes on without them.
    if (state.options.backup && !BackupFolderUsable(state.options.backupFolder)) {
        problem.kind = RunProblem::Kind::BackupUnusable;
        problem.folder = settings.BackupDirText;
        return problem;
    }
    return std::nullopt;
}

// The run's files one by one, or shot by shot with their sidecars.
void runFiles(Run &run, const SourceFiles &runList, const QStringList &paths, const Source &source,
              bool keepShotsTogether)
{
    const bool ahead = run.readsAhead();
    if (!keepShotsTogether) {
        run.measure(runList);
        ReadAheadWindow window(
            ahead ? runList.size() : 0, [&](qsizetype k) { return source.readAhead(runList.at(k)); },
            [&source] { source.cancelReadAhead(); });
        for (qsizetype i = 0; i < runList.size() && !run.stopped(); ++i) {
            window.advanceTo(i);
            run.file(runList.at(i));
        }
        return;
    }
    const QList<Shot> shots =
        GroupShots(paths, [&source](const QString &folder) { return source.fileNamesIn(folder); });
    SourceFiles measured = runList;
    for (const Shot &shot : shots)
        measured += source.filesAt(shot.sidecars);
    run.measure(measured);
    ReadAheadWindow window(
        ahead ? shots.size() : 0,
        [&](qsizetype k) {
            return shots.at(k).files.isEmpty()
                       ? 0
                       : source.readAhead(SourceFile{shots.at(k).files.first(), {}, {}, 0});
        },
        [&source] { source.cancelReadAhead(); });
    for (qsizetype i = 0; i < shots.size() && !run.stopped(); ++i) {
        window.advanceTo(i);
        run.shot(shots.at(i));
    }
}

} // namespace

TransferOutcome RunTransfer(TransferState &state, const Source &source, const SourceFiles &runList,
                            qint64 targetCount, const ExtensionRows &table, const SettingsRecord &settings,
                            TransferView &view, const RunHistory *history)
{
    const QString sourceFolder = source.root();
    QStringList paths;
    paths.reserve(runList.size());
    for (const SourceFile &file : runList)
        paths.append(file.path);
    if (state.running)
        return {};
    state.running = true;
    state.sourceFolder = sourceFolder;
    TakeOptionSnapshot(state, settings);
    state.notDeleted = false;
    state.skipped = false;
    state.movedFromFolders.clear();
    state.result = false;
    state.checkedFolder.clear();
    state.fileProgress = FileProgress{};

    if (std::optional<RunProblem> problem = refusal(state, table, paths, settings)) {
        state.sourceFolder.clear();
        state.running = false;
        TransferOutcome refused;
        refused.problems.append(*problem);
        return refused;
    }

    Run run(state, source, table, targetCount, view, history);
    run.completeBackups();
    runFiles(run, runList, paths, source, state.options.keepShotsTogether);
    run.afterLoop();
    view.setBytesText(QString());
    state.shootingDateOf = {};
    state.sourceFolder.clear();
    state.running = false;

    TransferOutcome outcome;
    outcome.result = state.result;
    outcome.copied = run.worked();
    if (run.fileNumberAdvanced())
        outcome.fileNumber = state.fileNumber;
    if (state.options.FolderCounterMode)
        outcome.folderNumber = state.folderNumber;
    outcome.movedFromFolders = state.movedFromFolders;
    outcome.status = run.lastStatus();
    outcome.skippedImported = history ? history->skipped.size() - run.notImported() : 0;
    outcome.verifyFailed = run.verifyFailedCopies();
    outcome.problems = run.takeProblems();
    return outcome;
}

} // namespace vantora
