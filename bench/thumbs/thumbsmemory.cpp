// Opens the target list window on a source folder, switches to the thumbnail grid and scrolls it from top to
// bottom in steps, waiting at each for the helpers to make what the grid asked for; then closes the window.
// Prints the resident memory in MiB before the window opened, at its peak and after the window closed:
//   start=<MiB> peak=<MiB> closed=<MiB> files=<n> pictures=<held at the end>
// Usage: vantora-bench-thumbs-memory SOURCE-FOLDER HELPER
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
#include <QDeadlineTimer>
#include <QFile>
#include <QListView>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace vantora;

namespace {

// The main extension table's mask, as the routing area hands it over.
class JpegMask final : public SourceNeighbours
{
public:
    QStringList extensionMasks() const override { return {QStringLiteral("*.JPG")}; }
};

// A field of /proc/self/status in MiB: VmRSS now, VmHWM the peak so far.
double statusMiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: vantora-bench-thumbs-memory SOURCE-FOLDER HELPER\n");
        return 2;
    }
    constexpr int Steps = 20;

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
    waitFor([] { return false; }, 200);
    const double start = statusMiB("VmRSS:");

    ThumbnailModel *model = thumbnails.model();
    QListView *grid = list.ThumbnailGrid;
    bool finished = false;
    int files = 0;
    int pictures = 0;
    std::function<void()> scroll = [&] {
        if (!list.isVisible()) { // the walk pumps events before the window opens
            QTimer::singleShot(10, &list, scroll);
            return;
        }
        list.ThumbnailToggle->click();
        files = model->rowCount();
        // Made or not, the rows the viewport shows after a scroll to row.
        const auto shownMade = [&](int row) {
            for (int r = row;
                 r < files && grid->visualRect(model->index(r)).top() < grid->viewport()->height(); ++r) {
                if (model->stateAt(r) == ThumbnailModel::State::Pending)
                    return false;
            }
            return true;
        };
        for (int step = 0; step <= Steps; ++step) {
            const int row = qMax(0, files - 1) * step / Steps;
            grid->scrollTo(model->index(row), QAbstractItemView::PositionAtTop);
            if (!waitFor([&] { return shownMade(row) && thumbnails.pool()->pending() == 0; }, 120000)) {
                list.close();
                return;
            }
        }
        for (int row = 0; row < files; ++row)
            pictures += model->stateAt(row) == ThumbnailModel::State::Picture ? 1 : 0;
        finished = true;
        list.close();
    };
    QTimer::singleShot(0, &list, scroll);
    source.BitBtn1Click();
    // What closing let go of, deleted later, is gone after a turn of the event loop.
    waitFor([] { return false; }, 500);
    const double peak = statusMiB("VmHWM:");
    const double closed = statusMiB("VmRSS:");

    std::printf("start=%.0f peak=%.0f closed=%.0f files=%d pictures=%d\n", start, peak, closed, files,
                pictures);
    return finished ? 0 : 1;
}
