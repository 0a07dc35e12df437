// Related-item benchmarks on started stores: what a ranking over the whole library costs (now
// made on a worker), what the remembered ranking costs, and what the main thread pays to show an
// item in the preview pane. Every figure is per call; run with --benchmark_repetitions=5 (the
// default here) and read the medians.
#include "BenchMain.h"

#include "pane/RelatedPanels.h"
#include "pane/VeskPreview.h"
#include "store/SearchState.h"
#include "store/VeskStore.h"
#include "store/StoreInternals.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <benchmark/benchmark.h>

#include <ctime>

using namespace vesk;
using namespace vesk::bench;

namespace {

// The items the pane shows in turn: a spread across the library.
VeskItem focused(VeskStore& library, qint64 iteration)
{
    const QList<VeskItem>& items = library.items();
    return items.at(qsizetype((iteration * 7919) % items.size()));
}

void BM_RelatedItems_Fresh(benchmark::State& state)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    qint64 iteration = 0;
    for (auto _ : state) {
        StoreInternals::searchState(library).relatedCache.clear();
        benchmark::DoNotOptimize(library.relatedItems(focused(library, iteration++), 3));
    }
}

void BM_RelatedItems_Remembered(benchmark::State& state)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    const VeskItem item = focused(library, 1);
    library.relatedItems(item, 3);
    for (auto _ : state)
        benchmark::DoNotOptimize(library.relatedItems(item, 3));
}

void BM_RelatedVersions(benchmark::State& state)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    // A file item, so that every other file is compared with it.
    VeskItem file;
    for (const VeskItem& item : library.items()) {
        if (item.filePath) {
            file = item;
            break;
        }
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(library.relatedVersions(file, 6));
}

// The main thread's CPU time, so that a worker's share of the same work is not counted.
double mainThreadMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Showing an item in the preview pane as a click on a card does: the selection changes, the pane
// builds and lays out its content and its related panels take their lists. The time is the main
// thread's, from the selection change until the pane is laid out with its related items in
// place (the ranking itself runs on a worker meanwhile); waiting for the worker is not counted.
void BM_ShowItem(benchmark::State& state)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    VeskPreview pane(library);
    pane.followSelection();
    pane.resize(420, 900);
    pane.show();
    QCoreApplication::processEvents();
    qint64 iteration = 0;
    double slowest = 0;
    for (auto _ : state) {
        const VeskItem item = focused(library, iteration++);
        QElapsedTimer waited;
        waited.start();
        double mainMs = 0;
        const double before = mainThreadMs();
        library.select(item.id);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        mainMs += mainThreadMs() - before;
        // The related items arrive from the worker; their panel shows them (or stays hidden when
        // there are none) at the turn of the event loop that brings them.
        // So do the related versions.
        const auto versionsShown = [&pane] {
            const auto* versions = pane.content() ? pane.content()->findChild<RelatedVersionsPanel*>() : nullptr;
            return versions && versions->isAnswered();
        };
        while ((!library.knownRelatedItems(item, RelatedVesksPanel::limit) || !versionsShown())
            && waited.elapsed() < 10'000) {
            QThread::usleep(200);
            const double turn = mainThreadMs();
            QCoreApplication::processEvents();
            mainMs += mainThreadMs() - turn;
        }
        const double last = mainThreadMs();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        mainMs += mainThreadMs() - last;
        state.SetIterationTime(mainMs / 1e3);
        slowest = std::max(slowest, mainMs);
    }
    state.counters["max_ms"] = slowest;
}

BENCHMARK(BM_RelatedItems_Fresh)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelatedItems_Remembered)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RelatedVersions)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowItem)->Arg(100'000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
