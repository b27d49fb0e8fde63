#include "transfer/widgets/bytesprogressview.h"

#include <QLabel>

namespace vantora {

BytesProgressView::BytesProgressView(TransferView &view, QWidget *window)
    : ForwardingTransferView(view), m_label(new QLabel(window))
{
    m_label->setObjectName(QStringLiteral("BytesLabel"));
    m_label->setGeometry(196, 460, 237, 20);
    m_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // A pixel smaller than the window's text, so a run of gigabytes fits beside the file count.
    QFont font = m_label->font();
    font.setPixelSize(11);
    m_label->setFont(font);
}

void BytesProgressView::setBytesText(const QString &text)
{
    if (m_label)
        m_label->setText(text);
}

} // namespace vantora
