#pragma once

#include <QString>
#include <QTimer>

namespace vantora {

class Cameras;
class ImportState;
class Volumes;
struct SettingsRecord;

// What the card detection asks of whoever counts the source: the detection chooses the source, the count
// (which pumps events and may show the counting window) is theirs.
class SourceCounting
{
public:
    virtual ~SourceCounting() = default;

    // Counts the files of the state's source folder.
    virtual void countSource() = 0;
    // The same with the counting window, shown once the count takes a while.
    virtual void countSourceWithDialog() = 0;
    // True while a walk over the source runs.
    virtual bool isWalking() const = 0;
};

// The start-up detection of the source and the drive watch: a volume with a DCIM folder (a card) becomes
// the source, else a camera on a cable (shown as "gphoto2://[PORT]/", its model as the volume label); a
// source that went falls back to the pictures folder. Writes the source and its volume label
// to the state. Everything runs on the UI thread; a watch tick that falls due during a walk or a run waits
// until it has ended.
class CardDetection final
{
    Q_DISABLE_COPY_MOVE(CardDetection)

public:
    // watch paces the watch (the main window's Timer1); its timeouts are the caller's to connect to tick().
    CardDetection(ImportState *state, Volumes *volumes, SettingsRecord *settings, QTimer *watch,
                  SourceCounting *counting);

    // The first command-line argument (a card's mount path handed in by the desktop), empty when none.
    void setCommandLineArgument(const QString &argument) { m_argument = argument; }
    // The cameras on the cables; none without.
    void setCameras(Cameras *cameras) { m_cameras = cameras; }
    // The start-up's first step: the watch stopped, the no-card mark set.
    void startupBegin();

    bool IsDriveReady(const QString &root) const;
    // True when the source folder exists and its volume answers.
    bool isSourceDriveReady() const;
    void UpdateVolumeLabel();
    QString ScanDrivesForDcim();
    void DetectSourceDrive(const QString &drive, bool countWithDialog);
    void StartupCheckSourceDrive();
    // A watch tick (Timer1, or a change of the mount table): takes a card that came, falls back to the
    // pictures folder when the source went.
    void tick();

    // True for the system volume's root, which is never a source.
    bool isSystemRoot(const QString &folder) const;
    // A source folder chosen by hand (its DCIM folder when it holds one): the watch stops until it is
    // started again, the source is detected and counted with the counting window.
    void takeChosenFolder(const QString &folder);

    void stopWatch() { m_watch->stop(); }
    void startWatch() { m_watch->start(); }
    QString rememberedDrive() const { return m_remDrive; }
    bool noCardMark() const { return m_noCard; }

private:
    bool busy() const;
    void setSource(const QString &folder);
    // The source text of the camera to take: the shown one while it is still there, else the first.
    QString connectedCamera() const;
    // A volume of a kind that takes a card, answering.
    bool mayHoldCard(const QString &root) const;

    ImportState *m_state;
    Volumes *m_volumes;
    SettingsRecord *m_settings;
    QTimer *m_watch;
    SourceCounting *m_counting;
    Cameras *m_cameras = nullptr;
    QTimer m_deferredTick;
    QString m_argument;
    QString m_remDrive;
    bool m_noCard = true;
};

} // namespace vantora
