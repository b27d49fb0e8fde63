#include "app/transferrun.h"

#include "app/aftertransferapp.h"
#include "naming/widgets/namesettingscontroller.h"
#include "platform/prompt.h"
#include "routing/widgets/extensionroutingcontroller.h"
#include "settings/settingsrecord.h"
#include "source/camerasource.h"
#include "source/importstate.h"
#include "source/widgets/sourcecontroller.h"
#include "source/widgets/statelabels.h"
#include "transfer/backupcopies.h"
#include "transfer/copyprogress.h"
#include "transfer/destination.h"
#include "transfer/transferloop.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

namespace vantora {

TransferRun::TransferRun(const TransferArea &area, ImportState *importState, SettingsRecord *settings,
                         SourceController *source, ExtensionRoutingController *routing,
                         NameSettingsController *naming, AfterTransferApp *afterTransfer, QObject *parent)
    : QObject(parent), m_ui(area), m_importState(importState), m_settings(settings), m_source(source),
      m_routing(routing), m_naming(naming), m_afterTransfer(afterTransfer), m_view(area, importState),
      m_runView(m_view, area.window)
{
    followProgressRow(m_importState, area);
    m_view.folderCounterShown = [this](qint32 n) { m_naming->setFolderCounter(n); };
    m_view.fileCounterShown = [this](qint32 n) { m_naming->setFileCounter(n); };
    m_state.runningValues = [this] {
        return RunningValues{m_naming->folderCounter(), m_naming->fileCounter(), m_naming->separator()};
    };
    connect(area.StartTransferBitBtn, &QPushButton::clicked, this, &TransferRun::StartTransferBitBtnClick);
    ConnectCancelTransferBitBtn(area, m_state, m_view, [this] { m_source->setCountCancelRequested(true); });
}

bool TransferRun::inProgress() const
{
    return m_importState->runInProgress();
}

bool TransferRun::closeRequestedDuringRun()
{
    if (!inProgress())
        return false;
    m_closeAfterRun = true;
    return true;
}

bool TransferRun::checkDestinationFolders()
{
    const ExtensionRows rows = m_routing->mainTableRows();
    if (rows.isEmpty())
        return false;
    for (const ExtensionRow &row : rows) {
        if (QFileInfo(row.folder).isDir())
            continue;
        const QString folder = QStringLiteral("転送先のフォルダ[") + row.folder + QLatin1Char(']');
        if (prompt().confirm(folder + QStringLiteral("がありませんが作成しますか？"))) {
            if (!EnsureFolder(row.folder)) // the run goes on
                prompt().message(folderNotCreatedMessage(row.folder));
        } else {
            prompt().message(folder + QStringLiteral("が存在しないため転送できません"));
            return false;
        }
    }
    return true;
}

void TransferRun::startTransfer()
{
    // The window stays usable during a run; a second press must not start another.
    if (inProgress() || m_state.running)
        return;
    // Files imported since the count (by the last run) are left out of it now.
    if (m_settings->SkipImportedChecked)
        m_source->recount();
    m_importState->setRunInProgress(true);
    auto done = qScopeGuard([this] {
        m_importState->setRunInProgress(false);
        if (m_closeAfterRun) {
            m_closeAfterRun = false;
            m_ui.window->close();
        }
    });
    if (!hasFilesToRun())
        return;
    const QString source = m_importState->sourceFolder();
    if (!confirmRun(source))
        return;
    run(source);
}

bool TransferRun::hasFilesToRun()
{
    // A move whose files were all imported still has their sources to delete.
    const qint64 imported = m_importState->skippedImportedCount();
    if (m_importState->fileCount() == 0 && !(imported > 0 && m_settings->DelChecked) && !pendingBackups()) {
        prompt().message(imported > 0 ? allImportedMessage(imported) : noFilesMessage());
        return false;
    }
    return true;
}

// Second copies an earlier run left pending are made by a run with the skip box, files to copy or not.
bool TransferRun::pendingBackups() const
{
    if (!m_settings->SkipImportedChecked)
        return false;
    const RunHistory history = m_source->runHistory(m_importState->sourceFolder());
    return history.store && history.store->hasPendingBackups(history.volume);
}

QString TransferRun::runQuestion(const QString &source) const
{
    QString question = QStringLiteral("転送元：") + source + QStringLiteral("    (") +
                       m_importState->volumeLabel() + QStringLiteral(")\r\n転送先：(転送先フォルダ)");
    if (m_naming->createsFolder())
        question += m_naming->folderPreview();
    if (m_settings->ClockOffsetMinutes != 0)
        question += QStringLiteral("\r\n撮影日時の補正：%1%2分")
                        .arg(m_settings->ClockOffsetMinutes > 0 ? QStringLiteral("+") : QString())
                        .arg(m_settings->ClockOffsetMinutes);
    return question + QStringLiteral("\r\n\r\n転送します。よろしいですか？");
}

bool TransferRun::confirmRun(const QString &source)
{
    if (!m_source->isSourceDriveReady()) {
        prompt().message(sourceNotReadyMessage(source));
        return false;
    }
    if (!prompt().confirm(runQuestion(source)))
        return false;
    m_importState->setStatusText(QString());
    m_importState->setWorkedText(QStringLiteral("0"));
    return checkDestinationFolders() && confirmBackup();
}

// A copy may go on without its second copies when the user says so; a move is refused by the run.
bool TransferRun::confirmBackup()
{
    m_withoutBackup = false;
    if (!m_settings->BackupChecked || m_settings->DelChecked || BackupFolderUsable(m_settings->BackupDirText))
        return true;
    if (!prompt().askYesNo(backupUnusableQuestion(m_settings->BackupDirText)))
        return false;
    m_withoutBackup = true;
    return true;
}

void TransferRun::run(const QString &source)
{
    // A template still being typed counts as left, so the run uses what the edit will show.
    m_naming->finishEditing();
    m_source->stopWatch();
    m_view.setFileProgress(0);
    m_view.setOverallProgress(0);
    QStringList masks;
    for (const ExtensionRow &row : m_routing->mainTableRows())
        masks.append(row.key);
    // A camera is the one the counts opened; a folder is taken as it is now.
    CameraSource *camera = m_source->cameraSource();
    std::unique_ptr<FolderSource> folder = camera ? nullptr : std::make_unique<FolderSource>(source);
    const Source &from = camera ? static_cast<const Source &>(*camera) : *folder;
    if (camera)
        camera->setActivity(RunCameraActivity(m_state, m_runView));
    auto quiet = qScopeGuard([camera] {
        if (camera)
            camera->setActivity({});
    });
    SourceFiles runList = m_source->collectRunFiles(from, masks);
    const RunHistory history = m_source->runHistory(source);

    SettingsRecord settings = *m_settings;
    if (m_withoutBackup)
        settings.BackupChecked = false;
    QElapsedTimer clock;
    clock.start();
    const TransferOutcome outcome = RunTransfer(m_state, from, runList, m_importState->fileCount(),
                                                m_routing->mainTableRows(), settings, m_runView, &history);
    showOutcome(outcome, source);
    runList.clear();
    resetCountersAfterRun();
    endRun(outcome, source, std::chrono::milliseconds(clock.elapsed()));
}

void TransferRun::showOutcome(const TransferOutcome &outcome, const QString &source)
{
    for (const RunProblem &problem : outcome.problems)
        prompt().message(ProblemMessage(problem));
    StoreRunningNumbers(outcome, *m_settings);
    if (!outcome)
        return;
    m_importState->setStatusText(finishedStatusText(outcome.skippedImported));
    m_view.setFileName(QString());
    // The run's own choice, taken at its start: the box may have changed while it ran.
    if (m_state.options.move)
        m_source->RemoveEmptySourceFolders(source);
}

void TransferRun::resetCountersAfterRun()
{
    if (!m_naming->resetsCountersAfterRun())
        return;
    m_state.folderNumber = 1;
    m_state.fileNumber = 1;
    m_naming->resetCounters();
}

void TransferRun::endRun(const TransferOutcome &outcome, const QString &source,
                         std::chrono::milliseconds elapsed)
{
    RunEnd end;
    end.ok = bool(outcome);
    end.elapsed = elapsed;
    const QString shown = m_importState->statusText();
    end.status = shown.isEmpty() ? outcome.status : shown;
    end.source = source;
    end.handedFolder = m_afterTransfer->LaunchAfterTransferApp(m_state.FirstDestinationFolder);
    Q_EMIT runEnded(end);
}

} // namespace vantora
