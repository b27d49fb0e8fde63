#include "ui/tfilecountform.h"

#include "ui/formkit.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace vantora {

TFileCountForm::TFileCountForm(QWidget *parent) : QDialog(parent)
{
    setUpForm(this, "TFileCountForm", QStringLiteral("Vantora"), {400, 100},
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);

    GroupBox1 = makeControl<QGroupBox>(this, "GroupBox1", {8, 8, 290, 84});
    GroupBox1->setTitle(QStringLiteral("ファイルを数えています..."));
    Label1 = makeControl<QLabel>(GroupBox1, "Label1", QString(), {8, 20, 274, 18});
    CountText = makeControl<QLabel>(GroupBox1, "CountText", QStringLiteral("0"), {8, 46, 274, 24});
    CountText->setAlignment(Qt::AlignCenter);
    CountText->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    BitBtn1 = makeControl<QPushButton>(this, "BitBtn1", QStringLiteral("強制終了"), {306, 36, 86, 30});

    FormShowTimer1 = new QTimer(this);
    FormShowTimer1->setObjectName(QStringLiteral("FormShowTimer1"));
    FormShowTimer1->setInterval(750);
}

void TFileCountForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        BitBtn1->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace vantora
