#include "exfatdisk.h"

#include "mounthelper.h"

#include <QFile>
#include <QFileInfo>

namespace vantora::test {

ExfatDisk::ExfatDisk(const QString &image, const QString &mountPoint, int mib) : m_mountPoint(mountPoint)
{
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse"))) {
        m_error = QStringLiteral("no /dev/fuse");
        return;
    }
    if (!QFileInfo::exists(QStringLiteral("/dev/loop-control"))) {
        m_error = QStringLiteral("no loop devices");
        return;
    }
    for (const char *tool : {"mkfs.exfat", "mount.exfat-fuse", "losetup"}) {
        if (runTestTool(QStringLiteral("sh"),
                        {QStringLiteral("-c"), QStringLiteral("command -v ") + QLatin1String(tool)}) != 0) {
            m_error = QLatin1String(tool) + QStringLiteral(" is not installed");
            return;
        }
    }
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(mib) << 20)) {
        m_error = QStringLiteral("cannot make the image");
        return;
    }
    file.close();
    QString out;
    if (runTestTool(QStringLiteral("mkfs.exfat"), {image}, &out) != 0) {
        m_error = QStringLiteral("mkfs.exfat failed: ") + out;
        return;
    }
    if (runTestTool(QStringLiteral("losetup"), {QStringLiteral("--find"), QStringLiteral("--show"), image},
                    &m_loop) != 0) {
        m_error = QStringLiteral("losetup failed: ") + m_loop;
        m_loop.clear();
        return;
    }
    if (runTestTool(QStringLiteral("mount.exfat-fuse"), {m_loop, mountPoint}, &out) != 0) {
        m_error = QStringLiteral("mount.exfat-fuse failed: ") + out;
        return;
    }
    m_mounted = true;
}

ExfatDisk::~ExfatDisk()
{
    if (m_mounted)
        runTestTool(QStringLiteral("umount"), {m_mountPoint});
    if (!m_loop.isEmpty())
        runTestTool(QStringLiteral("losetup"), {QStringLiteral("-d"), m_loop});
}

} // namespace vantora::test
