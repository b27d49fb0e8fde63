#pragma once

#include "ui/mainformareas.h"

#include <QWidget>

#include <functional>

class QTableWidget;

namespace vantora {

// The main window's layout: every control under its own name, in its design-time state. Behaviour is
// wired by the areas that own the controls; the form only reports its first show and close requests.
class TMainForm final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMainForm)

public:
    explicit TMainForm(QWidget *parent = nullptr);

    // Asked on every close request (close button or close box); false keeps the window open.
    std::function<bool()> closeQuery;

    // Each area's controls, for the controller that owns the area (see mainformareas.h).
    const SourceArea &sourceArea() const { return m_source; }
    const DestinationArea &destinationArea() const { return m_destination; }
    const NamingArea &namingArea() const { return m_naming; }
    const AfterTransferArea &afterTransferArea() const { return m_afterTransfer; }
    const TransferArea &transferArea() const { return m_transfer; }
    const SystemArea &systemArea() const { return m_system; }
    const OptionsArea &optionsArea() const { return m_options; }

    // The two filter entries of the after-transfer program picker.
    static QStringList openDialog1Filters();

Q_SIGNALS:
    // Emitted once, when the window is first shown: the start-up sequence runs from here.
    void firstShown();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    SourceArea m_source;
    DestinationArea m_destination;
    NamingArea m_naming;
    AfterTransferArea m_afterTransfer;
    TransferArea m_transfer;
    SystemArea m_system;
    OptionsArea m_options;
    bool m_shown = false;
};

// Sets up a two-column extension table ("拡張子", "転送先フォルダ") with whole-row selection.
void setUpExtensionTable(QTableWidget *table, int keyWidth, int folderWidth);

} // namespace vantora
