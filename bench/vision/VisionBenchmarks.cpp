// Image analysis speed: the three analyses of one 12-megapixel photograph, one face print, and the
// text of one scanned A4 page.
// Run on 2 cores with `taskset -c 0,1` to check the targets of a small machine.
#include "common/BenchTemp.h"
#include "faces/FaceDetector.h"
#include "faces/FacePrint.h"
#include "faces/TextRecognizer.h"
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

// A printed A4 page scanned at 300 dpi: 40 lines of running text, the way a letter or an invoice
// comes into the library.
QImage scannedA4Page(int lines)
{
    QImage page(2480, 3508, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(46); // 11 pt at 300 dpi
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QStringList words = QStringLiteral(
        "invoice meeting harbour garden receipt morning delivery account balance window library "
        "camera autumn station ticket journey kitchen letter museum number").split(QLatin1Char(' '));
    for (int line = 0; line < lines; ++line) {
        QStringList text;
        for (int k = 0; k < 8; ++k)
            text.append(words[(line * 7 + k * 3) % words.size()]);
        text.append(QString::number(1000 + line * 37));
        painter.drawText(240, 300 + line * 75, text.join(QLatin1Char(' ')));
    }
    return page;
}

void BM_RecognizeText(benchmark::State& state)
{
    constexpr int kLines = 40;
    const QImage page = scannedA4Page(kLines);
    (void)recognizeTextInImage(page); // starts this thread's Tesseract
    qsizetype lines = 0;
    for (auto _ : state) {
        const QString text = recognizeTextInImage(page);
        lines = text.isEmpty() ? 0 : text.count(QLatin1Char('\n')) + 1;
    }
    state.counters["lines_read"] = double(lines);
    state.counters["lines_on_page"] = double(kLines);
}
BENCHMARK(BM_RecognizeText)->Name("BM_RecognizeText/A4")->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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
