// Importing a 1 GiB file: hashed and copied as a stream, measured beside `openssl dgst -sha256`
// plus `cp` of the same file in the same run. Reports throughput and the peak memory the import
// adds above what the process held before it.
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr qint64 kFileSize = qint64(1) << 30;

QTemporaryDir& workFolder()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/vesk-bench-intake-XXXXXX"));
    return folder;
}

QString bigFilePath()
{
    return workFolder().filePath(QStringLiteral("big-import.bin"));
}

// Written once, before any measurement, so every contender reads it from the same page cache.
void ensureBigFile()
{
    if (QFileInfo(bigFilePath()).size() == kFileSize)
        return;
    QFile file(bigFilePath());
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(bigFilePath()));
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    quint64 state = 0x9E3779B97F4A7C15ull;
    for (qint64 written = 0; written < kFileSize; written += chunk.size()) {
        auto* words = reinterpret_cast<quint64*>(chunk.data());
        for (qsizetype i = 0; i < chunk.size() / qsizetype(sizeof(quint64)); ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            words[i] = state;
        }
        file.write(chunk);
    }
}

// Kilobytes from /proc/self/status ("VmHWM", "VmRSS").
qint64 statusKilobytes(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key)) + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Lets VmHWM start again from the current resident size.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
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

std::vector<double> g_baselineSeconds;

void BM_OpensslDgstPlusCp(benchmark::State& state)
{
    ensureBigFile();
    const QString copy = workFolder().filePath(QStringLiteral("cp-copy.bin"));
    for (auto _ : state) {
        const double seconds = runCommand(QStringLiteral("openssl"), {QStringLiteral("dgst"), QStringLiteral("-sha256"), bigFilePath()})
            + runCommand(QStringLiteral("cp"), {bigFilePath(), copy});
        state.SetIterationTime(seconds);
        g_baselineSeconds.push_back(seconds);
        QFile::remove(copy);
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
}

void BM_ImportFile1GiB(benchmark::State& state)
{
    ensureBigFile();
    std::vector<double> importSeconds;
    qint64 worstPeakAboveBaselineKiB = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A fresh library each time, or the second import would be a duplicate of the first.
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
        state.ResumeTiming();

        QElapsedTimer timer;
        timer.start();
        const bool imported = store->importFile(bigFilePath());
        const double seconds = timer.nsecsElapsed() / 1e9;

        state.PauseTiming();
        worstPeakAboveBaselineKiB = std::max(worstPeakAboveBaselineKiB, statusKilobytes("VmHWM:") - baselineKiB);
        if (!imported)
            state.SkipWithError("import failed");
        state.SetIterationTime(seconds);
        importSeconds.push_back(seconds);
        store.reset();
        QDir(library).removeRecursively();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * kFileSize);
    state.counters["peak_MiB_above_baseline"] = double(worstPeakAboveBaselineKiB) / 1024.0;
    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values.empty() ? 0.0 : values[values.size() / 2];
    };
    if (!g_baselineSeconds.empty())
        state.counters["time_vs_openssl_plus_cp"] = median(importSeconds) / median(g_baselineSeconds);
}

BENCHMARK(BM_OpensslDgstPlusCp)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportFile1GiB)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

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
