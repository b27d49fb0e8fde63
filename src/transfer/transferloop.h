#pragma once

#include "routing/extensionrow.h"

#include <QString>
#include <QStringList>

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
QString unknownErrorStatusText(); // "不明なエラーが発生しました"
QString unknownErrorMessage(int code);

// "P1.JPG" -> "P1_2.JPG" ... "P1_99.JPG": the first that does not exist, else the "_99" name.
QString MakeFreeName(const QString &destination);

// worked ÷ target × 100 to the nearest integer, halves to even, shown at most 100 (and 100 when the
// count it is measured against is 0 or less).
int OverallGaugePercent(qint64 worked, qint64 target);

// Copies (or moves) every file of the run list in order, on the calling thread, pumping events through
// the view during each copy. Takes the option snapshot from `settings` at its start, writes the running
// numbers back into `settings` and the view, shows messages through prompt(). `table` is the live
// extension table (read per file). Returns true when the last copy was good and nothing stopped the run;
// only after the destination filesystems were flushed. A call while a run is in progress does nothing
// and returns false.
bool RunTransfer(TransferState &state, const QStringList &runList, const ExtensionRows &table,
                 SettingsRecord &settings, TransferView &view);

} // namespace vantora
