// The image editor's speed on the main thread: one slider step redraws the canvas picture from
// the display-sized copy of a 12-megapixel photo; one markup frame paints the canvas with 500
// elements.
#include "EditorScenes.h"

#include "editor/EditPipeline.h"
#include "editor/ImageEditSession.h"
#include "imageeditor/MarkupCanvas.h"
#include "platform/image/ImageLoader.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <benchmark/benchmark.h>

using namespace vesk;

namespace {

// What the canvas does for a slider step: render the uncropped picture with the new settings
// from the display copy, crop and markup included.
void BM_EditorSliderStep(benchmark::State& state)
{
    const double side = std::sqrt(12e6 / 12.0);
    const QImage full = bench::makeScenePicture(QSize(int(side * 4), int(side * 3)));
    // Made once per editor, when the source is decoded.
    const QImage display = downscaledImage(full, ImageEditSession::kDisplayMaxDimension);
    EditSettings settings;
    settings.crop = {0.1, 0.05, 0.1, 0.1};
    settings.quarterTurns = 1;
    settings.markup = bench::makeMarkupElements(12);
    int step = 0;
    for (auto _ : state) {
        settings.colour.brightness = -0.5 + (step % 100) / 100.0;
        settings.colour.saturation = 0.5 + (step % 50) / 50.0;
        ++step;
        const QImage canvas = renderUncroppedImage(display, settings);
        benchmark::DoNotOptimize(canvas.constBits());
    }
    state.counters["display_px"] = double(display.width()) * display.height();
}
BENCHMARK(BM_EditorSliderStep)->Name("BM_EditorSliderStep/12MP")->Unit(benchmark::kMillisecond);

// The full-size render and encode that follows the last change (debounced), for reference.
void BM_EditorFullEncode(benchmark::State& state)
{
    const QImage full = bench::makeScenePicture(QSize(4000, 3000));
    EditSettings settings;
    settings.colour.brightness = 0.1;
    settings.crop = {0.1, 0.05, 0.1, 0.1};
    const QString path = state.range(0) ? QStringLiteral("photo.jpg") : QStringLiteral("scan.png");
    for (auto _ : state) {
        const std::optional<EncodedImage> encoded = encodeEditedImage(renderEditedImage(full, settings), path);
        benchmark::DoNotOptimize(encoded->data.size());
    }
}
BENCHMARK(BM_EditorFullEncode)->Arg(1)->Arg(0)->ArgNames({"jpeg"})->Unit(benchmark::kMillisecond);

// One paint of the markup canvas while a rectangle is dragged out over 500 elements already
// drawn: the frame the sheet shows at every pointer move.
void BM_MarkupFrame(benchmark::State& state)
{
    MarkupEditorState editor;
    editor.elements = bench::makeMarkupElements(int(state.range(0)));
    editor.selectedElementID = editor.elements[2].id;
    MarkupCanvas canvas(editor, bench::makeScenePicture(QSize(1600, 1067)));
    canvas.resize(1100, 700);
    const QRectF image = canvas.imageRect();
    editor.tool = VeskMarkupTool::Rectangle;
    // A press on a free spot starts drawing (a press on an element would move it).
    QPointF press = image.center();
    for (double y = 0.05; y < 1 && hitElement(editor.elements, normalizedPoint(press, image), image.size()); y += 0.01)
        press = QPointF(image.left() + image.width() * 0.5, image.top() + image.height() * y);
    editor.handleDragChanged(press, QPointF(), image);
    QImage frame(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    canvas.render(&frame);
    int step = 0;
    for (auto _ : state) {
        const QPointF offset(step % 200, step % 120);
        ++step;
        editor.handleDragChanged(press + offset, offset, image);
        canvas.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}
BENCHMARK(BM_MarkupFrame)->Arg(500)->Unit(benchmark::kMillisecond);

// A move of the lowest element under 499 others: it is drawn live between two settled layers.
void BM_MarkupMoveFrame(benchmark::State& state)
{
    MarkupEditorState editor;
    editor.elements = bench::makeMarkupElements(int(state.range(0)));
    VeskMarkupElement bottom = makeMarkupElement(VeskMarkupTool::Rectangle, Qt::red, 5);
    bottom.start = QPointF(0.4, 0.4);
    bottom.end = QPointF(0.5, 0.5);
    editor.elements.prepend(bottom);
    editor.elements.removeLast();
    MarkupCanvas canvas(editor, bench::makeScenePicture(QSize(1600, 1067)));
    canvas.resize(1100, 700);
    const QRectF image = canvas.imageRect();
    QImage frame(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    for (auto _ : state) {
        editor.moveElement(bottom.id, QPointF(step % 200, step % 120), image);
        ++step;
        canvas.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}
BENCHMARK(BM_MarkupMoveFrame)->Arg(500)->Unit(benchmark::kMillisecond);

// The same canvas drawn from nothing, every element painted (after an undo, a resize of the
// sheet, or the first frame).
void BM_MarkupFullRedraw(benchmark::State& state)
{
    MarkupEditorState editor;
    editor.elements = bench::makeMarkupElements(int(state.range(0)));
    MarkupCanvas canvas(editor, bench::makeScenePicture(QSize(1600, 1067)));
    QImage frame(QSize(1100, 700), QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    for (auto _ : state) {
        // A one-point change of size throws the layer away.
        canvas.resize(1100, 700 + (step++ % 2));
        canvas.render(&frame);
        benchmark::DoNotOptimize(frame.constBits());
    }
}
BENCHMARK(BM_MarkupFullRedraw)->Arg(500)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
