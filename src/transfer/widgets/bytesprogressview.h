#pragma once

#include "transfer/transferview.h"

#include <QPointer>

class QLabel;
class QWidget;

namespace vantora {

// Adds the run's bytes, speed and time left to another view: a label ("BytesLabel") right of the file
// count in the main window's progress area, blank while no run is going.
class BytesProgressView final : public TransferView
{
public:
    BytesProgressView(TransferView &view, QWidget *window);

    void setStatusText(const QString &text) override { m_view.setStatusText(text); }
    void setFileName(const QString &name) override { m_view.setFileName(name); }
    void setWorkedText(const QString &text) override { m_view.setWorkedText(text); }
    void setFileProgress(int percent) override { m_view.setFileProgress(percent); }
    void setOverallProgress(int percent) override { m_view.setOverallProgress(percent); }
    void showFolderCounter(qint32 value) override { m_view.showFolderCounter(value); }
    void showFileCounter(qint32 value) override { m_view.showFileCounter(value); }
    void processEvents() override { m_view.processEvents(); }
    void setBytesText(const QString &text) override;

private:
    TransferView &m_view;
    QPointer<QLabel> m_label;
};

} // namespace vantora
