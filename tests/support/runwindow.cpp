#include "runwindow.h"

#include "democardrun.h"
#include "formchild.h"
#include "platform/registrystore.h"
#include "settings/settingsstore.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace vantora::test {

WindowRun::WindowRun()
{
    isolateHome(m_home.path());
}

void WindowRun::prepare()
{
    const QString error = prepareDemoCardRun(m_home.path(), m_dir, m_volumes);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_prompt = std::make_unique<TestPrompt>();
}

void WindowRun::finish()
{
    close();
    m_prompt.reset();
    for (const CameraId &camera : m_cameras.connected())
        m_cameras.unplug(camera.port);
    m_volumes.reset();
    m_dir.reset();
}

void WindowRun::start(const SettingsRecord &record, const QStringList &arguments,
                      const std::function<void(VantoraApp &)> &beforeShow)
{
    RegistryStore store;
    SettingsRecord copy = record;
    QVERIFY(SaveSettings(store, copy));
    m_app = std::make_unique<VantoraApp>(arguments, m_volumes.get(), &m_cameras);
    m_app->setHistoryPath(historyPath());
    if (beforeShow)
        beforeShow(*m_app);
    form()->show();
    QVERIFY(QTest::qWaitForWindowExposed(form()));
    QTRY_VERIFY(formChild<QTimer>(form(), "Timer1")->isActive()); // start-up finished
}

void WindowRun::close()
{
    if (m_app)
        form()->close();
    m_app.reset();
}

void WindowRun::pressStart()
{
    QTest::mouseClick(formChild<QPushButton>(form(), "StartTransferBitBtn"), Qt::LeftButton);
}

void WindowRun::cancelOnceStarted()
{
    auto *cancel = formChild<QPushButton>(form(), "CancelTransferBitBtn");
    QTimer::singleShot(0, cancel, [cancel] { QTest::mouseClick(cancel, Qt::LeftButton); });
}

void WindowRun::addBigFirstFile()
{
    m_dir->createFile(QStringLiteral("card/DCIM/100CANON/AAA_BIG.JPG"), QByteArray(64 * 1024 * 1024, 'b'));
}

SettingsRecord WindowRun::allFilesToDest() const
{
    SettingsRecord r = SettingsRecord::defaults();
    r.SourceEditText = card(QStringLiteral("DCIM/"));
    r.AllFileChecked = true;
    r.AllFileDir = dest() + u'/';
    for (auto &type : r.types)
        type.checked = false;
    return r;
}

QString WindowRun::card(const QString &relative) const
{
    return m_dir->filePath(QStringLiteral("card")) + (relative.isEmpty() ? QString() : u'/' + relative);
}

QString WindowRun::dest(const QString &relative) const
{
    return m_dir->filePath(QStringLiteral("dest")) + (relative.isEmpty() ? QString() : u'/' + relative);
}

QString WindowRun::historyPath() const
{
    return m_dir->filePath(QStringLiteral("history/history.sqlite"));
}

QString WindowRun::status() const
{
    return formChild<QLabel>(form(), "StatusLabel")->text();
}

} // namespace vantora::test
