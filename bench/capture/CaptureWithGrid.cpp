// Capturing a note with an empty search while the grid shows the library: its newest items (the
// state a window opens in), or all of them after "Show All". Each capture is followed by the turn
// in which the grid takes the new list and paints it. max_ms is the slowest capture, turn_ms the
// slowest such turn, and moved counts the captures after which the library's list lay elsewhere:
// each of those copied the whole library first, because another list still shared it.
#include "BenchMain.h"
#include "LibraryGenerator.h"

#include "grid/LibraryGridCanvas.h"
#include "grid/LibraryGridView.h"
#include "platform/Clock.h"
#include "store/RealServices.h"
#include "store/VeskRecoverySnapshots.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>

using namespace vesk;
using namespace vesk::bench;

namespace {

// A store of its own over a copy of the generated library, loaded as the application loads it.
VeskStore& store(int count)
{
    static std::map<int, VeskStore*> stores;
    auto& slot = stores[count];
    if (!slot) {
        const auto library = cachedGeneratedLibrary(count, 1);
        if (!library)
            qFatal("cannot write the library: %s", qPrintable(library.error()));
        const QString folder = QDir(benchRootPath()).filePath(QStringLiteral("captured-%1").arg(count));
        if (auto copied = copyLibraryDatabase(*library, folder); !copied)
            qFatal("cannot copy the library: %s", qPrintable(copied.error()));
        VeskServices services = makeRealServices(folder);
        services.clock = std::make_shared<FakeClock>(LibraryGenerator::defaultNow());
        slot = &keepForRun(std::make_unique<VeskStore>(services));
        slot->waitForStartup();
        if (auto* snapshots = dynamic_cast<VeskRecoverySnapshots*>(services.recoverySnapshots.get()))
            snapshots->waitForIdle();
    }
    return *slot;
}

void captureWhileGridShows(benchmark::State& state, bool showingAll)
{
    VeskStore& library = store(int(state.range(0)));
    library.setSearchText(QString());
    LibraryGridView grid(library);
    grid.resize(1200, 800);
    grid.show();
    grid.setShowingAllVesks(showingAll);
    grid.refreshNow();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    static LibraryGenerator notes(78);
    double longest = 0;
    double longestTurn = 0;
    int moved = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString text = notes.noteText(200);
        const VeskItem* front = library.items().constData();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        library.addText(text);
        longest = std::max(longest, double(clock.nsecsElapsed()) / 1e6);
        clock.restart();
        QCoreApplication::processEvents();
        longestTurn = std::max(longestTurn, double(clock.nsecsElapsed()) / 1e6);
        state.PauseTiming();
        if (library.items().constData() != front - 1)
            ++moved;
        state.ResumeTiming();
    }
    state.counters["shown"] = double(grid.canvas()->state().visibleItems.size());
    state.counters["max_ms"] = longest;
    state.counters["turn_ms"] = longestTurn;
    state.counters["moved"] = moved;
}

void BM_CaptureNote_GridShowsAll(benchmark::State& state)
{
    captureWhileGridShows(state, true);
}
BENCHMARK(BM_CaptureNote_GridShowsAll)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(40);

void BM_CaptureNote_GridShowsNewest(benchmark::State& state)
{
    captureWhileGridShows(state, false);
}
BENCHMARK(BM_CaptureNote_GridShowsNewest)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(40);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
