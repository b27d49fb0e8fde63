#include "testdir.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace vantora::test {

TestDir::TestDir()
{
    Q_ASSERT(m_dir.isValid());
}

QString TestDir::createFile(const QString &relative, const QByteArray &content)
{
    const QString full = m_dir.filePath(relative);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile f(full);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
    return full;
}

QString TestDir::createDir(const QString &relative)
{
    const QString full = m_dir.filePath(relative);
    QDir().mkpath(full);
    return full;
}

QString sourceDir()
{
    const QByteArray env = qgetenv("VANTORA_SOURCE_DIR");
    return env.isEmpty() ? QStringLiteral(".") : QString::fromLocal8Bit(env);
}

QString sharedTestData(const QString &relative)
{
    // CI has ../shared beside the clone; a work tree may sit one level deeper.
    // QString, not string builders: a builder would outlive the sourceDir() temporary it refers to
    for (const QString &base : {QString(sourceDir() + QLatin1String("/../shared/testdata")),
                                QString(sourceDir() + QLatin1String("/../../shared/testdata"))}) {
        const QString p = QDir::cleanPath(base + QLatin1Char('/') + relative);
        if (QFileInfo::exists(p))
            return p;
    }
    return QString();
}

void isolateHome(const QString &root)
{
    QDir().mkpath(root + QLatin1String("/config"));
    QDir().mkpath(root + QLatin1String("/data"));
    qputenv("HOME", root.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root + QLatin1String("/config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root + QLatin1String("/data")).toLocal8Bit());
    // Empty user-dirs file: the special folders fall back to ~/Documents, ~/Pictures, ~/Videos, ~/Music.
    qunsetenv("XDG_DOCUMENTS_DIR");
    qunsetenv("XDG_PICTURES_DIR");
}

IsolatedHome::IsolatedHome()
{
    isolateHome(dir.path());
    QStandardPaths::setTestModeEnabled(true);
}

QMap<QString, QByteArray> filesBelow(const QString &folder, QDir::Filters filter)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, filter, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        files.insert(QDir(folder).relativeFilePath(path),
                     f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
    }
    return files;
}

} // namespace vantora::test
