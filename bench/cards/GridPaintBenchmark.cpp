// Paint time of one frame of a scrolled "Show All" grid, offscreen.
#include "common/BenchTemp.h"
#include "CardsLibrary.h"
#include "LibraryGenerator.h"

#include "grid/LibraryGridCanvas.h"
#include "platform/ui/Theme.h"
#include "grid/LibraryGridView.h"
#include "images/ThumbnailCache.h"
#include "platform/Clock.h"
#include "platform/WorkPools.h"
#include "store/RealServices.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"
#include "store/StoreInternals.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

using namespace vesk;

namespace {

void waitForThumbnails(LibraryGridView& grid, ThumbnailCache& cache)
{
    QImage frame(grid.canvas()->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (int round = 0; round < 50; ++round) {
        {
            QPainter painter(&frame);
            grid.canvas()->paintFrame(painter, frame.rect());
        }
        cache.waitForIdle();
        QCoreApplication::processEvents();
    }
}

void BM_GridPaint(benchmark::State& state)
{
    const int count = int(state.range(0));
    QTemporaryDir root(vesk::bench::benchTempTemplate(QStringLiteral("cards")));
    VeskServices services;
    services.settings = std::make_shared<MemorySettings>();
    services.dataDirectory = root.path() + QStringLiteral("/data");
    auto thumbnails = std::make_shared<ThumbnailCache>(root.path() + QStringLiteral("/thumbs"));
    services.thumbnails = thumbnails;
    VeskStore store(services.completed());
    // The shared generator's notes, links and files; every fourth item becomes a picture so
    // cards also draw thumbnails.
    QList<VeskItem> items = bench::LibraryGenerator(7).generate(count);
    QStringList pictures;
    for (const VeskItem& item : bench::makeCardsLibrary(36, root.path() + QStringLiteral("/library"), 12)) {
        if (item.kind == VeskKind::Image && item.filePath)
            pictures << *item.filePath;
    }
    for (qsizetype i = 0; i < items.size(); i += 4) {
        items[i].kind = VeskKind::Image;
        items[i].filePath = pictures[(i / 4) % pictures.size()];
    }
    StoreInternals::setItems(store, items);
    StoreInternals::setFilteredItems(store, items);

    LibraryGridView grid(store);
    grid.resize(1050, 900);
    grid.show();
    grid.setShowingAllVesks(true);
    grid.refreshNow();
    QCoreApplication::processEvents();
    grid.canvas()->setAnimationsEnabled(false);
    QScrollBar* bar = grid.canvas()->verticalScrollBar();
    const int middle = bar->maximum() / 2;
    bar->setValue(middle);
    waitForThumbnails(grid, *thumbnails);

    QImage frame(grid.canvas()->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    std::vector<double> frameMs;
    QElapsedTimer frameTimer;
    for (auto _ : state) {
        // Between two frames the event loop turns, as it does on screen (not timed).
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        frameTimer.start();
        // A steady scroll of about a third of a row per frame into rows not painted before, so
        // a new row of cards is laid out every third frame (thumbnails of new rows are not
        // waited for: those cards show their placeholder, as on screen).
        bar->setValue(middle + (step++ * 67) % std::max(1, bar->maximum() - middle));
        frame.fill(Qt::transparent);
        QPainter painter(&frame);
        grid.canvas()->paintFrame(painter, frame.rect());
        painter.end();
        benchmark::DoNotOptimize(frame.constBits());
        frameMs.push_back(frameTimer.nsecsElapsed() / 1e6);
    }
    std::sort(frameMs.begin(), frameMs.end());
    if (!frameMs.empty()) {
        state.counters["p95FrameMs"] = frameMs[size_t(double(frameMs.size() - 1) * 0.95)];
        state.counters["slowestFrameMs"] = frameMs.back();
    }
    state.counters["cards"] = double(grid.canvas()->visibleRange().second - grid.canvas()->visibleRange().first);
    state.counters["thumbnailRequests"] = grid.canvas()->thumbnailRequestCount();
}
BENCHMARK(BM_GridPaint)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The grid's first frame after the store publishes a new result list (typing one letter more),
// over the generated library loaded as the application loads it: the refresh of the grid and the
// painting of every card now in view, none of them painted before.
void BM_GridFrameAfterNewResults(benchmark::State& state)
{
    const auto library = bench::cachedGeneratedLibrary(int(state.range(0)));
    if (!library) {
        state.SkipWithError(qPrintable(library.error()));
        return;
    }
    VeskServices services = makeRealServices(*library);
    services.clock = std::make_shared<FakeClock>(bench::LibraryGenerator::defaultNow());
    VeskStore store(services);
    store.waitForStartup();
    LibraryGridView grid(store);
    grid.resize(1050, 900);
    grid.show();
    QCoreApplication::processEvents();

    // Letters typed one after the other, and each query's results many pages long.
    bench::LibraryGenerator words(1);
    QStringList queries;
    for (int rank = 300; queries.size() < 24; ++rank) {
        const QString word = words.wordAtRank(rank);
        if (word.size() >= 4) {
            queries << word.left(1) << word.left(2) << word.left(3);
        }
    }
    QImage frame(grid.canvas()->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    qsizetype next = 0;
    std::vector<double> frameMs;
    QElapsedTimer frameTimer;
    for (auto _ : state) {
        state.PauseTiming();
        store.setSearchText(queries[next % queries.size()]);
        store.refreshFilteredItems(queries[next % queries.size()]);
        ++next;
        state.ResumeTiming();
        frameTimer.start();
        grid.refreshNow();
        frame.fill(Qt::transparent);
        QPainter painter(&frame);
        grid.canvas()->paintFrame(painter, frame.rect());
        painter.end();
        benchmark::DoNotOptimize(frame.constBits());
        frameMs.push_back(frameTimer.nsecsElapsed() / 1e6);
        state.PauseTiming();
        // The event loop turns between two lists, as it does while typing.
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    std::sort(frameMs.begin(), frameMs.end());
    if (!frameMs.empty()) {
        state.counters["medianFrameMs"] = frameMs[frameMs.size() / 2];
        state.counters["slowestFrameMs"] = frameMs.back();
    }
}
BENCHMARK(BM_GridFrameAfterNewResults)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(60);

// Laying out and drawing one card's body from scratch, as the grid does for each card of a new
// result list: on a thread of Qt's pool, in a batch.
void BM_CardBody(benchmark::State& state)
{
    QTemporaryDir root(vesk::bench::benchTempTemplate(QStringLiteral("cards")));
    QList<VeskItem> items = bench::LibraryGenerator(11).generate(64);
    const QList<VeskItem> mixed = bench::makeCardsLibrary(64, root.path() + QStringLiteral("/library"), 4);
    items.append(mixed);
    VeskCardFlags flags;
    const CardLook look = CardLook::from(cardStyleFor(flags), flags, false);
    QList<VeskCardContent> contents;
    for (const VeskItem& item : std::as_const(items)) {
        VeskCardContent content;
        content.item = item;
        content.displayTitle = item.title;
        content.dates = cardDatesFor(item, std::nullopt);
        contents.append(content);
    }
    CardPaintCache::warmUpWorkers(Theme::current());
    CardPaintCache::finishWarmUp();
    constexpr int kBatch = 16;
    qsizetype next = 0;
    for (auto _ : state) {
        QtConcurrent::run(WorkPools::shared().painting(), [&] {
            for (int i = 0; i < kBatch; ++i) {
                const QImage body = renderCardBody(contents[next++ % contents.size()], look, QSizeF(200, kCardHeight),
                                                   1.0, Theme::current());
                benchmark::DoNotOptimize(body.constBits());
            }
        }).waitForFinished();
    }
    state.counters["us_per_card"] = benchmark::Counter(double(kBatch) * 1e-6,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CardBody)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home(vesk::bench::benchTempTemplate(QStringLiteral("cards")));
    qputenv("VESK_DATA_DIR", (home.path() + "/data").toUtf8());
    qputenv("VESK_CONFIG_DIR", (home.path() + "/config").toUtf8());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
