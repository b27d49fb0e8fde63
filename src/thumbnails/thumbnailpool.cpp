#include "thumbnails/thumbnailpool.h"

#include "platform/bytepath.h"
#include "thumbnails/thumbnailmaker.h"
#include "thumbnails/thumbnailprotocol.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <algorithm>

namespace vantora {

namespace {

// Paths sent ahead to a helper: it starts on the next file while this side takes in the last answer. The
// time limit runs for the first of them only, the one the helper is working on.
constexpr int Depth = 3;

} // namespace

struct ThumbnailPool::Worker
{
    QProcess *process = nullptr;
    QTimer *timer = nullptr;
    QByteArray buffer;
    std::deque<Job> sent; // answered in this order
    bool busy() const { return !sent.empty(); }
};

ThumbnailPool::ThumbnailPool(const QString &helper, QObject *parent)
    : QObject(parent), m_helper(helper), m_side(ThumbnailSide)
{
}

ThumbnailPool::~ThumbnailPool()
{
    stop();
}

QString ThumbnailPool::installedHelper()
{
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString &candidate :
         {QString(dir + QLatin1String("/vantora-thumbnailer")),
          QString(dir + QLatin1String("/../libexec/vantora/vantora-thumbnailer"))}) {
        if (QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return QString();
}

void ThumbnailPool::warmUp()
{
    while (int(m_workers.size()) < m_workerCount)
        m_workers.push_back(std::make_unique<Worker>());
    for (const std::unique_ptr<Worker> &w : m_workers) {
        if (!w->process && !m_helperMissing)
            startWorker(w.get());
    }
}

void ThumbnailPool::add(int id, const QString &path)
{
    m_queue.push_back({id, path});
    dispatch();
}

void ThumbnailPool::setQueue(std::vector<Request> files)
{
    std::deque<Job> queue;
    for (Request &file : files) {
        const auto sentTo = [&file](const std::unique_ptr<Worker> &w) {
            return std::any_of(w->sent.begin(), w->sent.end(),
                               [&file](const Job &j) { return j.id == file.id; });
        };
        if (std::none_of(m_workers.begin(), m_workers.end(), sentTo))
            queue.push_back(std::move(file));
    }
    m_queue.swap(queue);
    dispatch();
}

void ThumbnailPool::stop()
{
    ++m_generation;
    std::deque<Job>().swap(m_queue); // its blocks too: a grid of tens of thousands leaves nothing behind
    // A receiver of made() may stop the pool from inside a signal of the very process or timer: they go
    // at the next turn of the event loop, unconnected.
    for (const std::unique_ptr<Worker> &w : m_workers) {
        if (w->process) {
            w->process->disconnect(this);
            w->process->kill();
            w->process->waitForFinished(1000);
            w->process->deleteLater();
        }
        if (w->timer) {
            w->timer->stop();
            w->timer->disconnect(this);
            w->timer->deleteLater();
        }
    }
    m_workers.clear();
}

int ThumbnailPool::runningHelpers() const
{
    int n = 0;
    for (const std::unique_ptr<Worker> &w : m_workers)
        n += w->process && w->process->state() != QProcess::NotRunning ? 1 : 0;
    return n;
}

QList<qint64> ThumbnailPool::helperPids() const
{
    QList<qint64> pids;
    for (const std::unique_ptr<Worker> &w : m_workers) {
        if (w->process && w->process->state() == QProcess::Running)
            pids.append(w->process->processId());
    }
    return pids;
}

bool ThumbnailPool::holds(int id) const
{
    const auto isIt = [id](const Job &job) { return job.id == id; };
    return std::any_of(m_queue.begin(), m_queue.end(), isIt) ||
           std::any_of(m_workers.begin(), m_workers.end(), [&isIt](const std::unique_ptr<Worker> &w) {
               return std::any_of(w->sent.begin(), w->sent.end(), isIt);
           });
}

int ThumbnailPool::busyCount() const
{
    int n = 0;
    for (const std::unique_ptr<Worker> &w : m_workers)
        n += int(w->sent.size());
    return n;
}

void ThumbnailPool::dispatch()
{
    if (m_helperMissing) {
        // Without a helper nothing is decoded, in this process least of all.
        const quint64 generation = m_generation;
        while (!m_queue.empty() && generation == m_generation) {
            const int id = m_queue.front().id;
            m_queue.pop_front();
            Q_EMIT made(id, QImage(), QSize());
        }
        return;
    }
    while (int(m_workers.size()) < m_workerCount && !m_queue.empty())
        m_workers.push_back(std::make_unique<Worker>());
    // One file to each helper first, so that the first files are made side by side.
    for (int depth = 1; depth <= Depth; ++depth) {
        for (const std::unique_ptr<Worker> &w : m_workers) {
            if (m_queue.empty())
                return;
            if (int(w->sent.size()) >= depth)
                continue;
            if (!w->process)
                startWorker(w.get());
            if (m_helperMissing) {
                dispatch();
                return;
            }
            w->sent.push_back(m_queue.front());
            m_queue.pop_front();
            w->process->write(thumbnailprotocol::frame(pathToBytes(w->sent.back().path)));
            if (w->sent.size() == 1)
                w->timer->start(m_timeLimitMs);
        }
    }
}

void ThumbnailPool::startWorker(Worker *worker)
{
    if (!worker->timer) {
        worker->timer = new QTimer;
        worker->timer->setSingleShot(true);
        worker->timer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire before the limit
        connect(worker->timer, &QTimer::timeout, this, [this, worker] { retire(worker); });
    }
    if (m_helper.isEmpty()) {
        m_helperMissing = true;
        return;
    }
    auto *process = new QProcess;
    process->setProgram(m_helper);
    process->setArguments({QStringLiteral("--side"), QString::number(m_side)});
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::readyReadStandardOutput, this, [this, worker] { readAnswers(worker); });
    connect(process, &QProcess::finished, this, [this, worker] { retire(worker); });
    worker->process = process;
    worker->buffer.clear();
    ++m_started;
    process->start();
    if (!process->waitForStarted(5000)) {
        m_helperMissing = true;
        process->disconnect(this);
        delete process;
        worker->process = nullptr;
    }
}

void ThumbnailPool::readAnswers(Worker *worker)
{
    if (worker->buffer.isEmpty())
        worker->buffer = worker->process->readAllStandardOutput(); // most often one whole answer: no copy
    else
        worker->buffer.append(worker->process->readAllStandardOutput());
    QByteArray payload;
    bool broken = false;
    while (thumbnailprotocol::takeFrame(worker->buffer, thumbnailprotocol::MaxAnswer, &payload, &broken)) {
        if (!worker->busy()) { // an answer nobody asked for
            retire(worker);
            return;
        }
        const int id = worker->sent.front().id;
        worker->sent.pop_front();
        if (worker->busy())
            worker->timer->start(m_timeLimitMs); // the helper goes on with the next one
        else
            worker->timer->stop();
        QImage image;
        QSize sourceSize;
        thumbnailprotocol::decodeAnswer(payload, &image, &sourceSize);
        const quint64 generation = m_generation;
        Q_EMIT made(id, image, sourceSize);
        if (generation != m_generation) // stopped by a receiver: the worker is gone
            return;
        dispatch();
        if (!worker->process)
            return;
    }
    if (broken)
        retire(worker);
}

void ThumbnailPool::retire(Worker *worker)
{
    if (!worker->process)
        return;
    worker->timer->stop();
    QProcess *process = worker->process;
    worker->process = nullptr;
    process->disconnect(this);
    process->kill();
    process->waitForFinished(1000);
    process->deleteLater();
    worker->buffer.clear();
    // The helper was working on the first file only: the others go back to the front of the queue.
    int id = -1;
    if (worker->busy()) {
        id = worker->sent.front().id;
        worker->sent.pop_front();
        while (!worker->sent.empty()) {
            m_queue.push_front(worker->sent.back());
            worker->sent.pop_back();
        }
    }
    const quint64 generation = m_generation;
    if (id >= 0)
        Q_EMIT made(id, QImage(), QSize());
    if (generation == m_generation)
        dispatch();
}

} // namespace vantora
