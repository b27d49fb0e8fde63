#include "ui/tlistviewform.h"

#include "ui/formkit.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace vantora {

TListViewForm::TListViewForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TListViewForm"));
    setWindowTitle(QStringLiteral("Vantix - 転送対象ファイル一覧"));
    setFont(formFont());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    resize(400, 550);
    setSizeGripEnabled(true);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    // Tens of thousands of paths: one row height for all keeps filling and scrolling fast.
    ListBox1->setUniformItemSizes(true);
    StaticText1 = new QLabel(this);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText1->setAlignment(Qt::AlignCenter);
    StaticText1->setFrameStyle(QFrame::Box | QFrame::Plain);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ListBox1, 1);
    layout->addWidget(StaticText1);
}

} // namespace vantora
