#include "thumbnails/widgets/thumbnailmodel.h"

#include "platform/bytepath.h"
#include "platform/filepath.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QStyle>

namespace vantora {

namespace {

// Paints a picture straight from the model's image. A plain image or pixmap would go through the pixmap
// icon engine, which keeps a copy of every thumbnail painted in the program-wide pixmap cache: after the
// window closed as well.
class PictureIconEngine final : public QIconEngine
{
public:
    explicit PictureIconEngine(const QImage &picture) : m_picture(picture) {}

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        return m_picture.width() > size.width() || m_picture.height() > size.height()
                   ? m_picture.size().scaled(size, Qt::KeepAspectRatio)
                   : m_picture.size();
    }
    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        QRect target(QPoint(), actualSize(rect.size(), mode, state));
        target.moveCenter(rect.center());
        painter->drawImage(target, m_picture);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        const QSize fitted = actualSize(size, mode, state);
        return QPixmap::fromImage(fitted == m_picture.size() ? m_picture
                                                             : m_picture.scaled(fitted, Qt::KeepAspectRatio,
                                                                                Qt::SmoothTransformation));
    }
    QIconEngine *clone() const override { return new PictureIconEngine(m_picture); }

private:
    QImage m_picture;
};

} // namespace

ThumbnailModel::ThumbnailModel(QObject *parent) : QAbstractListModel(parent)
{
}

void ThumbnailModel::setFiles(const QStringList &paths)
{
    beginResetModel();
    m_items = QList<Item>(); // clear() would keep the capacity of the last grid
    m_recent.clear();
    m_items.reserve(paths.size());
    for (const QString &path : paths) {
        Item item;
        item.path = path;
        item.name = displayPath(FilePath(path).name());
        item.kind = ThumbnailKindOf(path);
        m_items.append(std::move(item));
    }
    m_made = 0;
    m_windowFirst = 0;
    m_windowLast = -1;
    endResetModel();
}

void ThumbnailModel::setCacheLimit(int count)
{
    m_cacheLimit = qMax(1, count);
    dropOverLimit();
}

void ThumbnailModel::setWindow(int first, int last)
{
    m_windowFirst = first;
    m_windowLast = last;
    dropOverLimit();
}

void ThumbnailModel::dropOverLimit()
{
    auto it = m_recent.end();
    while (int(m_recent.size()) > m_cacheLimit && it != m_recent.begin()) {
        --it;
        const int row = *it;
        if (row >= m_windowFirst && row <= m_windowLast)
            continue;
        Item &item = m_items[row];
        item.picture = QImage();
        item.state = State::Pending;
        --m_made;
        it = m_recent.erase(it);
        const QModelIndex at = index(row);
        Q_EMIT dataChanged(at, at);
    }
}

void ThumbnailModel::setThumbnail(int row, const QImage &image, const QSize &sourceSize)
{
    if (row < 0 || row >= m_items.size())
        return;
    Item &item = m_items[row];
    if (item.state == State::Pending)
        ++m_made;
    if (item.state == State::Picture)
        m_recent.erase(item.shown);
    if (image.isNull()) {
        item.state = State::Icon;
        item.picture = QImage();
    } else {
        item.state = State::Picture;
        m_recent.push_front(row);
        item.shown = m_recent.begin();
        item.imageSize = sourceSize;
        // Kept at the shown size only: a thousand full previews would cost memory for nothing.
        item.picture = image.width() > m_iconSize.width() || image.height() > m_iconSize.height()
                           ? image.scaled(m_iconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                           : image;
    }
    const QModelIndex at = index(row);
    Q_EMIT dataChanged(at, at);
    dropOverLimit();
}

int ThumbnailModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QIcon ThumbnailModel::kindIcon(ThumbnailKind kind) const
{
    QIcon &cached = m_kindIcons[int(kind)];
    if (cached.isNull())
        cached = makeKindIcon(kind);
    return cached;
}

void ThumbnailModel::prepareIcons() const
{
    for (const ThumbnailKind kind :
         {ThumbnailKind::Image, ThumbnailKind::Video, ThumbnailKind::Audio, ThumbnailKind::Other})
        kindIcon(kind).pixmap(m_iconSize);
}

QIcon ThumbnailModel::makeKindIcon(ThumbnailKind kind)
{
    // The style's own icons: the icon theme's lookup would hold up the grid's first paint.
    QStyle *style = QApplication::style();
    switch (kind) {
    case ThumbnailKind::Video:
        return style->standardIcon(QStyle::SP_MediaPlay);
    case ThumbnailKind::Audio:
        return style->standardIcon(QStyle::SP_MediaVolume);
    case ThumbnailKind::Image:
        return style->standardIcon(QStyle::SP_FileIcon);
    case ThumbnailKind::Other:
        break;
    }
    return style->standardIcon(QStyle::SP_FileDialogDetailedView);
}

QVariant ThumbnailModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const Item &item = m_items.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return item.name;
    case Qt::ToolTipRole:
        return displayPath(item.path);
    case Qt::DecorationRole:
        if (item.state == State::Picture) {
            m_recent.splice(m_recent.begin(), m_recent, item.shown); // painted: the last to go
            return QIcon(new PictureIconEngine(item.picture));
        }
        return kindIcon(item.kind);
    case PathRole:
        return item.path;
    case StateRole:
        return int(item.state);
    case KindRole:
        return int(item.kind);
    case ImageSizeRole:
        return item.imageSize;
    default:
        return {};
    }
}

} // namespace vantora
