#include "source/importstate.h"

namespace vantora {

void ImportState::setSourceFolder(const QString &folder)
{
    if (folder == m_sourceFolder)
        return;
    m_sourceFolder = folder;
    Q_EMIT sourceFolderChanged(folder);
}

void ImportState::setVolumeLabel(const QString &label)
{
    if (label == m_volumeLabel)
        return;
    m_volumeLabel = label;
    Q_EMIT volumeLabelChanged(label);
}

void ImportState::setFileCount(qint64 count)
{
    if (count == m_fileCount)
        return;
    m_fileCount = count;
    Q_EMIT fileCountChanged(count);
}

void ImportState::setSkippedImportedCount(qint64 count)
{
    if (count == m_skippedImportedCount)
        return;
    m_skippedImportedCount = count;
    Q_EMIT skippedImportedCountChanged(count);
}

void ImportState::setStatusText(const QString &text, Drawing drawing)
{
    if (text == m_statusText)
        return;
    m_statusText = text;
    Q_EMIT statusTextChanged(text, drawing);
}

void ImportState::setWorkedText(const QString &text)
{
    if (text == m_workedText)
        return;
    m_workedText = text;
    Q_EMIT workedTextChanged(text);
}

void ImportState::setRunInProgress(bool running)
{
    if (running == m_runInProgress)
        return;
    m_runInProgress = running;
    Q_EMIT runInProgressChanged(running);
}

} // namespace vantora
