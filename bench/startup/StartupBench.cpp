// Start-up benchmark: starts the real executable on a generated library and reads the lines of
// its start-up probe. Every repetition is one cold process (the files stay in the page cache).
// BM_MainThreadStall/startup is the longest main-thread stall of the same start-up.
#include "common/BenchTemp.h"
#include "LibraryGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <optional>

using namespace vesk;

namespace {

// Peak resident set of a running process, in MiB.
double peakResidentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression peak(QStringLiteral("^VmHWM:\\s+(\\d+) kB"), QRegularExpression::MultilineOption);
    const auto match = peak.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toDouble() / 1024.0 : -1;
}

struct ProbeLine {
    qint64 elapsedMs = -1;     // as measured here, from the start of the process
    qint64 longestStallMs = -1;
};

// Reads "vesk-probe <what> <ms> longest-stall <ms>" lines from the process's standard error, in
// whatever order they come, until the one asked for has come.
class ProbeReader {
public:
    ProbeReader(QProcess& process, const QElapsedTimer& clock) : m_process(process), m_clock(clock) {}

    std::optional<ProbeLine> waitFor(const QByteArray& what)
    {
        while (m_clock.elapsed() < 120'000) {
            while (m_process.canReadLine()) {
                const QList<QByteArray> parts = m_process.readLine().trimmed().split(' ');
                if (parts.size() >= 5 && parts[0] == "vesk-probe")
                    m_seen.insert(parts[1], ProbeLine{m_clock.elapsed(), parts[4].toLongLong()});
            }
            if (auto found = m_seen.constFind(what); found != m_seen.cend())
                return *found;
            if (m_process.state() == QProcess::NotRunning)
                return std::nullopt;
            m_process.waitForReadyRead(20);
        }
        return std::nullopt;
    }

private:
    QProcess& m_process;
    const QElapsedTimer& m_clock;
    QHash<QByteArray, ProbeLine> m_seen;
};

struct StartupRun {
    ProbeLine frame;
    ProbeLine ready;
    ProbeLine finished;
    double peakMiB = 0;
};

// Starts the application on the library in folder and waits until start-up has taken all it
// reads; nothing when it did not get there.
std::optional<StartupRun> runStartup(const QString& folder)
{
    QTemporaryDir home(vesk::bench::benchTempTemplate(QStringLiteral("startup")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VESK_DATA_DIR"), folder);
    for (const char* name : {"VESK_CONFIG_DIR", "VESK_CLOUD_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        const QString path = home.filePath(QString::fromLatin1(name));
        QDir().mkpath(path);
        environment.insert(QString::fromLatin1(name), path);
    }
    // A display (xvfb-run) is used as the application would use it; without one the window
    // paints offscreen, where the summon hot key cannot be had and its alert holds the window
    // back: run under xvfb-run.
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")) && !environment.contains(QStringLiteral("DISPLAY")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("VESK_STARTUP_PROBE"), QStringLiteral("1"));

    QProcess process;
    process.setProcessEnvironment(environment);
    process.setReadChannel(QProcess::StandardError);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(VESK_EXECUTABLE), {});
    ProbeReader reader(process, clock);
    const auto frame = reader.waitFor("first-frame");
    const auto ready = frame ? reader.waitFor("search-ready") : std::nullopt;
    const auto finished = ready ? reader.waitFor("startup-finished") : std::nullopt;
    std::optional<StartupRun> run;
    if (frame && ready && finished)
        run = StartupRun{*frame, *ready, *finished, peakResidentMiB(process.processId())};
    process.terminate();
    if (!process.waitForFinished(10'000)) {
        process.kill();
        process.waitForFinished();
    }
    return run;
}

// A copy of the kept library's database for this run (a start writes into its library: its
// launch snapshot, the vectors it embeds); the managed files are read where they are.
std::optional<QString> libraryFor(benchmark::State& state, bench::LibraryShape shape = bench::LibraryShape::Mixed)
{
    const int count = int(state.range(0));
    const auto library = bench::cachedGeneratedLibrary(count, 1, shape);
    if (!library) {
        state.SkipWithError(qPrintable(library.error()));
        return std::nullopt;
    }
    const QString copy = QDir(bench::benchRunFolder())
        .filePath(QStringLiteral("library-%1%2").arg(count).arg(bench::shapeName(shape)));
    if (!QFileInfo::exists(copy)) {
        if (auto copied = bench::copyLibraryDatabase(*library, copy); !copied) {
            state.SkipWithError(qPrintable(copied.error()));
            return std::nullopt;
        }
    }
    return copy;
}

void startToFirstFrame(benchmark::State& state, bench::LibraryShape shape)
{
    const auto folder = libraryFor(state, shape);
    if (!folder)
        return;
    const double databaseMiB =
        double(QFileInfo(QDir(*folder).filePath(QStringLiteral("vesk.sqlite3"))).size()) / (1024.0 * 1024.0);

    double firstFrame = 0, searchReady = 0, peak = 0, stall = 0;
    for (auto _ : state) {
        const auto run = runStartup(*folder);
        if (!run) {
            state.SkipWithError("the application did not report its first frame and search");
            return;
        }
        firstFrame = double(run->frame.elapsedMs);
        searchReady = double(run->ready.elapsedMs);
        stall = double(run->finished.longestStallMs);
        peak = run->peakMiB;
        state.SetIterationTime(firstFrame / 1000.0);
    }
    state.counters["first_frame_ms"] = firstFrame;
    state.counters["search_ready_ms"] = searchReady;
    state.counters["longest_stall_ms"] = stall;
    state.counters["peak_rss_mb"] = peak;
    state.counters["db_mb"] = databaseMiB;
}

// The longest the main thread goes without turning its event loop from its first turn until
// start-up has taken everything its workers read (the goal is 50 ms at most), as gap_ms.
void BM_MainThreadStall_Startup(benchmark::State& state)
{
    const auto folder = libraryFor(state);
    if (!folder)
        return;
    double gap = 0;
    for (auto _ : state) {
        const auto run = runStartup(*folder);
        if (!run) {
            state.SkipWithError("the application did not finish its start-up");
            return;
        }
        gap = std::max(gap, double(run->finished.longestStallMs));
        state.SetIterationTime(double(run->finished.elapsedMs) / 1000.0);
    }
    state.counters["gap_ms"] = gap;
}
BENCHMARK(BM_MainThreadStall_Startup)->Name("BM_MainThreadStall/startup")->Arg(100'000)->UseManualTime()
    ->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_StartToFirstFrame(benchmark::State& state) { startToFirstFrame(state, bench::LibraryShape::Mixed); }
// A library of everyday notes of 100 to 200 words.
void BM_StartToFirstFrame_ShortNotes(benchmark::State& state)
{
    startToFirstFrame(state, bench::LibraryShape::ShortNotes);
}
BENCHMARK(BM_StartToFirstFrame)->Arg(100'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartToFirstFrame_ShortNotes)->Arg(100'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<char*> arguments(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=3";
    bool hasRepetitions = false;
    for (int i = 1; i < argc; ++i)
        hasRepetitions = hasRepetitions || std::string(argv[i]).rfind("--benchmark_repetitions", 0) == 0;
    if (!hasRepetitions)
        arguments.push_back(repetitions.data());
    int count = int(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
