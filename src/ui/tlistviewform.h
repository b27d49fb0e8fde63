#pragma once

#include <QDialog>

class QLabel;
class QListWidget;

namespace vantora {

// The target list window: every file of the next run, with the last count below.
class TListViewForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TListViewForm)

public:
    explicit TListViewForm(QWidget *parent = nullptr);

    QListWidget *ListBox1;
    QLabel *StaticText1;
};

} // namespace vantora
