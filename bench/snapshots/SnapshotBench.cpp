// The synchronous snapshot a bulk delete waits for (database copy, hard-linked mirror, state list,
// manifest, rename and pruning to six) on two libraries: /10000, a 2 GB library of 10,000 managed
// files (200 KiB each, one folder per item) and 10,000 database rows; /100000, a copy of the
// kept generated library of 100,000 items with its managed files (the database copied, the files
// hard-linked, so that the kept library is never written). The counters are read from the
// library measured: its files, their size and the database's. Beside it, on the 2 GB library, the
// mirror alone beside `cp -al` of the same folder, and the database copy. A library is made
// once, before any measurement; set VESK_BENCH_SNAPSHOT_LIBRARY to a folder to keep the 2 GB one
// there between runs.
#include "common/BenchTemp.h"
#include "LibraryGenerator.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "store/RecoverySnapshotFolder.h"
#include "store/VeskRecoverySnapshots.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <optional>

namespace {

constexpr int kFileCount = 10'000;
constexpr qint64 kFileSize = 200 * 1024;

QTemporaryDir& workFolder()
{
    static QTemporaryDir folder(vesk::bench::benchTempTemplate(QStringLiteral("snapshots")));
    return folder;
}

QString dataFolder()
{
    const QString kept = qEnvironmentVariable("VESK_BENCH_SNAPSHOT_LIBRARY");
    return kept.isEmpty() ? workFolder().filePath(QStringLiteral("Vesk")) : kept;
}

// The 2 GB library of 10,000 files.
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

// A copy of the kept generated library of count items that a snapshot may write into: the
// database copied, the managed files hard-linked (a snapshot only links them again).
std::optional<QString> generatedLibraryCopy(int count, QString* error)
{
    static std::map<int, QString> copies;
    if (auto found = copies.find(count); found != copies.end())
        return found->second;
    const auto generated = vesk::bench::cachedGeneratedLibrary(count);
    if (!generated) {
        *error = generated.error();
        return std::nullopt;
    }
    const QString folder = workFolder().filePath(QStringLiteral("generated-%1").arg(count));
    if (auto copied = vesk::bench::copyLibraryDatabase(*generated, folder); !copied) {
        *error = copied.error();
        return std::nullopt;
    }
    const QString items = QDir(*generated).filePath(QStringLiteral("Items"));
    if (QFileInfo::exists(items)) {
        auto linked = vesk::RecoverySnapshotFolder::mirrorManagedItems(items, QDir(folder).filePath(QStringLiteral("Items")));
        if (!linked) {
            *error = QStringLiteral("cannot link the managed files of ") + *generated;
            return std::nullopt;
        }
    }
    copies.emplace(count, folder);
    return folder;
}

struct LibrarySize {
    qint64 files = 0;
    qint64 bytes = 0;
    qint64 databaseBytes = 0;
};

LibrarySize measureLibrary(const QString& folder)
{
    LibrarySize size;
    QDirIterator walk(QDir(folder).filePath(QStringLiteral("Items")), QDir::Files | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        walk.next();
        ++size.files;
        size.bytes += walk.fileInfo().size();
    }
    for (const QString& name : {QStringLiteral("vesk.sqlite3"), QStringLiteral("vesk.sqlite3-wal")})
        size.databaseBytes += QFileInfo(QDir(folder).filePath(name)).size();
    return size;
}

void BM_SynchronousSnapshot(benchmark::State& state)
{
    const int count = int(state.range(0));
    QString folder;
    if (count == kFileCount) {
        ensureLibrary();
        folder = dataFolder();
    } else {
        QString error;
        const auto copy = generatedLibraryCopy(count, &error);
        if (!copy) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        folder = *copy;
    }
    const LibrarySize size = measureLibrary(folder);
    auto clock = std::make_shared<vesk::FakeClock>();
    auto settings = std::make_shared<vesk::MemorySettings>();
    settings->setData(QStringLiteral("Vesk.UsageSignals.v1"), QByteArray(64 * 1024, '{'));
    vesk::VeskRecoverySnapshots snapshots(folder, clock, settings, vesk::SystemTimers::shared());
    for (auto _ : state) {
        clock->advance(1);
        QElapsedTimer timer;
        timer.start();
        const bool taken = snapshots.synchronousSnapshot(QStringLiteral("before-bulk-delete"));
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        if (!taken) {
            state.SkipWithError("snapshot failed");
            break;
        }
    }
    state.counters["files"] = double(size.files);
    state.counters["GB"] = double(size.bytes) / 1e9;
    state.counters["db_MB"] = double(size.databaseBytes) / 1e6;
}
BENCHMARK(BM_SynchronousSnapshot)->Arg(kFileCount)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);
// Each snapshot of the large library holds a copy of its database: fewer of them.
BENCHMARK(BM_SynchronousSnapshot)->Arg(100'000)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

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
        // Manual time: the removal is outside the measured time without pausing the timer.
        QDir(target).removeRecursively();
        if (!count || *count == 0) {
            state.SkipWithError("mirror failed");
            break;
        }
        state.counters["files"] = double(*count);
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
        const bool copied = cp.waitForFinished(-1) && cp.exitCode() == 0;
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        QDir(target).removeRecursively();
        if (!copied) {
            state.SkipWithError("cp failed");
            break;
        }
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
        state.counters["MB"] = double(QFileInfo(target).size()) / 1e6;
        QFile::remove(target);
        if (!copied) {
            state.SkipWithError("copy failed");
            break;
        }
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
