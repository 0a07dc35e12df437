// Reading a stored body (RTF to an editable document), writing it back, and the display pass the
// editor runs after every keystroke, on a note of a given number of lines with lists, links and
// formatting.
#include "richtext/RichTextConversion.h"
#include "richtext/RichTextRtf.h"
#include "richtext/RtfReader.h"

#include <QApplication>
#include <QColor>
#include <QTextCursor>
#include <QTextDocument>
#include <benchmark/benchmark.h>

namespace {

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

void BM_ReadStoredBody(benchmark::State& state)
{
    const QByteArray rtf = noteRtf(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(vesk::editableAttributedString(rtf, QString()));
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_ReadStoredBody)->Arg(10)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

void BM_ParseOnly(benchmark::State& state)
{
    const QByteArray rtf = noteRtf(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(vesk::parseRtf(rtf));
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_ParseOnly)->Arg(2000)->Unit(benchmark::kMillisecond);

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
