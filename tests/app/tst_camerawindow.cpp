// A camera on a cable through the real main window: found when no card holds a DCIM folder, shown in the
// source box, counted, moved from to the last file, and given up when it is unplugged. The camera is
// libgphoto2's "Directory Browse" camera showing the demo card's folder; no USB of the machine is asked.

#include "cameradrivers.h"
#include "formchild.h"
#include "runwindow.h"

#include "platform/specialfolders.h"
#include "source/widgets/sourcecontroller.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

using namespace vantora;
using namespace vantora::test;
using namespace Qt::StringLiterals;

namespace {

} // namespace

class TestCameraWindow final : public QObject
{
    Q_OBJECT

    WindowRun m_run;
    TestDir m_drivers;

private Q_SLOTS:
    void initTestCase() { QVERIFY(useDirectoryCameraOnly(m_drivers.path())); }
    void init() { m_run.prepare(); }
    void cleanup() { m_run.finish(); }

    void cameraFoundShownMovedAndGivenUp()
    {
        // The card is no drive here: only the camera shows its folder.
        m_run.volumes().remove(m_run.card());
        const QMap<QString, QByteArray> before = filesBelow(m_run.card(), QDir::Files);
        const CameraId camera{directoryCameraModel(), directoryCameraPort(m_run.card())};
        m_run.cameras().plug(camera);
        SettingsRecord settings = m_run.allFilesToDest();
        settings.SourceEditText = GetSpecialFolderPath(CSIDL_MYPICTURES) + u'/';
        settings.DelChecked = true;
        m_run.start(settings);

        auto *sourceBox = formChild<QLineEdit>(m_run.form(), "SourceEdit1");
        const QString shown = u"gphoto2://[disk:"_s + m_run.card() + u"]/"_s;
        QCOMPARE(sourceBox->text(), shown);
        QCOMPARE(formChild<QLabel>(m_run.form(), "VolLabel")->text(), directoryCameraModel());
        // Every picture, video and raw file the camera shows (its driver leaves out the text file).
        QTRY_COMPARE(formChild<QLabel>(m_run.form(), "FNumLabel")->text(), u"9"_s);

        m_run.prompt().answers.enqueue(true);
        m_run.pressStart();
        QTRY_COMPARE(m_run.status(), u"全ての転送が終了"_s);
        QVERIFY2(m_run.prompt().messages.isEmpty(), qPrintable(m_run.prompt().messages.join(u'\n')));
        QVERIFY(m_run.prompt().questions.value(0).startsWith(u"転送元："_s + shown +
                                                             u"    (Directory Browse)"_s));
        const QMap<QString, QByteArray> arrived = filesBelow(m_run.dest(), QDir::Files);
        QCOMPARE(arrived.size(), 9);
        for (auto it = arrived.cbegin(); it != arrived.cend(); ++it) {
            const QString name = QFileInfo(it.key()).fileName();
            QString original;
            for (auto b = before.cbegin(); b != before.cend(); ++b) {
                if (QFileInfo(b.key()).fileName() == name)
                    original = b.key();
            }
            QVERIFY2(!original.isEmpty(), qPrintable(it.key()));
            QCOMPARE(it.value(), before.value(original));
        }
        // Moved: the camera keeps only what it never showed.
        QCOMPARE(QStringList(filesBelow(m_run.card(), QDir::Files).keys()),
                 QStringList{u"MISC/readme.txt"_s});

        // Unplugged: back to the pictures folder, as when a card is taken out.
        m_run.cameras().unplug(camera.port);
        QTRY_COMPARE(sourceBox->text(), GetSpecialFolderPath(CSIDL_MYPICTURES) + u'/');
        QCOMPARE(formChild<QLabel>(m_run.form(), "VolLabel")->text(), QString());
    }

    // A camera another program holds (and the desktop has no mount of it): one message says so and what
    // to do; the next count, once the camera is free, opens it afresh. gio is a stand-in listing no mount.
    void heldCameraIsSaidOnceAndTriedAgain()
    {
        m_run.volumes().remove(m_run.card());
        const QString gio = m_run.dir().createFile(u"bin/gio"_s, "#!/bin/sh\nexit 0\n");
        QVERIFY(QFile::setPermissions(gio, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_run.dir().filePath(u"bin"_s)) + ':' + path);
        bool held = true;
        SetCameraClaimFaultForTesting([&held](const CameraId &) { return held; });
        const auto restore = qScopeGuard([&] {
            SetCameraClaimFaultForTesting({});
            qputenv("PATH", path);
        });
        m_run.cameras().plug(CameraId{directoryCameraModel(), directoryCameraPort(m_run.card())});
        m_run.start(m_run.allFilesToDest());

        auto *count = formChild<QLabel>(m_run.form(), "FNumLabel");
        QCOMPARE(count->text(), u"0"_s);
        QCOMPARE(m_run.prompt().messages.size(), 1);
        QVERIFY2(m_run.prompt().messages.first().contains(
                     u"カメラは他のプログラム(不明)が使用しているため開けません。"_s),
                 qPrintable(m_run.prompt().messages.first()));
        held = false;
        m_run.app().source()->recount();
        QCOMPARE(count->text(), u"9"_s);
        QCOMPARE(m_run.prompt().messages.size(), 1);
    }
};

QTEST_MAIN(TestCameraWindow)
#include "tst_camerawindow.moc"
