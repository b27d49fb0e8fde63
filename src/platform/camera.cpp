#include "platform/camera.h"

#include "platform/contenthash.h"

#include <QMutex>
#include <QRegularExpression>

#include <gphoto2/gphoto2.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace vantora {

namespace {

constexpr QLatin1StringView SchemePrefix("gphoto2://[");
constexpr QLatin1StringView SchemeSuffix("]/");

QMutex &driversMutex()
{
    static QMutex mutex;
    return mutex;
}

// Loading the camera drivers reads every camera library: once for the program, under driversMutex().
CameraAbilitiesList *cameraDrivers(GPContext *context)
{
    static CameraAbilitiesList *loaded = nullptr;
    if (!loaded) {
        gp_abilities_list_new(&loaded);
        gp_abilities_list_load(loaded, context);
    }
    return loaded;
}

// The ports as they are now: loading the list enumerates the USB devices plugged in.
struct PortList
{
    GPPortInfoList *list = nullptr;
    PortList()
    {
        gp_port_info_list_new(&list);
        gp_port_info_list_load(list);
    }
    ~PortList() { gp_port_info_list_free(list); }
    PortList(const PortList &) = delete;
    PortList &operator=(const PortList &) = delete;
};

std::function<bool(const CameraId &)> &claimFault()
{
    static std::function<bool(const CameraId &)> fault;
    return fault;
}

GPContextFeedback cancelAsked(GPContext *, void *data);
void errorSaid(GPContext *, const char *text, void *data);

// A list the library fills, freed on every path.
struct ListHolder
{
    CameraList *list = nullptr;
    ListHolder() { gp_list_new(&list); }
    ~ListHolder() { gp_list_free(list); }
    ListHolder(const ListHolder &) = delete;
    ListHolder &operator=(const ListHolder &) = delete;
    int count() const { return gp_list_count(list); }
    QByteArray name(int i) const
    {
        const char *name = nullptr;
        gp_list_get_name(list, i, &name);
        return QByteArray(name ? name : "");
    }
    QByteArray value(int i) const
    {
        const char *value = nullptr;
        gp_list_get_value(list, i, &value);
        return QByteArray(value ? value : "");
    }
};

} // namespace

struct CameraSession::Handles
{
    Camera *camera = nullptr;
    GPContext *context = nullptr;
    CameraCallWatch *watch = nullptr; // of the call in progress
    QString lastError;

    ~Handles()
    {
        if (camera) {
            gp_camera_exit(camera, context);
            gp_camera_unref(camera);
        }
        if (context)
            gp_context_unref(context);
    }

    // The call's result, with the words the library gave for a failure.
    CameraResult result(int code)
    {
        CameraResult r;
        r.code = code;
        if (code < GP_OK)
            r.text = lastError.isEmpty() ? CameraResultText(code) : lastError;
        lastError.clear();
        watch = nullptr;
        return r;
    }
};

namespace {

GPContextFeedback cancelAsked(GPContext *, void *data)
{
    const auto *handles = static_cast<const CameraSession::Handles *>(data);
    return handles->watch && handles->watch->cancel.load() ? GP_CONTEXT_FEEDBACK_CANCEL
                                                           : GP_CONTEXT_FEEDBACK_OK;
}

void errorSaid(GPContext *, const char *text, void *data)
{
    static_cast<CameraSession::Handles *>(data)->lastError = QString::fromUtf8(text).trimmed();
}

} // namespace

QString CameraSourceText(const QString &port)
{
    return SchemePrefix + port + SchemeSuffix;
}

std::optional<QString> CameraPortOf(const QString &sourceText)
{
    if (!sourceText.startsWith(SchemePrefix) || !sourceText.endsWith(SchemeSuffix))
        return std::nullopt;
    const QString port =
        sourceText.mid(SchemePrefix.size(), sourceText.size() - SchemePrefix.size() - SchemeSuffix.size());
    if (port.isEmpty() || port.contains(u']'))
        return std::nullopt;
    return port;
}

bool IsCameraPath(const QString &path)
{
    return path.startsWith(SchemePrefix) && path.indexOf(SchemeSuffix) > SchemePrefix.size();
}

bool CameraResult::claimedElsewhere() const
{
    return code == GP_ERROR_IO_USB_CLAIM;
}

bool CameraResult::cancelled() const
{
    return code == GP_ERROR_CANCEL;
}

bool CameraResult::notFound() const
{
    return code == GP_ERROR_FILE_NOT_FOUND || code == GP_ERROR_DIRECTORY_NOT_FOUND;
}

CameraResult CameraResult::ofCancel()
{
    return CameraResult{GP_ERROR_CANCEL, CameraResultText(GP_ERROR_CANCEL), {}};
}

CameraResult CameraResult::ofBusy()
{
    return CameraResult{GP_ERROR_CAMERA_BUSY, CameraResultText(GP_ERROR_CAMERA_BUSY), {}};
}

QString CameraResultText(int code)
{
    return QString::fromUtf8(gp_result_as_string(code));
}

CameraSession::~CameraSession() = default;

std::unique_ptr<CameraSession> CameraSession::open(const CameraId &id, CameraResult *result,
                                                   CameraCallWatch *watch)
{
    std::unique_ptr<CameraSession> session(new CameraSession);
    session->m_id = id;
    session->m_handles = std::make_unique<Handles>();
    Handles &h = *session->m_handles;
    h.context = gp_context_new();
    gp_context_set_cancel_func(h.context, cancelAsked, &h);
    gp_context_set_error_func(h.context, errorSaid, &h);
    h.watch = watch;
    const auto fail = [&](int code) -> std::unique_ptr<CameraSession> {
        if (result)
            *result = h.result(code);
        return nullptr;
    };
    gp_camera_new(&h.camera);

    QString model = id.model;
    if (model.isEmpty()) {
        for (const CameraId &found : DetectConnectedCameras()) {
            if (found.port == id.port) {
                model = found.model;
                break;
            }
        }
    }
    {
        const QMutexLocker lock(&driversMutex());
        if (!model.isEmpty()) {
            CameraAbilitiesList *abilities = cameraDrivers(h.context);
            const int index = gp_abilities_list_lookup_model(abilities, model.toUtf8().constData());
            if (index < GP_OK)
                return fail(GP_ERROR_MODEL_NOT_FOUND);
            CameraAbilities found;
            gp_abilities_list_get_abilities(abilities, index, &found);
            gp_camera_set_abilities(h.camera, found);
        }
        const PortList ports;
        const int portIndex = gp_port_info_list_lookup_path(ports.list, id.port.toUtf8().constData());
        if (portIndex < GP_OK)
            return fail(portIndex);
        GPPortInfo port;
        gp_port_info_list_get_info(ports.list, portIndex, &port);
        gp_camera_set_port_info(h.camera, port);
    }
    if (claimFault() && claimFault()(id))
        return fail(GP_ERROR_IO_USB_CLAIM);
    if (const int code = gp_camera_init(h.camera, h.context); code < GP_OK)
        return fail(code);
    CameraAbilities opened;
    gp_camera_get_abilities(h.camera, &opened);
    session->m_model = QString::fromUtf8(opened.model);
    if (result)
        *result = h.result(GP_OK);
    return session;
}

CameraResult CameraSession::storages(QList<CameraStorage> &storages, CameraCallWatch *watch)
{
    Handles &h = *m_handles;
    h.watch = watch;
    CameraStorageInformation *info = nullptr;
    int count = 0;
    const int code = gp_camera_get_storageinfo(h.camera, &info, &count, h.context);
    storages.clear();
    if (code >= GP_OK) {
        for (int i = 0; i < count; ++i) {
            CameraStorage storage;
            storage.folder = (info[i].fields & GP_STORAGEINFO_BASE) ? QByteArray(info[i].basedir) : "/";
            if (info[i].fields & GP_STORAGEINFO_LABEL)
                storage.label = QString::fromUtf8(info[i].label);
            if (info[i].fields & GP_STORAGEINFO_DESCRIPTION)
                storage.description = QString::fromUtf8(info[i].description);
            storages.append(storage);
        }
        free(info); // NOLINT: the library allocated it with malloc
    }
    return h.result(code);
}

namespace {

// The names a folder's listing gives: its sub-folders, or its files.
int listNames(Camera *camera, GPContext *context, const QByteArray &folder, bool files,
              QList<QByteArray> &names)
{
    ListHolder list;
    const int code = files ? gp_camera_folder_list_files(camera, folder.constData(), list.list, context)
                           : gp_camera_folder_list_folders(camera, folder.constData(), list.list, context);
    names.clear();
    for (int i = 0; code >= GP_OK && i < list.count(); ++i)
        names.append(list.name(i));
    return code;
}

} // namespace

CameraResult CameraSession::folders(const QByteArray &folder, QList<QByteArray> &names,
                                    CameraCallWatch *watch)
{
    Handles &h = *m_handles;
    h.watch = watch;
    return h.result(listNames(h.camera, h.context, folder, false, names));
}

CameraResult CameraSession::files(const QByteArray &folder, QList<CameraEntry> &entries,
                                  CameraCallWatch *watch)
{
    Handles &h = *m_handles;
    h.watch = watch;
    QList<QByteArray> names;
    int code = listNames(h.camera, h.context, folder, true, names);
    entries.clear();
    for (qsizetype i = 0; code >= GP_OK && i < names.size(); ++i) {
        CameraEntry entry;
        entry.folder = folder;
        entry.name = names.at(i);
        CameraFileInfo info;
        code =
            gp_camera_file_get_info(h.camera, folder.constData(), entry.name.constData(), &info, h.context);
        if (code < GP_OK)
            break;
        if (info.file.fields & GP_FILE_INFO_SIZE)
            entry.size = qint64(info.file.size);
        if (info.file.fields & GP_FILE_INFO_MTIME)
            entry.mtime = qint64(info.file.mtime);
        entries.append(entry);
    }
    return h.result(code);
}

CameraResult CameraSession::entry(const QByteArray &folder, const QByteArray &name, CameraEntry &entry,
                                  CameraCallWatch *watch)
{
    Handles &h = *m_handles;
    h.watch = watch;
    // The library keeps what it listed; the question is what the camera holds now.
    gp_filesystem_reset(h.camera->fs);
    CameraFileInfo info;
    const int code =
        gp_camera_file_get_info(h.camera, folder.constData(), name.constData(), &info, h.context);
    entry = CameraEntry{folder, name, -1, 0};
    if (code >= GP_OK) {
        if (info.file.fields & GP_FILE_INFO_SIZE)
            entry.size = qint64(info.file.size);
        if (info.file.fields & GP_FILE_INFO_MTIME)
            entry.mtime = qint64(info.file.mtime);
    }
    return h.result(code);
}

namespace {

// One file of the camera, of that type, written to fd.
int getFile(Camera *camera, GPContext *context, const QByteArray &folder, const QByteArray &name,
            CameraFileType type, int fd)
{
    const int own = ::dup(fd); // the library closes the descriptor it is given
    if (own < 0)
        return GP_ERROR_NO_MEMORY;
    CameraFile *file = nullptr;
    if (const int code = gp_file_new_from_fd(&file, own); code < GP_OK) {
        ::close(own);
        return code;
    }
    const int code = gp_camera_file_get(camera, folder.constData(), name.constData(), type, file, context);
    gp_file_free(file);
    return code;
}

// Where a download with its hash goes: each piece the library hands over is written to the file and
// hashed on its way, so the file is not read again for its hash.
struct HashingSink
{
    int fd;
    ContentHash *hash;
    int error = 0;

    static int write(void *priv, unsigned char *data, uint64_t *length)
    {
        auto *sink = static_cast<HashingSink *>(priv);
        for (uint64_t done = 0; done < *length;) {
            const ssize_t n = ::write(sink->fd, data + done, size_t(*length - done));
            if (n < 0 && errno != EINTR) {
                sink->error = errno;
                return GP_ERROR_IO_WRITE;
            }
            done += n > 0 ? uint64_t(n) : 0;
        }
        sink->hash->add(reinterpret_cast<const char *>(data), size_t(*length));
        return GP_OK;
    }
    static int unreadable(void *, unsigned char *, uint64_t *) { return GP_ERROR_NOT_SUPPORTED; }
    static int unsized(void *, uint64_t *) { return GP_ERROR_NOT_SUPPORTED; }
};

qint64 sizeOf(int fd)
{
    struct stat st;
    return ::fstat(fd, &st) == 0 ? qint64(st.st_size) : -1;
}

} // namespace

CameraResult CameraSession::preview(const QByteArray &folder, const QByteArray &name, int fd,
                                    qint64 maxFileBytes, CameraCallWatch *watch)
{
    Handles &h = *m_handles;
    h.watch = watch;
    const auto cancelled = [watch] { return watch && watch->cancel.load(); };
    int code = getFile(h.camera, h.context, folder, name, GP_FILE_TYPE_PREVIEW, fd);
    if (cancelled())
        return h.result(GP_ERROR_CANCEL);
    if (code >= GP_OK && sizeOf(fd) > 0)
        return h.result(code);
    // No preview: the file's own bytes, when it is small enough to be decoded.
    h.lastError.clear();
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0)
        return h.result(GP_ERROR_IO);
    CameraFileInfo info;
    code = gp_camera_file_get_info(h.camera, folder.constData(), name.constData(), &info, h.context);
    if (code < GP_OK)
        return h.result(code);
    if (!(info.file.fields & GP_FILE_INFO_SIZE) || qint64(info.file.size) > maxFileBytes)
        return h.result(GP_ERROR_NOT_SUPPORTED);
    code = getFile(h.camera, h.context, folder, name, GP_FILE_TYPE_NORMAL, fd);
    if (cancelled())
        code = GP_ERROR_CANCEL;
    else if (code >= GP_OK && sizeOf(fd) != qint64(info.file.size))
        code = GP_ERROR_CORRUPTED_DATA;
    return h.result(code);
}

CameraResult CameraSession::download(const QByteArray &folder, const QByteArray &name, int fd,
                                     CameraCallWatch *watch, ContentHash *hash)
{
    Handles &h = *m_handles;
    h.watch = watch;
    int code = GP_OK;
    if (hash) {
        HashingSink sink{fd, hash};
        CameraFileHandler handler{&HashingSink::unsized, &HashingSink::unreadable, &HashingSink::write};
        CameraFile *file = nullptr;
        code = gp_file_new_from_handler(&file, &handler, &sink);
        if (code >= GP_OK) {
            code = gp_camera_file_get(h.camera, folder.constData(), name.constData(), GP_FILE_TYPE_NORMAL,
                                      file, h.context);
            gp_file_free(file);
        }
        if (sink.error) {
            CameraResult failed = h.result(GP_ERROR_IO_WRITE);
            failed.writeError = sink.error;
            return failed;
        }
    } else {
        code = getFile(h.camera, h.context, folder, name, GP_FILE_TYPE_NORMAL, fd);
    }
    // Some drivers end a cancelled download as if it had succeeded.
    if (code >= GP_OK && watch && watch->cancel.load())
        code = GP_ERROR_CANCEL;
    return h.result(code);
}

CameraResult CameraSession::remove(const QByteArray &folder, const QByteArray &name, CameraCallWatch *watch)
{
    Handles &h = *m_handles;
    h.watch = watch;
    return h.result(gp_camera_file_delete(h.camera, folder.constData(), name.constData(), h.context));
}

QString CameraSession::serialNumber(CameraCallWatch *watch)
{
    Handles &h = *m_handles;
    h.watch = watch;
    CameraText summary;
    const int code = gp_camera_get_summary(h.camera, &summary, h.context);
    h.result(code);
    if (code < GP_OK)
        return {};
    static const QRegularExpression serial(QStringLiteral("^\\s*Serial\\s*Number\\s*:\\s*(\\S.*?)\\s*$"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = serial.match(QString::fromUtf8(summary.text));
    return match.hasMatch() ? match.captured(1) : QString();
}

bool CameraSession::answers(CameraCallWatch *watch)
{
    QList<CameraStorage> all;
    const CameraResult result = storages(all, watch);
    if (result.ok())
        return true;
    if (result.code != GP_ERROR_NOT_SUPPORTED)
        return false;
    // A camera that keeps no storage information answers a listing of its top folder.
    Handles &h = *m_handles;
    gp_filesystem_reset(h.camera->fs);
    QList<QByteArray> names;
    return folders("/", names, watch).ok();
}

void SetCameraClaimFaultForTesting(std::function<bool(const CameraId &)> fault)
{
    claimFault() = std::move(fault);
}

CameraIds DetectConnectedCameras()
{
    GPContext *context = gp_context_new();
    ListHolder list;
    CameraIds found;
    {
        const QMutexLocker lock(&driversMutex());
        const PortList ports;
        if (gp_abilities_list_detect(cameraDrivers(context), ports.list, list.list, context) >= GP_OK) {
            for (int i = 0; i < list.count(); ++i) {
                // The generic "usb:" entry names no device.
                if (list.value(i) != "usb:")
                    found.append(CameraId{QString::fromUtf8(list.name(i)), QString::fromUtf8(list.value(i))});
            }
        }
    }
    gp_context_unref(context);
    return found;
}

} // namespace vantora
