// Faces in the library:
// - BM_MainThreadStall: the longest the main thread is kept from its event loop while the face
//   backfill looks at 200 photographs with the real models (target: at most 50 ms); "own" leaves
//   out the time the thread stood ready while other processes had the cores, and noAnalysis is the
//   same measurement with no backfill, for the machine's own share.
// - BM_FaceSuggestions: the suggestions of all 20 pools of a library of 5,000 faces with
//   1024-value prints, 12 per pool at 0.72, as the People window asks for them on each drawing
//   (target: at most 100 ms for all pools): after a decision (one face confirmed), after one
//   item's faces were detected again, and the first drawing after start-up, when the float copy of
//   the prints and every pool's figures are made.
// Run on 2 cores with `taskset -c 0,1` to check the targets of a small machine.
#include "common/BenchTemp.h"
#include "faces/VisionModels.h"
#include "platform/Uuid.h"
#include "store/RealServices.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace vesk;

namespace {

QTemporaryDir& workFolder()
{
    static QTemporaryDir folder(vesk::bench::benchTempTemplate(QStringLiteral("faces")));
    return folder;
}

QString freshLibrary(const QString& name)
{
    const QString path = workFolder().filePath(name + QString::number(QRandomGenerator::global()->generate()));
    QDir().mkpath(path);
    return path;
}

// The photographs the vision tests use: group photos, a portrait and passport-style faces.
QStringList photographs()
{
    QStringList photos;
    for (const QString& folder : {QStringLiteral("/usr/share/doc/libdlib19.1/examples/faces"),
                                  QStringLiteral("/usr/share/doc/libdlib19.1/examples/johns")}) {
        QDir dir(folder);
        for (const QFileInfo& entry : dir.entryInfoList({QStringLiteral("*.jpg")}, QDir::Files))
            photos.append(entry.filePath());
        for (const QFileInfo& sub : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            for (const QFileInfo& entry : QDir(sub.filePath()).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files))
                photos.append(entry.filePath());
        }
    }
    photos.append(QStringLiteral("/usr/share/matplotlib/mpl-data/sample_data/grace_hopper.jpg"));
    photos.removeIf([](const QString& path) { return !QFileInfo::exists(path); });
    return photos;
}

// A library of `count` image items, the photographs taken in turn, none analysed yet.
bool seedPhotoLibrary(const QString& library, int count)
{
    const QStringList photos = photographs();
    if (photos.isEmpty())
        return false;
    auto db = SQLiteDatabase::open(QDir(library).filePath(QStringLiteral("vesk.sqlite3")));
    if (!db)
        return false;
    QList<VeskItem> items;
    for (int i = 0; i < count; ++i) {
        VeskItem item;
        item.id = QUuid::createUuid();
        item.kind = VeskKind::Image;
        item.title = QStringLiteral("Photo %1").arg(i);
        item.createdAt = QDateTime::fromSecsSinceEpoch(1'600'000'000 + i, Qt::UTC);
        const QString folder = QDir(library).filePath(QStringLiteral("Items/") + uuidString(item.id));
        QDir().mkpath(folder);
        const QString path = folder + QStringLiteral("/photo.jpg");
        QFile::copy(photos[i % photos.size()], path);
        item.filePath = path;
        item.searchableText = item.title;
        items.append(item);
    }
    return db.value()->upsertItems(items).hasValue();
}

// How long this thread has stood ready to run while other threads had the cores
// (/proc/thread-self/schedstat, second field), in nanoseconds; 0 where the kernel does not say.
qint64 runQueueWaitNs()
{
    QFile stat(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().simplified().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() : 0;
}

void BM_MainThreadStall(benchmark::State& state)
{
    if (!QFileInfo::exists(VisionModels::modelsDirectory() + QStringLiteral("/faceres.json"))) {
        state.SkipWithError("the vision models are not installed (scripts/install-models.sh)");
        return;
    }
    for (auto _ : state) {
        const QString library = freshLibrary(QStringLiteral("stall"));
        if (!seedPhotoLibrary(library, 200)) {
            state.SkipWithError("the photographs (libdlib19.1) are missing");
            return;
        }
        VeskServices services = makeRealServices(library);
        if (state.range(0) == 0)
            services.imageAnalyser.reset();
        VeskStore store(services);
        // A timer that wants to run every millisecond: the longest gap between two of its runs is
        // the longest time the main thread was busy elsewhere.
        QElapsedTimer clock;
        clock.start();
        qint64 last = clock.nsecsElapsed();
        qint64 lastWaiting = runQueueWaitNs();
        qint64 longest = 0;
        qint64 longestOwn = 0;
        std::vector<qint64> gaps;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            const qint64 waiting = runQueueWaitNs();
            longest = std::max(longest, now - last);
            // Without the time the thread stood ready while other threads (of any process) had
            // the cores: what the main thread itself was doing or waiting for.
            longestOwn = std::max(longestOwn, now - last - (waiting - lastWaiting));
            gaps.push_back(now - last);
            last = now;
            lastWaiting = waiting;
        });
        tick.start(1);
        int faces = 0;
        QElapsedTimer total;
        total.start();
        auto analysed = [&] {
            auto db = SQLiteDatabase::open(QDir(library).filePath(QStringLiteral("vesk.sqlite3")));
            return db ? db.value()->fetchFaceAnalyzedItemIDs().valueOr(QSet<QUuid>{}).size() : 0;
        };
        // The event loop runs as the application's does, sleeping between events.
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            const bool done = state.range(0) == 0 ? total.elapsed() > 5000
                                                  : store.indexingCount() == 0 && store.faceDataRevision() >= 200;
            if (done || total.elapsed() > 600'000)
                loop.quit();
        });
        check.start(50);
        loop.exec();
        faces = int(store.faceRecordsCache().size());
        tick.stop();
        state.SetIterationTime(double(total.elapsed()) / 1000.0);
        std::sort(gaps.begin(), gaps.end());
        state.counters["stall_max_ms"] = double(longest) / 1e6;
        state.counters["stall_own_max_ms"] = double(longestOwn) / 1e6;
        state.counters["stall_p99_ms"] = gaps.empty() ? 0.0 : double(gaps[gaps.size() * 99 / 100]) / 1e6;
        state.counters["photos_analysed"] = double(analysed());
        state.counters["faces"] = faces;
    }
}
BENCHMARK(BM_MainThreadStall)->Name("BM_MainThreadStall/backfill200")->Arg(1)->UseManualTime()->Iterations(1)->Unit(
    benchmark::kMillisecond);
// The same library and measurement for 5 s without an analyser: what the machine and the rest of
// start-up cost the main thread on their own.
BENCHMARK(BM_MainThreadStall)->Name("BM_MainThreadStall/noAnalysis")->Arg(0)->UseManualTime()->Iterations(1)->Unit(
    benchmark::kMillisecond);

// 5,000 faces of 20 people in 200 items: every fifth face of each person confirmed into the
// person's pool, the rest unassigned; prints are the person's own print plus noise of varying
// strength, so that many but not all pass 0.72.
struct SuggestionLibrary {
    std::unique_ptr<VeskStore> store;
    QList<QUuid> pools;
};

SuggestionLibrary suggestionLibrary()
{
    const QString library = freshLibrary(QStringLiteral("suggest"));
    QRandomGenerator random(42);
    const int length = 1024;
    QList<QList<double>> people;
    for (int p = 0; p < 20; ++p) {
        QList<double> centre(length);
        for (double& x : centre)
            x = random.generateDouble() * 2 - 1;
        people.append(centre);
    }
    SuggestionLibrary out;
    {
        auto db = SQLiteDatabase::open(QDir(library).filePath(QStringLiteral("vesk.sqlite3"))).value().release();
        std::unique_ptr<SQLiteDatabase> owned(db);
        QList<VeskItem> items;
        for (int i = 0; i < 200; ++i) {
            VeskItem item;
            item.id = QUuid::createUuid();
            item.kind = VeskKind::Image;
            item.title = QStringLiteral("Photo %1").arg(i);
            item.createdAt = QDateTime::fromSecsSinceEpoch(1'600'000'000 + i, Qt::UTC);
            items.append(item);
        }
        (void)owned->upsertItems(items);
        for (int p = 0; p < 20; ++p) {
            const VeskFaceClusterRecord pool{QUuid::createUuid(), QStringLiteral("Person %1").arg(p),
                                             QDateTime::currentDateTimeUtc(), QDateTime::currentDateTimeUtc()};
            (void)owned->upsertFaceCluster(pool);
            out.pools.append(pool.id);
        }
        (void)owned->execute(QStringLiteral("BEGIN IMMEDIATE TRANSACTION;"));
        for (int i = 0; i < 5000; ++i) {
            const int person = i % 20;
            VeskFaceRecord face;
            face.id = QUuid::createUuid();
            face.veskID = items[i % 200].id;
            face.faceIndex = i / 200;
            face.featureModel = QStringLiteral("bench");
            face.featureVector = people[person];
            const double noise = 0.3 + 0.9 * random.generateDouble();
            for (double& x : face.featureVector)
                x += noise * (random.generateDouble() * 2 - 1);
            if ((i / 20) % 5 == 0)
                face.clusterID = out.pools[person];
            face.createdAt = QDateTime::fromSecsSinceEpoch(1'600'000'000 + i, Qt::UTC);
            (void)owned->upsertFace(face);
        }
        (void)owned->execute(QStringLiteral("COMMIT;"));
    }
    VeskServices services;
    services.dataDirectory = library;
    out.store = std::make_unique<VeskStore>(services);
    // The face caches are read by start-up in the background: suggestions asked before it ends
    // rank against nothing.
    out.store->waitForStartup();
    return out;
}

void BM_FaceSuggestions(benchmark::State& state)
{
    const bool afterNewFaces = state.range(0) == 1;
    SuggestionLibrary library = suggestionLibrary();
    VeskStore& store = *library.store;
    if (store.faceRecordsCache().isEmpty()) {
        state.SkipWithError("the library's faces were not read");
        return;
    }
    qsizetype shown = 0;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (afterNewFaces) {
            // The faces of one item detected again: same prints, new identifiers, no pools (so
            // the pools that held some of them lose those faces).
            const QUuid item = store.faceRecordsCache().first().veskID;
            QList<VeskFaceRecord> again;
            for (VeskFaceRecord face : store.faceRecordsCache()) {
                if (face.veskID == item) {
                    face.id = QUuid::createUuid();
                    face.clusterID.reset();
                    again.append(face);
                }
            }
            store.cacheFaceRecords(item, again);
        } else {
            const QList<VeskFaceRecord> unassigned = store.unassignedFaces(1);
            if (!unassigned.isEmpty())
                (void)store.confirmFace(unassigned.first().id, library.pools[round % 20]);
        }
        ++round;
        state.ResumeTiming();
        shown = 0;
        for (const QUuid& pool : library.pools)
            shown += store.faceSuggestions(pool, 12, 0.72).size();
    }
    state.counters["suggestions_shown"] = double(shown);
}
void BM_FaceSuggestionsFirstDrawing(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        SuggestionLibrary library = suggestionLibrary();
        state.ResumeTiming();
        qsizetype shown = 0;
        for (const QUuid& pool : library.pools)
            shown += library.store->faceSuggestions(pool, 12, 0.72).size();
        state.counters["suggestions_shown"] = double(shown);
        state.PauseTiming();
        library.store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FaceSuggestionsFirstDrawing)->Name("BM_FaceSuggestions/firstDrawing")->Iterations(3)->Unit(
    benchmark::kMillisecond)->UseRealTime();

BENCHMARK(BM_FaceSuggestions)->Name("BM_FaceSuggestions/afterDecision")->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FaceSuggestions)->Name("BM_FaceSuggestions/afterNewFaces")->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    // Keep the real library, settings and inbox out of reach.
    qputenv("VESK_DATA_DIR", workFolder().filePath(QStringLiteral("data")).toUtf8());
    qputenv("VESK_CONFIG_DIR", workFolder().filePath(QStringLiteral("config")).toUtf8());
    qputenv("VESK_CLOUD_DIR", workFolder().filePath(QStringLiteral("cloud")).toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
