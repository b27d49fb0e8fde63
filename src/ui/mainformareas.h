#pragma once

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;
class QToolButton;
class QWidget;

namespace vantora {

class RadioGroup;

// The main window split by owner: each area's controller is handed its own controls and nothing else,
// and asks the other areas' controllers when it needs to know something about them. The members carry
// the controls' object names. `window` is the main window itself, for closing it and placing dialogs.

// The source group, the total count of the progress row, the target-list and drive-type buttons and the
// drive watch. The cancel button also stops a count, so it is here as well as in TransferArea.
struct SourceArea
{
    QWidget *window = nullptr;
    QPushButton *BitBtn4 = nullptr;
    QLineEdit *SourceEdit1 = nullptr;
    QLabel *VolLabel = nullptr;
    QLabel *FNumLabel1 = nullptr;
    QLabel *FNumLabel = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *Button4 = nullptr;
    QPushButton *CancelTransferBitBtn = nullptr;
    QTimer *Timer1 = nullptr;
};

// The destination group and the extension table with its settings button.
struct DestinationArea
{
    QLineEdit *TransferEdit1 = nullptr;
    QPushButton *BitBtn5 = nullptr;
    QPushButton *BitBtn7 = nullptr;
    QPushButton *BitBtn8 = nullptr;
    QPushButton *BitBtn9 = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    QToolButton *SpeedButton2 = nullptr;
    QTableWidget *ExtListEditor = nullptr;
    QPushButton *BitBtn11 = nullptr;
};

// The two naming groups and the running-number reset of the options group.
struct NamingArea
{
    QWidget *window = nullptr;
    QCheckBox *DirCreateCheckBox = nullptr;
    QLineEdit *PreDirNameEdit = nullptr;
    QCheckBox *PreDirCheckBox = nullptr;
    QLineEdit *DirNameEdit = nullptr;
    QPushButton *BitBtn14 = nullptr;
    QCheckBox *SufDirCheckBox = nullptr;
    QLineEdit *SufDirNameEdit = nullptr;
    QLabel *Label1 = nullptr;
    QCheckBox *PANA101CheckBox = nullptr;
    QCheckBox *RenameCheckBox = nullptr;
    QLineEdit *PreFileNameEdit = nullptr;
    QCheckBox *PreFileCheckBox = nullptr;
    QLineEdit *FileNameEdit = nullptr;
    QPushButton *BitBtn12 = nullptr;
    QCheckBox *SufFileCheckBox = nullptr;
    QLineEdit *SufFileNameEdit = nullptr;
    QLabel *Label13 = nullptr;
    QCheckBox *RenbanResetCheckBox = nullptr;
};

// The after-transfer application group.
struct AfterTransferArea
{
    QWidget *window = nullptr;
    QCheckBox *ExecCheckBox = nullptr;
    RadioGroup *ParamRadioGroup = nullptr;
    QPushButton *ExecBitBtn = nullptr;
    QPushButton *ExecTestButton = nullptr;
    QCheckBox *ExecCloseCheckBox = nullptr;
    QLineEdit *ExecEdit = nullptr;
};

// The start and cancel buttons and the progress row a run reports into.
struct TransferArea
{
    QWidget *window = nullptr;
    QPushButton *StartTransferBitBtn = nullptr;
    QPushButton *CancelTransferBitBtn = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QProgressBar *AllGauge = nullptr;
    QLabel *FNameLabel = nullptr;
    QLabel *WorkPLabel = nullptr;
    QLabel *StatusLabel = nullptr;
};

// The system commands: AutoPlay registration, the device import, the diagnostics and their output.
struct SystemArea
{
    QWidget *window = nullptr;
    QPushButton *Button6 = nullptr;
    QPushButton *Button7 = nullptr;
    QPushButton *Button13 = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *Button11 = nullptr;
    QPushButton *Button12 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
};

// The two copy options and the About button, handled by the program itself.
struct OptionsArea
{
    QCheckBox *DelCheckBox = nullptr;
    QCheckBox *UwagakiCheckBox = nullptr;
    QPushButton *BitBtn10 = nullptr;
};

} // namespace vantora
