// Reading a stored body (RTF to an editable document), writing it back, the display pass the editor
// runs after every keystroke, showing bodies full of links in the read view, and reading and
// writing bodies of five megabytes. Each benchmark reports the process's peak memory while it ran.
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextRtf.h"
#include "richtext/RtfReader.h"
#include "richtext/RtfWriter.h"
#include "richtext/VeskRichTextReadView.h"

#include "common/ProcessMemory.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QColor>
#include <QEventLoop>
#include <QFile>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <malloc.h>

namespace {

// Peak resident memory of the process, in megabytes, since the last reset.
double peakMegabytes()
{
    return double(vesk::bench::statusKilobytes("VmHWM:")) / 1024.0;
}

// Memory freed while the input was made goes back to the system first, so the peak is what the
// process holds (input included) plus what the operation itself takes.
void resetPeak()
{
    malloc_trim(0);
    vesk::bench::resetPeakMemory();
}

void releaseDeferred()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QByteArray noteRtf(int lines)
{
    auto document = vesk::makeRichTextDocument();
    QTextCursor cursor(document.get());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (int i = 0; i < lines; ++i) {
        if (i > 0)
            cursor.insertBlock();
        switch (i % 4) {
        case 0: cursor.insertText(QStringLiteral("\u2610 Call about the invoice, see example.com/billing"), QTextCharFormat()); break;
        case 1: cursor.insertText(QStringLiteral("\u2022 "), QTextCharFormat()); cursor.insertText(QStringLiteral("Important"), bold); break;
        case 2: cursor.insertText(QStringLiteral("Plain words caf\u00E9 and more plain words for a line of text"), QTextCharFormat()); break;
        default: cursor.insertText(QStringLiteral("3. mail someone@example.org today"), QTextCharFormat()); break;
        }
    }
    return vesk::makeRTFData(*document).value();
}

vesk::RtfRunStyle style(int halfPoints, int weight = 400, bool italic = false, const QString& href = {})
{
    vesk::RtfRunStyle s;
    s.sizeHalfPoints = halfPoints;
    s.weight = weight;
    s.italic = italic;
    s.href = href;
    return s;
}

// A body of `links` links, one in each line: every other one a HYPERLINK field, the rest bare
// addresses that detection finds. `variant` changes one character, so two bodies differ.
QByteArray linksRtf(int links, int variant)
{
    vesk::RtfContent content;
    for (int i = 0; i < links; ++i) {
        vesk::RtfParagraph paragraph;
        paragraph.runs.append({QStringLiteral("Entry %1 (%2): read ").arg(i).arg(variant), style(30)});
        if (i % 2 == 0)
            paragraph.runs.append({QStringLiteral("the article"),
                                   style(30, 400, false, QStringLiteral("https://example.org/articles/%1").arg(i))});
        else
            paragraph.runs.append({QStringLiteral("www.example%1.com/page").arg(i), style(30)});
        paragraph.runs.append({QStringLiteral(" before the meeting."), style(30)});
        content.paragraphs.append(paragraph);
    }
    return vesk::writeRtf(content, QStringLiteral("Sans"));
}

// About `bytes` of RTF in short paragraphs with a little formatting, a glyph and a link in some.
QByteArray shortParagraphsRtf(qsizetype bytes)
{
    vesk::RtfContent content;
    QByteArray rtf;
    int i = 0;
    while (true) {
        for (int k = 0; k < 2000; ++k, ++i) {
            vesk::RtfParagraph paragraph;
            switch (i % 5) {
            case 0: paragraph.runs.append({QStringLiteral("\u2610 buy milk %1").arg(i), style(30)}); break;
            case 1:
                paragraph.runs.append({QStringLiteral("Heading %1").arg(i), style(44, 600)});
                paragraph.alignment = vesk::RtfAlignment::Center;
                break;
            case 2:
                paragraph.runs.append({QStringLiteral("see "), style(30)});
                paragraph.runs.append({QStringLiteral("example.com/%1").arg(i), style(30)});
                break;
            case 3: paragraph.runs.append({QStringLiteral("caf\u00E9 na\u00EFve %1").arg(i), style(30, 400, true)}); break;
            default: paragraph.runs.append({QStringLiteral("a short line of plain words"), style(30)}); break;
            }
            content.paragraphs.append(paragraph);
        }
        rtf = vesk::writeRtf(content, QStringLiteral("Sans"));
        if (rtf.size() >= bytes)
            return rtf;
    }
}

// About `bytes` of RTF in short runs of changing style within long paragraphs.
vesk::RtfContent shortRunsContent(qsizetype bytes)
{
    auto build = [](int paragraphs) {
        vesk::RtfContent content;
        int i = 0;
        for (int p = 0; p < paragraphs; ++p) {
            vesk::RtfParagraph paragraph;
            for (int k = 0; k < 40; ++k, ++i)
                paragraph.runs.append({QStringLiteral("w%1 ").arg(i % 1000), style(24 + (i % 3) * 2, i % 2 ? 700 : 400, i % 5 == 0)});
            content.paragraphs.append(paragraph);
        }
        return content;
    };
    const qsizetype sample = vesk::writeRtf(build(100), QStringLiteral("Sans")).size();
    return build(int(bytes * 100 / sample) + 1);
}

void BM_ReadStoredBody(benchmark::State& state)
{
    const QByteArray rtf = noteRtf(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(vesk::editableAttributedString(rtf, QString()));
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_ReadStoredBody)->Arg(10)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_WriteStoredBody(benchmark::State& state)
{
    const auto document = vesk::editableAttributedString(noteRtf(int(state.range(0))), QString());
    for (auto _ : state)
        benchmark::DoNotOptimize(vesk::makeRTFData(*document));
}
BENCHMARK(BM_WriteStoredBody)->Arg(10)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_EditorDisplayPass(benchmark::State& state)
{
    const auto document = vesk::editableAttributedString(noteRtf(int(state.range(0))), QString());
    for (auto _ : state)
        vesk::runDisplayPass(*document, QColor(Qt::blue), vesk::DisplayPassMode::Editing);
}
BENCHMARK(BM_EditorDisplayPass)->Arg(10)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

// From the bytes to a read view with the whole body laid out, as the preview pane shows it.
void BM_ReadViewLinks(benchmark::State& state)
{
    const QByteArray bodies[2] = {linksRtf(int(state.range(0)), 0), linksRtf(int(state.range(0)), 1)};
    vesk::VeskRichTextReadView view;
    view.resize(600, 420);
    view.show();
    QCoreApplication::processEvents();
    resetPeak();
    int turn = 0;
    for (auto _ : state) {
        view.setRtfData(bodies[turn++ % 2]);
        if (view.isLoading()) {
            QEventLoop loop;
            QObject::connect(&view, &vesk::VeskRichTextReadView::bodyShown, &loop, &QEventLoop::quit);
            loop.exec();
        }
        // A long body comes onto the screen a piece per turn.
        while (view.isFilling())
            QCoreApplication::processEvents();
        benchmark::DoNotOptimize(view.textView()->document()->documentLayout()->documentSize());
        state.PauseTiming();
        releaseDeferred();
        state.ResumeTiming();
    }
    state.counters["rtf_kB"] = bodies[0].size() / 1024.0;
    state.counters["peak_MB"] = peakMegabytes();
}
// CPU is the whole process (the reading worker included), so a loaded machine shows in the
// real time only.
BENCHMARK(BM_ReadViewLinks)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// Five megabytes of short paragraphs shown in the read view, laid out whole.
void BM_ReadViewLarge(benchmark::State& state)
{
    const QByteArray rtf = shortParagraphsRtf(5 * 1024 * 1024);
    resetPeak();
    const double before = peakMegabytes();
    for (auto _ : state) {
        vesk::VeskRichTextReadView view;
        view.resize(600, 420);
        view.show();
        view.setRtfData(rtf);
        if (view.isLoading()) {
            QEventLoop loop;
            QObject::connect(&view, &vesk::VeskRichTextReadView::bodyShown, &loop, &QEventLoop::quit);
            loop.exec();
        }
        // A long body comes onto the screen a piece per turn.
        while (view.isFilling())
            QCoreApplication::processEvents();
        benchmark::DoNotOptimize(view.textView()->document()->documentLayout()->documentSize());
    }
    releaseDeferred();
    state.counters["rtf_MB"] = rtf.size() / 1048576.0;
    state.counters["peak_MB"] = peakMegabytes();
    state.counters["before_MB"] = before;
}
BENCHMARK(BM_ReadViewLarge)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// Five megabytes of stored RTF read for editing.
void BM_RtfRead(benchmark::State& state)
{
    const QByteArray rtf = shortParagraphsRtf(5 * 1024 * 1024);
    resetPeak();
    const double before = peakMegabytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(vesk::editableAttributedString(rtf, QString()));
    state.counters["rtf_MB"] = rtf.size() / 1048576.0;
    state.counters["peak_MB"] = peakMegabytes();
    state.counters["before_MB"] = before;
}
BENCHMARK(BM_RtfRead)->Unit(benchmark::kMillisecond)->Iterations(3);

// A document whose stored form is five megabytes of short runs, written.
void BM_RtfWrite(benchmark::State& state)
{
    auto document = vesk::makeRichTextDocument();
    vesk::fillDocument(*document, shortRunsContent(5 * 1024 * 1024));
    resetPeak();
    const double before = peakMegabytes();
    qsizetype size = 0;
    for (auto _ : state) {
        const std::optional<QByteArray> rtf = vesk::makeRTFData(*document);
        size = rtf ? rtf->size() : 0;
    }
    state.counters["rtf_MB"] = size / 1048576.0;
    state.counters["peak_MB"] = peakMegabytes();
    state.counters["before_MB"] = before;
}
BENCHMARK(BM_RtfWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
