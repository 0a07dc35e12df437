// What the window holds in memory over a large library, and whether use makes it grow: the main
// window over a copy of the generated library, started and settled, then a scripted use in
// rounds (a query typed letter by letter, a few of its results opened, the search cleared, a
// note captured, a few of the newest items opened). Counters, in MiB: rss_start_mb after start,
// rss_half_mb after half the rounds, rss_after_mb after all of them, peak_mb the process's peak
// (start-up included) and peak_start_mb its peak up to the first count, which tells a peak of
// start-up from one of use; the *_trim_mb ones are the same after the allocator has handed back
// what it keeps free, which tells memory held from memory merely not returned. Goals: at 100,000 items
// a peak of 1.1 GB at most and the rounds adding next to nothing (caches bounded); at 300,000
// items a peak of 3 GB at most. VESK_MEMORY_ROUNDS sets the number of rounds
// (40 by default, about a minute and a half).
#include "MemoryCounts.h"

#include "common/BenchTemp.h"
#include "LibraryGenerator.h"
#include "platform/SystemMemory.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

using vesk::bench::LibraryGenerator;
using vesk::bench::settle;

// The resident size, then the same after the allocator handed back its free pages.
std::pair<double, double> residentPair()
{
    const vesk::bench::MemoryCount count = vesk::bench::countMemory(true);
    return {count.residentMiB, count.trimmedMiB};
}

// One round of use: what someone looking for things and jotting them down does in a few seconds.
void useOnce(vesk::VeskStore& store, LibraryGenerator& words, int round)
{
    // Words of middling frequency, a different one each round: each search is new.
    const QString query = words.wordAtRank(40 + round * 53);
    for (qsizetype n = 1; n <= query.size(); ++n) {
        store.setSearchText(query.left(n));
        settle(90);
    }
    settle(400); // the deep pass
    const QList<vesk::VeskItem> results = store.filteredItems().mid(0, 3);
    for (const vesk::VeskItem& item : results) {
        store.select(item.id);
        settle(250); // the preview and its related items
    }
    store.setSearchText(QString());
    settle(150);
    store.addText(words.noteText(120 + round % 80));
    settle(250);
    const QList<vesk::VeskItem> newest = store.filteredItems().mid(1, 2);
    for (const vesk::VeskItem& item : newest) {
        store.select(item.id);
        settle(250);
    }
}

void BM_MemoryAfterUse(benchmark::State& state)
{
    const int count = int(state.range(0));
    const int rounds = vesk::bench::memoryRounds(40);
    // Captures write into the library: a copy.
    const auto folder = vesk::bench::copiedLibrary(count);
    if (!folder) {
        state.SkipWithError(qPrintable(folder.error()));
        return;
    }
    std::pair<double, double> start, half, after;
    double peak = 0.0;
    double startPeak = 0.0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        // Settled for what start-up leaves running in the background.
        std::unique_ptr<vesk::bench::RunningWindow> running = vesk::bench::settledWindow(*folder);
        vesk::VeskStore* const store = &running->store();
        // The script's own words are made before the first count, after start-up's peak: their
        // few megabytes are no part of the window's use.
        LibraryGenerator words(5);
        startPeak = vesk::bench::peakMiB();
        start = residentPair();

        for (int round = 0; round < rounds; ++round) {
            useOnce(*store, words, round);
            if (round + 1 == rounds / 2)
                half = residentPair();
        }
        settle(vesk::bench::kQuietMs);
        after = residentPair();
        // Before the window goes: what it frees on the way out is no part of its use.
        peak = vesk::bench::peakMiB();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        running.reset();
    }
    state.counters["rss_start_mb"] = start.first;
    state.counters["rss_half_mb"] = half.first;
    state.counters["rss_after_mb"] = after.first;
    state.counters["rss_start_trim_mb"] = start.second;
    state.counters["rss_half_trim_mb"] = half.second;
    state.counters["rss_after_trim_mb"] = after.second;
    state.counters["peak_mb"] = peak;
    state.counters["peak_start_mb"] = startPeak;
    state.counters["rounds"] = rounds;
}
BENCHMARK(BM_MemoryAfterUse)->Arg(100'000)->Arg(300'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // As the application starts.
    vesk::configureAllocator();
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    const QString run = vesk::bench::benchRunFolder();
    for (const char* name : {"VESK_DATA_DIR", "VESK_CONFIG_DIR", "VESK_CLOUD_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                             "XDG_CACHE_HOME"}) {
        const QString folder = QDir(run).filePath(QString::fromLatin1(name));
        QDir().mkpath(folder);
        qputenv(name, folder.toUtf8());
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
