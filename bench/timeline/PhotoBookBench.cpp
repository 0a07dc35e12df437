// BM_PhotoBook/<n>: a photo book of n twelve-megapixel photographs, with the peak memory of the
// run. The peak is reset before each run, so BM_PhotoBook/20 and BM_PhotoBook/200 side by side
// show whether memory grows with the number of pages (it should not: each picture is let go
// after its page).
#include "common/BenchTemp.h"
#include "common/ProcessMemory.h"
#include "platform/image/ImageLoader.h"
#include "timeline/PhotoBook.h"
#include "timeline/VeskTimelineMediaCache.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace vesk;

namespace {

const QString kFaces = QStringLiteral("/usr/share/doc/libdlib19.1/examples/faces/");

// Twenty different 4032 x 3024 JPEGs made from the face pictures of dlib's examples.
const QList<VeskItem>& sourcePhotos()
{
    static QTemporaryDir folder(vesk::bench::benchTempTemplate(QStringLiteral("photobook")));
    static const QList<VeskItem> items = [] {
        QList<VeskItem> made;
        const QStringList names = QDir(kFaces).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
        for (int i = 0; i < 20 && !names.isEmpty(); ++i) {
            QImage photo = ImageLoader::load(kFaces + names.at(i % names.size()))
                               .scaled(4032, 3024, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                               .convertToFormat(QImage::Format_RGB32);
            QPainter(&photo).fillRect(QRect(40 * i, 40 * i, 300, 300), QColor::fromHsv(i * 17, 200, 220));
            const QString path = folder.filePath(QStringLiteral("photo-%1.jpg").arg(i));
            photo.save(path, "JPEG", 90);
            VeskItem item;
            item.id = QUuid::createUuid();
            item.title = QStringLiteral("Photograph %1").arg(i + 1);
            item.kind = VeskKind::Image;
            item.createdAt = QDateTime::currentDateTimeUtc();
            item.filePath = path;
            made.append(item);
        }
        return made;
    }();
    return items;
}

void BM_PhotoBook(benchmark::State& state)
{
    const QList<VeskItem>& items = sourcePhotos();
    if (items.isEmpty()) {
        state.SkipWithError("the face pictures (libdlib19.1) are missing");
        return;
    }
    QList<VeskTimelinePhoto> photos;
    for (int i = 0; i < state.range(0); ++i)
        photos.append({items.at(i % items.size()), i < items.size() ? std::nullopt : std::optional(QUuid::createUuid())});
    QTemporaryDir out(vesk::bench::benchTempTemplate(QStringLiteral("photobook")));
    VeskTimelineMediaCache cache;
    const PhotoDateLookup dates = [&](const VeskItem& item) { return cache.photoDate(item); };
    const QString destination = out.filePath(QStringLiteral("book.pdf"));
    double peak = 0;
    QElapsedTimer elapsed;
    double milliseconds = 0;
    for (auto _ : state) {
        bench::resetPeakMemory();
        elapsed.start();
        const auto written = writePhotoBook(photos, QStringLiteral("Ann"), destination, dates);
        if (!written.hasValue()) {
            state.SkipWithError(written.error().description().toStdString().c_str());
            return;
        }
        milliseconds = double(elapsed.elapsed());
        peak = std::max(peak, double(bench::statusKilobytes("VmHWM:")) / 1024.0);
    }
    state.counters["peak_mb"] = peak;
    state.counters["pdf_mb"] = double(QFileInfo(destination).size()) / 1e6;
    state.counters["ms_per_page"] = milliseconds / double(state.range(0));
}
BENCHMARK(BM_PhotoBook)->Arg(20)->Arg(200)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // The example photographs carry colour profiles Qt finds odd; that is not what is measured.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.icc=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
