#include "ui/formkit.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>

namespace vantora {

void setUpForm(QWidget *form, const char *name, const QString &title, QSize size, Qt::WindowFlags flags)
{
    form->setObjectName(QLatin1String(name));
    form->setWindowTitle(title);
    form->setFont(formFont());
    form->setFixedSize(size);
    form->setWindowFlags(flags);
}

QFont formFont(int pixelSize, bool bold)
{
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QGroupBox *makeGroup(QWidget *parent, const char *name, const QString &title, const QRect &geometry)
{
    auto *g = makeControl<QGroupBox>(parent, name, geometry);
    g->setTitle(title);
    return g;
}

QLabel *makePreviewLabel(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *l = makeControl<QLabel>(parent, name, QString(), geometry);
    l->setFont(formFont(12, true));
    l->setWordWrap(true);
    l->setTextFormat(Qt::PlainText);
    l->setAutoFillBackground(true);
    QPalette p = l->palette();
    p.setColor(QPalette::Window, p.color(QPalette::Base));
    l->setPalette(p);
    return l;
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
