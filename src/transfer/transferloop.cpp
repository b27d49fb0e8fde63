#include "transfer/transferloop.h"

#include "app/settings/settingsrecord.h"
#include "naming/nametemplate.h"
#include "platform/copyfile.h"
#include "platform/prompt.h"
#include "transfer/copyprogress.h"
#include "transfer/destination.h"
#include "transfer/transferstate.h"
#include "transfer/transferview.h"

#include <QFileInfo>
#include <QSet>

#include <cerrno>

namespace vantora {

QString cancelledStatusText()
{
    return QStringLiteral("転送はキャンセルされました");
}

QString renamedStatusText()
{
    return QStringLiteral("名前を変えて転送しました");
}

QString notDeletedMessage()
{
    return QStringLiteral("一部のファイルが削除できませんでした。転送元フォルダを確認して下さい。");
}

QString notCopiedMessage()
{
    return QStringLiteral(
        "一部のファイルが転送できませんでした(同名ファイルが多すぎます)。転送元フォルダを確認して下さい。");
}

QString diskFullStatusText(const QString &volume)
{
    return QStringLiteral("転送先\"") + volume + QStringLiteral("\"の空き容量不足");
}

QString diskFullMessage(const QString &volume)
{
    return QStringLiteral("転送先ドライブ\"") + volume + QStringLiteral("\"の空き容量が不足しています") +
           QStringLiteral("\r\n\r\nCopyFileEx: ") + QString::number(ERROR_DISK_FULL);
}

QString unknownErrorStatusText()
{
    return QStringLiteral("不明なエラーが発生しました");
}

QString unknownErrorMessage(int code)
{
    return QStringLiteral("転送処理で不明なエラーが発生しました\r\n\r\nCopyFileEx: ") + QString::number(code);
}

QString MakeFreeName(const QString &destination)
{
    const int slash = destination.lastIndexOf(QLatin1Char('/'));
    const QString folder = destination.left(slash + 1);
    const QString base = SourceBaseName(destination);
    const QString ext = SourceExtension(destination);
    QString candidate;
    for (int n = 2; n <= 99; ++n) {
        candidate = folder + base + QLatin1Char('_') + QString::number(n) + ext;
        const QFileInfo info(candidate);
        if (!info.exists() && !info.isSymLink())
            return candidate;
    }
    return candidate;
}

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

constexpr int MaxPendingSources = 64;
constexpr qint64 MaxPendingBytes = 64 * 1024 * 1024;

class Run final
{
public:
    Run(TransferState &state, const ExtensionRows &table, SettingsRecord &settings, TransferView &view)
        : m_state(state), m_table(table), m_settings(settings), m_view(view)
    {
    }

    void file(const QString &source);
    void afterLoop();
    bool stopped() const { return m_stop; }

private:
    int copy(const QString &source, const QString &dest);
    void succeeded(const QString &source, const QString &dest);
    void stop(const QString &status, const QString &message = QString());
    void deleteFlushedSources();

    TransferState &m_state;
    const ExtensionRows &m_table;
    SettingsRecord &m_settings;
    TransferView &m_view;
    QSet<QString> m_written; // destination folders, for the flush at the end
    QSet<QString> m_moved;   // sources of good copies in a move, deleted or about to be
    struct Pending
    {
        QString source;
        QString dest;
        qint64 size;
        FileId sourceId;
    };
    QVector<Pending> m_pending;     // sources waiting for their copies to reach the disk
    QSet<QString> m_pendingSources; // their paths
    QSet<QString> m_pendingFolders; // where those copies are
    qint64 m_pendingBytes = 0;
    bool m_stop = false;
};

int Run::copy(const QString &source, const QString &dest)
{
    CopyOptions options;
    options.failIfExists = !m_state.options.overwrite;
    const int code = CopyFileWithProgress(
        source, dest, [this](quint64 total, quint64 done) { ReportCopyProgress(m_view, total, done); },
        &m_state.CancelRequested, options);
    if (code == 0) {
        const QString folder = dest.left(dest.lastIndexOf(QLatin1Char('/')) + 1);
        m_written.insert(folder);
    }
    return code;
}

void Run::stop(const QString &status, const QString &message)
{
    m_view.setStatusText(status);
    if (!message.isEmpty())
        prompt().message(message);
    m_state.result = false;
    m_stop = true;
}

void Run::succeeded(const QString &source, const QString &dest)
{
    if (m_state.options.move) {
        // A file copied onto itself must stay: compare the files, not the paths, since one file can be
        // reached by two paths.
        const std::optional<FileId> from = FileIdOf(source);
        const std::optional<FileId> to = FileIdOf(dest);
        if (from && to && *from != *to) {
            const qint64 size = QFileInfo(dest).size();
            m_moved.insert(source);
            m_pending.append({source, dest, size, *from});
            m_pendingSources.insert(source);
            m_pendingFolders.insert(dest.left(dest.lastIndexOf(QLatin1Char('/')) + 1));
            m_pendingBytes += size;
            if (m_pending.size() >= MaxPendingSources || m_pendingBytes >= MaxPendingBytes)
                deleteFlushedSources();
        } else if (!from || !to) {
            m_state.notDeleted = true;
        }
    }
    const qint64 worked = m_view.workedText().toLongLong() + 1;
    m_view.setWorkedText(QString::number(worked));
    m_view.setOverallProgress(OverallGaugePercent(worked, m_view.targetCountText().toLongLong()));
    if (m_state.options.FileCounterMode) {
        m_state.fileNumber = NextRunningNumber(m_state.fileNumber);
        m_settings.FileRenbanSpinEditValue = m_state.fileNumber;
        m_view.showFileCounter(m_state.fileNumber);
    }
    m_state.result = true;
}

void Run::file(const QString &source)
{
    m_state.CancelRequested = false;
    // A file matched by two rows is listed twice; once moved, its second entry has nothing to copy.
    if (m_moved.contains(source))
        return;

    DestinationError why = DestinationError::None;
    QString dest = ResolveDestination(m_state, m_table, source, &why);
    if (!m_state.firstFile) {
        QString folder = dest.left(dest.lastIndexOf(QLatin1Char('/')));
        m_state.FirstDestinationFolder =
            folder.isEmpty() && dest.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : folder;
        m_state.firstFile = true;
    }
    if (dest.isEmpty()) {
        const int code = why == DestinationError::NoRow ? ENOENT : EINVAL;
        stop(unknownErrorStatusText(), unknownErrorMessage(code));
        return;
    }
    m_view.setFileName(QFileInfo(dest).fileName());
    // A source still waiting for its deletion holds this name: delete it first, as if it had gone at
    // once, so the new copy neither clashes with it nor is taken for it.
    if (m_pendingSources.contains(dest))
        deleteFlushedSources();

    int code = copy(source, dest);
    if (code == 0) {
        succeeded(source, dest);
    } else if (m_state.CancelRequested) {
        stop(cancelledStatusText());
        return;
    } else if (code == ERROR_FILE_EXISTS && !m_state.options.overwrite) {
        dest = MakeFreeName(dest);
        code = copy(source, dest);
        if (code == 0) {
            m_view.setStatusText(renamedStatusText());
            succeeded(source, dest);
        } else if (code == ERROR_FILE_EXISTS) {
            // Every free name was taken: the file stays at its source and the run goes on.
            m_state.skipped = true;
        }
        // Any other failure of the second copy is reported like a first one below, rather than lost
        // silently while the run reports success.
    }
    if (code == ERROR_DISK_FULL) {
        const QString volume = VolumeRootOf(dest);
        stop(diskFullStatusText(volume), diskFullMessage(volume));
        return;
    }
    if (code != 0 && code != ERROR_FILE_EXISTS && !m_state.CancelRequested) {
        stop(unknownErrorStatusText(), unknownErrorMessage(code));
        return;
    }
    if (m_state.CancelRequested)
        stop(cancelledStatusText());
}

// Sources of a move go only once their copies are on the disk. One flush per batch of copies costs far less
// than one per file; a crash in between leaves a file in both places, never in none.
void Run::deleteFlushedSources()
{
    if (m_pending.isEmpty())
        return;
    const bool flushed =
        SyncFileSystems(QStringList(m_pendingFolders.cbegin(), m_pendingFolders.cend())) == 0;
    for (const Pending &p : std::as_const(m_pending)) {
        // The copy must still be there, whole, and the source name must still hold the file that was
        // copied, when the source goes.
        const QFileInfo copy(p.dest);
        if (!flushed || !copy.isFile() || copy.size() != p.size || FileIdOf(p.source) != p.sourceId ||
            RemoveFile(p.source) != 0)
            m_state.notDeleted = true;
        else
            m_state.movedFromFolders.insert(p.source.left(p.source.lastIndexOf(QLatin1Char('/'))));
    }
    m_pending.clear();
    m_pendingSources.clear();
    m_pendingFolders.clear();
    m_pendingBytes = 0;
}

void Run::afterLoop()
{
    deleteFlushedSources();
    // A photographer formats the card after a good run: the copies must be on the disk by then.
    if (!m_written.isEmpty()) {
        const int code = SyncFileSystems(QStringList(m_written.cbegin(), m_written.cend()));
        if (code != 0 && m_state.result) {
            m_view.setStatusText(unknownErrorStatusText());
            prompt().message(unknownErrorMessage(code));
            m_state.result = false;
        }
    }
    if (m_state.notDeleted)
        prompt().message(notDeletedMessage());
    if (m_state.skipped) {
        prompt().message(notCopiedMessage());
        m_state.result = false;
    }
    if (m_state.options.FolderCounterMode) {
        m_state.folderNumber = NextRunningNumber(m_state.folderNumber);
        m_settings.DirRenbanSpinEditValue = m_state.folderNumber;
        m_view.showFolderCounter(m_state.folderNumber);
    }
    m_state.firstFile = false;
}

} // namespace

bool RunTransfer(TransferState &state, const QStringList &runList, const ExtensionRows &table,
                 SettingsRecord &settings, TransferView &view)
{
    if (state.running)
        return false;
    state.running = true;
    TakeOptionSnapshot(state, settings);
    state.notDeleted = false;
    state.skipped = false;
    state.movedFromFolders.clear();
    state.result = false;

    Run run(state, table, settings, view);
    for (const QString &source : runList) {
        run.file(source);
        if (run.stopped())
            break;
    }
    run.afterLoop();
    state.running = false;
    return state.result;
}

} // namespace vantora
