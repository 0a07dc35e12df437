// What the window pays when a long note is selected in the preview pane over the generated
// library of 100,000 items: ten megabytes of text on one line, ten megabytes of short lines, and
// a rich-text note of one megabyte of RTF. Counters, in milliseconds:
// - first_screen_ms: from the selection until the note's text view has painted its first screen
//   of text (for rich text, the body is read on a worker meanwhile);
// - longest_slice_ms: the longest the main thread then went without answering, while the rest
//   of the text came in, a second after that, and while the view was scrolled a page at a time,
//   to the end and back to the middle; a 2 ms timer on the main thread measures the gaps.
//   longest_slice_cpu_ms is the most processor time the main thread spent in one such gap: on a
//   loaded machine a gap also holds the time other processes had the cores.
// - filled is 1 when the whole text had come in within the time allowed (60 s).
#include "BenchMain.h"

#include "pane/LongTextView.h"
#include "pane/VeskPreview.h"
#include "platform/ui/ControlStyles.h"
#include "platform/ui/Theme.h"
#include "richtext/RichTextConversion.h"
#include "store/VeskStore.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <ctime>
#include <functional>

using namespace vesk;
using namespace vesk::bench;

namespace {

constexpr qsizetype kPlainCharacters = 10 * 1000 * 1000;
constexpr qsizetype kRtfBytes = 1000 * 1000;
constexpr qint64 kFillLimitMs = 60'000;

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Words of varied length, a line break after about one word in lineEvery (never when 0).
QString prose(qsizetype characters, quint32 lineEvery)
{
    static const QStringList words{QStringLiteral("harbour"), QStringLiteral("lantern"), QStringLiteral("quiet"),
                                   QStringLiteral("morning"), QStringLiteral("ferry"), QStringLiteral("notes"),
                                   QStringLiteral("a"), QStringLiteral("of"), QStringLiteral("the"),
                                   QStringLiteral("crossing"), QStringLiteral("timetable"), QStringLiteral("rain")};
    QString text;
    text.reserve(characters + 16);
    quint32 state = 12345;
    while (text.size() < characters) {
        state = state * 1664525u + 1013904223u;
        text += words.at((state >> 16) % words.size());
        text += (lineEvery && (state >> 8) % lineEvery == 0) ? QLatin1Char('\n') : QLatin1Char(' ');
    }
    return text;
}

// A note as a word processor writes it: paragraphs of prose, some bold, checklist lines and links.
QTextDocument* richNote(QObject* parent)
{
    auto* document = new QTextDocument(parent);
    QTextCursor cursor(document);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    const QString paragraph = prose(400, 0).trimmed();
    // The RTF of a paragraph is a little longer than its text.
    for (qsizetype i = 0; i < kRtfBytes / 390; ++i) {
        if (i > 0)
            cursor.insertBlock();
        switch (i % 5) {
        case 0: cursor.insertText(QStringLiteral("\u2610 Call about the ferry timetable, see example.com/ferries"), QTextCharFormat()); break;
        case 1: cursor.insertText(QStringLiteral("Crossing notes "), bold); cursor.insertText(paragraph, QTextCharFormat()); break;
        default: cursor.insertText(paragraph, QTextCharFormat()); break;
        }
    }
    return document;
}

enum class LongNote { SingleLine, ShortLines, RichText };

struct Library {
    VeskStore* store = nullptr;
    QUuid small;
    QUuid notes[3];
};

// The generated library with the three notes captured into it, once for the run.
Library& library()
{
    static Library kept = [] {
        Library made;
        made.store = &generatedLibraryStore(100'000);
        VeskStore& store = *made.store;
        const qsizetype before = store.items().size();
        store.addText(prose(kPlainCharacters, 0), QStringLiteral("One long line"));
        store.addText(prose(kPlainCharacters, 14), QStringLiteral("Many short lines"));
        QObject owner;
        const QTextDocument* rich = richNote(&owner);
        store.addRichTextNote(QStringLiteral("Rich notes"), rich->toPlainText(), makeRTFData(*rich));
        QElapsedTimer waited;
        waited.start();
        while (store.items().size() < before + 3 && waited.elapsed() < 120'000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        const QStringList titles{QStringLiteral("One long line"), QStringLiteral("Many short lines"),
                                 QStringLiteral("Rich notes")};
        for (const VeskItem& item : store.items()) {
            const qsizetype at = titles.indexOf(item.title);
            if (at >= 0)
                made.notes[at] = item.id;
            else if (made.small.isNull() && item.text && item.text->size() < 200)
                made.small = item.id;
        }
        return made;
    }();
    return kept;
}

// The text view the pane shows the note in, with a body in it: none until there is one.
QAbstractScrollArea* noteView(VeskPreview& pane)
{
    if (!pane.content())
        return nullptr;
    if (auto* plain = pane.content()->findChild<LongTextView*>(QStringLiteral("previewPlainText")))
        return plain->lineCount() > 0 ? plain : nullptr;
    for (auto* rich : pane.content()->findChildren<QTextEdit*>()) {
        if (rich->document()->characterCount() > 1)
            return rich;
    }
    return nullptr;
}

// Tells when the note's text view has painted its first screen: at the end of the first paint of
// its viewport with a body in it, which is when the next event of any object begins.
class FirstScreenWatch : public QObject {
public:
    explicit FirstScreenWatch(VeskPreview& pane)
        : m_pane(pane)
    {
        m_sinceSelection.start();
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~FirstScreenWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool done() const { return m_shownMs >= 0; }
    double shownMs() const { return m_shownMs; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (m_painting && !done()) {
            m_shownMs = double(m_sinceSelection.nsecsElapsed()) / 1e6;
        } else if (!m_painting && event->type() == QEvent::Paint) {
            const QAbstractScrollArea* view = noteView(m_pane);
            m_painting = view && object == view->viewport();
        }
        return false;
    }

private:
    VeskPreview& m_pane;
    QElapsedTimer m_sinceSelection;
    bool m_painting = false;
    double m_shownMs = -1;
};

void BM_PreviewLongText(benchmark::State& state, LongNote note)
{
    Library& shared = library();
    VeskStore& store = *shared.store;
    const QUuid id = shared.notes[int(note)];
    const qsizetype index = store.indexOfItem(id);
    if (id.isNull() || index < 0) {
        state.SkipWithError("the note was not captured");
        return;
    }

    VeskPreview pane(store);
    pane.followSelection();
    // The pane at its default width, in a window of the default height.
    pane.resize(350, 800);
    pane.show();
    store.select(shared.small);
    QCoreApplication::processEvents();

    double firstScreen = 0;
    double longest = 0;
    double longestCpu = 0;
    bool filled = true;
    for (auto _ : state) {
        FirstScreenWatch watch(pane);
        store.select(id);
        QElapsedTimer waited;
        waited.start();
        while (!watch.done() && waited.elapsed() < kFillLimitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        QAbstractScrollArea* view = noteView(pane);
        const double shown = watch.shownMs();

        // The gaps between the ticks of a 2 ms timer from here on.
        double gap = 0;
        double gapCpu = 0;
        QElapsedTimer sinceTick;
        double cpuAtTick = threadCpuMs();
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        ticks.setInterval(2);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            const double cpu = threadCpuMs();
            gap = std::max(gap, double(sinceTick.nsecsElapsed()) / 1e6);
            gapCpu = std::max(gapCpu, cpu - cpuAtTick);
            cpuAtTick = cpu;
            sinceTick.restart();
        });
        sinceTick.start();
        ticks.start();
        const auto runUntil = [](const std::function<bool()>& done, qint64 limitMs) {
            QElapsedTimer waited;
            waited.start();
            while (!done() && waited.elapsed() < limitMs)
                QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
            return done();
        };
        const auto wholeText = [&] {
            // A plain note is whole when every line of it has been found; a rich one when its
            // body is there.
            auto* plain = qobject_cast<LongTextView*>(view);
            return !plain || plain->isFilled();
        };
        const bool whole = view && runUntil(wholeText, kFillLimitMs);
        filled = filled && whole;
        runUntil([] { return false; }, 1000);
        if (view) {
            QScrollBar* bar = view->verticalScrollBar();
            for (int page = 0; page < 10; ++page) {
                bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
                runUntil([] { return false; }, 30);
            }
            bar->setValue(bar->maximum());
            runUntil([] { return false; }, 200);
            bar->setValue(bar->maximum() / 2);
            runUntil([] { return false; }, 200);
        }
        ticks.stop();
        firstScreen = shown;
        longest = gap;
        longestCpu = gapCpu;
        state.SetIterationTime(shown / 1e3);

        // Back to a small note, and its view of the long one gone.
        store.select(shared.small);
        runUntil([] { return false; }, 300);
    }
    state.counters["first_screen_ms"] = firstScreen;
    state.counters["longest_slice_ms"] = longest;
    state.counters["longest_slice_cpu_ms"] = longestCpu;
    state.counters["filled"] = filled ? 1 : 0;
}

BENCHMARK_CAPTURE(BM_PreviewLongText, single_line_10MB, LongNote::SingleLine)
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PreviewLongText, short_lines_10MB, LongNote::ShortLines)
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PreviewLongText, rtf_1MB, LongNote::RichText)
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The window's look, as the application sets it.
    QApplication::setPalette(Theme::current().palette());
    app.setStyleSheet(applicationStyleSheet(Theme::current()));
    return runBenchmarks(argc, argv);
}
