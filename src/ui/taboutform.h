#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace vantora {

// The About box: the program's name and version, closed with OK.
class TAboutForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAboutForm)

public:
    explicit TAboutForm(QWidget *parent = nullptr);

    QFrame *Panel1;
    QLabel *Label1;
    QLabel *Label4;
    QLabel *Label2;
    QPushButton *BitBtn1;
};

} // namespace vantora
