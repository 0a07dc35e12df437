// The window stays answerable while Vesk works: a 1 GiB file and 10 MB of text are dropped into
// the running main window, and a 10 ms timer on the main thread records the longest gap between
// two of its ticks until both have arrived in the library. Reported as the counter gap_ms (the
// goal is 50 ms at most), beside gap_cpu_ms: the most processor time the main thread itself spent
// between two ticks. On a loaded machine a gap also holds the time other processes had the cores;
// the processor time is what the window's own work costs. Two libraries: a thousand mixed items with pictures (/1000), and a copy
// of the generated library of 100,000 items, started and settled before the drop (/100000).
// BM_CaptureLongLine measures the same gaps while ten megabytes of text on one line are captured
// from the clipboard, BM_TypingOverLongLine while words are typed into the search with that note
// shown.
#include "platform/SystemMemory.h"
#include "common/BenchTemp.h"
#include "common/RunningWindow.h"
#include "BigFile.h"
#include "CardsLibrary.h"
#include "LibraryGenerator.h"
#include "app/ClipboardCapture.h"
#include "app/MainWindow.h"
#include "store/SQLiteDatabase.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMimeData>
#include <QPaintEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

constexpr qint64 kFileSize = qint64(1) << 30;
constexpr qsizetype kTextCharacters = 10 * 1000 * 1000;

QTemporaryDir& workFolder()
{
    static QTemporaryDir folder(vesk::bench::benchTempTemplate(QStringLiteral("stall")));
    return folder;
}

QString bigFilePath()
{
    return workFolder().filePath(QStringLiteral("Holiday.mov"));
}

// Written once, before any measurement, so every contender reads it from the same page cache.
void ensureBigFile()
{
    vesk::bench::ensureFileOfSize(bigFilePath(), kFileSize);
}

// Processor time of the calling thread so far.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + now.tv_nsec / 1e6;
}

// The clock a profiler's samples are stamped with (perf record -k CLOCK_MONOTONIC).
double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + now.tv_nsec / 1e9;
}

// With VESK_STALL_TRACE set, what the main thread spent its time on: the processor time of each
// event it handled outside of another, by the class of its receiver and the kind of event, so
// that a long gap can be told apart into its events.
struct HandledEvent {
    double cpuMs;
    QByteArray what;
};
std::vector<HandledEvent>& handledEvents()
{
    static std::vector<HandledEvent> events;
    return events;
}

// Each paint inside an event is listed too, with its wall time (a paint can wait for the raster
// engine's threads), its area and the widgets it lies in.
class LedgerApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        static const bool trace = !qEnvironmentVariableIsEmpty("VESK_STALL_TRACE");
        if (!trace || (m_depth > 0 && event->type() != QEvent::Paint))
            return QApplication::notify(receiver, event);
        const bool paint = m_depth > 0;
        ++m_depth;
        const double start = threadCpuMs();
        const double wallStart = monotonicSeconds();
        const bool handled = QApplication::notify(receiver, event);
        --m_depth;
        const double spent = threadCpuMs() - start;
        if (spent < (paint ? 0.3 : 0.5))
            return handled;
        QByteArray what = QByteArray(receiver->metaObject()->className()) + '/' + receiver->objectName().toUtf8();
        if (paint) {
            const QRect area = static_cast<QPaintEvent*>(event)->rect();
            what = "      paint (" + QByteArray::number((monotonicSeconds() - wallStart) * 1e3, 'f', 1) + " ms wall) "
                + what + ' ' + QByteArray::number(area.width()) + 'x' + QByteArray::number(area.height());
            for (QObject* up = receiver->parent(); up; up = up->parent())
                what += QByteArray(" < ") + up->metaObject()->className() + '/' + up->objectName().toUtf8();
        } else {
            what += " event " + QByteArray::number(int(event->type()));
            // A timer is known by what it works for.
            if (receiver->parent())
                what += QByteArray(" of ") + receiver->parent()->metaObject()->className();
        }
        handledEvents().push_back({spent, what});
        return handled;
    }

private:
    int m_depth = 0;
};

// A 10 ms timer on the main thread that records the longest gap between two of its ticks, and
// the most processor time the thread spent in one such gap. With VESK_STALL_TRACE set, each long
// gap (or one busy for more than 8 ms) is written out with the monotonic time at which it ended,
// to be lined up with a profiler's samples.
class GapProbe {
public:
    GapProbe()
    {
        static const bool trace = !qEnvironmentVariableIsEmpty("VESK_STALL_TRACE");
        m_ticks.setTimerType(Qt::PreciseTimer);
        m_ticks.setInterval(10);
        QObject::connect(&m_ticks, &QTimer::timeout, [this] {
            const double gap = m_sinceTick.nsecsElapsed() / 1e6;
            const double cpu = threadCpuMs();
            const double gapCpu = cpu - m_cpuAtTick;
            if (trace && (gap > 30 || gapCpu > 8)) {
                std::fprintf(stderr, "stall %.1f ms (%.1f ms busy) ending at %.3f s\n", gap, gapCpu, monotonicSeconds());
                for (const HandledEvent& handled : handledEvents())
                    std::fprintf(stderr, "    %.1f ms %s\n", handled.cpuMs, handled.what.constData());
            }
            handledEvents().clear();
            gapMs = std::max(gapMs, gap);
            gapCpuMs = std::max(gapCpuMs, gapCpu);
            m_cpuAtTick = cpu;
            m_sinceTick.restart();
        });
        handledEvents().clear();
        m_sinceTick.start();
        m_ticks.start();
    }
    void stop() { m_ticks.stop(); }

    double gapMs = 0;
    double gapCpuMs = 0;

private:
    QTimer m_ticks;
    QElapsedTimer m_sinceTick;
    double m_cpuAtTick = threadCpuMs();
};

// With VESK_STALL_TRACE set, the monotonic time of a moment of the run, to line the stalls up with.
void traceMoment(const char* what)
{
    static const bool trace = !qEnvironmentVariableIsEmpty("VESK_STALL_TRACE");
    if (trace)
        std::fprintf(stderr, "%s at %.3f s\n", what, monotonicSeconds());
}

// With VESK_PERF_CONTROL naming the control fifo of a `perf record --control fifo:... -D -1`, the
// profiler samples only the measured work, not the library's start.
void profileMeasuredWork(bool on)
{
    static const QByteArray fifo = qgetenv("VESK_PERF_CONTROL");
    if (fifo.isEmpty())
        return;
    QFile control(QString::fromLocal8Bit(fifo));
    if (control.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        control.write(on ? "enable\n" : "disable\n");
}

// Ten megabytes of prose-like text: words of varied length in lines.
QString bigText()
{
    static const QStringList words{QStringLiteral("harbour"), QStringLiteral("lantern"), QStringLiteral("quiet"),
                                   QStringLiteral("morning"), QStringLiteral("ferry"), QStringLiteral("notes"),
                                   QStringLiteral("a"), QStringLiteral("of"), QStringLiteral("the"),
                                   QStringLiteral("crossing"), QStringLiteral("timetable"), QStringLiteral("rain")};
    QString text;
    text.reserve(kTextCharacters + 64);
    text += QStringLiteral("Ferry log\n");
    quint32 state = 12345;
    while (text.size() < kTextCharacters) {
        state = state * 1664525u + 1013904223u;
        text += words.at((state >> 16) % words.size());
        text += ((state >> 8) % 14 == 0) ? QLatin1Char('\n') : QLatin1Char(' ');
    }
    return text;
}

// Makes the library of count items in folder: the thousand cards seeded afresh, or a copy of the
// database of the kept generated library (its managed files are read where they are).
bool prepareLibrary(int count, const QString& folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    if (count <= 1000) {
        auto db = vesk::SQLiteDatabase::open(QDir(folder).filePath(QStringLiteral("vesk.sqlite3")));
        return db && (*db)->upsertItems(vesk::bench::makeCardsLibrary(count, folder + QStringLiteral("/pictures")));
    }
    const auto generated = vesk::bench::cachedGeneratedLibrary(count);
    return generated && vesk::bench::copyLibraryDatabase(*generated, folder);
}

// The main window over a fresh copy of the library of count items in folder, or none (the run
// then fails) when the library cannot be made. The work measured comes into a library that has
// finished starting, as most work does.
std::unique_ptr<vesk::bench::RunningWindow> runningLibrary(benchmark::State& state, int count, const QString& folder)
{
    if (!prepareLibrary(count, folder)) {
        state.SkipWithError("cannot make the library");
        return nullptr;
    }
    return std::make_unique<vesk::bench::RunningWindow>(folder, count > 1000 ? 2000 : 500);
}

void BM_MainThreadStall(benchmark::State& state)
{
    const int count = int(state.range(0));
    ensureBigFile();
    const QString text = bigText();
    double worstGapMs = 0;
    double worstGapCpuMs = 0;
    for (auto _ : state) {
        const QString library = workFolder().filePath(QStringLiteral("library"));
        auto running = runningLibrary(state, count, library);
        if (!running)
            break;
        vesk::VeskStore* const store = &running->store();
        vesk::MainWindow* const window = &running->window();

        const qsizetype before = store->items().size();
        GapProbe probe;
        QMimeData file;
        file.setUrls({QUrl::fromLocalFile(bigFilePath())});
        QMimeData words;
        words.setText(text);
        traceMoment("drop");
        profileMeasuredWork(true);
        const double cpuBeforeDrops = threadCpuMs();
        window->handleDrop(file);
        const double cpuAfterFile = threadCpuMs();
        window->handleDrop(words);
        handledEvents().push_back({cpuAfterFile - cpuBeforeDrops, "the file's drop"});
        handledEvents().push_back({threadCpuMs() - cpuAfterFile, "the text's drop"});

        QElapsedTimer total;
        total.start();
        bool done = false;
        // The ticks wake each wait within 10 ms.
        while (!done && total.elapsed() < 120'000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            done = store->items().size() == before + 2 && store->importCountInProgress() == 0;
        }
        // A moment more for what follows the arrival (search, the cards' first paint).
        QElapsedTimer after;
        after.start();
        while (after.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        probe.stop();
        profileMeasuredWork(false);
        if (!done)
            state.SkipWithError("the drop did not arrive");
        worstGapMs = std::max(worstGapMs, probe.gapMs);
        worstGapCpuMs = std::max(worstGapCpuMs, probe.gapCpuMs);
        state.SetIterationTime(total.nsecsElapsed() / 1e9);
        running.reset();
        QDir(library).removeRecursively();
    }
    state.counters["gap_ms"] = worstGapMs;
    state.counters["gap_cpu_ms"] = worstGapCpuMs;
}

BENCHMARK(BM_MainThreadStall)->Arg(1000)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
// A start of the large library takes a while: one drop.
BENCHMARK(BM_MainThreadStall)->Arg(100'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Ten megabytes of text with no line break at all, taken from the clipboard as the clipboard hot
// key takes it, into the running window over the generated library of 100,000 items. gap_ms and
// gap_cpu_ms as above, until the note is in the library and two seconds after, for the work that
// follows (the search, the cards). With thenType, the gaps are those of what follows instead: the
// note is selected, and words it holds are typed into the search, one key per 80 ms and a pause
// after each word, so that the note comes back among the results while it is shown.
void captureLongLine(benchmark::State& state, bool thenType)
{
    const int count = int(state.range(0));
    const QString text = bigText().replace(QLatin1Char('\n'), QLatin1Char(' '));
    double worstGapMs = 0;
    double worstGapCpuMs = 0;
    for (auto _ : state) {
        const QString library = workFolder().filePath(QStringLiteral("library"));
        auto running = runningLibrary(state, count, library);
        if (!running)
            break;
        vesk::VeskStore* const store = &running->store();
        const qsizetype before = store->items().size();
        QMimeData clipboard;
        clipboard.setText(text);

        GapProbe probe;
        QElapsedTimer total;
        total.start();
        traceMoment("capture");
        profileMeasuredWork(true);
        const double cpuBeforeCapture = threadCpuMs();
        const bool taken = vesk::captureClipboard(*store, clipboard);
        handledEvents().push_back({threadCpuMs() - cpuBeforeCapture, "the capture's call"});
        bool done = false;
        while (taken && !done && total.elapsed() < 120'000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            done = store->items().size() == before + 1;
        }
        const double arrivedMs = total.nsecsElapsed() / 1e6;
        traceMoment("arrived");
        vesk::bench::settle(2000);
        probe.stop();
        profileMeasuredWork(false);
        if (!done)
            state.SkipWithError("the capture did not arrive");
        double gapMs = probe.gapMs;
        double gapCpuMs = probe.gapCpuMs;
        if (thenType && done) {
            const qsizetype kept = text.trimmed().size();
            for (const vesk::VeskItem& item : store->items()) {
                if (item.text && item.text->size() == kept)
                    store->select(item.id);
            }
            vesk::bench::settle(1000);
            GapProbe typing;
            for (const QString& word : {QStringLiteral("ferry"), QStringLiteral("lantern"), QStringLiteral("morning"),
                                        QStringLiteral("timetable"), QStringLiteral("harbour rain")}) {
                for (qsizetype n = 1; n <= word.size(); ++n) {
                    store->setSearchText(word.left(n));
                    vesk::bench::settle(80);
                }
                vesk::bench::settle(400);
            }
            typing.stop();
            gapMs = typing.gapMs;
            gapCpuMs = typing.gapCpuMs;
        }
        worstGapMs = std::max(worstGapMs, gapMs);
        worstGapCpuMs = std::max(worstGapCpuMs, gapCpuMs);
        state.SetIterationTime(arrivedMs / 1e3);
        running.reset();
        QDir(library).removeRecursively();
    }
    state.counters["gap_ms"] = worstGapMs;
    state.counters["gap_cpu_ms"] = worstGapCpuMs;
}

void BM_CaptureLongLine(benchmark::State& state) { captureLongLine(state, false); }
void BM_TypingOverLongLine(benchmark::State& state) { captureLongLine(state, true); }
BENCHMARK(BM_CaptureLongLine)->Arg(100'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TypingOverLongLine)->Arg(100'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // As the application starts.
    vesk::configureAllocator();
    qputenv("VESK_DATA_DIR", workFolder().filePath(QStringLiteral("data")).toUtf8());
    qputenv("VESK_CONFIG_DIR", workFolder().filePath(QStringLiteral("config")).toUtf8());
    qputenv("VESK_CLOUD_DIR", workFolder().filePath(QStringLiteral("cloud")).toUtf8());
    // As the application plays media.
    qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    LedgerApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
