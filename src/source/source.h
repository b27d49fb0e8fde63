#pragma once

#include "platform/filestamp.h"
#include "source/sourcewalk.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace vantora {

// One file of a source as its listing found it; it travels from the listing to the copy, the commit and
// the history.
struct SourceFile
{
    QString path;     // what every operation on it takes: exact bytes as text (pathFromBytes)
    QString relative; // below the source's root
    // Which file the listing saw (device and inode where the source has them), its size and its time.
    FileStamp stamp;
    quint64 rows = 0; // bit i: the i-th mask took it (a file is listed once per mask that takes it)
    qint64 size() const { return stamp.size; }
};
using SourceFiles = QList<SourceFile>;

// Why a source's last open, look or removal failed, beyond its errno.
enum class SourceFault
{
    None,
    Short, // a download held another number of bytes than the listing said
    Gone,  // the source went away: a card taken out, a camera unplugged
    Other,
};

// Where a run's files come from. Every file operation of a run on its source goes through this, so a run
// works the same from a folder and from any other kind of source.
class Source
{
public:
    virtual ~Source() = default;

    // The text that names the source for the user (the source box).
    virtual QString displayName() const = 0;
    // The root every listed file lies below; a folder source's folder. Targets inside it are refused.
    virtual QString root() const = 0;
    // Every file the masks take, once per mask that takes it, in run order. The pump keeps the window
    // alive and ends the listing early; the filter leaves out files already imported.
    virtual SourceFiles list(const QStringList &masks, WalkPump *pump = nullptr,
                             WalkFilter *filter = nullptr) const = 0;
    // Opens a file for reading: a descriptor the caller owns, or -errno.
    virtual int open(const SourceFile &file) const = 0;
    // A file the run opens soon: its medium may begin reading it while the one open now is copied. The
    // bytes it began reading (0: none, the file is in the cache already or cannot be read ahead).
    virtual qint64 readAhead(const SourceFile &file) const
    {
        Q_UNUSED(file)
        return 0;
    }
    // The run stopped: what readAhead() was asked for and has not begun is dropped.
    virtual void cancelReadAhead() const {}
    // True when the file's pages in the cache came from readAhead() (it was not in the cache before).
    virtual bool wasReadAhead(const SourceFile &file) const
    {
        Q_UNUSED(file)
        return false;
    }
    // A source that downloads its files may download one straight into an unnamed file in folder, so that
    // the download is the copy and nothing is written twice: the descriptor of that complete file (the
    // caller owns it, its content hash in *hash when the source took it), -errno when the download failed,
    // or nothing when the file is to be copied from open() as usual.
    virtual std::optional<int> downloadUnnamedIn(const SourceFile &file, const QString &folder,
                                                 QByteArray *hash) const
    {
        Q_UNUSED(file)
        Q_UNUSED(folder)
        Q_UNUSED(hash)
        return std::nullopt;
    }
    // Just before a deletion: what the file's name holds now, or nothing when it holds no plain file (gone,
    // replaced by a link, or reached through a folder link).
    virtual std::optional<FileStamp> currentStamp(const SourceFile &file) const = 0;
    // Deletes the file; 0 or the errno.
    virtual int remove(const SourceFile &file) const = 0;
    // What the import history knows the source by; empty where the volume it lies on tells (a folder).
    virtual QString identity() const { return {}; }
    // What a descriptor open() gave holds, as currentStamp() tells a file: a folder's file is the
    // descriptor's own; a camera's download stands for the file the camera listed.
    virtual FileStamp openedStamp(const SourceFile &file, const FileStamp &descriptor) const
    {
        Q_UNUSED(file)
        return descriptor;
    }
    // True when the source went away since it was made (a card taken out, a camera unplugged).
    virtual bool gone() const = 0;
    // Why the last failed call on the source failed.
    virtual SourceFault lastFault() const { return SourceFault::None; }
    // The names of the plain files in a folder of the source (the text before a listed file's name, its
    // "/" kept): where the sidecars of a shot are found.
    virtual QStringList fileNamesIn(const QString &folder) const = 0;
    // Records for files named by path (a listed file's folder and a name fileNamesIn gave), in the given
    // order; a file that cannot be found keeps an empty stamp and fails when it is opened.
    virtual SourceFiles filesAt(const QStringList &paths) const = 0;
    // True when its files are files of a mounted filesystem, each also read through its path (a folder);
    // false where only the source reads them (a camera's).
    virtual bool filesHavePaths() const { return true; }
};

// A folder on a mounted drive (a card, a folder the user chose).
class FolderSource final : public Source
{
public:
    explicit FolderSource(QString folder);
    ~FolderSource() override;
    FolderSource(const FolderSource &) = delete;
    FolderSource &operator=(const FolderSource &) = delete;

    QString displayName() const override { return m_folder; }
    QString root() const override { return m_folder; }
    SourceFiles list(const QStringList &masks, WalkPump *pump = nullptr,
                     WalkFilter *filter = nullptr) const override;
    int open(const SourceFile &file) const override;
    qint64 readAhead(const SourceFile &file) const override;
    void cancelReadAhead() const override;
    bool wasReadAhead(const SourceFile &file) const override;
    std::optional<FileStamp> currentStamp(const SourceFile &file) const override;
    int remove(const SourceFile &file) const override;
    // The folder (or the drive holding it) is no longer the one the source was made on.
    bool gone() const override;

    QStringList fileNamesIn(const QString &folder) const override;
    // Each stat'ed once (links followed).
    SourceFiles filesAt(const QStringList &paths) const override;

private:
    QString m_folder;
    QString m_linkRoot; // nothing reached through a folder link below it is deleted
    std::optional<FileId> m_rootId;
    // A file is opened once for its shooting date and its copy: the copy reads on from where the kernel's
    // readahead stands. Held until its second open, the next file's first, or its removal.
    mutable QString m_openPath;
    mutable int m_openFd = -1;
    quint64 readAheadTicket(const SourceFile &file) const;

    // The last files read ahead from the medium (those of the run's read-ahead window and the one copied
    // now), each with its StartReadAhead ticket.
    mutable QList<std::pair<QString, quint64>> m_readAhead;
};

} // namespace vantora
