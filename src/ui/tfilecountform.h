#pragma once

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace vantora {

// The counting window: not modal, no close box; shown by the count itself once it has run 750 ms.
class TFileCountForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFileCountForm)

public:
    explicit TFileCountForm(QWidget *parent = nullptr);

    QGroupBox *GroupBox1;
    QLabel *Label1;
    QLabel *CountText;
    QPushButton *BitBtn1;
    QTimer *FormShowTimer1;

protected:
    // Escape works the cancel-kind button, as on the original form.
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace vantora
