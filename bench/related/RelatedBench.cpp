// Related-item benchmarks: what the preview pane pays when an item is focused (a fresh ranking
// over the whole library) and when it is drawn again (the remembered ranking). Every figure is
// per call; run with --benchmark_repetitions=5 (the default here) and read the medians.
#include "BenchMain.h"

#include "store/SearchState.h"
#include "store/VeskStore.h"
#include "store/StoreInternals.h"

#include <benchmark/benchmark.h>

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

BENCHMARK(BM_RelatedItems_Fresh)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelatedItems_Remembered)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RelatedVersions)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks(argc, argv);
}
