#include "transfer/runmessages.h"

#include "platform/bytepath.h"
#include "platform/camera.h"
#include "platform/copyfile.h"

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
           QStringLiteral("\r\n\r\nCopyFileEx: ") +
           QString::number(CopyError{CopyError::DiskFull, ENOSPC}.shownNumber());
}

QString silentDriveStatusText(const QString &volume)
{
    return QStringLiteral("転送先のドライブ\"") + volume + QStringLiteral("\"が応答しません");
}

QString silentDriveMessage(const QString &volume)
{
    return QStringLiteral("転送先のドライブ\"") + volume +
           QStringLiteral("\"が応答しません。ドライブの接続を確認して下さい。");
}

QString unknownErrorStatusText()
{
    return QStringLiteral("不明なエラーが発生しました");
}

QString unknownErrorMessage(CopyError code)
{
    return QStringLiteral("転送処理で不明なエラーが発生しました\r\n\r\nCopyFileEx: ") +
           QString::number(code.shownNumber());
}

QString flushingStatusText()
{
    return QStringLiteral("書き込み中...");
}

QString verifyingStatusText()
{
    return QStringLiteral("ベリファイしています");
}

QString verifyFailedStatusText()
{
    return QStringLiteral("ベリファイで不一致が見つかりました");
}

QString verifyFailedMessage(const QStringList &sources, const QStringList &copies)
{
    QString text = QStringLiteral("読み戻したコピーが転送元と一致しませんでした。\r\n"
                                  "次のコピーは削除し、転送元のファイルは残してあります。");
    for (qsizetype i = 0; i < sources.size() && i < copies.size(); ++i)
        text += QStringLiteral("\r\n\r\n転送元：") + displayPath(sources.at(i)) +
                QStringLiteral("\r\n転送先：") + displayPath(copies.at(i));
    return text;
}

QString targetInsideSourceMessage(const QString &target, const QString &source)
{
    return QStringLiteral("転送先フォルダ[") + displayPath(target) + QStringLiteral("]が転送元フォルダ[") +
           displayPath(source) + QStringLiteral("]と同じか、その中にあるため転送できません");
}

QString FailureReasonText(const CopyFailure &failure)
{
    QString reason;
    const int code = failure.code.errnoValue;
    const bool camera = IsCameraPath(failure.source);
    if (failure.sourceVolumeGone && camera)
        reason = QStringLiteral("カメラが取り外されたか、カメラにアクセスできなくなりました");
    else if (failure.sourceShort)
        reason = QStringLiteral("カメラから読み取ったデータの大きさがファイルの大きさと一致しません");
    else if (failure.sourceVolumeGone)
        reason =
            QStringLiteral("メモリーカードが取り外されたか、転送元のドライブにアクセスできなくなりました");
    else if (failure.sourceChanged)
        reason = QStringLiteral("コピー中に転送元のファイルが変更されました");
    else if (failure.destinationSilent)
        reason = QStringLiteral("転送先のドライブが応答しません");
    else if (failure.code.kind == CopyError::DiskFull)
        reason = QStringLiteral("転送先の空き容量が不足しています");
    else if (failure.sourceFailed && code == ENOENT)
        reason = QStringLiteral("転送元のファイルが見つかりません");
    else if (failure.sourceFailed && (code == EACCES || code == EPERM))
        reason = QStringLiteral("転送元のファイルを読み取る権限がありません");
    else if (failure.sourceFailed)
        reason = QStringLiteral("転送元のファイルを読み取れません");
    else if (code == EACCES || code == EPERM)
        reason = QStringLiteral("転送先のフォルダに書き込む権限がありません");
    else if (code == EROFS)
        reason = QStringLiteral("転送先のドライブは書き込みが禁止されています");
    else if (code == ENAMETOOLONG)
        reason = QStringLiteral("ファイル名が転送先のファイルシステムには長すぎます");
    else if (code == EILSEQ || code == EINVAL)
        reason = QStringLiteral("転送先のファイルシステムでは使えない文字がファイル名に含まれています");
    else if (code == ENOENT)
        reason = QStringLiteral("転送先のフォルダが見つかりません");
    else if (code == EIO)
        reason = QStringLiteral("読み書きのエラーが発生しました");
    else
        reason = QStringLiteral("システムエラー ") + QString::number(failure.code.shownNumber());
    QString text = QStringLiteral("\r\n\r\n") + reason;
    if (!failure.source.isEmpty())
        text += QStringLiteral("\r\n転送元：") + displayPath(failure.source);
    if (!failure.destination.isEmpty())
        text += QStringLiteral("\r\n転送先：") + displayPath(failure.destination);
    return text;
}

QString allImportedMessage(qint64 count)
{
    return QStringLiteral("全てのファイルは取り込み済みです(%1個)").arg(count);
}

QString noFilesMessage()
{
    return QStringLiteral("転送できるファイルがありません(0個)");
}

QString sourceNotReadyMessage(const QString &source)
{
    return QStringLiteral("転送元：") + source + QStringLiteral("\r\n\r\n") +
           QStringLiteral("メモリーカードが挿入されていないか、アクセスできません。");
}

QString finishedStatusText(qint64 skippedImported)
{
    return QStringLiteral("全ての転送が終了") +
           (skippedImported > 0 ? QStringLiteral(" (取り込み済み %1 個はスキップ)").arg(skippedImported)
                                : QString());
}

QString folderNotCreatedMessage(const QString &folder)
{
    return QStringLiteral("フォルダ[") + displayPath(folder) + QStringLiteral("]の作成に失敗しました");
}

namespace {

QString backupFolderMissingText(const QString &folder)
{
    return QStringLiteral("バックアップ先のフォルダ[") + displayPath(folder) +
           QStringLiteral("]がないか、書き込めません");
}

} // namespace

QString backupUnusableQuestion(const QString &folder)
{
    return backupFolderMissingText(folder) + QStringLiteral("\r\nバックアップせずに転送しますか？");
}

QString backupUnusableMessage(const QString &folder)
{
    return backupFolderMissingText(folder) + QStringLiteral("\r\n転送を中止しました。何も転送していません。");
}

QString backupPendingMessage(const QString &folder, const QStringList &sources)
{
    QString text = QStringLiteral("バックアップ先[") + displayPath(folder) +
                   QStringLiteral("]にコピーできなかったファイルがあります(%1個)。転送元のファイルは"
                                  "削除していません。\r\n次回「取り込み済みのファイルは転送しない」で"
                                  "転送すると、転送先のコピーからバックアップを作成します。")
                       .arg(sources.size());
    for (const QString &source : sources)
        text += QStringLiteral("\r\n") + displayPath(source);
    return text;
}

QString ProblemMessage(const RunProblem &problem)
{
    switch (problem.kind) {
    case RunProblem::Kind::DiskFull:
        return diskFullMessage(problem.volume) + FailureReasonText(problem.failure);
    case RunProblem::Kind::SilentDrive:
        return silentDriveMessage(problem.volume) + FailureReasonText(problem.failure);
    case RunProblem::Kind::Failed:
        return unknownErrorMessage(problem.failure.code) + FailureReasonText(problem.failure);
    case RunProblem::Kind::NoDestination:
        return unknownErrorMessage(problem.failure.code);
    case RunProblem::Kind::FolderNotCreated:
        return folderNotCreatedMessage(problem.folder);
    case RunProblem::Kind::TargetInsideSource:
        return targetInsideSourceMessage(problem.folder, problem.sourceFolder);
    case RunProblem::Kind::NotDeleted:
        return notDeletedMessage();
    case RunProblem::Kind::NotCopied:
        return notCopiedMessage();
    case RunProblem::Kind::VerifyFailed:
        return verifyFailedMessage(problem.sources, problem.copies);
    case RunProblem::Kind::BackupUnusable:
        return backupUnusableMessage(problem.folder);
    case RunProblem::Kind::BackupPending:
        return backupPendingMessage(problem.folder, problem.sources);
    }
    return {};
}

} // namespace vantora
