#include "ui/tlistviewform.h"

#include "ui/formkit.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantora {

TListViewForm::TListViewForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TListViewForm"));
    setWindowTitle(QStringLiteral("Vantix - 転送対象ファイル一覧"));
    setFont(formFont());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    resize(400, 550);
    setSizeGripEnabled(true);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    // Tens of thousands of paths: one row height for all keeps filling and scrolling fast.
    ListBox1->setUniformItemSizes(true);
    StaticText1 = new QLabel(this);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText1->setAlignment(Qt::AlignCenter);
    StaticText1->setFrameStyle(QFrame::Box | QFrame::Plain);
    ThumbnailToggle = new QPushButton(QStringLiteral("サムネイル"), this);
    ThumbnailToggle->setObjectName(QStringLiteral("ThumbnailToggle"));
    ThumbnailToggle->setCheckable(true);
    ThumbnailGrid = new QListView(this);
    ThumbnailGrid->setObjectName(QStringLiteral("ThumbnailGrid"));
    ThumbnailGrid->setViewMode(QListView::IconMode);
    ThumbnailGrid->setMovement(QListView::Static);
    ThumbnailGrid->setResizeMode(QListView::Adjust);
    ThumbnailGrid->setUniformItemSizes(true);
    ThumbnailGrid->setIconSize(QSize(112, 112));
    ThumbnailGrid->setGridSize(QSize(124, 140));
    ThumbnailGrid->setTextElideMode(Qt::ElideMiddle);
    ThumbnailGrid->setSelectionMode(QAbstractItemView::NoSelection);
    ThumbnailGrid->hide();

    auto *footer = new QHBoxLayout;
    footer->setContentsMargins(0, 0, 0, 0);
    footer->setSpacing(0);
    footer->addWidget(StaticText1, 1);
    footer->addWidget(ThumbnailToggle);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ListBox1, 1);
    layout->addWidget(ThumbnailGrid, 1);
    layout->addLayout(footer);
}

} // namespace vantora
