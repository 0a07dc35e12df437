// Capturing a note while start-up builds its search index over a library of 100,000 items: each
// repetition starts a store on a fresh copy of the library and captures as soon as the whole
// library has been read. max_ms is the slowest capture; moved counts the captures after which
// the library's list lay elsewhere (copied whole first, because a build still shared it);
// peak_mib is the highest resident memory of the start-ups above what the process held before.
#include "BenchMain.h"
#include "LibraryGenerator.h"
#include "common/ProcessMemory.h"

#include "platform/Clock.h"
#include "platform/Settings.h"
#include "store/RealServices.h"
#include "store/VeskRecoverySnapshots.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

using namespace vesk;
using namespace vesk::bench;

namespace {

void BM_CaptureNote_WhileStartupBuilds(benchmark::State& state)
{
    const auto library = cachedGeneratedLibrary(int(state.range(0)), 1);
    if (!library)
        qFatal("cannot write the library: %s", qPrintable(library.error()));
    static LibraryGenerator notes(79);
    double longest = 0;
    double peakMiB = 0;
    int moved = 0;
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString folder = QDir(benchRootPath()).filePath(QStringLiteral("startup-capture-%1").arg(run++));
        if (auto copied = copyLibraryDatabase(*library, folder); !copied)
            qFatal("cannot copy the library: %s", qPrintable(copied.error()));
        const QString text = notes.noteText(200);
        resetPeakMemory();
        const qint64 before = statusKilobytes("VmRSS:");
        VeskServices services = makeRealServices(folder);
        services.clock = std::make_shared<FakeClock>(LibraryGenerator::defaultNow());
        services.settings = std::make_shared<MemorySettings>();
        auto store = std::make_unique<VeskStore>(services);
        {
            // Left once the turn that took the library in is over: its builds are under way.
            QEventLoop loop;
            QObject::connect(store.get(), &VeskStore::libraryLoaded, &loop, &QEventLoop::quit);
            loop.exec();
        }
        const VeskItem* front = store->items().constData();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        store->addText(text);
        longest = std::max(longest, double(clock.nsecsElapsed()) / 1e6);
        state.PauseTiming();
        if (store->items().constData() != front - 1)
            ++moved;
        store->waitForStartup();
        peakMiB = std::max(peakMiB, double(statusKilobytes("VmHWM:") - before) / 1024.0);
        // The launch snapshot and the thumbnail prewarm work on in the folder: done, or stopped,
        // before it goes.
        if (auto* snapshots = dynamic_cast<VeskRecoverySnapshots*>(services.recoverySnapshots.get()))
            snapshots->waitForIdle();
        store.reset();
        services = VeskServices();
        QDir(folder).removeRecursively();
        state.ResumeTiming();
    }
    state.counters["max_ms"] = longest;
    state.counters["moved"] = moved;
    state.counters["peak_mib"] = peakMiB;
}
BENCHMARK(BM_CaptureNote_WhileStartupBuilds)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
