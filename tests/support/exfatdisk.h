#pragma once

#include <QString>
#include <QStringList>

namespace vantora::test {

// An exFAT filesystem on a loop device, mounted through FUSE: what a camera card or an external drive
// looks like (no unnamed temporaries, no hard links, names that ignore case). Unmounted and detached at
// the end of its scope. Needs root, /dev/fuse, loop devices, exfatprogs and exfat-fuse; `error` says
// which is missing.
class ExfatDisk final
{
public:
    ExfatDisk(const QString &image, const QString &mountPoint, int mib);
    ~ExfatDisk();
    ExfatDisk(const ExfatDisk &) = delete;
    ExfatDisk &operator=(const ExfatDisk &) = delete;
    QString error() const { return m_error; }

private:
    QString m_mountPoint;
    QString m_loop;
    QString m_error;
    bool m_mounted = false;
};

} // namespace vantora::test
