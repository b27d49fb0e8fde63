#pragma once

#include "thumbnails/thumbnailmaker.h"

#include <QAbstractListModel>
#include <QIcon>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

namespace vantora {

// The thumbnail grid's files: the file name under each picture, the picture once it is made, the icon of
// the file's kind until then and when it has none.
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

    explicit ThumbnailModel(QObject *parent = nullptr);

    void setFiles(const QStringList &paths);
    void clear() { setFiles({}); }
    // The size the pictures are shown at, no bigger.
    void setIconSize(const QSize &size) { m_iconSize = size; }

    const QString &pathAt(int row) const { return m_items.at(row).path; }
    State stateAt(int row) const { return m_items.at(row).state; }
    ThumbnailKind kindAt(int row) const { return m_items.at(row).kind; }
    QSize imageSizeAt(int row) const { return m_items.at(row).imageSize; }
    // Files made, with a picture or without.
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
        QImage picture; // painted as it is: made at the shown size
    };

    QIcon kindIcon(ThumbnailKind kind) const;
    static QIcon makeKindIcon(ThumbnailKind kind);

    QList<Item> m_items;
    QSize m_iconSize{112, 112};
    int m_made = 0;
    mutable QIcon m_kindIcons[4]; // one per ThumbnailKind, made when first shown
};

} // namespace vantora
