// Opens the target list window on a source folder (its thumbnail helpers start with it), switches to the
// thumbnail grid half a second later and prints how long the grid took from the switch to
// make its first screen (the first 40 files of the list) and all its thumbnails:
//   first-screen=<seconds> all=<seconds> files=<n> pictures=<made with a picture>
// Usage: vantora-bench-thumbs SOURCE-FOLDER HELPER
#include "platform/volumesfake.h"
#include "settings/settingsrecord.h"
#include "source/importstate.h"
#include "source/widgets/sourcecontroller.h"
#include "thumbnails/thumbnailpool.h"
#include "thumbnails/widgets/thumbnailcontroller.h"
#include "thumbnails/widgets/thumbnailmodel.h"
#include "ui/mainformareas.h"
#include "ui/tfilecountform.h"
#include "ui/tlistviewform.h"
#include "ui/tmainform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

using namespace vantora;

namespace {

// The main extension table's mask, as the routing area hands it over.
class JpegMask final : public SourceNeighbours
{
public:
    QStringList extensionMasks() const override { return {QStringLiteral("*.JPG")}; }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: vantora-bench-thumbs SOURCE-FOLDER HELPER\n");
        return 2;
    }
    constexpr int FirstScreen = 40;
    constexpr int ClickAfterMs = 500;

    TMainForm main;
    TFileCountForm count;
    TListViewForm list;
    FakeVolumes volumes(QStringLiteral("/"));
    SettingsRecord settings;
    ImportState state;
    SourceController source(main.sourceArea(), &state, &count, &list, &settings, &volumes);
    ThumbnailController thumbnails(&list, &source, args.at(2));
    source.setNeighbours(std::make_unique<JpegMask>());
    state.setSourceFolder(args.at(1) + QLatin1Char('/'));

    QElapsedTimer clock;
    double firstScreen = -1;
    double all = -1;
    ThumbnailModel *model = thumbnails.model();
    QObject::connect(model, &ThumbnailModel::dataChanged, &list, [&] {
        if (firstScreen >= 0 || model->rowCount() < FirstScreen)
            return;
        for (int row = 0; row < FirstScreen; ++row) {
            if (model->stateAt(row) == ThumbnailModel::State::Pending)
                return;
        }
        firstScreen = double(clock.nsecsElapsed()) / 1e9;
    });
    int files = 0;
    int pictures = 0;
    QObject::connect(&thumbnails, &ThumbnailController::allMade, &list, [&] {
        all = double(clock.nsecsElapsed()) / 1e9;
        files = model->rowCount();
        for (int row = 0; row < files; ++row)
            pictures += model->stateAt(row) == ThumbnailModel::State::Picture ? 1 : 0;
        list.close();
    });
    // The user reads the list before switching.
    QTimer::singleShot(ClickAfterMs, &list, [&] {
        clock.start();
        list.ThumbnailToggle->click();
    });
    source.BitBtn1Click();

    std::printf("first-screen=%.3f all=%.3f files=%d pictures=%d\n", firstScreen, all, files, pictures);
    return firstScreen < 0 || all < 0 ? 1 : 0;
}
