#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

class QWidget;

namespace vantora {

struct EjectOutcome;
struct SettingsRecord;
class Volumes;

// A run past its start checks, as it ended (after the after-transfer program was started).
struct RunEnd
{
    bool ok = false;      // the last copy was good and nothing stopped the run
    QString status;       // the end status as the window shows it
    QString source;       // the run's source folder
    QString handedFolder; // the folder handed to the after-transfer program; empty when none
    std::chrono::milliseconds elapsed{0};
};

// What follows the end of a run beyond the original set: the eject of the card ("EjectCheckBox") and a
// desktop notice when a long run ends while the user looks elsewhere.
class RunEndActions final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RunEndActions)

public:
    RunEndActions(QWidget *mainForm, const SettingsRecord *settings, const Volumes *volumes,
                  QObject *parent = nullptr);

    void runEnded(const RunEnd &end);

    // A run longer than this ends with a notice (10 s); tests shorten it.
    void setLongRunThreshold(std::chrono::milliseconds threshold) { m_longRun = threshold; }
    // Whether the main window is the active one; tests decide it without a window manager.
    void setWindowActive(std::function<bool()> active) { m_windowActive = std::move(active); }

    // The one message after an eject.
    static QString ejectMessage(const EjectOutcome &outcome);
    static QString cardKeptForProgramMessage();

private:
    void noticeIfLong(const RunEnd &end);
    void ejectCard(const RunEnd &end);

    const SettingsRecord *m_settings;
    const Volumes *m_volumes;
    std::chrono::milliseconds m_longRun = std::chrono::seconds(10);
    std::function<bool()> m_windowActive;
};

} // namespace vantora
