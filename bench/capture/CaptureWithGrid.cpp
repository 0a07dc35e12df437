// Capturing a note with an empty search while the grid shows the library: its newest items (the
// state a window opens in), or all of them after "Show All". Each capture is followed by the turn
// in which the grid takes the new list and paints it. max_ms is the slowest capture, turn_ms the
// slowest such turn, and moved counts the captures after which the library's list lay elsewhere:
// each of those copied the whole library first, because another list still shared it.
#include "BenchMain.h"
#include "LibraryGenerator.h"

#include "grid/LibraryGridCanvas.h"
#include "grid/LibraryGridView.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <algorithm>

using namespace vesk;
using namespace vesk::bench;

namespace {

void captureWhileGridShows(benchmark::State& state, bool showingAll)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
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
