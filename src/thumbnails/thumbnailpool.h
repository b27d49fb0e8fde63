#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

class QProcess;
class QTimer;

namespace vantora {

// Makes thumbnails in a few helper processes (vantora-thumbnailer), one file at a time each (the next path
// sent ahead), with a time
// limit per file. A helper that crashes, hangs past the limit or talks nonsense is killed and a new one
// started: the file it had costs its thumbnail only. Lives on the UI thread; nothing here blocks it longer
// than the decoding of a finished thumbnail.
class ThumbnailPool final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ThumbnailPool)

public:
    struct Request
    {
        int id;
        QString path;
    };

    explicit ThumbnailPool(const QString &helper, QObject *parent = nullptr);
    ~ThumbnailPool() override;

    // The helper beside the program or under its libexec folder; empty when there is none.
    static QString installedHelper();

    void setWorkers(int count) { m_workerCount = qMax(1, count); }
    void setTimeLimit(int ms) { m_timeLimitMs = ms; }
    // The square the thumbnails fit (ThumbnailSide unless set); for helpers started from now on.
    void setThumbnailSide(int side) { m_side = side; }

    // Starts the helpers before there is work for them.
    void warmUp();
    // Queues a file; made() tells its thumbnail later, in no set order among the workers.
    void add(int id, const QString &path);
    // Replaces the files waiting for a helper with these, the first to go first; made() is not emitted for
    // the files dropped. A file a helper already has is not sent again: its made() comes as before.
    void setQueue(std::vector<Request> files);
    // Kills the helpers and drops every file not made yet; made() is not emitted for them.
    void stop();

    int pending() const { return int(m_queue.size()) + busyCount(); }
    // True while the file waits for a helper or a helper has it.
    bool holds(int id) const;
    int runningHelpers() const;
    // The process ids of the running helpers.
    QList<qint64> helperPids() const;
    // Helpers started since this pool was made (a restart after a crash or a hang counts).
    int helpersStarted() const { return m_started; }

Q_SIGNALS:
    // The thumbnail of a queued file, with the size of the picture it was made from; a null image when it
    // has none (no picture, a damaged file, a crash or a hang of its helper).
    void made(int id, const QImage &image, const QSize &sourceSize);

private:
    using Job = Request;
    struct Worker;

    void dispatch();
    void startWorker(Worker *worker);
    void readAnswers(Worker *worker);
    // The worker's helper is gone or must go: its file is made without a picture.
    void retire(Worker *worker);
    int busyCount() const;

    QString m_helper;
    int m_workerCount = 2;
    int m_timeLimitMs = 5000;
    int m_side;
    int m_started = 0;
    quint64 m_generation = 0; // counts stop(): a receiver of made() may stop the pool
    bool m_helperMissing = false;
    std::deque<Job> m_queue;
    std::vector<std::unique_ptr<Worker>> m_workers;
};

} // namespace vantora
