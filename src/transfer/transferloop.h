#pragma once

#include "platform/copyerror.h"
#include "routing/extensionrow.h"
#include "source/importedfilter.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vantora {

class TransferView;
struct SettingsRecord;
struct TransferState;

// Texts the loop shows.
QString cancelledStatusText(); // "転送はキャンセルされました"
QString renamedStatusText();   // "名前を変えて転送しました"
QString notDeletedMessage(); // "一部のファイルが削除できませんでした。転送元フォルダを確認して下さい。"
QString notCopiedMessage(); // a file that could not be copied under any free name
QString diskFullStatusText(const QString &volume);
QString diskFullMessage(const QString &volume);
// A destination drive that stopped answering: "転送先のドライブ"<volume>"が応答しません"…
QString silentDriveStatusText(const QString &volume);
QString silentDriveMessage(const QString &volume);
QString unknownErrorStatusText(); // "不明なエラーが発生しました"
QString unknownErrorMessage(CopyError code);
QString flushingStatusText(); // "書き込み中...", while the end of a run waits for the disk
// Names both folders of a run that would copy a folder into itself.
QString targetInsideSourceMessage(const QString &target, const QString &source);

QString verifyingStatusText();    // "ベリファイしています"
QString verifyFailedStatusText(); // "ベリファイで不一致が見つかりました"
// Names every copy that differed from its source when read back.
QString verifyFailedMessage(const QStringList &sources, const QStringList &copies);

// Why one file failed, for the lines added under a message's own text.
struct CopyFailure
{
    CopyError code;
    QString source;
    QString destination;
    bool sourceFailed = false;
    bool sourceChanged = false;
    bool sourceVolumeGone = false;
    bool destinationSilent = false;
};
// "\r\n\r\n<reason in words>\r\n転送元：<file>\r\n転送先：<file>"
QString FailureReasonText(const CopyFailure &failure);

// The first effective target folder of the run (a row's folder, with the created folder and each camera
// folder of the run list where those are on) that is the source folder or lies inside it; empty when none.
QString TargetInsideSource(const TransferState &state, const ExtensionRows &table, const QStringList &runList,
                           const QString &sourceFolder);

// worked ÷ target × 100 to the nearest integer, halves to even, shown at most 100 (and 100 when the
// count it is measured against is 0 or less).
int OverallGaugePercent(qint64 worked, qint64 target);

// What a run did, for its caller to show and to keep.
struct TransferOutcome
{
    bool result = false; // the last copy was good and nothing stopped the run
    qint64 copied = 0;   // files copied (or moved) by the run
    // The running numbers the run advanced, for the settings; empty where the run left one alone.
    std::optional<qint32> fileNumber;
    std::optional<qint32> folderNumber;
    QSet<QString> movedFromFolders; // folders a source of the run was deleted from
    QString status;                 // the status text the run left
    qint64 skippedImported = 0;     // files left out as imported by an earlier run
    QStringList verifyFailed;       // copies that differed from their sources, removed again
    explicit operator bool() const { return result; }
};

// Puts the running numbers a run advanced into FileRenbanSpinEditValue and DirRenbanSpinEditValue.
void StoreRunningNumbers(const TransferOutcome &outcome, SettingsRecord &settings);

// Tests change a copy between its flush and its verification through this; nothing else sets it.
void SetBeforeVerifyHookForTesting(std::function<void(const QString &copy)> hook);

// Copies (or moves) every file of the run list in order, on the calling thread, pumping events through
// the view during each copy. Takes the option snapshot from `settings` at its start, shows the running
// numbers through the view, shows messages through prompt(). `targetCount` is the count the overall
// gauge is measured against. `table` is the live extension table (read per file). The outcome's result
// is true when the last copy was good and nothing stopped the run; only after the destination filesystems
// were flushed. A call while a run is in progress does nothing and returns a false outcome.
// `sourceFolder` is the folder the run list was walked from: a run into it is refused, and a move deletes
// nothing reached through a folder link below it. Every good copy is recorded in the history, in batches
// committed only once the batch's copies are on the disk; with a move and the skip of imported files, the
// sources the history already holds are deleted at the end when their recorded copies are intact.
TransferOutcome RunTransfer(TransferState &state, const QStringList &runList, qint64 targetCount,
                            const ExtensionRows &table, const SettingsRecord &settings, TransferView &view,
                            const QString &sourceFolder = QString(), const RunHistory *history = nullptr);

} // namespace vantora
