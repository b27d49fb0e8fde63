#include "ui/formkit.h"

#include <QFont>
#include <QLineEdit>
#include <QPalette>

namespace vantora {

QFont formFont(int pixelSize, bool bold)
{
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

void makeUnreachable(QWidget *w)
{
    w->setEnabled(false);
    w->setFocusPolicy(Qt::NoFocus);
}

void makeReadOnlyGrey(QLineEdit *edit)
{
    edit->setReadOnly(true);
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, QColor(0xE0, 0xE0, 0xE0));
    edit->setPalette(p);
}

} // namespace vantora
