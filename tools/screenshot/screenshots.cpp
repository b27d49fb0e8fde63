// Writes the documentation's screenshots: the main window as a new user sees it, and the main window
// during a run from a demo card (progress bars and status), and the target list window's thumbnail grid.
// Run under a display (scripts/screenshot).
#include "app/loggingprompt.h"
#include "app/vantoraapp.h"
#include "platform/registrystore.h"
#include "platform/volumesfake.h"
#include "settings/settingsstore.h"
#include "source/widgets/sourcecontroller.h"
#include "thumbnails/widgets/thumbnailcontroller.h"
#include "ui/formkit.h"
#include "ui/mainformareas.h"
#include "ui/tlistviewform.h"
#include "ui/tmainform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace vantora;

namespace {

// The target list window as a grid of thumbnails, on a folder of real camera pictures (the shared test
// data) with the demo card's video and raw file.
void gridShot(VantoraApp &vantora, const QString &sourceTree, const QString &card, const QString &folder,
              const QString &out)
{
    QDir().mkpath(folder);
    const QDir camera(sourceTree + QLatin1String("/../shared/testdata/camera"));
    for (const QString &name : camera.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
        QFile::copy(camera.filePath(name), folder + QLatin1Char('/') + name.toUpper());
    QFile::copy(card + QLatin1String("/DCIM/100CANON/IMG_0007.CR2"), folder + QLatin1String("/IMG_0007.CR2"));
    QFile::copy(card + QLatin1String("/DCIM/101CANON/MVI_0008.MP4"), folder + QLatin1String("/MVI_0008.MP4"));

    TMainForm *f = vantora.mainForm();
    TListViewForm *list = vantora.listViewForm();
    auto *thumbnails = vantora.findChild<ThumbnailController *>();
    vantora.state().setSourceFolder(folder + QLatin1Char('/'));
    list->resize(560, 420);
    list->ThumbnailToggle->setChecked(true);
    QObject::connect(thumbnails, &ThumbnailController::allMade, list, [list, out] {
        // Once the grid has painted the last pictures.
        QTimer::singleShot(300, list, [list, out] {
            list->grab().save(out + QLatin1String("/thumbnails.png"));
            list->close();
        });
    });
    f->sourceArea().BitBtn1->click();
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QLatin1String("/.config")).toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setFont(formFont());
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        qWarning("usage: vantora-screenshots SOURCE-TREE OUTPUT-FOLDER");
        return 2;
    }
    const QString sourceTree = args.at(1);
    const QString out = args.at(2);
    QDir().mkpath(out);
    LoggingPrompt prompt(home.filePath(QStringLiteral("prompt.log")));
    setPrompt(&prompt);

    const QString card = home.filePath(QStringLiteral("card"));
    if (QProcess::execute(sourceTree + QLatin1String("/scripts/make-demo-card"), {card}) != 0)
        return 1;
    // A long video, so the run is caught in the middle.
    QFile big(card + QLatin1String("/DCIM/101CANON/MVI_0010.MP4"));
    if (big.open(QIODevice::WriteOnly)) {
        big.resize(qint64(600) * 1024 * 1024);
        big.close();
    }
    const QString pictures = home.filePath(QStringLiteral("Pictures"));
    QDir().mkpath(pictures);
    QDir().mkpath(home.filePath(QStringLiteral("Documents")));

    SettingsRecord r = SettingsRecord::defaults();
    r.SourceEditText = card + QLatin1String("/DCIM/");
    r.DirCreateChecked = true;
    r.DirNameEditText = QStringLiteral("[YYYYMMDD]");
    r.sDayEditText = QStringLiteral("-");
    r.PANA101Checked = true;
    r.RenameChecked = true;
    r.FileNameEditText = QStringLiteral("[元のファイル名]_[RENBAN]");
    r.AllFileChecked = false;
    r.type(u"CR2").checked = true;
    RegistryStore store;
    SaveSettings(store, r);

    FakeVolumes volumes(QStringLiteral("/"));
    volumes.add({card, DriveType::Removable, true, QStringLiteral("EOS_DIGITAL")});
    VantoraApp vantora({}, &volumes);
    TMainForm *f = vantora.mainForm();
    f->show();

    QTimer::singleShot(1500, f, [f, out] {
        f->grab().save(out + QLatin1String("/mainwindow.png"));
        // Grab once the big file is half way, from inside the run's event pumping.
        auto *watch = new QTimer(f);
        QObject::connect(watch, &QTimer::timeout, f, [f, out, watch] {
            // The big file half way, with its bytes on the line under the gauges.
            const QString bytes = f->findChild<QLabel *>(QStringLiteral("BytesLabel"))->text();
            if (f->findChild<QProgressBar *>(QStringLiteral("ProgressBar1"))->value() >= 40 &&
                f->findChild<QLabel *>(QStringLiteral("FNameLabel"))
                    ->text()
                    .startsWith(QLatin1String("MVI_0010")) &&
                !bytes.isEmpty() && !bytes.startsWith(QLatin1String("0 B"))) {
                watch->stop();
                f->grab().save(out + QLatin1String("/mainwindow-run.png"));
            }
        });
        watch->start(20);
        f->findChild<QPushButton *>(QStringLiteral("StartTransferBitBtn"))->click();
        f->close();
    });
    const int result = app.exec();
    gridShot(vantora, sourceTree, card, home.filePath(QStringLiteral("gallery/DCIM/100PHOTO")), out);
    return result;
}
