#include "ui/tfolderdialog.h"

namespace vantora {

TFolderDialog::TFolderDialog(QObject *owner) : QObject(owner), m_title(QStringLiteral("フォルダーの選択"))
{
}

} // namespace vantora
