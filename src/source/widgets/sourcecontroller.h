#pragma once

#include "source/carddetection.h"
#include "source/importedfilter.h"
#include "source/source.h"
#include "ui/mainformareas.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLabel;
class QTableWidget;

namespace vantora {

class CameraSource;
class Cameras;
class ExtensionRoutingController;
class ImportState;
class TExtForm;
class TFileCountForm;
class TListViewForm;
class Volumes;
struct SettingsRecord;

// What a count asks of, and tells, the destination area of the main window.
class SourceNeighbours
{
public:
    virtual ~SourceNeighbours() = default;

    // The main extension table's masks.
    virtual QStringList extensionMasks() const = 0;
    // A count begins: the destination tidies up.
    virtual void countStarting() {}
};

// The neighbours as the program has them: the routing area's main table and destination folder.
class RoutingNeighbours final : public SourceNeighbours
{
public:
    explicit RoutingNeighbours(ExtensionRoutingController *routing) : m_routing(routing) {}

    QStringList extensionMasks() const override;
    void countStarting() override;

private:
    ExtensionRoutingController *m_routing;
};

// The source group's controls: the hand choice of the source, the counts and the target list; the drive
// watch and the start-up detection are the CardDetection's, driven from here. The source, its volume, the
// counts and the progress row's status and worked count are written to the state, which the labels
// follow. Everything runs on the UI thread; the walks pump events, so a watch tick that falls due during a
// walk or a run (the state's runInProgress) waits until it has ended.
//
// Connects by itself: BitBtn4, SourceEdit1 (leaving it), BitBtn1, Button4 and Timer1 of the main window,
// CancelTransferBitBtn (sets CountCancelRequested), the counting window's "強制終了" and FormShowTimer1, and
// the target list window's show and close.
class SourceController final : public QObject, private SourceCounting
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceController)

public:
    SourceController(const SourceArea &area, ImportState *state, TFileCountForm *countForm,
                     TListViewForm *listForm, SettingsRecord *settings, Volumes *volumes,
                     QObject *parent = nullptr);
    ~SourceController() override;

    void setNeighbours(std::unique_ptr<SourceNeighbours> neighbours) { m_neighbours = std::move(neighbours); }

    // The history the skip of imported files reads ("SkipImportedChecked"); asked for only when needed.
    void setImportHistory(std::function<ImportHistory *()> history) { m_history = std::move(history); }
    // A run's history for the source folder, with the files the last collectRunList left out.
    RunHistory runHistory(const QString &folder) const;

    // The first command-line argument (a card's mount path handed in by the desktop), empty when none.
    void setCommandLineArgument(const QString &argument) { m_detection.setCommandLineArgument(argument); }
    // The cameras on the cables: one becomes the source when no card holds a DCIM folder, and a change
    // runs a watch tick at once.
    void setCameras(Cameras *cameras);
    // The camera the source box names, opened for the counts and the run; nullptr for a folder.
    CameraSource *cameraSource() const;
    // The camera opened last, without opening one; nullptr when none is.
    CameraSource *openedCamera() const { return m_camera.get(); }

    // Start-up sequence pieces, in the order the main window's first show runs them: startupBegin()
    // (watch stopped, no-card mark set), the settings load, then startupFinish() (detection with the
    // counting window, which is closed again, then the watch started).
    void startupBegin();
    void startupFinish();

    // The run's pieces.
    QStringList collectRunList(); // sorted RunList of the main table's masks over the source folder
    // The run's files from the source, for the given masks.
    SourceFiles collectRunFiles(const Source &source, const QStringList &masks);
    // The tidy-up after a move: every empty folder below folder goes (see vantora::RemoveEmptySourceFolders).
    bool RemoveEmptySourceFolders(const QString &folder);
    void setCountCancelRequested(bool requested) { m_countCancelRequested = requested; }
    bool countCancelRequested() const { return m_countCancelRequested; }
    // True when the source folder exists and its volume answers.
    bool isSourceDriveReady() const { return m_detection.isSourceDriveReady(); }

    // The described steps.
    void CountSourceFiles(const QString &folder);
    // The count of the shown source made again (an option that changes what is counted changed).
    void recount();
    void CountSourceFilesWithDialog();
    void closeCountForm();
    void StartupCheckSourceDrive() { m_detection.StartupCheckSourceDrive(); }
    void Timer1Timer() { m_detection.tick(); }
    void BitBtn4Click() { chooseSourceFolder(); }
    void SourceEdit1Exit() { keepTypedSourceFolder(); }
    void BitBtn1Click() { showTargetList(); }
    void Button4Click() { showDriveType(); }

    // The extension dialog's source steps. attachExtensionDialog connects all four to the dialog (its show,
    // its close, BitBtn4 "対象計数", BitBtn6 "対象ファイル確認") and makes its FNumLabel1 a count label.
    void attachExtensionDialog(TExtForm *form);
    void extFormShow(QLabel *label2);
    void extFormCloseQuery();
    void extCountClick();
    void extListClick(QTableWidget *table);

    // The source folder as SourceEdit1 shows it.
    QString sourceFolder() const { return sourceText(); }
    void setSourceFolder(const QString &folder) { setSource(folder); }
    // The drive watch (Timer1).
    void stopWatch() { m_detection.stopWatch(); }
    void startWatch() { m_detection.startWatch(); }

    qint64 sourceFileCount() const { return m_sourceFileCount; }
    // The last finished count, as FNumLabel shows it.
    qint64 shownFileCount() const;
    QString rememberedDrive() const { return m_detection.rememberedDrive(); }
    bool noCardMark() const { return m_detection.noCardMark(); }
    bool isWalking() const override { return m_walkDepth > 0; }
    // How long a walk runs between two event pumps; tests shorten it to stop walks at a chosen point.
    void setPumpInterval(int ms) { m_pumpInterval = ms; }

    // The mount table changed (a card came or went): one watch tick at once.
    void mountTableChanged() { m_detection.tick(); }

Q_SIGNALS:
    // The target list window was filled with these files (exact paths), just before it is shown.
    void listFilled(const QStringList &paths);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // SourceCounting, for the detection.
    void countSource() override { CountSourceFiles(sourceText()); }
    void countSourceWithDialog() override { CountSourceFilesWithDialog(); }

    // The hand choice of the source folder, then a count.
    void chooseSourceFolder();
    // The typed source folder with its trailing "/", remembered.
    void keepTypedSourceFolder();
    // Lists the files a run would take, in the target list window.
    void showTargetList();
    // Names the kind of the remembered drive.
    void showDriveType();

    QStringList masksOf(const QTableWidget *table) const;
    // Forgets a camera that could not be opened, so that the next use opens it afresh.
    void retryFailedCamera();
    // The files a count takes from the shown camera; a camera that cannot be opened is said once.
    qint64 countCamera(CameraSource *camera, WalkPump &pump, ImportedFilter *filter);
    QStringList mainMasks() const;
    std::unique_ptr<ImportedFilter> importedFilter(bool listSkipped = true) const;
    void showStatus(const QString &text);
    QString sourceText() const;
    void setSource(const QString &folder);
    void showCount();
    void fillList(const QStringList &list);
    // Shows the counting window centred on the desktop, over a modal window when one is open.
    void showCountForm();
    bool busy() const;

    SourceArea m_ui;
    ImportState *m_state;
    std::unique_ptr<SourceNeighbours> m_neighbours;
    TFileCountForm *m_countForm;
    TListViewForm *m_listForm;
    SettingsRecord *m_settings;
    Volumes *m_volumes;
    std::function<ImportHistory *()> m_history;
    QList<SkippedImport> m_lastSkipped;
    QLabel *m_extCountLabel = nullptr;
    QPointer<QWidget> m_countFormParent; // the counting window's own parent, back once it is closed
    CardDetection m_detection;
    Cameras *m_cameras = nullptr;
    mutable std::unique_ptr<CameraSource> m_camera; // opened when the source box first names it
    qint64 m_sourceFileCount = 0;
    quint64 m_countGeneration = 0;
    int m_walkDepth = 0;
    int m_pumpInterval = 20;
    bool m_countCancelRequested = false; // set by the Cancel button, cleared when a count starts
    bool m_showFlag = false;             // the counting window is due
    bool m_forceStop = false;            // "強制終了": the program ends
};

} // namespace vantora
