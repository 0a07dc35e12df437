// Speed of the picture caches: thumbnails of 12-megapixel photos from the source and from the
// disk tier, the first thumbnail a card gets while a 2,000-picture prewarm runs, and the first
// and second opening of a 24-megapixel picture in the preview pane.
#include "common/BenchTemp.h"
#include "images/PreparedPreviewCache.h"
#include "images/ThumbnailCache.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace vesk;

namespace {

QTemporaryDir& workFolder()
{
    static QTemporaryDir folder(vesk::bench::benchTempTemplate(QStringLiteral("images")));
    return folder;
}

// A photo-like picture (gradients and noise) so the JPEG decoder has real work to do.
QString photo(int width, int height)
{
    const QString path = QDir(workFolder().path()).filePath(QStringLiteral("photo-%1x%2.jpg").arg(width).arg(height));
    if (QFileInfo::exists(path))
        return path;
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, QColor(30, 90, 160));
    gradient.setColorAt(1, QColor(220, 170, 60));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    QRandomGenerator random(7);
    for (int y = 0; y < height; y += 2) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int noise = int(random.bounded(40)) - 20;
            const QRgb pixel = line[x];
            line[x] = qRgb(qBound(0, qRed(pixel) + noise, 255), qBound(0, qGreen(pixel) + noise, 255),
                qBound(0, qBlue(pixel) + noise, 255));
        }
    }
    image.save(path, "JPEG", 90);
    return path;
}

VeskItem imageItem(const QString& path)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = VeskKind::Image;
    item.filePath = path;
    return item;
}

QString freshFolder(const QString& name)
{
    static int serial = 0;
    return QDir(workFolder().path()).filePath(name + QString::number(++serial));
}

void thumbnailsCold(benchmark::State& state)
{
    const QString source = photo(4000, 3000);
    ThumbnailCache cache(freshFolder(QStringLiteral("cold")));
    for (auto _ : state) {
        QImage image = cache.thumbnail(imageItem(source), 520).result();
        benchmark::DoNotOptimize(image);
    }
    state.counters["thumbnails/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void thumbnailsWarmDisk(benchmark::State& state)
{
    const QString source = photo(4000, 3000);
    const QString folder = freshFolder(QStringLiteral("warm"));
    QList<VeskItem> items;
    {
        ThumbnailCache filler(folder);
        for (int i = 0; i < 64; ++i)
            items.append(imageItem(source));
        filler.prewarmThumbnails(thumbnailSourcesOf(items)).waitForFinished();
    }
    qsizetype next = 0;
    std::unique_ptr<ThumbnailCache> cache;
    for (auto _ : state) {
        // A new cache per pass over the items: empty memory, so every answer comes from disk.
        if (next % items.size() == 0)
            cache = std::make_unique<ThumbnailCache>(folder);
        QImage image = cache->thumbnail(items.at(next++ % items.size()), 520).result();
        benchmark::DoNotOptimize(image);
    }
    state.counters["thumbnails/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void firstThumbnailDuringPrewarm(benchmark::State& state)
{
    const QString source = photo(4000, 3000);
    const QString small = photo(1200, 900);
    QList<VeskItem> library;
    for (int i = 0; i < 2000; ++i)
        library.append(imageItem(source));
    for (auto _ : state) {
        state.PauseTiming();
        auto cache = std::make_unique<ThumbnailCache>(freshFolder(QStringLiteral("prewarm")));
        QFuture<void> prewarm = cache->prewarmThumbnails(thumbnailSourcesOf(library));
        state.ResumeTiming();
        QImage image = cache->thumbnail(imageItem(small), 520).result();
        benchmark::DoNotOptimize(image);
        state.PauseTiming();
        cache.reset(); // stops the prewarm after its current picture
        state.ResumeTiming();
    }
}

void preparedPreviewFirstOpen(benchmark::State& state)
{
    const QString source = photo(6000, 4000);
    PreparedPreviewCache cache(freshFolder(QStringLiteral("previews")), nullptr);
    for (auto _ : state) {
        QImage image = cache.preparedImage(imageItem(source)).result();
        benchmark::DoNotOptimize(image);
        // The PNG file is written after the answer; keep that out of the next opening.
        state.PauseTiming();
        cache.waitForIdle();
        state.ResumeTiming();
    }
}

void preparedPreviewSecondOpen(benchmark::State& state)
{
    const QString source = photo(6000, 4000);
    PreparedPreviewCache cache(freshFolder(QStringLiteral("previews")), nullptr);
    const VeskItem item = imageItem(source);
    cache.preparedImage(item).waitForFinished();
    for (auto _ : state) {
        QImage image = cache.preparedImage(item).result();
        benchmark::DoNotOptimize(image);
    }
}

void preparedPreviewAfterRelaunch(benchmark::State& state)
{
    const QString source = photo(6000, 4000);
    const QString folder = freshFolder(QStringLiteral("previews"));
    const VeskItem item = imageItem(source);
    PreparedPreviewCache(folder, nullptr).preparedImage(item).waitForFinished();
    for (auto _ : state) {
        state.PauseTiming();
        auto cache = std::make_unique<PreparedPreviewCache>(folder, nullptr);
        state.ResumeTiming();
        QImage image = cache->preparedImage(item).result();
        benchmark::DoNotOptimize(image);
    }
}

} // namespace

BENCHMARK(thumbnailsCold)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(thumbnailsWarmDisk)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(firstThumbnailDuringPrewarm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(preparedPreviewFirstOpen)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(preparedPreviewSecondOpen)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(preparedPreviewAfterRelaunch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
