#pragma once

#include <QWidget>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;
class QToolButton;

namespace vantora {

class RadioGroup;

// The main window's layout: every control under its own name, in its design-time state. Behaviour is
// wired by the areas that own the controls; the form only reports its first show and close requests.
class TMainForm final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMainForm)

public:
    explicit TMainForm(QWidget *parent = nullptr);

    // Asked on every close request (close button or close box); false keeps the window open.
    std::function<bool()> closeQuery;

    // Source group
    QGroupBox *SourceGroupBox;
    QPushButton *BitBtn4;
    QLineEdit *SourceEdit1;
    QLabel *Label5;
    QLabel *VolLabel;
    QLabel *FNumLabel1;

    // Destination group
    QGroupBox *TransferGroupBox;
    QPushButton *BitBtn5;
    QPushButton *BitBtn7;
    QPushButton *BitBtn8;
    QPushButton *BitBtn9;
    QLineEdit *TransferEdit1;
    QToolButton *SpeedButton1;
    QToolButton *SpeedButton2;

    // Created folder name group
    QGroupBox *DirNameGroupBox;
    QCheckBox *DirCreateCheckBox;
    QLineEdit *PreDirNameEdit;
    QCheckBox *PreDirCheckBox;
    QLineEdit *DirNameEdit;
    QPushButton *BitBtn14;
    QCheckBox *SufDirCheckBox;
    QLineEdit *SufDirNameEdit;
    QLabel *Label1;
    QCheckBox *PANA101CheckBox;

    // File name group
    QGroupBox *FileNameGroupBox;
    QCheckBox *RenameCheckBox;
    QLineEdit *PreFileNameEdit;
    QCheckBox *PreFileCheckBox;
    QLineEdit *FileNameEdit;
    QPushButton *BitBtn12;
    QCheckBox *SufFileCheckBox;
    QLineEdit *SufFileNameEdit;
    QLabel *Label13;

    // Extension table
    QTableWidget *ExtListEditor;
    QPushButton *BitBtn11;

    // Options group with the after-transfer application
    QGroupBox *OptionGroupBox;
    QCheckBox *DelCheckBox;
    QCheckBox *UwagakiCheckBox;
    QCheckBox *RenbanResetCheckBox;
    QGroupBox *ExecGroupBox;
    QCheckBox *ExecCheckBox;
    RadioGroup *ParamRadioGroup;
    QPushButton *ExecBitBtn;
    QPushButton *ExecTestButton;
    QCheckBox *ExecCloseCheckBox;
    QLineEdit *ExecEdit;

    // Progress area
    QProgressBar *ProgressBar1;
    QProgressBar *AllGauge;
    QLabel *FNameLabel;
    QLabel *WorkPLabel;
    QLabel *Label4;
    QLabel *FNumLabel;
    QLabel *StatusLabel;

    // Buttons row
    QPushButton *StartTransferBitBtn;
    QPushButton *CancelTransferBitBtn;
    QPushButton *BitBtn1;
    QPushButton *MainFormCloseBitBtn;
    QPushButton *Button6;
    QPushButton *Button7;
    QPushButton *BitBtn10;

    // Below the visible area: never reachable
    QPushButton *Button13;
    QPushButton *Button3;
    QPushButton *Button11;
    QPushButton *Button12;
    QPushButton *Button4;
    QLineEdit *Edit1;
    QPlainTextEdit *Memo1;

    // Non-visual
    QTimer *Timer1;

    // The two filter entries of the after-transfer program picker.
    static QStringList openDialog1Filters();

Q_SIGNALS:
    // Emitted once, when the window is first shown: the start-up sequence runs from here.
    void firstShown();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool m_shown = false;
};

// Sets up a two-column extension table ("拡張子", "転送先フォルダ") with whole-row selection.
void setUpExtensionTable(QTableWidget *table, int keyWidth, int folderWidth);

} // namespace vantora
