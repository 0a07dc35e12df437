// Image analysis speed: the three analyses of one 12-megapixel photograph, and one face print.
// Run on 2 cores with `taskset -c 0,1` to check the targets of a small machine.
#include "common/BenchTemp.h"
#include "faces/FaceDetector.h"
#include "faces/FacePrint.h"
#include "faces/VisionAnalysis.h"
#include "platform/image/ImageLoader.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

using namespace vesk;

namespace {

const QString kGroupPhoto = QStringLiteral("/usr/share/doc/libdlib19.1/examples/faces/2008_007676.jpg");

long peakResidentKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A 4000 x 3000 JPEG of people at a table, with a line of text on it.
QString twelveMegapixelPhoto(const QTemporaryDir& folder)
{
    QImage photo = ImageLoader::load(kGroupPhoto).scaled(4000, 3000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (photo.isNull())
        return {};
    photo = photo.convertToFormat(QImage::Format_RGB32);
    QPainter painter(&photo);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(90);
    painter.setFont(font);
    painter.fillRect(QRect(200, 2700, 2000, 140), Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(240, 2800, QStringLiteral("Table for seven, Friday 8 pm"));
    painter.end();
    const QString path = folder.filePath(QStringLiteral("twelve.jpg"));
    photo.save(path, "JPEG", 90);
    return path;
}

void BM_AnalyseImage(benchmark::State& state)
{
    QTemporaryDir folder(vesk::bench::benchTempTemplate(QStringLiteral("vision")));
    const QString path = twelveMegapixelPhoto(folder);
    if (path.isEmpty()) {
        state.SkipWithError("the group photograph (libdlib19.1) is missing");
        return;
    }
    (void)vision::analyseImage(path); // loads the models and Tesseract once
    const long before = peakResidentKilobytes();
    qsizetype faces = 0;
    for (auto _ : state) {
        const ImageAnalysis analysis = vision::analyseImage(path);
        faces = analysis.faces.size();
        benchmark::DoNotOptimize(analysis.text);
    }
    state.counters["faces"] = double(faces);
    state.counters["peak_MB_above_warm"] = double(peakResidentKilobytes() - before) / 1024.0;
    state.counters["peak_MB"] = double(peakResidentKilobytes()) / 1024.0;
}
BENCHMARK(BM_AnalyseImage)->Name("BM_AnalyseImage/12MP")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_FacePrint(benchmark::State& state)
{
    const QImage photo = ImageLoader::load(kGroupPhoto);
    const QList<FaceBox> faces = detectFaceBoxes(photo);
    if (faces.isEmpty()) {
        state.SkipWithError("no face to print");
        return;
    }
    const QImage crop = photo.copy(faces.first().box.toAlignedRect());
    (void)facePrintOfCrop(crop);
    for (auto _ : state)
        benchmark::DoNotOptimize(facePrintOfCrop(crop));
}
BENCHMARK(BM_FacePrint)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
