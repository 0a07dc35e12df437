// Importing a 1 GiB file: hashed and copied in one read on the import worker, measured beside
// `openssl dgst -sha256` plus `cp` of the same file in the same run. Reports the ratio, and the
// peak memory the import adds above what the process held before it.
#include "common/BenchTemp.h"
#include "BigFile.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"

#include "common/ProcessMemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using vesk::bench::resetPeakMemory;
using vesk::bench::statusKilobytes;

constexpr qint64 kFileSize = qint64(1) << 30;

QTemporaryDir& workFolder()
{
    static QTemporaryDir folder(vesk::bench::benchTempTemplate(QStringLiteral("intake")));
    return folder;
}

QString bigFilePath()
{
    return workFolder().filePath(QStringLiteral("big-import.bin"));
}

// Written once, before any measurement, so every contender reads it from the same page cache.
void ensureBigFile()
{
    vesk::bench::ensureFileOfSize(bigFilePath(), kFileSize);
}

double runCommand(const QString& program, const QStringList& arguments)
{
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        qFatal("%s failed", qPrintable(program));
    return timer.nsecsElapsed() / 1e9;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// One import of the big file into a fresh library, timed from the call to the applied result.
double importOnce(bool& imported, qint64& peakAboveBaselineKiB)
{
    const QString library = workFolder().filePath(QStringLiteral("library"));
    QDir(library).removeRecursively();
    vesk::VeskServices services;
    services.clock = std::make_shared<vesk::SystemClock>();
    services.settings = std::make_shared<vesk::MemorySettings>();
    services.dataDirectory = library;
    auto store = std::make_unique<vesk::VeskStore>(services);
    QCoreApplication::processEvents();
    resetPeakMemory();
    const qint64 baselineKiB = statusKilobytes("VmRSS:");

    QElapsedTimer timer;
    timer.start();
    QFuture<bool> import = store->importFile(bigFilePath());
    // Waits without spinning: the main thread sleeps until the result is applied.
    QEventLoop loop;
    QFutureWatcher<bool> watcher;
    QObject::connect(&watcher, &QFutureWatcher<bool>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(import);
    if (!import.isFinished())
        loop.exec();
    const double seconds = timer.nsecsElapsed() / 1e9;

    imported = !import.isCanceled() && import.result();
    peakAboveBaselineKiB = statusKilobytes("VmHWM:") - baselineKiB;
    store.reset();
    QDir(library).removeRecursively();
    return seconds;
}

// The import against `openssl dgst -sha256` followed by `cp` of the same file, in turns within
// each iteration so that both meet the same page cache and the same disk. The import's copy is
// flushed to the disk before it counts as kept, which `cp` does not do.
void BM_Import(benchmark::State& state)
{
    ensureBigFile();
    const QString copy = workFolder().filePath(QStringLiteral("cp-copy.bin"));
    std::vector<double> importSeconds;
    std::vector<double> baselineSeconds;
    qint64 worstPeakAboveBaselineKiB = 0;
    for (auto _ : state) {
        const double baseline = runCommand(QStringLiteral("openssl"), {QStringLiteral("dgst"), QStringLiteral("-sha256"), bigFilePath()})
            + runCommand(QStringLiteral("cp"), {bigFilePath(), copy});
        QFile::remove(copy);
        baselineSeconds.push_back(baseline);

        bool imported = false;
        qint64 peak = 0;
        const double seconds = importOnce(imported, peak);
        if (!imported)
            state.SkipWithError("import failed");
        worstPeakAboveBaselineKiB = std::max(worstPeakAboveBaselineKiB, peak);
        importSeconds.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
    state.counters["baseline_ms"] = median(baselineSeconds) * 1000.0;
    state.counters["time_vs_openssl_plus_cp"] = median(importSeconds) / median(baselineSeconds);
    state.counters["peak_MiB_above_baseline"] = double(worstPeakAboveBaselineKiB) / 1024.0;
}

BENCHMARK(BM_Import)->Name("BM_Import/1GiB")->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // Keep the real library, settings and inbox out of reach.
    qputenv("VESK_DATA_DIR", workFolder().filePath(QStringLiteral("data")).toUtf8());
    qputenv("VESK_CONFIG_DIR", workFolder().filePath(QStringLiteral("config")).toUtf8());
    qputenv("VESK_CLOUD_DIR", workFolder().filePath(QStringLiteral("cloud")).toUtf8());
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The temporary folder, with the 1 GiB file, goes when workFolder() is destroyed.
    return 0;
}
