#include "transfer/widgets/bytesprogressview.h"

#include <QLabel>

namespace vantora {

BytesProgressView::BytesProgressView(TransferView &view, QWidget *window)
    : m_view(view), m_label(new QLabel(window))
{
    m_label->setObjectName(QStringLiteral("BytesLabel"));
    m_label->setGeometry(196, 460, 237, 20);
    m_label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void BytesProgressView::setBytesText(const QString &text)
{
    if (m_label)
        m_label->setText(text);
}

} // namespace vantora
