#include "ui/radiogroup.h"

#include <QGridLayout>
#include <QRadioButton>

namespace vantora {

RadioGroup::RadioGroup(const QString &title, const QStringList &items, int columns, QWidget *parent)
    : QGroupBox(title, parent)
{
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items.at(i), this);
        b->setObjectName(QStringLiteral("%1Item%2").arg(title).arg(i));
        m_group.addButton(b, i);
        layout->addWidget(b, i / columns, i % columns);
    }
    m_group.setExclusive(true);
    connect(&m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            Q_EMIT itemIndexChanged(id);
    });
}

int RadioGroup::itemIndex() const
{
    return m_group.checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (QAbstractButton *b = m_group.button(index))
        b->setChecked(true);
}

} // namespace vantora
