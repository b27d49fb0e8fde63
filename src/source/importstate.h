#pragma once

#include <QObject>
#include <QString>

namespace vantora {

// The main window's state that more than one area reads: the source shown and its volume, the counts,
// the progress row's status line and worked count, and whether a run is going. The controllers write it;
// the window's labels follow its signals, so nothing is ever read back from a label. Each signal is
// emitted when its value changes.
class ImportState final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImportState)

public:
    // How soon the window draws a new status line: with the next events, or at once (before a long step
    // that pumps none).
    enum class Drawing
    {
        WithEvents,
        AtOnce,
    };
    Q_ENUM(Drawing)

    explicit ImportState(QObject *parent = nullptr) : QObject(parent) {}

    // The source folder (SourceEdit1).
    QString sourceFolder() const { return m_sourceFolder; }
    void setSourceFolder(const QString &folder);
    // The label of the source's volume (VolLabel), empty when it does not answer.
    QString volumeLabel() const { return m_volumeLabel; }
    void setVolumeLabel(const QString &label);
    // The last finished count of the source (FNumLabel1, FNumLabel).
    qint64 fileCount() const { return m_fileCount; }
    void setFileCount(qint64 count);
    // Files the last finished count left out as imported.
    qint64 skippedImportedCount() const { return m_skippedImportedCount; }
    void setSkippedImportedCount(qint64 count);
    // The progress row's status line (StatusLabel).
    QString statusText() const { return m_statusText; }
    void setStatusText(const QString &text, Drawing drawing = Drawing::WithEvents);
    // The progress row's count of files copied so far (WorkPLabel).
    QString workedText() const { return m_workedText; }
    void setWorkedText(const QString &text);
    // From a run's first check to the end of its after-transfer launch.
    bool runInProgress() const { return m_runInProgress; }
    void setRunInProgress(bool running);

Q_SIGNALS:
    void sourceFolderChanged(const QString &folder);
    void volumeLabelChanged(const QString &label);
    void fileCountChanged(qint64 count);
    void skippedImportedCountChanged(qint64 count);
    void statusTextChanged(const QString &text, vantora::ImportState::Drawing drawing);
    void workedTextChanged(const QString &text);
    void runInProgressChanged(bool running);

private:
    QString m_sourceFolder;
    QString m_volumeLabel;
    qint64 m_fileCount = 0;
    qint64 m_skippedImportedCount = 0;
    QString m_statusText;
    QString m_workedText = QStringLiteral("0");
    bool m_runInProgress = false;
};

} // namespace vantora
