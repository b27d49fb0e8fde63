#include "source/widgets/sourcecontroller.h"

#include "platform/bytepath.h"
#include "platform/cameras.h"
#include "platform/pathops.h"
#include "platform/prompt.h"
#include "platform/volumes.h"
#include "routing/choosefolder.h"
#include "routing/widgets/extensionroutingcontroller.h"
#include "settings/settingsrecord.h"
#include "source/camerasource.h"
#include "source/importstate.h"
#include "source/sourcewalk.h"
#include "source/widgets/statelabels.h"
#include "ui/textform.h"
#include "ui/tfilecountform.h"
#include "ui/tlistviewform.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>

namespace vantora {

namespace {

// Keeps the nesting count of walks, so watch ticks can wait for them.
class WalkScope final
{
public:
    explicit WalkScope(int &depth) : m_depth(depth) { ++m_depth; }
    ~WalkScope() { --m_depth; }
    WalkScope(const WalkScope &) = delete;
    WalkScope &operator=(const WalkScope &) = delete;

private:
    int &m_depth;
};

} // namespace

QStringList RoutingNeighbours::extensionMasks() const
{
    return m_routing->mainTableMasks();
}

void RoutingNeighbours::countStarting()
{
    m_routing->tidyDestinationFolder();
}

SourceController::SourceController(const SourceArea &area, ImportState *state, TFileCountForm *countForm,
                                   TListViewForm *listForm, SettingsRecord *settings, Volumes *volumes,
                                   QObject *parent)
    : QObject(parent), m_ui(area), m_state(state), m_countForm(countForm), m_listForm(listForm),
      m_settings(settings), m_volumes(volumes), m_countFormParent(countForm->parentWidget()),
      m_detection(state, volumes, settings, area.Timer1, this)
{
    followSourceArea(m_state, m_ui);
    connect(m_ui.BitBtn4, &QPushButton::clicked, this, &SourceController::BitBtn4Click);
    connect(m_ui.BitBtn1, &QPushButton::clicked, this, &SourceController::BitBtn1Click);
    connect(m_ui.Button4, &QPushButton::clicked, this, &SourceController::Button4Click);
    connect(m_ui.CancelTransferBitBtn, &QPushButton::clicked, this,
            [this] { m_countCancelRequested = true; });
    connect(m_ui.Timer1, &QTimer::timeout, this, &SourceController::Timer1Timer);
    m_ui.SourceEdit1->installEventFilter(this);

    connect(m_countForm->FormShowTimer1, &QTimer::timeout, this, [this] { m_showFlag = true; });
    connect(m_countForm->BitBtn1, &QPushButton::clicked, this, [this] { m_forceStop = true; });
    m_listForm->installEventFilter(this);
}

SourceController::~SourceController() = default;

bool SourceController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui.SourceEdit1 && event->type() == QEvent::FocusOut) {
        SourceEdit1Exit();
    } else if (watched == m_listForm) {
        if (event->type() == QEvent::Show) {
            m_listForm->StaticText1->setText(QString::number(m_state->fileCount()) +
                                             QStringLiteral(" 個の対象ファイル"));
            if (!m_listForm->parentWidget())
                m_listForm->move(m_ui.window->frameGeometry().center() - m_listForm->rect().center());
        } else if (event->type() == QEvent::Hide) {
            m_listForm->ListBox1->clear();
        }
    }
    return QObject::eventFilter(watched, event);
}

QString SourceController::sourceText() const
{
    return m_state->sourceFolder();
}

void SourceController::setSource(const QString &folder)
{
    m_state->setSourceFolder(folder);
}

QStringList SourceController::masksOf(const QTableWidget *table) const
{
    QStringList masks;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *item = table->item(row, 0);
        masks.append(item ? item->text() : QString());
    }
    return masks;
}

QStringList SourceController::mainMasks() const
{
    return m_neighbours ? m_neighbours->extensionMasks() : QStringList();
}

void SourceController::showStatus(const QString &text)
{
    m_state->setStatusText(text, ImportState::Drawing::AtOnce);
}

qint64 SourceController::shownFileCount() const
{
    return m_state->fileCount();
}

bool SourceController::busy() const
{
    return m_walkDepth > 0 || m_state->runInProgress();
}

void SourceController::startupBegin()
{
    m_detection.startupBegin();
}

void SourceController::startupFinish()
{
    m_detection.StartupCheckSourceDrive();
    closeCountForm();
    m_detection.startWatch();
}

// ---- cameras -----------------------------------------------------------------------------------------

void SourceController::setCameras(Cameras *cameras)
{
    m_cameras = cameras;
    m_detection.setCameras(cameras);
    if (cameras)
        connect(cameras, &Cameras::changed, this, [this] { m_detection.tick(); });
}

CameraSource *SourceController::cameraSource() const
{
    const std::optional<QString> port = CameraPortOf(sourceText());
    // One still waiting for its camera is in use further up this call's stack.
    if (m_camera && m_camera->isBusy())
        return port && m_camera->camera().port == *port ? m_camera.get() : nullptr;
    if (!port) {
        m_camera.reset(); // the camera is free for other programs again
        return nullptr;
    }
    if (!m_camera || m_camera->camera().port != *port) {
        const std::optional<CameraId> found = m_cameras ? m_cameras->atPort(*port) : std::nullopt;
        m_camera = std::make_unique<CameraSource>(found ? *found : CameraId{m_settings->CameraModel, *port});
    }
    return m_camera.get();
}

void SourceController::retryFailedCamera()
{
    if (m_camera && m_camera->connected() && !m_camera->connect().ok() && !m_camera->isBusy())
        m_camera.reset();
}

qint64 SourceController::countCamera(CameraSource *camera, WalkPump &pump, ImportedFilter *filter)
{
    const bool saidBefore = camera->connected();
    const qint64 total = camera->list(mainMasks(), &pump, filter).size();
    const CameraResult &result = camera->listResult();
    if (!result.ok() && !result.cancelled() && !saidBefore)
        prompt().message(cameraNotReadyMessage(camera->root(), result));
    return total;
}

// ---- walks -------------------------------------------------------------------------------------------

QStringList SourceController::collectRunList()
{
    QStringList list;
    CameraSource *camera = cameraSource();
    const SourceFiles files = camera ? collectRunFiles(*camera, mainMasks())
                                     : collectRunFiles(FolderSource(sourceText()), mainMasks());
    for (const SourceFile &file : files)
        list.append(file.path);
    return list;
}

SourceFiles SourceController::collectRunFiles(const Source &source, const QStringList &masks)
{
    WalkScope scope(m_walkDepth);
    WalkPump pump({}, m_pumpInterval);
    const std::unique_ptr<ImportedFilter> filter = importedFilter();
    SourceFiles list = source.list(masks, &pump, filter.get());
    m_lastSkipped = filter ? filter->skipped() : QList<SkippedImport>();
    return list;
}

std::unique_ptr<ImportedFilter> SourceController::importedFilter(bool listSkipped) const
{
    if (!m_settings->SkipImportedChecked || !m_history)
        return nullptr;
    ImportHistory *history = m_history();
    CameraSource *camera = cameraSource();
    const QString root = camera ? camera->root() : m_volumes->rootOf(sourceText());
    const QString volume = camera           ? camera->identity()
                           : root.isEmpty() ? QString()
                                            : m_volumes->identity(root);
    if (!history || volume.isEmpty())
        return nullptr;
    return std::make_unique<ImportedFilter>(history->stampsOf(volume), root, listSkipped);
}

RunHistory SourceController::runHistory(const QString &folder) const
{
    RunHistory run;
    run.store = m_history ? m_history() : nullptr;
    CameraSource *camera = IsCameraSourceText(folder) ? cameraSource() : nullptr;
    run.volumeRoot = camera ? camera->root() : m_volumes->rootOf(folder);
    if (run.volumeRoot.isEmpty())
        return {};
    run.volume = camera ? camera->identity() : m_volumes->identity(run.volumeRoot);
    // A volume without an identity of its own could be taken for another one: nothing is recorded of it.
    if (run.volume.isEmpty())
        return {};
    run.label = camera ? camera->model() : m_volumes->label(run.volumeRoot);
    if (m_settings->SkipImportedChecked)
        run.skipped = m_lastSkipped;
    return run;
}

bool SourceController::RemoveEmptySourceFolders(const QString &folder)
{
    if (IsCameraSourceText(folder))
        return false; // a camera's folders are the camera's own
    WalkScope scope(m_walkDepth);
    WalkPump pump({}, m_pumpInterval);
    return vantora::RemoveEmptySourceFolders(folder, &pump);
}

void SourceController::showCount()
{
    m_state->setFileCount(m_sourceFileCount);
}

void SourceController::CountSourceFiles(const QString &folder)
{
    setSource(withTrailingSlash(folder));
    if (m_neighbours)
        m_neighbours->countStarting();
    m_sourceFileCount = 0;
    m_countCancelRequested = false;
    m_state->setWorkedText(QStringLiteral("0"));

    // A camera that could not be opened (another program held it) is tried afresh at each count.
    retryFailedCamera();
    // A count started while this one pumps events replaces it.
    const quint64 generation = ++m_countGeneration;
    WalkScope scope(m_walkDepth);
    WalkPump pump([this, generation] { return m_countCancelRequested || generation != m_countGeneration; },
                  m_pumpInterval);
    const std::unique_ptr<ImportedFilter> filter = importedFilter(false);
    CameraSource *camera = cameraSource();
    const qint64 total = camera ? countCamera(camera, pump, filter.get())
                                : CountFiles(sourceText(), mainMasks(), &pump, 0, {}, filter.get());
    if (generation != m_countGeneration)
        return;
    m_sourceFileCount = total;
    m_state->setSkippedImportedCount(filter ? filter->skippedCount() : 0);
    showCount();
}

void SourceController::recount()
{
    if (!busy())
        CountSourceFiles(sourceText());
}

void SourceController::CountSourceFilesWithDialog()
{
    if (m_forceStop)
        return; // the program is ending
    m_countForm->CountText->setText(QStringLiteral("0"));
    m_sourceFileCount = 0;
    m_showFlag = false;
    m_countForm->FormShowTimer1->start();

    retryFailedCamera();
    const quint64 generation = ++m_countGeneration;
    {
        WalkScope scope(m_walkDepth);
        WalkPump pump([&, generation] { return m_forceStop || generation != m_countGeneration; },
                      m_pumpInterval);
        const std::unique_ptr<ImportedFilter> filter = importedFilter(false);
        CameraSource *camera = cameraSource();
        const qint64 total = camera ? countCamera(camera, pump, filter.get())
                                    : CountFiles(
                                          sourceText(), mainMasks(), &pump, 0,
                                          [&](qint64 count) {
                                              if (!m_showFlag)
                                                  return;
                                              if (!m_countForm->isVisible())
                                                  showCountForm();
                                              if (count % 10 == 0) {
                                                  m_countForm->FormShowTimer1->stop();
                                                  m_countForm->CountText->setText(QString::number(count));
                                              }
                                          },
                                          filter.get());
        if (generation == m_countGeneration) {
            m_sourceFileCount = total;
            m_state->setSkippedImportedCount(filter ? filter->skippedCount() : 0);
        }
    }
    m_countForm->FormShowTimer1->stop();
    m_showFlag = false;
    if (m_forceStop) {
        closeCountForm();
        m_ui.window->close();
        // A modal window still open over it (the extension dialog) would hold the program open.
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->isModal())
                w->close();
        }
        return;
    }
    if (generation != m_countGeneration)
        return;
    showCount();
    if (m_extCountLabel) {
        QFont f = m_extCountLabel->font();
        f.setBold(false);
        m_extCountLabel->setFont(f);
    }
}

void SourceController::showCountForm()
{
    // A modal window (the extension dialog) blocks input to every window but its own: over one, the
    // counting window is shown as its child, so that "強制終了" and Escape reach it.
    QWidget *modal = QApplication::activeModalWidget();
    QWidget *parent = modal && modal != m_countForm ? modal : m_countFormParent.data();
    if (m_countForm->parentWidget() != parent)
        m_countForm->setParent(parent, m_countForm->windowFlags());
    m_countForm->Label1->setText(sourceText());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        m_countForm->move(screen->availableGeometry().center() - m_countForm->rect().center());
    m_countForm->show();
}

void SourceController::closeCountForm()
{
    m_countForm->close();
    if (m_countForm->parentWidget() != m_countFormParent)
        m_countForm->setParent(m_countFormParent, m_countForm->windowFlags());
}

// ---- the drive ----------------------------------------------------------------------------------------

void SourceController::showDriveType()
{
    const QString drive = m_detection.rememberedDrive();
    prompt().message(QStringLiteral("FindComleteFlag: ") + QStringLiteral("\r\n") +
                     QStringLiteral("RemDrive: ") + drive);
    const DriveType type =
        drive.isEmpty() ? DriveType::Unknown : m_volumes->driveType(m_volumes->rootOf(drive));
    switch (type) {
    case DriveType::Unknown:
        prompt().message(QStringLiteral("未知"));
        break;
    case DriveType::NoRootDir:
        prompt().message(QStringLiteral("存在しません"));
        break;
    case DriveType::Removable:
        prompt().message(QStringLiteral("フロッピーディスク") + drive);
        break;
    case DriveType::Fixed:
        prompt().message(QStringLiteral("ハードディスク") + drive);
        break;
    case DriveType::Remote:
        prompt().message(QStringLiteral("ネットワークドライブ"));
        break;
    case DriveType::CdRom:
        prompt().message(QStringLiteral("CD-ROM"));
        break;
    case DriveType::RamDisk:
        prompt().message(QStringLiteral("RAM"));
        break;
    }
}

// ---- hand choice and listing -----------------------------------------------------------------------------

void SourceController::chooseSourceFolder()
{
    const QString chosen = ChooseFolder(
        QStringLiteral("転送元フォルダを選択して下さい\r\n(C:\\などWindowsのルートフォルダは指定できません)"),
        sourceText());
    if (chosen.isEmpty())
        return;
    if (m_detection.isSystemRoot(chosen)) {
        prompt().message(
            QStringLiteral(
                "Windowsがインストールされているドライブのルートフォルダは転送元として指定できません."
                "\r\n下位フォルダを指定して下さい.\r\n") +
            chosen);
        return;
    }
    m_detection.takeChosenFolder(chosen);
    closeCountForm();
}

void SourceController::keepTypedSourceFolder()
{
    const QString text = withTrailingSlash(sourceText());
    setSource(text);
    m_settings->SourceEditText = text;
}

void SourceController::fillList(const QStringList &list)
{
    // Shown only: a name that is not valid UTF-8 reads with a replacement character.
    QStringList shown;
    shown.reserve(list.size());
    for (const QString &path : list)
        shown.append(displayPath(path));
    m_listForm->ListBox1->addItems(shown);
    Q_EMIT listFilled(list);
}

void SourceController::showTargetList()
{
    showStatus(QStringLiteral("処理中..."));
    fillList(collectRunList());
    showStatus(QString());
    m_listForm->exec();
}

// ---- extension dialog ------------------------------------------------------------------------------------

void SourceController::attachExtensionDialog(TExtForm *form)
{
    m_extCountLabel = form->FNumLabel1;
    followFileCount(m_state, m_extCountLabel);
    connect(form, &TExtForm::aboutToShow, this, [this, form] { extFormShow(form->Label2); });
    connect(form, &TExtForm::closing, this, &SourceController::extFormCloseQuery);
    connect(form->BitBtn4, &QPushButton::clicked, this, &SourceController::extCountClick);
    connect(form->BitBtn6, &QPushButton::clicked, this, [this, form] { extListClick(form->ExtListEditor); });
}

void SourceController::extFormShow(QLabel *label2)
{
    label2->setText(sourceText());
    m_detection.stopWatch();
}

void SourceController::extFormCloseQuery()
{
    if (m_forceStop)
        return; // closed by "強制終了": the program is ending
    m_detection.startWatch();
    m_detection.StartupCheckSourceDrive();
    closeCountForm();
}

void SourceController::extCountClick()
{
    m_detection.StartupCheckSourceDrive();
    closeCountForm();
}

void SourceController::extListClick(QTableWidget *table)
{
    extCountClick();
    QStringList list;
    {
        WalkScope scope(m_walkDepth);
        WalkPump pump({}, m_pumpInterval);
        const std::unique_ptr<ImportedFilter> filter = importedFilter();
        if (CameraSource *camera = cameraSource()) {
            for (const SourceFile &file : camera->list(masksOf(table), &pump, filter.get()))
                list.append(file.path);
        } else {
            list = CollectRunList(sourceText(), masksOf(table), &pump, filter.get());
        }
    }
    fillList(list);
    m_listForm->exec();
}

} // namespace vantora
