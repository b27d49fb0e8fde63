#pragma once

#include <QObject>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QWidget;

namespace vantora {

struct SettingsRecord;

// The options beyond the original set of the main window: the skip of files an earlier import copied
// ("SkipImportedCheckBox"), the read-back of every copy ("VerifyCheckBox"), the eject of the card after
// a run ("EjectCheckBox"), one name for the files of a shot ("KeepShotsTogetherCheckBox") and the minutes
// added to the shooting dates a camera's clock gave ("ClockOffsetSpinEdit"), the second copy under a backup
// folder ("BackupCheckBox", "BackupDirEdit", "BackupDirButton") and the list of content hashes
// ("ManifestCheckBox"). They sit in the free space below the progress area and above the run's buttons,
// after every other control in the tab order, and are off by default.
class ImportOptions final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImportOptions)

public:
    ImportOptions(QWidget *mainForm, SettingsRecord *settings, QObject *parent = nullptr);

    // The boxes from the settings, after they were loaded.
    void applySettings();

Q_SIGNALS:
    // The skip box changed: the count must be made again.
    void skipImportedToggled();

private:
    SettingsRecord *m_settings;
    QCheckBox *m_skipImported;
    QCheckBox *m_verify;
    QCheckBox *m_eject;
    QCheckBox *m_keepShotsTogether;
    QSpinBox *m_clockOffset;
    QCheckBox *m_backup;
    QLineEdit *m_backupDir;
    QPushButton *m_backupDirButton;
    QCheckBox *m_manifest;
};

} // namespace vantora
