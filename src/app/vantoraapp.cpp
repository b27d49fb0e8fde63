#include "app/vantoraapp.h"

#include "app/aftertransferapp.h"
#include "app/importoptions.h"
#include "app/runend.h"
#include "app/transferrun.h"
#include "history/importhistory.h"
#include "metadata/texifinfo.h"
#include "naming/widgets/namesettingscontroller.h"
#include "platform/cameras.h"
#include "platform/prompt.h"
#include "platform/volumes.h"
#include "platform/volumeswatcher.h"
#include "routing/widgets/extensionroutingcontroller.h"
#include "settings/settingsstore.h"
#include "source/widgets/sourcecontroller.h"
#include "system/registrationswitch.h"
#include "system/widgets/systemhandlers.h"
#include "thumbnails/widgets/thumbnailcontroller.h"
#include "ui/keyfilter.h"
#include "ui/taboutform.h"
#include "ui/tcalenderform.h"
#include "ui/teditform.h"
#include "ui/textform.h"
#include "ui/tfilecountform.h"
#include "ui/tlistviewform.h"
#include "ui/tmainform.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace vantora {

namespace {

// The device import's neighbours as the main window has them.
class WindowImportNeighbours final : public DeviceImportNeighbours
{
public:
    WindowImportNeighbours(const ExtensionRoutingController *routing, NameSettingsController *naming,
                           const AfterTransferApp *afterTransfer)
        : m_routing(routing), m_naming(naming), m_afterTransfer(afterTransfer)
    {
    }

    QString destinationFolder() const override { return m_routing->destinationFolder(); }
    bool resetsCountersAfterRun() const override { return m_naming->resetsCountersAfterRun(); }
    QString afterTransferProgram() const override { return m_afterTransfer->enabledProgram(); }
    void runningNumbersReset() override { m_naming->resetCounters(); }

private:
    const ExtensionRoutingController *m_routing;
    NameSettingsController *m_naming;
    const AfterTransferApp *m_afterTransfer;
};

} // namespace

VantoraApp::VantoraApp(const QStringList &arguments, Volumes *volumes, Cameras *cameras, QObject *parent)
    : QObject(parent), m_arguments(arguments), m_settings(SettingsRecord::defaults())
{
    // The windows, once and in this order.
    m_mainForm = std::make_unique<TMainForm>();
    m_calenderForm = std::make_unique<TCalenderForm>(m_mainForm.get());
    m_extForm = std::make_unique<TExtForm>(m_mainForm.get());
    m_aboutForm = std::make_unique<TAboutForm>(m_mainForm.get());
    m_editForm = std::make_unique<TEditForm>(m_mainForm.get());
    m_fileCountForm = std::make_unique<TFileCountForm>();
    m_listViewForm = std::make_unique<TListViewForm>(m_mainForm.get());

    TMainForm *f = m_mainForm.get();
    auto *exifInfo = new TExifInfo(f); // nothing calls it; it sits on the window with its defaults
    exifInfo->setObjectName(QStringLiteral("ExifInfo1"));
    m_afterTransferApp = std::make_unique<AfterTransferApp>(f->afterTransferArea(), &m_settings);
    m_routing =
        std::make_unique<ExtensionRoutingController>(f->destinationArea(), m_extForm.get(), &m_settings);
    m_naming = std::make_unique<NameSettingsController>(f->namingArea(), m_editForm.get(),
                                                        m_calenderForm.get(), &m_settings);
    m_system = std::make_unique<SystemHandlers>(f->systemArea(), m_store, m_settings);
    m_system->setNeighbours(
        std::make_unique<WindowImportNeighbours>(m_routing.get(), m_naming.get(), m_afterTransferApp.get()));
    if (!volumes) {
        m_ownVolumes = createSystemVolumes();
        volumes = m_ownVolumes.get();
        m_volumesWatcher = std::make_unique<VolumesWatcher>();
        if (!cameras) {
            m_ownCameras = createSystemCameras();
            cameras = m_ownCameras.get();
        }
    }
    m_source = std::make_unique<SourceController>(f->sourceArea(), &m_state, m_fileCountForm.get(),
                                                  m_listViewForm.get(), &m_settings, volumes);
    m_source->setNeighbours(std::make_unique<RoutingNeighbours>(m_routing.get()));
    m_source->setCameras(cameras);
    m_routing->setSourceFolderQuestion([this] { return m_source->sourceFolder(); });
    m_afterTransferApp->setFirstRowFolderQuestion([this] { return m_routing->firstRowFolder(); });
    m_afterTransferApp->setWatchRestart([this] { m_source->startWatch(); });
    m_source->attachExtensionDialog(m_extForm.get());
    new ThumbnailController(m_listViewForm.get(), m_source.get(), QString(), this);
    if (m_volumesWatcher)
        connect(m_volumesWatcher.get(), &VolumesWatcher::mountsChanged, m_source.get(),
                &SourceController::mountTableChanged);
    const QString first = arguments.value(0);
    if (first != QLatin1String("/reg") && first != QLatin1String("/unreg"))
        m_source->setCommandLineArgument(first);
    m_transferRun = std::make_unique<TransferRun>(f->transferArea(), &m_state, &m_settings, m_source.get(),
                                                  m_routing.get(), m_naming.get(), m_afterTransferApp.get());
    // Created last, so they come after every other control in the tab order.
    m_importOptions = std::make_unique<ImportOptions>(f, &m_settings);
    connect(m_importOptions.get(), &ImportOptions::skipImportedToggled, m_source.get(),
            &SourceController::recount);
    m_runEnd = std::make_unique<RunEndActions>(f, &m_settings, volumes);
    connect(m_transferRun.get(), &TransferRun::runEnded, m_runEnd.get(), &RunEndActions::runEnded);
    m_source->setImportHistory([this] { return history(); });
    m_options = f->optionsArea();
    connect(m_options.DelCheckBox, &QCheckBox::toggled, this, &VantoraApp::DelCheckBoxClick);
    connect(m_options.UwagakiCheckBox, &QCheckBox::toggled, this, &VantoraApp::UwagakiCheckBoxClick);
    connect(m_options.BitBtn10, &QPushButton::clicked, this, &VantoraApp::BitBtn10Click);
    connect(f, &TMainForm::firstShown, this, &VantoraApp::FormShow);
    f->closeQuery = [this] { return FormCloseQuery(); };
}

VantoraApp::~VantoraApp() = default;

void VantoraApp::runStartup()
{
    m_source->startupBegin();
    LoadSettings();
    ApplySettingsToWindows();

    switch (RunRegistrationSwitch(m_arguments, m_store)) {
    case RegistrationSwitch::StayOpen:
        return; // a registry value could not be written: the instance stays, without the watch
    case RegistrationSwitch::CloseWindow:
        // The new instance takes over; close once the show has finished (the close saves the settings).
        // The source check and the watch are left out: this instance ends at once, its relaunched
        // successor runs both, and a count here would pump events and let the queued close cut into its
        // walk. ("/reg" is never taken for a source: the switches are kept from the source detection.)
        QTimer::singleShot(0, m_mainForm.get(), &QWidget::close);
        return;
    case RegistrationSwitch::None:
        break;
    }
    m_source->startupFinish();
}

bool VantoraApp::FormCloseQuery()
{
    SaveSettings();
    // During a run the settings are saved now; the window closes when the run is over.
    return !m_transferRun->closeRequestedDuringRun();
}

void VantoraApp::LoadSettings()
{
    const LoadOutcome outcome = vantora::LoadSettings(m_store, m_settings);
    for (const QString &notice : m_store.takeNotices())
        prompt().message(notice);
    if (outcome == LoadOutcome::Partial)
        prompt().message(partialSettingsMessage());
}

void VantoraApp::ApplySettingsToWindows()
{
    m_routing->keepFolderFields();
    m_source->setSourceFolder(m_settings.SourceEditText);
    m_options.UwagakiCheckBox->setChecked(m_settings.UwagakiChecked);
    m_options.DelCheckBox->setChecked(m_settings.DelChecked);
    m_routing->applySettingsToControls();
    m_naming->applySettingsToControls();
    m_afterTransferApp->applySettings();
    m_importOptions->applySettings();

    // Once more, so previews and enabled states follow the loaded values even where nothing changed.
    m_naming->runStartupHandlers();
    m_afterTransferApp->ExecCheckBoxClick();

    // The type boxes' handlers have moved folder settings; put them back, then build the table.
    m_routing->restoreFolderFields();
    m_routing->rebuildTable();
}

ImportHistory *VantoraApp::history()
{
    if (!m_history) {
        m_history = std::make_unique<SqliteImportHistory>(m_historyPath.isEmpty() ? defaultHistoryPath()
                                                                                  : m_historyPath);
    }
    // The history works behind every run; it speaks only to a user who asked for its options.
    if (!m_historyNoticeShown && !m_history->notice().isEmpty() &&
        (m_settings.SkipImportedChecked || m_settings.VerifyChecked)) {
        m_historyNoticeShown = true;
        prompt().message(m_history->notice());
    }
    return m_history.get();
}

void VantoraApp::SaveSettings()
{
    if (!vantora::SaveSettings(m_store, m_settings))
        prompt().message(QStringLiteral("設定を保存できませんでした.\r\n") +
                         m_store.filePath(RegistryRoot::CurrentUser));
}

void VantoraApp::DelCheckBoxClick()
{
    m_settings.DelChecked = m_options.DelCheckBox->isChecked();
}

void VantoraApp::UwagakiCheckBoxClick()
{
    m_settings.UwagakiChecked = m_options.UwagakiCheckBox->isChecked();
}

void VantoraApp::BitBtn10Click()
{
    m_aboutForm->exec();
}

} // namespace vantora
