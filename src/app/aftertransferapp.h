#pragma once

#include "ui/mainformareas.h"

#include <QObject>

#include <functional>

namespace vantora {

struct SettingsRecord;

// The program started when a run ends: its four controls, the test launch and the launch itself.
class AfterTransferApp final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AfterTransferApp)

public:
    AfterTransferApp(const AfterTransferArea &area, SettingsRecord *settings, QObject *parent = nullptr);

    // What the test launch and the end of a run ask of the other areas: the main table's first folder,
    // and switching the drive watch back on.
    void setFirstRowFolderQuestion(std::function<QString()> folder) { m_firstRowFolder = std::move(folder); }
    void setWatchRestart(std::function<void()> restart) { m_watchRestart = std::move(restart); }

    // The program to start after a run or an import: ExecEdit while the group is switched on, else "".
    QString enabledProgram() const;

    // Puts the stored values into the controls (the controls' handlers run on change).
    void applySettings();

    void ExecCheckBoxClick() { switchProgramGroup(); }
    void ExecBitBtnClick() { chooseProgram(); }
    void ExecEditExit();
    void ParamRadioGroupClick();
    void ExecCloseCheckBoxClick();
    void ExecTestButtonClick() { launchForTest(); }

    // The last step of every run past its checks. Switches the drive watch back on when it starts nothing.
    // Returns the folder handed to the program, empty when none was.
    QString LaunchAfterTransferApp(const QString &firstDestinationFolder);

    // The folder as the program's one argument: one trailing "/" removed, but the root stays "/"
    // (removing its only delimiter would leave nothing). No folder gives no argument, not an empty one.
    static QStringList folderArguments(const QString &folder);

private:
    // Records the switch and opens or closes the group's other controls.
    void switchProgramGroup();
    // The program picker; the choice is shown and remembered.
    void chooseProgram();
    // Shows the command line and starts the program as a run would.
    void launchForTest();

    AfterTransferArea m_ui;
    std::function<QString()> m_firstRowFolder;
    std::function<void()> m_watchRestart;
    SettingsRecord *m_settings;
};

} // namespace vantora
