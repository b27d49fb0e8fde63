#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace vantora {

// A titled group of radio buttons in columns with one selected item, addressed by its index.
class RadioGroup final : public QGroupBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RadioGroup)

public:
    RadioGroup(const QString &title, const QStringList &items, int columns, QWidget *parent = nullptr);

    int itemIndex() const;
    // Emits itemIndexChanged only when the index changes, as a user's click would.
    void setItemIndex(int index);
    QList<QAbstractButton *> buttons() const { return m_group.buttons(); }

Q_SIGNALS:
    void itemIndexChanged(int index);

private:
    QButtonGroup m_group;
};

} // namespace vantora
