#include "thumbnails/widgets/thumbnailcontroller.h"

#include "source/widgets/sourcecontroller.h"
#include "thumbnails/thumbnailpool.h"
#include "thumbnails/widgets/thumbnailmodel.h"
#include "ui/tlistviewform.h"

#include <QEvent>
#include <QListView>
#include <QListWidget>
#include <QPushButton>

namespace vantora {

ThumbnailController::ThumbnailController(TListViewForm *form, SourceController *source, const QString &helper,
                                         QObject *parent)
    : QObject(parent), m_form(form), m_model(new ThumbnailModel(this)),
      m_pool(new ThumbnailPool(helper.isEmpty() ? ThumbnailPool::installedHelper() : helper, this))
{
    const QSize icon = m_form->ThumbnailGrid->iconSize();
    m_model->setIconSize(icon);
    // Made at the shown size: the helpers' decoders skip most of the work, and so does this side.
    m_pool->setThumbnailSide(qMax(icon.width(), icon.height()));
    m_form->ThumbnailGrid->setModel(m_model);
    connect(source, &SourceController::listFilled, this, &ThumbnailController::setFiles);
    connect(m_form->ThumbnailToggle, &QPushButton::toggled, this, &ThumbnailController::toggled);
    connect(m_pool, &ThumbnailPool::made, this, &ThumbnailController::made);
    m_form->installEventFilter(this);
}

ThumbnailController::~ThumbnailController()
{
    m_pool->stop();
}

void ThumbnailController::setTimeLimit(int ms)
{
    m_pool->setTimeLimit(ms);
}

bool ThumbnailController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_form) {
        if (event->type() == QEvent::Show) {
            if (m_form->ThumbnailToggle->isChecked())
                startGrid();
            else
                m_pool->warmUp(); // the helpers start while the list is read: the grid is then quick to come
        } else if (event->type() == QEvent::Hide) {
            stopGrid();
            m_paths.clear();
        }
    }
    return QObject::eventFilter(watched, event);
}

void ThumbnailController::setFiles(const QStringList &paths)
{
    m_paths = paths;
    if (m_form->isVisible() && m_form->ThumbnailToggle->isChecked())
        startGrid();
}

void ThumbnailController::toggled(bool grid)
{
    m_form->ListBox1->setVisible(!grid);
    m_form->ThumbnailGrid->setVisible(grid);
    if (grid && m_form->isVisible())
        startGrid();
    else if (!grid)
        stopGrid();
}

void ThumbnailController::startGrid()
{
    if (m_pool->pending() > 0)
        m_pool->stop(); // busy with an earlier grid; idle helpers are kept
    m_pool->warmUp();
    m_model->setFiles(m_paths);
    // In the list's order, so the first screen comes first.
    for (int row = 0; row < m_paths.size(); ++row) {
        if (m_model->kindAt(row) == ThumbnailKind::Video || m_model->kindAt(row) == ThumbnailKind::Audio)
            m_model->setNone(row); // no decoder of ours reads them: the icon at once
        else
            m_pool->add(row, m_paths.at(row));
    }
    if (!m_paths.isEmpty() && m_model->madeCount() == m_model->rowCount())
        Q_EMIT allMade();
}

void ThumbnailController::stopGrid()
{
    m_pool->stop(); // nothing asked for before comes after this
    m_model->clear();
}

void ThumbnailController::made(int id, const QImage &image, const QSize &sourceSize)
{
    m_model->setThumbnail(id, image, sourceSize);
    if (m_model->madeCount() == m_model->rowCount())
        Q_EMIT allMade();
}

} // namespace vantora
