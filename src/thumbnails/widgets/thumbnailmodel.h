#pragma once

#include "thumbnails/thumbnailmaker.h"

#include <QAbstractListModel>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <list>

namespace vantora {

// The thumbnail grid's files: the file name under each picture, the picture once it is made, the icon of
// the file's kind until then and when it has none. It holds at most cacheLimit() pictures: past that, the
// picture least recently shown outside the window (the rows around the grid's viewport) is dropped and its
// row is pending again, to be made anew when it comes back into view.
class ThumbnailModel final : public QAbstractListModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ThumbnailModel)

public:
    enum class State
    {
        Pending,
        Picture,
        Icon, // made without a picture
    };
    enum Role
    {
        PathRole = Qt::UserRole + 1, // the exact path
        StateRole,                   // State as int
        KindRole,                    // ThumbnailKind as int
        ImageSizeRole,               // the size of the preview or picture the thumbnail was made from
    };

    // 40 to 50 MB of pictures at the grid's size.
    static constexpr int DefaultCacheLimit = 1000;

    explicit ThumbnailModel(QObject *parent = nullptr);

    void setFiles(const QStringList &paths);
    void clear() { setFiles({}); }
    void setCacheLimit(int count);
    int cacheLimit() const { return m_cacheLimit; }
    // The rows that keep their pictures however many there are; callers keep it within cacheLimit().
    void setWindow(int first, int last);
    // Pictures held.
    int pictureCount() const { return int(m_recent.size()); }
    // The size the pictures are shown at, no bigger.
    void setIconSize(const QSize &size) { m_iconSize = size; }
    // Makes the icons of the kinds at the shown size ahead of the grid: the first of them loads the image
    // plugins and decodes the style's pictures, which would otherwise hold up the grid's first layout.
    void prepareIcons() const;

    const QString &pathAt(int row) const { return m_items.at(row).path; }
    State stateAt(int row) const { return m_items.at(row).state; }
    ThumbnailKind kindAt(int row) const { return m_items.at(row).kind; }
    QSize imageSizeAt(int row) const { return m_items.at(row).imageSize; }
    // The picture shown; null while there is none.
    QImage pictureAt(int row) const { return m_items.at(row).picture; }
    // Files made and not dropped since, with a picture or without.
    int madeCount() const { return m_made; }

    void setThumbnail(int row, const QImage &image, const QSize &sourceSize);
    // Made without a picture: the icon of its kind stays.
    void setNone(int row) { setThumbnail(row, QImage(), QSize()); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    struct Item
    {
        QString path;
        QString name;
        ThumbnailKind kind;
        State state = State::Pending;
        QSize imageSize;
        QImage picture;                 // painted as it is: made at the shown size
        std::list<int>::iterator shown; // its place in m_recent while it has a picture
    };

    QIcon kindIcon(ThumbnailKind kind) const;
    static QIcon makeKindIcon(ThumbnailKind kind);
    // Drops pictures outside the window, least recently shown first, down to the limit.
    void dropOverLimit();

    QList<Item> m_items;
    QSize m_iconSize{112, 112};
    int m_made = 0;
    int m_cacheLimit = DefaultCacheLimit;
    int m_windowFirst = 0;
    int m_windowLast = -1;
    mutable std::list<int> m_recent; // rows with a picture, the one most recently shown first
    mutable QIcon m_kindIcons[4];    // one per ThumbnailKind, made when first shown
};

} // namespace vantora
