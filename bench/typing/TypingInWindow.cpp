// Typing into the search field of the running main window, shown on an X display, over the
// generated library of 100,000 items. Each key is posted to the field as the window system
// delivers it; what follows until the next key is that key's work: the field's edit, the lexical
// pass's results being taken in, and every frame painted for them (the grid, the window's
// backdrop and its glow, the cards' motion). A query of two words is typed one key per 150 ms and
// erased again by Backspace, the last of which clears the search; a pause of a second after each
// lets the deep pass run outside the keys' time. A 2 ms timer on the main thread splits its work
// into stretches between two turns of its event loop.
//
// Counters, in processor time of the main thread (a loaded machine adds other processes' turns
// to the wall time, not to these): longest_key_ms, the median over five rounds of each round's
// longest stretch of work for one key (the goal is 16 ms at most, one frame); worst_key_ms, the
// longest of all; median_key_ms, the median key's longest stretch; key_total_ms and
// key_total_max_ms, the median and the largest of all the work of one key until the next.
// longest_gap_ms is the longest wall time between two turns of the event loop.
//
// With VESK_TYPING_BREAKDOWN set, each round's keys are listed with their longest stretch and
// their whole work, and each stretch over 10 ms with its monotonic times and the widgets painted.
//
// Without an X display (or with another platform asked for) the benchmark starts an Xvfb of its
// own and shows the window there.
#include "common/BenchTemp.h"
#include "common/RunningWindow.h"
#include "LibraryGenerator.h"
#include "app/MainWindow.h"
#include "app/SearchField.h"
#include "platform/SystemMemory.h"
#include "store/VeskStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kKeyMs = 150;
constexpr int kPauseMs = 1000;
constexpr int kRounds = 5;

QTemporaryDir& workFolder()
{
    static QTemporaryDir folder(vesk::bench::benchTempTemplate(QStringLiteral("typing")));
    return folder;
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

// One key as the window system hands it to the focused field: pressed, then released.
void postKey(QWidget* target, int key, const QString& text)
{
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
}

int keyOf(QChar character)
{
    if (character == QLatin1Char(' '))
        return Qt::Key_Space;
    // Qt's codes of Latin letters and digits are their upper-case characters.
    return character.toUpper().unicode();
}

// What one key cost the main thread: its longest uninterrupted stretch of work (the processor
// time between two turns of its event loop, what the user waits for), and all its work until
// the next key.
struct KeyCost {
    double longestStretchMs = 0;
    double totalMs = 0;
};

// The cost of each key of one round: the query typed, then erased.
QList<KeyCost> typeAndClear(vesk::VeskStore& store, QLineEdit* field, const QString& query, double& longestGapMs)
{
    constexpr int kBeatMs = 2;
    QElapsedTimer sinceBeat;
    double cpuAtBeat = 0;
    QList<KeyCost> costs;
    QTimer beats;
    beats.setTimerType(Qt::PreciseTimer);
    beats.setInterval(kBeatMs);
    QObject::connect(&beats, &QTimer::timeout, [&] {
        const double cpu = threadCpuMs();
        longestGapMs = std::max(longestGapMs, double(sinceBeat.nsecsElapsed()) / 1e6 - kBeatMs);
        if (!costs.isEmpty())
            costs.last().longestStretchMs = std::max(costs.last().longestStretchMs, cpu - cpuAtBeat);
        cpuAtBeat = cpu;
        sinceBeat.restart();
    });
    const auto key = [&](int code, const QString& text) {
        const double before = threadCpuMs();
        costs.append(KeyCost{});
        postKey(field, code, text);
        vesk::bench::settle(kKeyMs);
        costs.last().totalMs = threadCpuMs() - before;
    };
    const auto startBeats = [&] {
        cpuAtBeat = threadCpuMs();
        sinceBeat.start();
        beats.start();
    };
    startBeats();
    for (QChar character : query)
        key(keyOf(character), QString(character));
    beats.stop();
    vesk::bench::settle(kPauseMs);
    if (store.searchText() != query)
        return {};
    startBeats();
    for (qsizetype n = 0; n < query.size(); ++n)
        key(Qt::Key_Backspace, QString());
    beats.stop();
    vesk::bench::settle(kPauseMs);
    if (!store.searchText().isEmpty())
        return {};
    return costs;
}

// With VESK_TYPING_BREAKDOWN set, the main thread's processor time while typing is written out
// by the kind of event and the class of the object it went to (outermost deliveries only), to
// tell the grid's paint from the search's results and the rest.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_timing && m_depth > 0 && event->type() == QEvent::Paint) {
            // Paints are sent one widget after another inside the window's update.
            const double before = threadCpuMs();
            const bool done = QApplication::notify(receiver, event);
            const QString key = QStringLiteral("  paint %1 in %2")
                                    .arg(QString::fromLatin1(receiver->metaObject()->className()),
                                         receiver->parent() ? QString::fromLatin1(receiver->parent()->metaObject()->className())
                                                            : QString());
            m_spent[key] += threadCpuMs() - before;
            m_lastPaints[QString::fromLatin1(receiver->metaObject()->className())] += threadCpuMs() - before;
            ++m_counts[key];
            return done;
        }
        if (!m_timing || m_depth > 0)
            return QApplication::notify(receiver, event);
        ++m_depth;
        const double startedAt = monotonicSeconds();
        const double before = threadCpuMs();
        const QString key = QStringLiteral("%1 %2").arg(int(event->type())).arg(
            QString::fromLatin1(receiver->metaObject()->className()));
        const bool done = QApplication::notify(receiver, event);
        const double spent = threadCpuMs() - before;
        m_spent[key] += spent;
        if (spent > 10) {
            QStringList paints;
            for (auto it = m_lastPaints.cbegin(); it != m_lastPaints.cend(); ++it)
                paints.append(QStringLiteral("%1 %2").arg(it.key()).arg(it.value(), 0, 'f', 1));
            // The monotonic times let a profile taken with that clock (perf record -k
            // CLOCK_MONOTONIC) be cut to this stretch.
            std::fprintf(stderr, "long: %.1f ms at %.6f-%.6f event %s [%s]\n", spent, startedAt, monotonicSeconds(),
                         qPrintable(key), qPrintable(paints.join(QStringLiteral(", "))));
        }
        m_lastPaints.clear();
        --m_depth;
        return done;
    }
    void setTiming(bool timing) { m_timing = timing; }
    void reset()
    {
        m_spent.clear();
        m_counts.clear();
    }
    void report() const
    {
        QList<std::pair<double, QString>> rows;
        for (auto it = m_spent.cbegin(); it != m_spent.cend(); ++it)
            rows.append({it.value(), it.key()});
        std::sort(rows.begin(), rows.end(), std::greater<>());
        for (qsizetype i = 0; i < std::min<qsizetype>(25, rows.size()); ++i)
            std::fprintf(stderr, "%9.1f ms %6d  event %s\n", rows[i].first, m_counts.value(rows[i].second),
                         qPrintable(rows[i].second));
    }

private:
    bool m_timing = false;
    int m_depth = 0;
    QHash<QString, double> m_spent;
    QHash<QString, int> m_counts;
    QHash<QString, double> m_lastPaints;
};

TimedApplication* timedApp()
{
    static const bool wanted = !qEnvironmentVariableIsEmpty("VESK_TYPING_BREAKDOWN");
    return wanted ? static_cast<TimedApplication*>(QCoreApplication::instance()) : nullptr;
}

void BM_TypingInWindow(benchmark::State& state)
{
    const int count = int(state.range(0));
    const auto generated = vesk::bench::cachedGeneratedLibrary(count);
    const QString library = workFolder().filePath(QStringLiteral("library"));
    if (!generated || !vesk::bench::copyLibraryDatabase(*generated, library)) {
        state.SkipWithError("cannot make the library");
        return;
    }
    const vesk::bench::LibraryGenerator words(1);
    const QString query = words.wordAtRank(50) + QLatin1Char(' ') + words.wordAtRank(87);
    QList<double> roundLongest;
    QList<double> stretches;
    QList<double> totals;
    double longestGapMs = 0;
    for (auto _ : state) {
        vesk::bench::RunningWindow running(library, 2000);
        running.window().activateWindow();
        auto* search = running.window().findChild<vesk::SearchField*>();
        QLineEdit* field = search ? search->lineEdit() : nullptr;
        if (!field) {
            state.SkipWithError("the window has no search field");
            break;
        }
        field->setFocus();
        vesk::bench::settle(300);
        QElapsedTimer total;
        total.start();
        if (TimedApplication* timed = timedApp()) {
            // What the window does while nobody types, for comparison.
            timed->setTiming(true);
            vesk::bench::settle(3000);
            timed->setTiming(false);
            std::fprintf(stderr, "three seconds without typing:\n");
            timed->report();
            timed->reset();
            std::fprintf(stderr, "typing:\n");
            timed->setTiming(true);
        }
        for (int round = 0; round < kRounds; ++round) {
            const QList<KeyCost> costs = typeAndClear(running.store(), field, query, longestGapMs);
            if (costs.isEmpty()) {
                state.SkipWithError("the typed query did not reach the store");
                break;
            }
            double longest = 0;
            for (const KeyCost& cost : costs) {
                longest = std::max(longest, cost.longestStretchMs);
                stretches.append(cost.longestStretchMs);
                totals.append(cost.totalMs);
            }
            roundLongest.append(longest);
            if (timedApp()) {
                QStringList keys;
                for (const KeyCost& cost : costs)
                    keys.append(QStringLiteral("%1/%2").arg(cost.longestStretchMs, 0, 'f', 1).arg(cost.totalMs, 0, 'f', 0));
                std::fprintf(stderr, "round %d keys (longest/total ms): %s\n", round, qPrintable(keys.join(QLatin1Char(' '))));
            }
        }
        state.SetIterationTime(double(total.nsecsElapsed()) / 1e9);
        if (TimedApplication* timed = timedApp()) {
            timed->setTiming(false);
            timed->report();
        }
    }
    state.counters["longest_key_ms"] = median(roundLongest);
    state.counters["worst_key_ms"] = stretches.isEmpty() ? 0 : *std::max_element(stretches.cbegin(), stretches.cend());
    state.counters["median_key_ms"] = median(stretches);
    state.counters["key_total_ms"] = median(totals);
    state.counters["key_total_max_ms"] = totals.isEmpty() ? 0 : *std::max_element(totals.cbegin(), totals.cend());
    state.counters["longest_gap_ms"] = longestGapMs;
}
// A start of the large library takes a while: one window, five rounds in it.
BENCHMARK(BM_TypingInWindow)->Arg(100'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// An Xvfb of the benchmark's own; it goes when the benchmark ends.
pid_t g_xvfb = 0;

void stopXvfb()
{
    if (g_xvfb <= 0)
        return;
    kill(g_xvfb, SIGTERM);
    waitpid(g_xvfb, nullptr, 0);
    g_xvfb = 0;
}

// Starts Xvfb on a free display and points Qt at it; false when it cannot be started.
bool startXvfb()
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    const std::string fd = std::to_string(pipeFds[1]);
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        close(pipeFds[0]);
        // Xvfb writes the display it took to the descriptor once it accepts clients.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1600x1000x24", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    g_xvfb = child;
    std::string display;
    char c = 0;
    while (read(pipeFds[0], &c, 1) == 1 && c != '\n')
        display += c;
    close(pipeFds[0]);
    if (display.empty()) {
        stopXvfb();
        return false;
    }
    setenv("DISPLAY", (":" + display).c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    std::atexit(stopXvfb);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // As the application starts.
    vesk::configureAllocator();
    qputenv("VESK_DATA_DIR", workFolder().filePath(QStringLiteral("data")).toUtf8());
    qputenv("VESK_CONFIG_DIR", workFolder().filePath(QStringLiteral("config")).toUtf8());
    qputenv("VESK_CLOUD_DIR", workFolder().filePath(QStringLiteral("cloud")).toUtf8());
    const bool onX = qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb")) == QLatin1String("xcb")
        && !qEnvironmentVariableIsEmpty("DISPLAY");
    if (!onX && !startXvfb()) {
        std::fprintf(stderr, "vesk_bench_typing: no X display and Xvfb cannot be started\n");
        return 1;
    }
    TimedApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
