#include "thumbnails/widgets/thumbnailcontroller.h"

#include "platform/camera.h"
#include "platform/memorytrim.h"
#include "platform/nativefile.h"
#include "platform/pathops.h"
#include "source/camerasource.h"
#include "source/widgets/sourcecontroller.h"
#include "thumbnails/thumbnailpool.h"
#include "thumbnails/widgets/thumbnailmodel.h"
#include "ui/tlistviewform.h"

#include <QAbstractButton>
#include <QEvent>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace vantora {

ThumbnailController::ThumbnailController(TListViewForm *form, SourceController *source, const QString &helper,
                                         QObject *parent)
    : QObject(parent), m_form(form), m_source(source), m_formObject(form),
      m_viewport(form->ThumbnailGrid->viewport()), m_toggle(form->ThumbnailToggle),
      m_model(new ThumbnailModel(this)),
      m_pool(new ThumbnailPool(helper.isEmpty() ? ThumbnailPool::installedHelper() : helper, this)),
      m_requestTimer(new QTimer(this))
{
    const QSize icon = m_form->ThumbnailGrid->iconSize();
    m_model->setIconSize(icon);
    // Made at the shown size: the helpers' decoders skip most of the work, and so does this side.
    m_pool->setThumbnailSide(qMax(icon.width(), icon.height()));
    m_form->ThumbnailGrid->setModel(m_model);
    connect(source, &SourceController::listFilled, this, &ThumbnailController::setFiles);
    connect(m_form->ThumbnailToggle, &QPushButton::toggled, this, &ThumbnailController::toggled);
    connect(m_pool, &ThumbnailPool::made, this, &ThumbnailController::made);
    m_requestTimer->setSingleShot(true);
    m_requestTimer->setInterval(0);
    connect(m_requestTimer, &QTimer::timeout, this, &ThumbnailController::requestAroundView);
    // The viewport moves with the scroll bar, and a new layout or size changes its range.
    QScrollBar *bar = m_form->ThumbnailGrid->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, m_requestTimer, qOverload<>(&QTimer::start));
    connect(bar, &QScrollBar::rangeChanged, m_requestTimer, qOverload<>(&QTimer::start));
    m_viewport->installEventFilter(this);
    m_form->installEventFilter(this);
}

ThumbnailController::~ThumbnailController()
{
    m_pool->stop();
    stopCameraPreviews();
}

void ThumbnailController::setTimeLimit(int ms)
{
    m_pool->setTimeLimit(ms);
}

bool ThumbnailController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_viewport && event->type() == QEvent::Resize) {
        m_requestTimer->start();
    } else if (watched == m_formObject) {
        if (event->type() == QEvent::Show) {
            if (m_toggle->isChecked()) {
                startGrid();
            } else {
                m_pool->warmUp(); // a helper takes longer to start than to make a screen of thumbnails
                m_model->prepareIcons();
            }
        } else if (event->type() == QEvent::Hide) {
            stopGrid();
            m_paths = QStringList(); // clear() would keep the capacity of tens of thousands
            // After the source controller emptied its list too, and the helpers' buffers went.
            QTimer::singleShot(0, this, [] { releaseFreedMemory(); });
        }
    }
    return QObject::eventFilter(watched, event);
}

void ThumbnailController::setFiles(const QStringList &paths)
{
    m_paths = paths;
    m_cameraGrid = !paths.isEmpty() && IsCameraPath(paths.first());
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
    stopCameraPreviews();
    m_pool->warmUp();
    m_model->setFiles(m_paths);
    for (int row = 0; row < m_paths.size(); ++row) {
        if (m_model->kindAt(row) == ThumbnailKind::Audio)
            m_model->setNone(row); // no picture to make: the icon at once
    }
    requestAroundView();
    m_requestTimer->start(); // again once the grid is laid out
    if (!m_paths.isEmpty() && m_model->madeCount() == m_model->rowCount())
        Q_EMIT allMade();
}

void ThumbnailController::stopGrid()
{
    m_requestTimer->stop();
    m_pool->stop(); // nothing asked for before comes after this
    stopCameraPreviews();
    m_model->clear();
}

std::pair<int, int> ThumbnailController::visibleRows() const
{
    const QListView *grid = m_form->ThumbnailGrid;
    const int rows = m_model->rowCount();
    if (rows == 0 || grid->visualRect(m_model->index(0)).isEmpty())
        return {0, rows - 1 < 0 ? -1 : 0}; // not laid out yet: the top
    // Laid out row by row: the rows' tops never decrease.
    const auto firstWhere = [&](auto pred) {
        int lo = 0;
        int hi = rows;
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (pred(grid->visualRect(m_model->index(mid))))
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    };
    const int height = grid->viewport()->height();
    const int first = firstWhere([](const QRect &r) { return r.bottom() >= 0; });
    const int last = firstWhere([height](const QRect &r) { return r.top() >= height; }) - 1;
    return {qMin(first, rows - 1), qMax(qMin(first, rows - 1), last)};
}

void ThumbnailController::requestAroundView()
{
    const int rows = m_model->rowCount();
    if (rows == 0)
        return;
    const auto [first, last] = visibleRows();
    // What is shown, then two rows ahead for one behind (scrolling goes on the way it went, mostly down),
    // until the cache is full.
    std::vector<int> order;
    for (int row = first; row <= last; ++row)
        order.push_back(row);
    int ahead = last + 1;
    int behind = first - 1;
    const int limit = std::max(m_model->cacheLimit(), last - first + 1);
    while (int(order.size()) < limit && (ahead < rows || behind >= 0)) {
        for (int i = 0; i < 2 && ahead < rows && int(order.size()) < limit; ++i)
            order.push_back(ahead++);
        if (behind >= 0 && int(order.size()) < limit)
            order.push_back(behind--);
    }
    m_model->setWindow(behind + 1, ahead - 1);
    std::vector<ThumbnailPool::Request> wanted;
    for (int row : order) {
        if (m_model->stateAt(row) == ThumbnailModel::State::Pending)
            wanted.push_back({row, m_paths.at(row)});
    }
    if (m_cameraGrid) {
        std::vector<int> rows;
        for (const ThumbnailPool::Request &file : wanted)
            rows.push_back(file.id);
        requestFromCamera(rows);
        return;
    }
    m_pool->setQueue(std::move(wanted));
}

void ThumbnailController::requestFromCamera(const std::vector<int> &rows)
{
    std::vector<ThumbnailPool::Request> arrived;
    std::vector<CameraPreviewRequest> wanted;
    for (int row : rows) {
        if (const auto it = m_previewFds.constFind(row); it != m_previewFds.cend())
            arrived.push_back({row, descriptorPath(*it)});
        else
            wanted.push_back({row, m_paths.at(row)});
    }
    m_pool->setQueue(std::move(arrived));
    // Previews no helper will read now: made again when their rows come back into view.
    for (auto it = m_previewFds.begin(); it != m_previewFds.end();) {
        if (m_pool->holds(it.key())) {
            ++it;
        } else {
            closeNativeFile(it.value());
            it = m_previewFds.erase(it);
        }
    }
    CameraSource *camera = m_source ? m_source->cameraSource() : nullptr;
    if (!camera) { // the camera went away: its files keep their icons
        for (const CameraPreviewRequest &file : wanted)
            made(file.id, QImage(), QSize());
        return;
    }
    const quint64 generation = m_cameraRequests;
    camera->requestPreviews(std::move(wanted), this, [this, generation](int row, int fd) {
        if (generation != m_cameraRequests) {
            if (fd >= 0)
                closeNativeFile(fd);
            return;
        }
        previewArrived(row, fd);
    });
}

void ThumbnailController::previewArrived(int row, int fd)
{
    if (row >= m_model->rowCount() || m_model->stateAt(row) != ThumbnailModel::State::Pending) {
        if (fd >= 0)
            closeNativeFile(fd);
        return;
    }
    if (fd < 0) {
        made(row, QImage(), QSize());
        return;
    }
    // A row asked for again before its first preview came has that one with a helper already: closing it
    // would let its number name the next preview while the helper still opens it.
    if (m_previewFds.contains(row)) {
        closeNativeFile(fd);
        return;
    }
    m_previewFds.insert(row, fd);
    m_pool->add(row, descriptorPath(fd));
}

void ThumbnailController::stopCameraPreviews()
{
    ++m_cameraRequests;
    if (m_source) {
        if (CameraSource *camera = m_source->openedCamera())
            camera->stopPreviews();
    }
    for (const int fd : std::as_const(m_previewFds))
        closeNativeFile(fd);
    m_previewFds.clear();
}

void ThumbnailController::made(int id, const QImage &image, const QSize &sourceSize)
{
    if (const auto fd = m_previewFds.constFind(id); fd != m_previewFds.cend()) {
        closeNativeFile(*fd);
        m_previewFds.erase(fd);
    }
    m_model->setThumbnail(id, image, sourceSize);
    if (m_model->madeCount() == m_model->rowCount())
        Q_EMIT allMade();
}

} // namespace vantora
