// A 2 GB library of 10,000 managed files (200 KiB each, one folder per item) and 10,000 database
// rows. Measures the synchronous snapshot a bulk delete waits for (database copy, hard-linked
// mirror, state list, manifest, rename and pruning to six), the mirror alone beside `cp -al` of
// the same folder in the same run, and the database copy. The library is written once, before any
// measurement; set VESK_BENCH_SNAPSHOT_LIBRARY to a folder to keep it there between runs.
#include "LibraryGenerator.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "store/RecoverySnapshotFolder.h"
#include "store/VeskRecoverySnapshots.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kFileCount = 10'000;
constexpr qint64 kFileSize = 200 * 1024;

QTemporaryDir& workFolder()
{
    static QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/vesk-bench-snapshots-XXXXXX"));
    return folder;
}

QString dataFolder()
{
    const QString kept = qEnvironmentVariable("VESK_BENCH_SNAPSHOT_LIBRARY");
    return kept.isEmpty() ? workFolder().filePath(QStringLiteral("Vesk")) : kept;
}

void ensureLibrary()
{
    static bool ready = false;
    if (ready)
        return;
    const QString marker = dataFolder() + QStringLiteral("/.bench-complete");
    if (QFileInfo::exists(marker)) {
        ready = true;
        return;
    }
    auto written = vesk::bench::writeGeneratedLibrary(dataFolder(), kFileCount);
    if (!written)
        qFatal("cannot write the library: %s", qPrintable(written.error()));
    QByteArray chunk(kFileSize, Qt::Uninitialized);
    for (qint64 i = 0; i < kFileSize; ++i)
        chunk[i] = char((i * 131) ^ (i >> 9));
    const QDir items(dataFolder() + QStringLiteral("/Items"));
    for (int i = 0; i < kFileCount; ++i) {
        const QString folder = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        items.mkpath(folder);
        QFile file(items.filePath(folder + QStringLiteral("/scan-%1.jpg").arg(i)));
        if (!file.open(QIODevice::WriteOnly) || file.write(chunk) != kFileSize)
            qFatal("cannot write managed file %d", i);
    }
    QFile(marker).open(QIODevice::WriteOnly);
    ready = true;
}

void BM_SynchronousSnapshot(benchmark::State& state)
{
    ensureLibrary();
    auto clock = std::make_shared<vesk::FakeClock>();
    auto settings = std::make_shared<vesk::MemorySettings>();
    settings->setData(QStringLiteral("Vesk.UsageSignals.v1"), QByteArray(64 * 1024, '{'));
    vesk::VeskRecoverySnapshots snapshots(dataFolder(), clock, settings);
    for (auto _ : state) {
        clock->advance(1);
        QElapsedTimer timer;
        timer.start();
        if (!snapshots.synchronousSnapshot(QStringLiteral("before-bulk-delete")))
            state.SkipWithError("snapshot failed");
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    state.counters["files"] = kFileCount;
    state.counters["GB"] = double(kFileCount) * double(kFileSize) / 1e9;
}
BENCHMARK(BM_SynchronousSnapshot)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);

void BM_MirrorManagedItems(benchmark::State& state)
{
    ensureLibrary();
    int round = 0;
    for (auto _ : state) {
        const QString target = workFolder().filePath(QStringLiteral("mirror-%1").arg(round++));
        QElapsedTimer timer;
        timer.start();
        auto count = vesk::RecoverySnapshotFolder::mirrorManagedItems(dataFolder() + QStringLiteral("/Items"), target);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (!count || *count != kFileCount)
            state.SkipWithError("mirror failed");
        state.PauseTiming();
        QDir(target).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MirrorManagedItems)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// The same tree hard-linked by GNU cp: the floor the mirror is measured against.
void BM_CpHardLinkBaseline(benchmark::State& state)
{
    ensureLibrary();
    int round = 0;
    for (auto _ : state) {
        const QString target = workFolder().filePath(QStringLiteral("cp-%1").arg(round++));
        QElapsedTimer timer;
        timer.start();
        QProcess cp;
        cp.start(QStringLiteral("cp"), {QStringLiteral("-al"), dataFolder() + QStringLiteral("/Items"), target});
        if (!cp.waitForFinished(-1) || cp.exitCode() != 0)
            state.SkipWithError("cp failed");
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        state.PauseTiming();
        QDir(target).removeRecursively();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CpHardLinkBaseline)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_DatabaseCopy(benchmark::State& state)
{
    ensureLibrary();
    int round = 0;
    for (auto _ : state) {
        const QString target = workFolder().filePath(QStringLiteral("copy-%1.sqlite3").arg(round++));
        QElapsedTimer timer;
        timer.start();
        auto copied = vesk::SQLiteDatabase::backupDatabaseFile(dataFolder() + QStringLiteral("/vesk.sqlite3"), target);
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (!copied)
            state.SkipWithError("copy failed");
        state.counters["MB"] = double(QFileInfo(target).size()) / 1e6;
        QFile::remove(target);
    }
}
BENCHMARK(BM_DatabaseCopy)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
