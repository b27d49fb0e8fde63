#pragma once

#include "settings/extensiontype.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vantora {

class TFolderDialog;

// The extension dialog's layout: every control under its own name, in its design-time state (all files
// ticked, the type boxes and free-extension fields disabled). Behaviour is wired by the areas that own
// the controls.
class TExtForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TExtForm)

public:
    explicit TExtForm(QWidget *parent = nullptr);

    // File types group
    QGroupBox *TypeGroupBox;
    QCheckBox *AllFileCheckBox;
    // The group labels in the order of ExtensionGroups, and the type boxes in catalogue order (which is
    // not always the order on screen). Both are made from the extension catalogue.
    std::array<QLabel *, ExtensionGroups.size()> groupLabels;
    std::array<QCheckBox *, ExtensionTypeCount> typeCheckBoxes;
    QLabel *ExtLabel;
    QLineEdit *ExtEdit1;
    QLineEdit *ExtEdit2;
    QLabel *WildcardLabel;

    // Destination group
    QGroupBox *TransferGroupBox;
    QLineEdit *TransferEdit1;
    QPushButton *BitBtn5;
    QPushButton *BitBtn7;
    QPushButton *BitBtn8;
    QPushButton *BitBtn9;
    QPushButton *BitBtn2;
    QPushButton *BitBtn3;

    QTableWidget *ExtListEditor;

    // Source group
    QGroupBox *SourceGroupBox;
    QLabel *Label2;
    QLabel *FNumLabel1;

    QPushButton *BitBtn1;
    QPushButton *BitBtn4;
    QPushButton *BitBtn6;

    TFolderDialog *FolderDialog1;

    void done(int result) override;

Q_SIGNALS:
    // Emitted on every show, before the dialog is painted.
    void aboutToShow();
    // Emitted on every close, whichever way (OK button, close box, Esc); closing is always allowed.
    void closing();

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace vantora
