#include "mounthelper.h"

#include "sandbox.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <unistd.h>

namespace vantora::test {

int runTestTool(const QString &program, const QStringList &args, QString *output)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000))
        return -1;
    if (output)
        *output = QString::fromLocal8Bit(p.readAll()).trimmed();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TestMount::TestMount(const QString &mountPoint, const QStringList &mountArgs) : m_mountPoint(mountPoint)
{
    if (::geteuid() != 0) {
        m_error = QStringLiteral("mounting needs root");
        return;
    }
    // The test's mounts stay in its own namespace: no other test's volume scan ever sees them.
    m_error = enterPrivateMountNamespace();
    if (!m_error.isEmpty())
        return;
    QString out;
    if (runTestTool(QStringLiteral("mount"), mountArgs + QStringList{mountPoint}, &out) != 0) {
        m_error = QStringLiteral("mount failed: ") + out;
        return;
    }
    m_mounted = true;
}

TestMount::~TestMount()
{
    if (m_mounted)
        runTestTool(QStringLiteral("umount"), {QStringLiteral("-l"), m_mountPoint});
}

SmallDisk::SmallDisk(const QString &mountPoint, const QByteArray &size)
    : TestMount(mountPoint, {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                             QStringLiteral("size=") + QString::fromLatin1(size), QStringLiteral("tmpfs")})
{
}

BindMount::BindMount(const QString &folder, const QString &mountPoint)
    : TestMount(mountPoint, {QStringLiteral("--bind"), folder})
{
}

ImmutableFolder::ImmutableFolder(const QString &folder) : m_folder(folder)
{
    m_applied = runTestTool(QStringLiteral("chattr"), {QStringLiteral("+i"), folder}) == 0;
}

ImmutableFolder::~ImmutableFolder()
{
    if (m_applied)
        runTestTool(QStringLiteral("chattr"), {QStringLiteral("-i"), m_folder});
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
    return h.result();
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator gen(seed);
    gen.fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    for (qsizetype i = size / 4 * 4; i < size; ++i)
        data[i] = char(gen.generate());
    return data;
}

} // namespace vantora::test
