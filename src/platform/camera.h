#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace vantora {

class ContentHash;

// A camera or phone on a cable as libgphoto2 names it: its model ("Canon EOS 5D Mark III", "Directory
// Browse") and its port ("usb:001,004", "disk:/some/folder").
struct CameraId
{
    QString model;
    QString port;
    bool isValid() const { return !port.isEmpty(); }
    friend bool operator==(const CameraId &, const CameraId &) = default;
};
using CameraIds = QList<CameraId>;

// The source text that names a camera: "gphoto2://[usb:001,004]/".
QString CameraSourceText(const QString &port);
// The port a source text names, or nothing when the text names no camera.
std::optional<QString> CameraPortOf(const QString &sourceText);
inline bool IsCameraSourceText(const QString &sourceText)
{
    return CameraPortOf(sourceText).has_value();
}
// True for the path of a file on a camera (below a camera's source text).
bool IsCameraPath(const QString &path);

// What one call to a camera came to: libgphoto2's result code and, on a failure, its words.
struct CameraResult
{
    int code = 0;       // GP_OK or a GP_ERROR_* code
    QString text;       // what the library said, for a message
    QString heldBy;     // with claimedElsewhere(): the program found holding the device; empty: not known
    int writeError = 0; // a download that could not be written here: the errno (a full disk)
    bool ok() const { return code >= 0; }
    // The device is held by another program (GP_ERROR_IO_USB_CLAIM).
    bool claimedElsewhere() const;
    bool cancelled() const;
    // The file is not on the camera (any more).
    bool notFound() const;

    // A call that was cancelled, or that found another one waiting for the camera.
    static CameraResult ofCancel();
    static CameraResult ofBusy();
};

// One file of a camera's listing.
struct CameraEntry
{
    QByteArray folder; // the camera's folder, "/" + "/"-separated names
    QByteArray name;
    qint64 size = -1; // -1: the camera did not say
    qint64 mtime = 0; // seconds since the epoch; 0: the camera did not say
};

// One storage of a camera (a card slot, the phone's memory).
struct CameraStorage
{
    QByteArray folder; // the storage's folder ("/" when the camera has one)
    QString label;
    QString description;
};

// Watches a call to a camera from another thread: asks it to stop, and counts its bytes. Written by the
// thread that waits, read by the one that works, so every member is atomic.
struct CameraCallWatch
{
    std::atomic<bool> cancel{false};
    std::atomic<qint64> done{0};  // bytes so far of a download
    std::atomic<qint64> total{0}; // its bytes as the library announced them; 0: not known
};

// An opened camera. Every call blocks until the camera answered: callers on the user-interface thread
// make them on a worker. A session is used by one thread at a time.
class CameraSession final
{
public:
    ~CameraSession();
    CameraSession(const CameraSession &) = delete;
    CameraSession &operator=(const CameraSession &) = delete;

    // Opens the camera of that model at that port (the model may be empty where the port says it). The
    // library's own CAMLIBS and IOLIBS environment variables say where its drivers are.
    static std::unique_ptr<CameraSession> open(const CameraId &camera, CameraResult *result,
                                               CameraCallWatch *watch = nullptr);

    const CameraId &id() const { return m_id; }
    // The model the library found at the port (the abilities it was opened with).
    QString model() const { return m_model; }

    CameraResult storages(QList<CameraStorage> &storages, CameraCallWatch *watch = nullptr);
    CameraResult folders(const QByteArray &folder, QList<QByteArray> &names,
                         CameraCallWatch *watch = nullptr);
    // The files of a folder with their sizes and times.
    CameraResult files(const QByteArray &folder, QList<CameraEntry> &entries,
                       CameraCallWatch *watch = nullptr);
    // One file as the camera lists it now (not as an earlier listing remembered it).
    CameraResult entry(const QByteArray &folder, const QByteArray &name, CameraEntry &entry,
                       CameraCallWatch *watch = nullptr);
    // Writes the file's bytes to fd from its start; with hash, hashes them on their way.
    CameraResult download(const QByteArray &folder, const QByteArray &name, int fd,
                          CameraCallWatch *watch = nullptr, ContentHash *hash = nullptr);
    CameraResult remove(const QByteArray &folder, const QByteArray &name, CameraCallWatch *watch = nullptr);
    // Writes the camera's own preview of the file to fd; when it gives none, the file itself, if the
    // camera lists it with a size of at most maxFileBytes (a download of another size fails).
    CameraResult preview(const QByteArray &folder, const QByteArray &name, int fd, qint64 maxFileBytes,
                         CameraCallWatch *watch = nullptr);
    // The serial number from the camera's summary; empty when it gives none.
    QString serialNumber(CameraCallWatch *watch = nullptr);
    // True while the camera still answers (a question about its storages).
    bool answers(CameraCallWatch *watch = nullptr);

    struct Handles;

private:
    CameraSession() = default;

    std::unique_ptr<Handles> m_handles;
    CameraId m_id;
    QString m_model;
};

// The cameras libgphoto2 finds on the machine's ports now (USB, and any other port it probes by itself).
CameraIds DetectConnectedCameras();

// The words for a libgphoto2 result code.
QString CameraResultText(int code);

// Tests make opening a camera fail as if another program held its device (GP_ERROR_IO_USB_CLAIM) while
// this returns true; nothing else sets it.
void SetCameraClaimFaultForTesting(std::function<bool(const CameraId &camera)> fault);

} // namespace vantora
