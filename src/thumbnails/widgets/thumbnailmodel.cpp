#include "thumbnails/widgets/thumbnailmodel.h"

#include "platform/bytepath.h"

#include <QApplication>
#include <QStyle>

namespace vantora {

ThumbnailModel::ThumbnailModel(QObject *parent) : QAbstractListModel(parent)
{
}

void ThumbnailModel::setFiles(const QStringList &paths)
{
    beginResetModel();
    m_items.clear();
    m_items.reserve(paths.size());
    for (const QString &path : paths) {
        Item item;
        item.path = path;
        const QString shown = displayPath(path);
        item.name = shown.mid(shown.lastIndexOf(QLatin1Char('/')) + 1);
        item.kind = ThumbnailKindOf(path);
        m_items.append(std::move(item));
    }
    m_made = 0;
    endResetModel();
}

void ThumbnailModel::setThumbnail(int row, const QImage &image, const QSize &sourceSize)
{
    if (row < 0 || row >= m_items.size())
        return;
    Item &item = m_items[row];
    if (item.state == State::Pending)
        ++m_made;
    if (image.isNull()) {
        item.state = State::Icon;
    } else {
        item.state = State::Picture;
        item.imageSize = sourceSize;
        // Kept at the shown size only: a thousand full previews would cost memory for nothing.
        item.picture = image.width() > m_iconSize.width() || image.height() > m_iconSize.height()
                           ? image.scaled(m_iconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                           : image;
    }
    const QModelIndex at = index(row);
    Q_EMIT dataChanged(at, at);
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
        if (item.state == State::Picture)
            return item.picture;
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
