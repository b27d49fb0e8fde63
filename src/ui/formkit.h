#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

class QFont;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace vantora {

// The program's form font: the proportional Gothic, 12 pixels.
QFont formFont(int pixelSize = 12, bool bold = false);

// Gives a fixed-size form its object name, title, the form font and its title bar's buttons.
void setUpForm(QWidget *form, const char *name, const QString &title, QSize size, Qt::WindowFlags flags);

// Creates a control with its object name, caption (where it has one) and geometry on a form.
template <class W> W *makeControl(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

template <class W>
W *makeControl(QWidget *parent, const char *name, const QString &caption, const QRect &geometry)
{
    auto *w = makeControl<W>(parent, name, geometry);
    w->setText(caption);
    return w;
}

// A titled group box.
QGroupBox *makeGroup(QWidget *parent, const char *name, const QString &title, const QRect &geometry);

// A bold, word-wrapped plain-text label on the window colour, as the name previews use.
QLabel *makePreviewLabel(QWidget *parent, const char *name, const QRect &geometry);

// Keeps a control out of reach: disabled and out of the focus chain.
void makeUnreachable(QWidget *w);

// A light grey read-only field.
void makeReadOnlyGrey(QLineEdit *edit);

} // namespace vantora
