#pragma once

#include "platform/copyerror.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vantora {

// Texts a run shows.
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
    bool sourceShort = false; // a camera's download held another number of bytes than it listed
    bool destinationSilent = false;
};
// "\r\n\r\n<reason in words>\r\n転送元：<file>\r\n転送先：<file>"
QString FailureReasonText(const CopyFailure &failure);
// Texts of the start of a run and its good end.
QString
allImportedMessage(qint64 count); // "全てのファイルは取り込み済みです(N個)": nothing but imported files
QString noFilesMessage(); // "転送できるファイルがありません(0個)"
// "転送元：<source>" and that the card is not there or cannot be read.
QString sourceNotReadyMessage(const QString &source);
// "全ての転送が終了", with " (取り込み済み N 個はスキップ)" when imported files were left out.
QString finishedStatusText(qint64 skippedImported);

QString folderNotCreatedMessage(const QString &folder); // "フォルダ[<folder>]の作成に失敗しました"

// The backup folder of a run is missing or cannot be written: the question before a copy, and the refusal
// of a run (a move, or a copy not told to go on without it).
QString backupUnusableQuestion(const QString &folder);
QString backupUnusableMessage(const QString &folder);
// Names the sources whose second copy is missing: they stay, and the next run with the skip of imported
// files makes their second copies from the first.
QString backupPendingMessage(const QString &folder, const QStringList &sources);

// Something a run has to tell the user, in the order it happened; the window shows each as a message.
struct RunProblem
{
    enum class Kind
    {
        DiskFull,           // failure, volume
        SilentDrive,        // failure, volume
        Failed,             // failure: a copy, a name, or a flush failed
        NoDestination,      // failure.code: no row takes a file, or its name would leave its folder
        FolderNotCreated,   // folder
        TargetInsideSource, // folder inside sourceFolder: refused before anything was written
        NotDeleted,         // a source of a move stayed
        NotCopied,          // a file found every free name taken
        VerifyFailed,       // sources and copies that differed when read back
        BackupUnusable,     // folder: the backup folder, missing or not writable; refused before anything
        BackupPending,      // sources (and copies) whose second copy under folder is missing
    };
    Kind kind = Kind::Failed;
    CopyFailure failure;
    QString volume;
    QString folder;
    QString sourceFolder;
    QStringList sources;
    QStringList copies;
};
using RunProblems = QList<RunProblem>;

// The message the user sees for a problem.
QString ProblemMessage(const RunProblem &problem);

} // namespace vantora
