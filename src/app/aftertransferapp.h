#pragma once

#include <QObject>

namespace vantora {

struct SettingsRecord;
class TMainForm;

// The program started when a run ends: its four controls, the test launch and the launch itself.
class AfterTransferApp final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AfterTransferApp)

public:
    AfterTransferApp(TMainForm *form, SettingsRecord *settings, QObject *parent = nullptr);

    // Puts the stored values into the controls (the controls' handlers run on change).
    void applySettings();

    void ExecCheckBoxClick();
    void ExecBitBtnClick();
    void ExecEditExit();
    void ParamRadioGroupClick();
    void ExecCloseCheckBoxClick();
    void ExecTestButtonClick();

    // The last step of every run past its checks. Switches the drive watch back on when it starts nothing.
    void LaunchAfterTransferApp(const QString &firstDestinationFolder);

    // The folder as the program's one argument: one trailing "/" removed, but the root stays "/"
    // (removing its only delimiter would leave nothing). No folder gives no argument, not an empty one.
    static QStringList folderArguments(const QString &folder);

private:
    TMainForm *m_form;
    SettingsRecord *m_settings;
};

} // namespace vantora
