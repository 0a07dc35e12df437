// Capturing a note with an empty search while the grid shows the library: its newest items (the
// state a window opens in), all of them after "Show All", or those of "No Group" (every generated
// item). Each capture is followed by the turn in which the grid takes the new list and paints it.
// max_ms is the slowest capture, turn_ms the slowest such turn, and moved counts the captures
// after which the library's list lay elsewhere: each of those copied the whole library first,
// because another list still shared it.
//
// BM_GridRefresh_Browsing*: the grid's refresh after a change of the selection alone, while a
// group (a hundred items) or "No Group" is browsed: nothing it shows changes.
#include "BenchMain.h"
#include "LibraryGenerator.h"

#include "grid/LibraryGridCanvas.h"
#include "grid/LibraryGridView.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <optional>

using namespace vesk;
using namespace vesk::bench;

namespace {

// A window's grid over the library with an empty search, browsing as asked, refreshed and painted.
std::unique_ptr<LibraryGridView> shownGrid(VeskStore& library, bool showingAll, const VeskGroupFilter& filter)
{
    library.setSearchText(QString());
    auto grid = std::make_unique<LibraryGridView>(library);
    grid->resize(1200, 800);
    grid->show();
    grid->setShowingAllVesks(showingAll);
    grid->setGroupFilter(filter);
    grid->refreshNow();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    return grid;
}

void captureWhileGridShows(benchmark::State& state, bool showingAll,
    const VeskGroupFilter& filter = VeskGroupFilter::all())
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    const std::unique_ptr<LibraryGridView> grid = shownGrid(library, showingAll, filter);
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
    state.counters["shown"] = double(grid->canvas()->state().visibleItems.size());
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

void BM_CaptureNote_GridBrowsesNoGroup(benchmark::State& state)
{
    captureWhileGridShows(state, false, VeskGroupFilter::ungrouped());
}
BENCHMARK(BM_CaptureNote_GridBrowsesNoGroup)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(40);

// A group of a hundred items spread over the library, made once per run.
VeskGroupFilter hundredItemGroup(VeskStore& library)
{
    static std::optional<QUuid> made;
    if (!made) {
        const std::optional<VeskGroup> group = library.createGroup(QStringLiteral("Benchmark hundred"));
        if (!group)
            qFatal("cannot make the group");
        const qsizetype step = library.items().size() / 100;
        QList<QUuid> ids;
        for (qsizetype i = 0; i < 100; ++i)
            ids.append(library.items().at(i * step).id);
        for (const QUuid& id : ids)
            (void)library.moveItemToGroup(id, group->id, group->name);
        made = group->id;
    }
    return VeskGroupFilter::group(*made);
}

void refreshWhileBrowsing(benchmark::State& state, const VeskGroupFilter& filter)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    const std::unique_ptr<LibraryGridView> grid = shownGrid(library, false, filter);
    const QList<VeskItem> shown = grid->visibleItems();
    if (shown.size() < 2)
        qFatal("the browsed list is too short");
    qsizetype next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        library.selectWithoutRecordingUse(shown.at(next++ % 2).id);
        state.ResumeTiming();
        grid->refreshNow();
    }
    state.counters["shown"] = double(grid->canvas()->state().visibleItems.size());
}

void BM_GridRefresh_BrowsingAGroup(benchmark::State& state)
{
    refreshWhileBrowsing(state, hundredItemGroup(generatedLibraryStore(int(state.range(0)))));
}
BENCHMARK(BM_GridRefresh_BrowsingAGroup)->Arg(100'000)->Unit(benchmark::kMillisecond);

void BM_GridRefresh_BrowsingNoGroup(benchmark::State& state)
{
    refreshWhileBrowsing(state, VeskGroupFilter::ungrouped());
}
BENCHMARK(BM_GridRefresh_BrowsingNoGroup)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
