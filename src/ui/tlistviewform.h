#pragma once

#include <QDialog>

class QLabel;
class QListView;
class QListWidget;
class QPushButton;

namespace vantora {

// The target list window: every file of the next run, with the last count below. ThumbnailToggle shows the
// same files as a grid of thumbnails (ThumbnailGrid) in place of the list.
class TListViewForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TListViewForm)

public:
    explicit TListViewForm(QWidget *parent = nullptr);

    QListWidget *ListBox1;
    QLabel *StaticText1;
    QPushButton *ThumbnailToggle;
    QListView *ThumbnailGrid;
};

} // namespace vantora
