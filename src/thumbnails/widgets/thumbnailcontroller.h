#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <utility>

class QAbstractButton;
class QTimer;
class QWidget;

namespace vantora {

class SourceController;
class TListViewForm;
class ThumbnailModel;
class ThumbnailPool;

// The target list window's thumbnail grid: ThumbnailToggle switches between the list (left as it is) and
// the grid of the same files, which fills as the helpers make the pictures (a video's frame and a HEIF
// image's picture too; an audio file keeps its icon). No helper runs before the grid is first shown; after
// that, they start when the window opens, so the grid need not wait for them. Pictures are asked for around
// the viewport, what it shows first, as many as the model keeps; a scroll asks anew, so files far from the
// viewport are neither made nor kept. Closing the window kills the helpers and frees the grid; going back to
// the list drops it too. The files are those the source controller last put in the list, with their exact
// paths. A camera's files get the camera's own previews (else their own bytes, when small enough) through
// the camera's worker, and the helpers make the pictures of those.
class ThumbnailController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ThumbnailController)

public:
    // helper: the thumbnail helper program; empty for the one installed with the program.
    ThumbnailController(TListViewForm *form, SourceController *source, const QString &helper = QString(),
                        QObject *parent = nullptr);
    ~ThumbnailController() override;

    ThumbnailModel *model() const { return m_model; }
    ThumbnailPool *pool() const { return m_pool; }
    // How long one file may take its helper before it is killed.
    void setTimeLimit(int ms);

Q_SIGNALS:
    // Every file of the grid is made: only a grid the cache holds whole gets there.
    void allMade();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setFiles(const QStringList &paths);
    void toggled(bool grid);
    void startGrid();
    void stopGrid();
    void made(int id, const QImage &image, const QSize &sourceSize);
    // Asks for the pending files around the viewport, the ones it shows first.
    void requestAroundView();
    // Sends the camera's previews already here to the helpers and asks the camera for the others.
    void requestFromCamera(const std::vector<int> &rows);
    void previewArrived(int row, int fd);
    void stopCameraPreviews();
    // The first and last rows the grid's viewport shows.
    std::pair<int, int> visibleRows() const;

    TListViewForm *m_form;
    QPointer<SourceController> m_source; // may go before this controller
    // What the event filter looks at, kept apart from the form: a window being destroyed still sends its
    // hide event after its own part is gone, while these children are still whole.
    QObject *m_formObject;
    QWidget *m_viewport;
    QAbstractButton *m_toggle;
    ThumbnailModel *m_model;
    ThumbnailPool *m_pool;
    QTimer *m_requestTimer; // one request for a burst of scroll steps
    QStringList m_paths;
    bool m_cameraGrid = false;    // the files are a camera's
    QHash<int, int> m_previewFds; // row: a camera's preview or file, until its helper answered
    quint64 m_cameraRequests = 0; // counts stopCameraPreviews(): a preview asked for before is dropped
};

} // namespace vantora
