#pragma once

#include <QString>

namespace vantora {

// What the transfer engine shows while it runs: the main window's progress area, or a recorder in tests
// and vantora-import. Write-only: the engine keeps its own numbers. Everything is called on the one thread
// that runs the transfer.
class TransferView
{
public:
    virtual ~TransferView() = default;

    virtual void setStatusText(const QString &text) = 0; // StatusLabel
    virtual void setFileName(const QString &name) = 0;   // FNameLabel
    virtual void setWorkedText(const QString &text) = 0; // WorkPLabel: files copied so far
    virtual void setFileProgress(int percent) = 0;       // ProgressBar1, 0..100
    virtual void setOverallProgress(int percent) = 0;    // AllGauge, 0..100
    // The template dialog's spin edits follow the running numbers the run writes.
    virtual void showFolderCounter(qint32 value) = 0; // DirRenbanSpinEdit
    virtual void showFileCounter(qint32 value) = 0;   // FileRenbanSpinEdit
    // Runs pending events; the Cancel button reaches a running copy only through this.
    virtual void processEvents() = 0;
    // Bytes done of the run's total, speed and time left; empty when no run is going.
    virtual void setBytesText(const QString &text) { Q_UNUSED(text) }
};

// Passes everything on to another view; a subclass changes what it adds to.
class ForwardingTransferView : public TransferView
{
public:
    explicit ForwardingTransferView(TransferView &view) : m_view(view) {}

    void setStatusText(const QString &text) override { m_view.setStatusText(text); }
    void setFileName(const QString &name) override { m_view.setFileName(name); }
    void setWorkedText(const QString &text) override { m_view.setWorkedText(text); }
    void setFileProgress(int percent) override { m_view.setFileProgress(percent); }
    void setOverallProgress(int percent) override { m_view.setOverallProgress(percent); }
    void showFolderCounter(qint32 value) override { m_view.showFolderCounter(value); }
    void showFileCounter(qint32 value) override { m_view.showFileCounter(value); }
    void processEvents() override { m_view.processEvents(); }
    void setBytesText(const QString &text) override { m_view.setBytesText(text); }

protected:
    TransferView &m_view;
};

} // namespace vantora
