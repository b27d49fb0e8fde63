#pragma once

#include "transfer/transferview.h"

#include <QPointer>

class QLabel;
class QWidget;

namespace vantora {

// Adds the run's bytes, speed and time left to another view: a label ("BytesLabel") right of the file
// count in the main window's progress area, blank while no run is going.
class BytesProgressView final : public ForwardingTransferView
{
public:
    BytesProgressView(TransferView &view, QWidget *window);

    void setBytesText(const QString &text) override;

private:
    QPointer<QLabel> m_label;
};

} // namespace vantora
