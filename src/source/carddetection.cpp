#include "source/carddetection.h"

#include "platform/cameras.h"
#include "platform/pathops.h"
#include "platform/pathtext.h"
#include "platform/specialfolders.h"
#include "platform/volumes.h"
#include "settings/settingsrecord.h"
#include "source/importstate.h"

#include <QDir>

namespace vantora {

namespace {

// A tick that fell due during a walk or a run is retried this often until it can run.
constexpr int kDeferredTickMs = 250;

QString trimmedRoot(QString root)
{
    while (root.size() > 1 && root.endsWith(u'/'))
        root.chop(1);
    return root;
}

QString picturesFolder()
{
    return withTrailingSlash(GetSpecialFolderPath(CSIDL_MYPICTURES));
}

} // namespace

CardDetection::CardDetection(ImportState *state, Volumes *volumes, SettingsRecord *settings, QTimer *watch,
                             SourceCounting *counting)
    : m_state(state), m_volumes(volumes), m_settings(settings), m_watch(watch), m_counting(counting)
{
    m_deferredTick.setSingleShot(true);
    m_deferredTick.setInterval(kDeferredTickMs);
    QObject::connect(&m_deferredTick, &QTimer::timeout, &m_deferredTick, [this] { tick(); });
}

void CardDetection::setSource(const QString &folder)
{
    m_state->setSourceFolder(folder);
}

bool CardDetection::busy() const
{
    return m_counting->isWalking() || m_state->runInProgress();
}

void CardDetection::startupBegin()
{
    m_watch->stop();
    m_noCard = true;
}

bool CardDetection::IsDriveReady(const QString &root) const
{
    return !root.isEmpty() && m_volumes->isReady(root);
}

QString CardDetection::connectedCamera() const
{
    if (!m_cameras)
        return {};
    const CameraIds cameras = m_cameras->connected();
    if (cameras.isEmpty())
        return {};
    if (const std::optional<QString> shown = CameraPortOf(m_state->sourceFolder());
        shown && m_cameras->atPort(*shown))
        return m_state->sourceFolder();
    return CameraSourceText(cameras.first().port);
}

bool CardDetection::isSourceDriveReady() const
{
    if (const std::optional<QString> port = CameraPortOf(m_state->sourceFolder()))
        return m_cameras && m_cameras->atPort(*port);
    // A volume that went away leaves its path under the system volume, which always answers: the folder
    // itself must still be there.
    const QString source = m_state->sourceFolder();
    return isFolderPath(source) && IsDriveReady(m_volumes->rootOf(source));
}

void CardDetection::UpdateVolumeLabel()
{
    if (const std::optional<QString> port = CameraPortOf(m_state->sourceFolder())) {
        const std::optional<CameraId> camera = m_cameras ? m_cameras->atPort(*port) : std::nullopt;
        m_state->setVolumeLabel(camera ? camera->model : QString());
        return;
    }
    const QString root = m_volumes->rootOf(m_state->sourceFolder());
    m_state->setVolumeLabel(IsDriveReady(root) ? m_volumes->label(root) : QString());
}

QString CardDetection::ScanDrivesForDcim()
{
    const QString system = trimmedRoot(m_volumes->systemRoot());
    for (const QString &root : m_volumes->roots()) {
        if (trimmedRoot(root) == system)
            continue;
        const DriveType type = m_volumes->driveType(root);
        if (type == DriveType::Unknown || type == DriveType::NoRootDir || !IsDriveReady(root))
            continue;
        const QString dcim = withTrailingSlash(root) + QStringLiteral("DCIM");
        if (isFolderPath(dcim)) {
            setSource(dcim + u'/');
            m_counting->countSource();
            UpdateVolumeLabel();
            return root;
        }
    }
    // A camera already shown is not listed again at every tick: only when it becomes the source.
    const QString camera = connectedCamera();
    if (!camera.isEmpty() && camera != m_state->sourceFolder()) {
        setSource(camera);
        m_counting->countSource();
        UpdateVolumeLabel();
    }
    return camera;
}

void CardDetection::DetectSourceDrive(const QString &drive, bool countWithDialog)
{
    bool takenAsGiven = false;
    if (drive.isEmpty()) {
        bool card = false;
        for (const QString &root : m_volumes->roots()) {
            const DriveType type = m_volumes->driveType(root);
            if (type == DriveType::Unknown || type == DriveType::NoRootDir || !IsDriveReady(root))
                continue;
            const QString dcim = withTrailingSlash(root) + QStringLiteral("DCIM");
            if (isFolderPath(dcim)) {
                setSource(dcim + u'/');
                UpdateVolumeLabel();
                m_remDrive = root;
                m_noCard = false;
                card = true;
                break;
            }
            m_noCard = true;
            m_remDrive.clear();
        }
        if (const QString camera = connectedCamera(); !card && !camera.isEmpty()) {
            setSource(camera);
            UpdateVolumeLabel();
            m_remDrive = camera;
            m_noCard = false;
        }
    } else {
        const QString path = QDir::cleanPath(absolutePath(drive));
        // The drive decides, not the folder: a folder that is not there is taken as given, and its count
        // says so.
        if (IsDriveReady(m_volumes->rootOf(path))) {
            const QString dcim = withTrailingSlash(path) + QStringLiteral("DCIM");
            if (isFolderPath(dcim)) {
                setSource(dcim + u'/');
                UpdateVolumeLabel();
            } else {
                setSource(withTrailingSlash(path));
            }
            takenAsGiven = true;
        }
        m_remDrive = drive;
    }
    if (m_noCard) {
        // Its drive answered, which is what makes a given source ready even before its folder exists.
        if (!takenAsGiven && !isSourceDriveReady())
            setSource(picturesFolder());
        UpdateVolumeLabel();
        m_noCard = false;
    }
    if (countWithDialog)
        m_counting->countSourceWithDialog();
    else
        m_counting->countSource();
}

void CardDetection::StartupCheckSourceDrive()
{
    if (!m_argument.isEmpty()) {
        m_remDrive = m_argument;
        DetectSourceDrive(m_argument, true);
    } else {
        m_remDrive.clear();
        DetectSourceDrive(QString(), true);
    }
}

void CardDetection::tick()
{
    // Never a second, nested scan inside a walk or a run: try again once it has ended.
    if (busy()) {
        m_deferredTick.start();
        return;
    }
    m_deferredTick.stop();
    const QString root = ScanDrivesForDcim();
    if (!root.isEmpty()) {
        m_remDrive = root;
        m_watch->start();
        return;
    }
    if (!isSourceDriveReady()) {
        const QString pictures = picturesFolder();
        setSource(pictures);
        m_settings->SourceEditText = pictures;
        DetectSourceDrive(QString(), false);
    }
}

bool CardDetection::isSystemRoot(const QString &folder) const
{
    return trimmedRoot(folder) == trimmedRoot(m_volumes->systemRoot());
}

void CardDetection::takeChosenFolder(const QString &folder)
{
    m_watch->stop();
    m_remDrive.clear();
    QString source = withTrailingSlash(folder);
    if (isFolderPath(source + QStringLiteral("DCIM")))
        source += QStringLiteral("DCIM/");
    setSource(source);
    m_settings->SourceEditText = source;
    StartupCheckSourceDrive();
}

} // namespace vantora
