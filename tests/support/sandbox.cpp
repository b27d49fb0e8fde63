#include "sandbox.h"

#include "testdir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace vantora::test {

namespace {

bool s_inPrivateNamespace = false;

QString systemError(const char *what)
{
    return QLatin1String(what) + QLatin1String(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// Mount points of this namespace, as /proc/self/mountinfo spells them (octal escapes undone).
QStringList mountPoints()
{
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList points;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        const QByteArray &escaped = fields.at(4);
        QByteArray raw;
        for (qsizetype i = 0; i < escaped.size(); ++i) {
            if (escaped.at(i) == '\\' && i + 3 < escaped.size()) {
                raw.append(char(escaped.mid(i + 1, 3).toInt(nullptr, 8)));
                i += 3;
            } else {
                raw.append(escaped.at(i));
            }
        }
        points.append(QFile::decodeName(raw));
    }
    return points;
}

QStringList mountsHoldingCards()
{
    QStringList cards;
    for (const QString &point : mountPoints()) {
        if (point != QLatin1String("/") && QFileInfo(point + QLatin1String("/DCIM")).isDir() &&
            !cards.contains(point))
            cards.append(point);
    }
    return cards;
}

} // namespace

QString enterPrivateMountNamespace()
{
    if (s_inPrivateNamespace)
        return {};
    if (::geteuid() != 0)
        return QStringLiteral("a private mount namespace needs root");
    if (::unshare(CLONE_NEWNS) != 0)
        return systemError("unshare(CLONE_NEWNS)");
    // Without this, mounts would still propagate between the namespaces through shared peer groups.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return systemError("making / private");
    s_inPrivateNamespace = true;
    return {};
}

QString hideMountedCards()
{
    if (!s_inPrivateNamespace)
        return QStringLiteral("cards can only be hidden inside a private mount namespace");
    // A detached mount may uncover another card mounted below it: repeat until none is left.
    for (int pass = 0; pass < 8; ++pass) {
        QStringList cards = mountsHoldingCards();
        if (cards.isEmpty())
            return {};
        // Deepest first, so a card mounted inside another is not cut off before its turn.
        std::sort(cards.begin(), cards.end(),
                  [](const QString &a, const QString &b) { return a.count(u'/') > b.count(u'/'); });
        for (const QString &point : cards)
            ::umount2(QFile::encodeName(point).constData(), MNT_DETACH);
    }
    return QStringLiteral("cards stay mounted: ") + mountsHoldingCards().join(QLatin1String(", "));
}

QString isolateMounts()
{
    QString error = enterPrivateMountNamespace();
    if (error.isEmpty())
        error = hideMountedCards();
    return error;
}

ProgramSandbox::ProgramSandbox()
{
    isolateHome(m_home.path());
    QDir().mkpath(runtimeDir());
    QFile::setPermissions(runtimeDir(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("cache"))));
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("state"))));
    m_error = isolateMounts();
}

QString ProgramSandbox::runtimeDir() const
{
    return m_home.filePath(QStringLiteral("runtime"));
}

QString ProgramSandbox::program()
{
    return QString::fromLocal8Bit(qgetenv("VANTORA_BINARY_DIR")) + QLatin1String("/src/vantora");
}

QProcessEnvironment ProgramSandbox::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("XDG_STATE_HOME"), m_home.filePath(QStringLiteral("state")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    for (const char *name : {"XDG_DOCUMENTS_DIR", "XDG_PICTURES_DIR", "XDG_VIDEOS_DIR", "XDG_MUSIC_DIR",
                             "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY", "DISPLAY", "XAUTHORITY",
                             "SESSION_MANAGER", "LANGUAGE"})
        env.remove(QLatin1String(name));
    if (m_x11Display.isEmpty()) {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), m_x11Display);
    }
    return env;
}

void ProgramSandbox::start(QProcess &process, const QStringList &arguments) const
{
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(m_home.path());
    process.start(program(), arguments);
}

} // namespace vantora::test
