#pragma once

#include "app/vantoraapp.h"
#include "platform/cameras.h"
#include "platform/volumesfake.h"
#include "settings/settingsrecord.h"
#include "testdir.h"
#include "testprompt.h"
#include "ui/tmainform.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace vantora::test {

// A whole import of the demo card through the real main window: the card (see prepareDemoCardRun), its
// volumes, a recording prompt and the program's windows, made afresh for each test. A member of the test
// object: the home (see isolateHome) is the test program's own from before its first test.
class WindowRun final
{
public:
    WindowRun();

    // In init(): a fresh demo card and prompt.
    void prepare();
    // In cleanup(): the windows closed, then everything of the test gone.
    void finish();

    // Stores the settings and starts the program's windows with the card as a mounted volume, its history
    // in the test's folder; returns once the start-up is over. beforeShow sets up the program first.
    void start(const SettingsRecord &record, const QStringList &arguments = {},
               const std::function<void(VantoraApp &)> &beforeShow = {});
    // Closes the window and ends the program, as the user does before starting it again.
    void close();
    void pressStart();
    // Presses Cancel as soon as the run is going; the run then ends inside pressStart().
    void cancelOnceStarted();
    // A big first file, so that a cancel lands in the middle of its copy.
    void addBigFirstFile();

    // Every file of the card's DCIM into dest, by the one row for all files.
    SettingsRecord allFilesToDest() const;

    QString card(const QString &relative = QString()) const;
    QString dest(const QString &relative = QString()) const;
    QString historyPath() const;

    TMainForm *form() const { return m_app->mainForm(); }
    QString status() const;
    VantoraApp &app() const { return *m_app; }
    TestDir &dir() const { return *m_dir; }
    FakeVolumes &volumes() const { return *m_volumes; }
    // None plugged in unless a test plugs one.
    FakeCameras &cameras() { return m_cameras; }
    TestPrompt &prompt() const { return *m_prompt; }

private:
    QTemporaryDir m_home;
    std::unique_ptr<TestDir> m_dir;
    std::unique_ptr<FakeVolumes> m_volumes;
    FakeCameras m_cameras;
    std::unique_ptr<VantoraApp> m_app;
    std::unique_ptr<TestPrompt> m_prompt;
};

} // namespace vantora::test
