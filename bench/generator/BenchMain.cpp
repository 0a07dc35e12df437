#include "BenchMain.h"

#include "LibraryGenerator.h"
#include "common/BenchTemp.h"

#include "platform/Clock.h"
#include "platform/Settings.h"
#include "platform/SystemMemory.h"
#include "store/RealServices.h"
#include "store/VeskRecoverySnapshots.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vesk::bench {

namespace {

QTemporaryDir* benchRoot = nullptr;
std::vector<std::unique_ptr<VeskStore>>* runStores = nullptr;

} // namespace

QString benchRootPath()
{
    return benchRoot ? benchRoot->path() : QString();
}

VeskStore& keepForRun(std::unique_ptr<VeskStore> store)
{
    if (!runStores)
        qFatal("a benchmark store is made outside runBenchmarks");
    runStores->push_back(std::move(store));
    return *runStores->back();
}

VeskStore& generatedLibraryStore(int count)
{
    static std::map<int, VeskStore*> stores;
    auto& slot = stores[count];
    if (!slot) {
        const auto library = cachedGeneratedLibrary(count, 1);
        if (!library)
            qFatal("cannot write the library: %s", qPrintable(library.error()));
        // A copy of the database: a start writes into its library.
        const QString folder = QDir(benchRootPath()).filePath(QStringLiteral("library-%1").arg(count));
        if (auto copied = copyLibraryDatabase(*library, folder); !copied)
            qFatal("cannot copy the library: %s", qPrintable(copied.error()));
        // Real services: with no sentence engine the store would take every stored vector for
        // another model's, search without them and embed the whole library again on the way.
        VeskServices services = makeRealServices(folder);
        services.clock = std::make_shared<FakeClock>(LibraryGenerator::defaultNow());
        services.settings = std::make_shared<MemorySettings>();
        slot = &keepForRun(std::make_unique<VeskStore>(services));
        // What the user meets: the index built and the sentence vectors read, and no start-up
        // recovery snapshot still copying the library on a thread of its own.
        slot->waitForStartup();
        if (auto* snapshots = dynamic_cast<VeskRecoverySnapshots*>(services.recoverySnapshots.get()))
            snapshots->waitForIdle();
    }
    return *slot;
}

int runBenchmarks(int argc, char** argv)
{
    // The allocator as the application sets it: large blocks go back to the system when freed,
    // which searches over the whole library pay for in fresh pages.
    configureAllocator();
    QTemporaryDir root(benchTempTemplate(QStringLiteral("run")));
    benchRoot = &root;
    for (const char* name : {"VESK_DATA_DIR", "VESK_CONFIG_DIR", "VESK_CLOUD_DIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
        const QString folder = root.filePath(QString::fromLatin1(name));
        QDir().mkpath(folder);
        qputenv(name, folder.toUtf8());
    }
    // A benchmark of widgets makes its QApplication before calling here.
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);
    // Declared after the application and the root, so gone before them.
    std::vector<std::unique_ptr<VeskStore>> stores;
    runStores = &stores;

    std::vector<char*> arguments(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    bool hasRepetitions = false;
    for (int i = 1; i < argc; ++i)
        hasRepetitions = hasRepetitions || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!hasRepetitions) {
        arguments.push_back(repetitions.data());
        arguments.push_back(aggregates.data());
    }
    int count = int(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Newest first, as statics would have gone; the work each store started stops with it.
    while (!stores.empty())
        stores.pop_back();
    runStores = nullptr;
    benchRoot = nullptr;
    return 0;
}

} // namespace vesk::bench
