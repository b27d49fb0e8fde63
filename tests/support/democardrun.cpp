#include "democardrun.h"

#include "platform/registrystore.h"

#include <QProcess>

namespace vantora::test {

QString prepareDemoCardRun(const QString &home, std::unique_ptr<TestDir> &dir,
                           std::unique_ptr<FakeVolumes> &volumes)
{
    QDir(RegistryStore::defaultDirectory()).removeRecursively();
    dir = std::make_unique<TestDir>();
    QDir().mkpath(home + QLatin1String("/Documents"));
    QDir().mkpath(home + QLatin1String("/Pictures"));
    const QString card = dir->filePath(QStringLiteral("card"));
    QProcess make;
    make.start(sourceDir() + QLatin1String("/scripts/make-demo-card"), {card});
    if (!make.waitForFinished(60000) || make.exitCode() != 0)
        return QStringLiteral("make-demo-card failed: ") +
               QString::fromLocal8Bit(make.readAllStandardError());
    dir->createDir(QStringLiteral("sys"));
    dir->createDir(QStringLiteral("dest"));
    volumes = std::make_unique<FakeVolumes>(dir->filePath(QStringLiteral("sys")));
    volumes->add({card, DriveType::Removable, true, QStringLiteral("CARD")});
    return {};
}

} // namespace vantora::test
