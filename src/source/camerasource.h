#pragma once

#include "platform/camera.h"
#include "source/source.h"

#include <QHash>
#include <QList>

#include <functional>
#include <memory>
#include <vector>

class QObject;

namespace vantora {

// What a camera source asks of whoever waits for it on the user-interface thread while a worker talks to
// the camera. Each part may be empty.
struct CameraActivity
{
    std::function<void()> pump;    // runs pending events (about every 20 ms)
    std::function<bool()> stopped; // true: the call in progress ends (the library's cancel)
    std::function<void(qint64 total, qint64 done)> progress; // bytes of a download so far
};

// A file of a camera's listing whose preview is asked for, and what the answer is known by.
struct CameraPreviewRequest
{
    int id = 0;
    QString path; // as list() gave it
};

// Why the last call on a camera failed, beyond its errno.
enum class CameraFault
{
    None,
    Short, // the download held fewer (or more) bytes than the listing said
    Gone,  // the camera stopped answering (unplugged, switched off)
    Busy,  // a call came while another one waited for the camera
    Other,
};

// "転送元：<camera>" and that the camera cannot be opened or listed, with what the library said; for a
// camera another program holds, which program and what to do.
QString cameraNotReadyMessage(const QString &source, const CameraResult &why);

// A camera or phone on a cable, through libgphoto2: its storages and folders are the source's tree, below
// the root "gphoto2://[PORT]/". Every call to the camera runs on a worker thread while the activity keeps
// the window turning. A file is downloaded once and kept for the next opening of the same file, so the
// shooting date and the copy read one download: into an unnamed file of the destination's filesystem,
// which becomes the copy itself, or into memory when it is opened before its destination is known.
class CameraSource final : public Source
{
public:
    explicit CameraSource(CameraId camera);
    ~CameraSource() override;

    void setActivity(CameraActivity activity) { m_activity = std::move(activity); }

    // Opens the camera (once); the same result again afterwards. list() connects by itself.
    CameraResult connect() const;
    // True once connect() ran to an end (whether the camera opened or not).
    bool connected() const { return m_connected; }
    // True while a call waits for the camera.
    bool isBusy() const { return m_busy; }
    const CameraId &camera() const { return m_camera; }
    // The model the library found, else the one asked for.
    QString model() const;

    QString displayName() const override { return root(); }
    QString root() const override;
    SourceFiles list(const QStringList &masks, WalkPump *pump = nullptr,
                     WalkFilter *filter = nullptr) const override;
    int open(const SourceFile &file) const override;
    // As the camera lists them now; filesAt() takes their sizes and times from that listing.
    QStringList fileNamesIn(const QString &folder) const override;
    SourceFiles filesAt(const QStringList &paths) const override;
    // Downloads into an unnamed file of folder's filesystem, which is then the copy itself.
    std::optional<int> downloadUnnamedIn(const SourceFile &file, const QString &folder,
                                         QByteArray *hash) const override;
    // What the camera lists under the name now: size and time, device and inode 0.
    std::optional<FileStamp> currentStamp(const SourceFile &file) const override;
    int remove(const SourceFile &file) const override;
    // The serial number from the camera's summary, else its model with its storage.
    QString identity() const override;

    // The previews of these files, the first first, made on the camera's worker while the window goes on.
    // Each comes to done on context's thread as the descriptor of a memory file (done owns it) holding the
    // camera's own preview, else the file itself when it is small enough to be decoded; or -1 with
    // neither. Replaces the files asked for before that were not begun. A call of the window's own
    // interrupts a preview, which is made again afterwards.
    void requestPreviews(std::vector<CameraPreviewRequest> files, QObject *context,
                         std::function<void(int id, int fd)> done) const;
    // Drops the previews asked for: done is not called again for them.
    void stopPreviews() const;

    // After a listing: its result (a camera that failed while listed leaves the list short).
    const CameraResult &listResult() const { return m_listResult; }
    // The download stands for the listed file: its size was checked against the listing.
    FileStamp openedStamp(const SourceFile &file, const FileStamp &descriptor) const override;
    // True when the camera no longer answers.
    bool gone() const override;
    bool filesHavePaths() const override { return false; }
    // After a failed open or removal: why (Gone: the camera stopped answering), and the library's words.
    SourceFault lastFault() const override { return m_fault; }
    QString lastFaultText() const { return m_faultText; }

    // The stamp a camera's file is listed with.
    static FileStamp stampOf(const CameraEntry &entry);

private:
    class Worker;
    struct Previews;
    struct Kept
    {
        QString path;
        int fd = -1;
        bool handedOver = false; // became a copy: another copy of the file reads it
    };
    template <class Work>
    bool onWorker(Work &&work, WalkPump *walkPump = nullptr, int progressFd = -1, qint64 total = 0) const;
    // The camera's folder and name of a listed file.
    void locate(const SourceFile &file, QByteArray &folder, QByteArray &name) const;
    int fail(SourceFault fault, const CameraResult &result, int error) const;
    void forget(const QString &path) const;
    int downloadInto(const SourceFile &file, int fd, QByteArray *hash = nullptr) const;
    Worker &worker() const;
    // On the worker: makes the first preview waiting. False when none waits.
    bool makeNextPreview() const;

    CameraId m_camera;
    CameraActivity m_activity;
    mutable std::unique_ptr<Worker> m_worker; // outlives the session, which is closed on it
    mutable std::unique_ptr<CameraSession> m_session;
    mutable CameraResult m_connectResult;
    mutable bool m_connected = false;
    mutable CameraResult m_listResult;
    mutable CameraCallWatch m_watch;
    mutable bool m_busy = false;
    mutable QList<Kept> m_kept; // the latest downloads, newest last
    mutable SourceFault m_fault = SourceFault::None;
    mutable QString m_faultText;
    mutable QString m_identity;
    mutable QHash<QString, FileStamp> m_folderListing; // of fileNamesIn(), by path
    std::unique_ptr<Previews> m_previews;              // shared with the worker, under its own lock
    mutable CameraCallWatch m_previewWatch;
};

} // namespace vantora
