#include "source/camerasource.h"

#include "platform/bytepath.h"
#include "platform/cameradesktop.h"
#include "platform/contenthash.h"
#include "source/maskmatch.h"
#include "source/sourcewalk.h"

#include <QObject>
#include <QSet>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vantora {

namespace {

// The downloads kept for a second opening: the shooting date and the copy, or a file two rows list.
constexpr int KeptDownloads = 2;
// The biggest file downloaded whole for its thumbnail when the camera gives no preview of it.
constexpr qint64 MaxPreviewFileBytes = 64 * 1024 * 1024;

void closeKept(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

} // namespace

QString cameraNotReadyMessage(const QString &source, const CameraResult &why)
{
    const QString head = QStringLiteral("転送元：") + source + QStringLiteral("\r\n\r\n");
    if (why.claimedElsewhere())
        return head + QStringLiteral("カメラは他のプログラム(") +
               (why.heldBy.isEmpty() ? QStringLiteral("不明") : why.heldBy) +
               QStringLiteral(")が使用しているため開けません。\r\n"
                              "ファイルマネージャーでカメラを取り出す(アンマウントする)"
                              "か、そのプログラムを終了してから、"
                              "もう一度お試し下さい。カードはカードリーダーからも読み込めます。");
    return head + QStringLiteral("カメラが接続されていないか、アクセスできません。") +
           (why.text.isEmpty() ? QString() : QStringLiteral("\r\n(") + why.text + u')');
}

CameraSource::CameraSource(CameraId camera)
    : m_camera(std::move(camera)), m_previews(std::make_unique<Previews>())
{
}

QString CameraSource::root() const
{
    return CameraSourceText(m_camera.port);
}

QString CameraSource::model() const
{
    return m_session && !m_session->model().isEmpty() ? m_session->model() : m_camera.model;
}

FileStamp CameraSource::openedStamp(const SourceFile &file, const FileStamp &descriptor) const
{
    Q_UNUSED(file)
    return FileStamp{0, 0, descriptor.size, descriptor.mtime};
}

FileStamp CameraSource::stampOf(const CameraEntry &entry)
{
    return FileStamp{0, 0, entry.size, FileTime{entry.mtime, 0}};
}

// The one thread that talks to the camera, for the source's life: a thread per call cost more than a
// small file's download. Between the calls of the window it makes previews, one at a time; a call of the
// window asks the preview in progress to stop (yield).
class CameraSource::Worker final
{
public:
    Worker(std::function<bool()> idleWork, std::atomic<bool> *yield)
        : m_idleWork(std::move(idleWork)), m_yield(yield), m_thread([this] { loop(); })
    {
    }
    ~Worker()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    // Runs job on the worker; waiting() runs about every 20 ms until it has ended.
    void run(std::function<void()> job, const std::function<void()> &waiting)
    {
        std::unique_lock lock(m_mutex);
        m_job = std::move(job);
        m_done = false;
        *m_yield = true;
        m_wake.notify_all();
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(20), [this] { return m_done; })) {
            lock.unlock();
            waiting();
            lock.lock();
        }
    }

    // There is idle work to do.
    void wake()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_idle = true;
        }
        m_wake.notify_all();
    }

private:
    void loop()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_quit || m_job || m_idle; });
            if (m_quit)
                return;
            if (m_job) {
                std::function<void()> job = std::exchange(m_job, {});
                lock.unlock();
                job();
                lock.lock();
                m_done = true;
                m_wake.notify_all();
                continue;
            }
            *m_yield = false;
            lock.unlock();
            const bool more = m_idleWork();
            lock.lock();
            m_idle = more;
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_job;
    std::function<bool()> m_idleWork;
    std::atomic<bool> *m_yield;
    bool m_done = true;
    bool m_idle = false;
    bool m_quit = false;
    std::thread m_thread;
};

// What the worker and the window share of the previews asked for.
struct CameraSource::Previews
{
    struct Wanted
    {
        int id;
        QByteArray folder;
        QByteArray name;
    };
    std::mutex mutex;
    std::deque<Wanted> waiting;
    QObject *context = nullptr;
    std::function<void(int, int)> done;
    quint64 generation = 0; // counts stopPreviews(): what was begun before is dropped
};

CameraSource::Worker &CameraSource::worker() const
{
    if (!m_worker)
        m_worker = std::make_unique<Worker>([this] { return makeNextPreview(); }, &m_previewWatch.cancel);
    return *m_worker;
}

CameraSource::~CameraSource()
{
    stopPreviews();
    for (const Kept &kept : std::as_const(m_kept))
        closeKept(kept.fd);
    // The camera is let go on its own thread too.
    if (m_worker && m_session)
        m_worker->run([this] { m_session.reset(); }, [] {});
    m_worker.reset(); // before the previews it reads
}

// Runs work on the worker while the waiting thread keeps the window turning, asks whether to stop and
// shows how far a download got (the bytes in progressFd). False when a call was already waiting: the
// session serves one call at a time, and events pumped during a wait could start another.
template <class Work>
bool CameraSource::onWorker(Work &&work, WalkPump *walkPump, int progressFd, qint64 total) const
{
    if (m_busy)
        return false;
    m_busy = true;
    m_watch.cancel = false;
    worker().run(std::forward<Work>(work), [&] {
        if (walkPump) {
            if (walkPump->pumpNow())
                m_watch.cancel = true;
            return;
        }
        if (progressFd >= 0 && m_activity.progress) {
            struct stat st;
            if (::fstat(progressFd, &st) == 0)
                m_activity.progress(total, qint64(st.st_size));
        }
        if (m_activity.pump)
            m_activity.pump();
        if (m_activity.stopped && m_activity.stopped())
            m_watch.cancel = true;
    });
    m_busy = false;
    return true;
}

CameraResult CameraSource::connect() const
{
    if (m_connected)
        return m_connectResult;
    if (m_activity.stopped && m_activity.stopped()) {
        return CameraResult::ofCancel();
    }
    CameraResult result;
    std::unique_ptr<CameraSession> session;
    const auto open = [&] {
        session = CameraSession::open(m_camera, &result, &m_watch);
        if (session || !result.claimedElsewhere())
            return;
        // The desktop's own camera mount holds it: given back once, then tried once more.
        const QString mount = DesktopCameraMount(m_camera.port);
        if (!mount.isEmpty() && ReleaseDesktopCameraMount(mount))
            session = CameraSession::open(m_camera, &result, &m_watch);
        if (!session && result.claimedElsewhere()) {
            result.heldBy = ProgramHoldingCamera(m_camera.port);
            if (result.heldBy.isEmpty() && !mount.isEmpty())
                result.heldBy = QStringLiteral("gvfs (") + mount + u')';
        }
    };
    if (!onWorker(open)) {
        return CameraResult::ofBusy();
    }
    m_session = std::move(session);
    m_connectResult = result;
    m_connected = result.ok() || !result.cancelled();
    return result;
}

SourceFiles CameraSource::list(const QStringList &masks, WalkPump *pump, WalkFilter *filter) const
{
    m_listResult = connect();
    if (!m_listResult.ok())
        return {};
    QList<CameraEntry> entries;
    CameraResult result;
    const bool ran = onWorker(
        [&] {
            QList<CameraStorage> storages;
            QList<QByteArray> pending;
            if (m_session->storages(storages, &m_watch).ok()) {
                for (const CameraStorage &storage : std::as_const(storages))
                    pending.append(storage.folder);
            }
            // One storage at "/" (or none the camera names) is the whole tree.
            if (pending.isEmpty() || pending.contains("/"))
                pending = {QByteArray("/")};
            QSet<QByteArray> seen;
            while (!pending.isEmpty() && !m_watch.cancel) {
                const QByteArray folder = pending.takeFirst();
                if (seen.contains(folder))
                    continue;
                seen.insert(folder);
                QList<CameraEntry> files;
                result = m_session->files(folder, files, &m_watch);
                if (!result.ok())
                    return;
                entries += files;
                QList<QByteArray> folders;
                result = m_session->folders(folder, folders, &m_watch);
                if (!result.ok())
                    return;
                const QByteArray prefix = folder.endsWith('/') ? folder : folder + '/';
                QList<QByteArray> below;
                for (const QByteArray &name : std::as_const(folders))
                    below.append(prefix + name);
                pending = below + pending; // depth first, as the folder walk
            }
        },
        pump);
    if (!ran) {
        m_listResult = CameraResult::ofBusy();
        return {};
    }
    m_listResult = result;
    if (m_watch.cancel)
        return {};

    const QString rootText = root();
    const MaskSet maskSet(masks);
    SourceFiles files;
    QStringList paths;
    for (const CameraEntry &entry : std::as_const(entries)) {
        const int hits = maskSet.countMatches(entry.name.constData(), std::size_t(entry.name.size()));
        if (hits == 0)
            continue;
        const QByteArray below = entry.folder.mid(1); // without the camera's leading "/"
        const QString folder =
            rootText + pathFromBytes(below.isEmpty() || below.endsWith('/') ? below : below + '/');
        const FileStamp stamp = stampOf(entry);
        if (filter && filter->excludesListed(folder, entry.name, stamp.size, stamp.mtime))
            continue;
        SourceFile file;
        file.path = folder + pathFromBytes(entry.name);
        file.relative = file.path.mid(rootText.size());
        file.stamp = stamp;
        for (int i = 0; i < hits; ++i) {
            files.append(file);
            paths.append(file.path);
        }
    }
    ApplyOrder(files, RunListOrder(paths));
    return files;
}

void CameraSource::locate(const SourceFile &file, QByteArray &folder, QByteArray &name) const
{
    const QByteArray relative = pathToBytes(file.relative);
    const qsizetype slash = relative.lastIndexOf('/');
    folder = '/' + (slash < 0 ? QByteArray() : relative.left(slash));
    name = slash < 0 ? relative : relative.mid(slash + 1);
}

int CameraSource::fail(SourceFault fault, const CameraResult &result, int error) const
{
    m_fault = fault;
    m_faultText = result.text;
    if (fault == SourceFault::Other && !result.cancelled() && !result.notFound() && gone())
        m_fault = SourceFault::Gone;
    return -error;
}

void CameraSource::forget(const QString &path) const
{
    for (qsizetype i = 0; i < m_kept.size(); ++i) {
        if (m_kept.at(i).path == path) {
            closeKept(m_kept.takeAt(i).fd);
            return;
        }
    }
}

namespace {

// Each opening reads from the start on its own, through a descriptor of its own.
int reopen(int fd)
{
    const int own =
        ::open(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(), O_RDONLY | O_CLOEXEC);
    return own >= 0 ? own : -errno;
}

} // namespace

int CameraSource::open(const SourceFile &file) const
{
    m_fault = SourceFault::None;
    m_faultText.clear();
    for (const Kept &kept : std::as_const(m_kept)) {
        if (kept.path == file.path)
            return reopen(kept.fd);
    }
    const int fd = ::memfd_create("vantora-camera", MFD_CLOEXEC);
    if (fd < 0)
        return fail(SourceFault::Other, CameraResult{}, errno);
    const int downloaded = downloadInto(file, fd);
    return downloaded < 0 ? downloaded : reopen(fd);
}

std::optional<int> CameraSource::downloadUnnamedIn(const SourceFile &file, const QString &folder,
                                                   QByteArray *hash) const
{
    m_fault = SourceFault::None;
    m_faultText.clear();
    // Downloaded before (for the shooting date): handed over when it already lies on folder's filesystem.
    for (Kept &kept : m_kept) {
        if (kept.path != file.path)
            continue;
        struct stat held, there;
        if (kept.handedOver || ::fstat(kept.fd, &held) != 0 ||
            ::stat(pathToBytes(folder).constData(), &there) != 0 || held.st_dev != there.st_dev)
            return std::nullopt;
        kept.handedOver = true;
        return reopen(kept.fd);
    }
    const int fd = ::open(pathToBytes(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
    if (fd < 0)
        return std::nullopt; // a filesystem without unnamed files: copied from memory
    const int downloaded = downloadInto(file, fd, hash);
    if (downloaded < 0)
        return downloaded;
    m_kept.last().handedOver = true;
    return reopen(fd);
}

// Downloads the file into fd (which it owns from here) and keeps it for the next opening: 0 or -errno.
// With hash, its content hash is taken on its way.
int CameraSource::downloadInto(const SourceFile &file, int fd, QByteArray *hash) const
{
    const CameraResult connected = connect();
    if (!connected.ok()) {
        ::close(fd);
        return fail(connected.cancelled() ? SourceFault::Other : SourceFault::Gone, connected,
                    connected.cancelled() ? ECANCELED : EIO);
    }
    if (m_activity.stopped && m_activity.stopped()) {
        ::close(fd);
        return fail(SourceFault::Other, CameraResult::ofCancel(), ECANCELED);
    }
    QByteArray folder, name;
    locate(file, folder, name);
    CameraResult result;
    const qint64 listed = file.stamp.size;
    ContentHash content;
    const auto work = [&] {
        result = m_session->download(folder, name, fd, &m_watch, hash ? &content : nullptr);
    };
    if (!onWorker(work, nullptr, fd, std::max<qint64>(listed, 0))) {
        ::close(fd);
        return fail(SourceFault::Other, CameraResult::ofBusy(), EBUSY);
    }
    if (!result.ok()) {
        ::close(fd);
        if (result.writeError)
            return -result.writeError; // the destination's failure (a full disk), not the camera's
        if (result.cancelled())
            return fail(SourceFault::Other, result, ECANCELED);
        return fail(SourceFault::Other, result, result.notFound() ? ENOENT : EIO);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || (listed >= 0 && qint64(st.st_size) != listed)) {
        ::close(fd);
        return fail(SourceFault::Short, CameraResult{}, EIO);
    }
    // The copy carries the source's time over: the camera's. A memory file is born executable.
    const struct timespec times[2] = {{file.stamp.mtime.sec, 0}, {file.stamp.mtime.sec, 0}};
    ::futimens(fd, times);
    ::fchmod(fd, 0644);
    if (hash)
        *hash = content.result();
    m_kept.append(Kept{file.path, fd, false});
    while (m_kept.size() > KeptDownloads)
        closeKept(m_kept.takeFirst().fd);
    return 0;
}

QStringList CameraSource::fileNamesIn(const QString &folder) const
{
    const QString rootText = root();
    if (!folder.startsWith(rootText) || !connect().ok())
        return {};
    SourceFile inside;
    inside.relative = folder.mid(rootText.size()); // its name empty
    QByteArray cameraFolder, none;
    locate(inside, cameraFolder, none);
    if (cameraFolder.size() > 1 && cameraFolder.endsWith('/'))
        cameraFolder.chop(1);
    QList<CameraEntry> entries;
    CameraResult result;
    if (!onWorker([&] { result = m_session->files(cameraFolder, entries, &m_watch); }) || !result.ok())
        return {};
    QStringList names;
    for (const CameraEntry &entry : std::as_const(entries)) {
        const QString name = pathFromBytes(entry.name);
        names.append(name);
        m_folderListing.insert(folder + name, stampOf(entry));
    }
    return names;
}

SourceFiles CameraSource::filesAt(const QStringList &paths) const
{
    const QString rootText = root();
    SourceFiles files;
    for (const QString &path : paths) {
        SourceFile file;
        file.path = path;
        file.relative = path.startsWith(rootText) ? path.mid(rootText.size()) : path;
        file.stamp = m_folderListing.value(path, file.stamp);
        files.append(file);
    }
    return files;
}

std::optional<FileStamp> CameraSource::currentStamp(const SourceFile &file) const
{
    if (!connect().ok())
        return std::nullopt;
    QByteArray folder, name;
    locate(file, folder, name);
    CameraEntry entry;
    CameraResult result;
    if (!onWorker([&] { result = m_session->entry(folder, name, entry, &m_watch); }) || !result.ok())
        return std::nullopt;
    return stampOf(entry);
}

int CameraSource::remove(const SourceFile &file) const
{
    m_fault = SourceFault::None;
    if (!connect().ok())
        return EIO;
    forget(file.path);
    QByteArray folder, name;
    locate(file, folder, name);
    CameraResult result;
    if (!onWorker([&] { result = m_session->remove(folder, name, &m_watch); })) {
        fail(SourceFault::Other, CameraResult::ofBusy(), EBUSY);
        return EBUSY;
    }
    if (result.ok())
        return 0;
    return -fail(SourceFault::Other, result, result.notFound() ? ENOENT : EIO);
}

QString CameraSource::identity() const
{
    if (!m_identity.isEmpty() || !connect().ok())
        return m_identity;
    QString serial;
    QList<CameraStorage> storages;
    onWorker([&] {
        serial = m_session->serialNumber(&m_watch);
        if (serial.isEmpty())
            m_session->storages(storages, &m_watch);
    });
    if (!serial.isEmpty()) {
        m_identity = QStringLiteral("camera-serial:") + serial;
        return m_identity;
    }
    // A folder the library browses as a camera is its own storage.
    QString storage = m_camera.port.startsWith(QLatin1String("disk:")) ? m_camera.port : QString();
    if (storage.isEmpty() && !storages.isEmpty())
        storage = !storages.first().label.isEmpty() ? storages.first().label : storages.first().description;
    m_identity = QStringLiteral("camera:") + model() + u':' + storage;
    return m_identity;
}

bool CameraSource::gone() const
{
    if (!m_session)
        return true;
    bool answers = false;
    if (!onWorker([&] { answers = m_session->answers(&m_watch); }))
        return false;
    return !answers;
}

void CameraSource::requestPreviews(std::vector<CameraPreviewRequest> files, QObject *context,
                                   std::function<void(int id, int fd)> done) const
{
    const CameraResult connected = connect();
    if (!connected.ok()) {
        // A call in progress leaves them waiting for the next request; a camera that cannot be opened
        // gives none.
        if (connected.code != CameraResult::ofBusy().code) {
            for (const CameraPreviewRequest &file : files)
                QMetaObject::invokeMethod(
                    context, [done, id = file.id] { done(id, -1); }, Qt::QueuedConnection);
        }
        return;
    }
    const QString rootText = root();
    std::deque<Previews::Wanted> waiting;
    for (const CameraPreviewRequest &file : files) {
        SourceFile listed;
        listed.relative = file.path.startsWith(rootText) ? file.path.mid(rootText.size()) : QString();
        Previews::Wanted wanted{file.id, {}, {}};
        locate(listed, wanted.folder, wanted.name);
        waiting.push_back(std::move(wanted));
    }
    {
        const std::lock_guard lock(m_previews->mutex);
        m_previews->waiting.swap(waiting);
        m_previews->context = context;
        m_previews->done = std::move(done);
    }
    worker().wake();
}

void CameraSource::stopPreviews() const
{
    const std::lock_guard lock(m_previews->mutex);
    m_previews->waiting.clear();
    ++m_previews->generation;
    m_previewWatch.cancel = true;
}

namespace {

// A descriptor on its way to the window: closed when it never gets there.
struct HeldDescriptor
{
    int fd;
    explicit HeldDescriptor(int f) : fd(f) {}
    ~HeldDescriptor() { closeKept(fd); }
    HeldDescriptor(const HeldDescriptor &) = delete;
    HeldDescriptor &operator=(const HeldDescriptor &) = delete;
    int take() { return std::exchange(fd, -1); }
};

} // namespace

bool CameraSource::makeNextPreview() const
{
    Previews &previews = *m_previews;
    Previews::Wanted wanted;
    quint64 generation = 0;
    {
        const std::lock_guard lock(previews.mutex);
        if (previews.waiting.empty())
            return false;
        wanted = std::move(previews.waiting.front());
        previews.waiting.pop_front();
        generation = previews.generation;
    }
    auto held = std::make_shared<HeldDescriptor>(::memfd_create("vantora-preview", MFD_CLOEXEC));
    CameraResult result = CameraResult::ofBusy();
    if (held->fd >= 0 && !wanted.name.isEmpty())
        result =
            m_session->preview(wanted.folder, wanted.name, held->fd, MaxPreviewFileBytes, &m_previewWatch);
    const std::lock_guard lock(previews.mutex);
    if (generation != previews.generation)
        return true;
    if (result.cancelled()) { // the window's call came first: made again afterwards
        previews.waiting.push_front(std::move(wanted));
        return true;
    }
    if (!result.ok())
        closeKept(held->take());
    QMetaObject::invokeMethod(
        previews.context, [done = previews.done, id = wanted.id, held] { done(id, held->take()); },
        Qt::QueuedConnection);
    return true;
}

} // namespace vantora
