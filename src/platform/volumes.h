#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace vantora {

// Kinds of volume, numbered as the drive types the program reports.
enum class DriveType : int
{
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// The mounted volumes. A volume's root is its mount point; the system volume ("/") plays the part of the
// Windows drive: the watch never takes it.
class Volumes
{
public:
    virtual ~Volumes() = default;

    // Every volume root, sorted by path (the system root first). Each call reads the current state.
    virtual QStringList roots() const = 0;
    // NoRootDir when the root is not mounted (any more) or its folder is missing.
    virtual DriveType driveType(const QString &root) const = 0;
    // The volume answers a size query; a network or optical volume must also list an entry at its root.
    virtual bool isReady(const QString &root) const = 0;
    // The file system label, empty when there is none or the volume is gone.
    virtual QString label(const QString &root) const = 0;
    virtual QString systemRoot() const { return QStringLiteral("/"); }
    // What tells this volume from every other, the same each time it is mounted: "uuid:<filesystem UUID or
    // serial>". Empty ("no identity") when the filesystem has none (a tmpfs, a share) or the volume is gone:
    // a label or a size is shared by many cards, and the history must never take one card for another.
    virtual QString identity(const QString &root) const;

    // The root of the volume holding path: the longest root that is path itself or a folder above it.
    QString rootOf(const QString &path) const;
};

// The volumes of this machine, read from the mount table.
std::unique_ptr<Volumes> createSystemVolumes();

} // namespace vantora
