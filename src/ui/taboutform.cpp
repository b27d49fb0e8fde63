#include "ui/taboutform.h"

#include "ui/formkit.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace vantora {

TAboutForm::TAboutForm(QWidget *parent) : QDialog(parent)
{
    setUpForm(this, "TAboutForm", QStringLiteral("Vantora"), {290, 181},
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    Panel1 = makeControl<QFrame>(this, "Panel1", {8, 8, 273, 113});
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto makeTitle = [this](const char *name, const QString &text, const QRect &geometry) {
        auto *l = makeControl<QLabel>(Panel1, name, text, geometry);
        l->setFont(formFont(16, true));
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 0x80));
        l->setPalette(p);
        return l;
    };
    // Positions are relative to the panel at (8, 8).
    Label1 = makeTitle("Label1", QStringLiteral("Vantora"), {56, 8, 160, 20});
    Label4 = makeTitle("Label4", QStringLiteral("(Vantix)"), {91, 24, 120, 20});
    Label2 = makeTitle("Label2", QStringLiteral("Version 1.04"), {83, 46, 160, 20});
    BitBtn1 = makeControl<QPushButton>(this, "BitBtn1", QStringLiteral("OK"), {96, 136, 75, 33});
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace vantora
