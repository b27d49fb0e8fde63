#pragma once

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
    QLabel *ImageLabel;
    QLabel *VideoLabel;
    QLabel *AudioLabel;
    QCheckBox *JPGCheckBox;
    QCheckBox *TIFCheckBox;
    QCheckBox *PNGCheckBox;
    QCheckBox *GIFCheckBox;
    QCheckBox *BMPCheckBox;
    QCheckBox *PSDCheckBox;
    QCheckBox *DNGCheckBox;
    QCheckBox *NEFCheckBox;
    QCheckBox *CR2CheckBox;
    QCheckBox *PEFCheckBox;
    QCheckBox *ARWCheckBox;
    QCheckBox *ORFCheckBox;
    QCheckBox *RW2CheckBox;
    QCheckBox *RAFCheckBox;
    QCheckBox *MOVCheckBox;
    QCheckBox *MP4CheckBox;
    QCheckBox *AVICheckBox;
    QCheckBox *MPGCheckBox;
    QCheckBox *WMVCheckBox;
    QCheckBox *MKVCheckBox;
    QCheckBox *FLVCheckBox;
    QCheckBox *WAVCheckBox;
    QCheckBox *MP3CheckBox;
    QCheckBox *AACCheckBox;
    QCheckBox *WMACheckBox;
    QCheckBox *M4ACheckBox;
    QCheckBox *FLACCheckBox;
    QCheckBox *MIDCheckBox;
    QLabel *ExtLabel;
    QLineEdit *ExtEdit1;
    QLineEdit *ExtEdit2;
    QLabel *WildcardLabel;

    // The 28 type boxes in catalogue order (FLAC before MID, although MID stands left on screen).
    std::array<QCheckBox *, 28> typeCheckBoxes;

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
