// Search and store benchmarks over generated libraries. Every figure is per call; run with
// --benchmark_repetitions=5 (the default here) and read the medians.
#include "BenchMain.h"
#include "common/ProcessMemory.h"
#include "LibraryGenerator.h"

#include "platform/CancellationToken.h"
#include "platform/Clock.h"
#include "platform/Settings.h"
#include "search/LexicalMatch.h"
#include "search/SearchIndex.h"
#include "search/SearchIndexFile.h"
#include "store/LibraryReading.h"
#include "store/RealServices.h"
#include "store/SearchState.h"
#include "store/VeskRecoverySnapshots.h"
#include "store/VeskServices.h"
#include "store/VeskStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <tuple>

using namespace vesk;
using namespace vesk::bench;

namespace {

LibraryGenerator& generator()
{
    static LibraryGenerator instance(1);
    return instance;
}

const QList<VeskItem>& library(int count)
{
    static std::map<int, QList<VeskItem>> libraries;
    auto found = libraries.find(count);
    if (found == libraries.end())
        found = libraries.emplace(count, LibraryGenerator(1).generate(count)).first;
    return found->second;
}

SearchIndex& builtIndex(int count)
{
    static std::map<int, std::unique_ptr<SearchIndex>> indexes;
    auto& slot = indexes[count];
    if (!slot) {
        slot = std::make_unique<SearchIndex>();
        slot->rebuild(library(count), {}, {});
    }
    return *slot;
}

// A store over a generated library, with the application's own services, loaded as the
// application loads it. The store works on a copy, since a start writes beside the database (the
// kept library stays as generated); `changes` asks for a store of its own, for benchmarks that
// add and edit items.
VeskStore& store(int count, bool changes = false, LibraryShape shape = LibraryShape::Mixed)
{
    static std::map<std::tuple<int, bool, LibraryShape>, VeskStore*> stores;
    auto& slot = stores[{count, changes, shape}];
    if (!slot) {
        const auto library = cachedGeneratedLibrary(count, 1, shape);
        if (!library)
            qFatal("cannot write the library: %s", qPrintable(library.error()));
        const QString folder = QDir(benchRootPath())
            .filePath(QStringLiteral("%1-%2%3").arg(changes ? QStringLiteral("changed") : QStringLiteral("kept"))
                .arg(count).arg(shapeName(shape)));
        if (auto copied = copyLibraryDatabase(*library, folder); !copied)
            qFatal("cannot copy the library: %s", qPrintable(copied.error()));
        VeskServices services = makeRealServices(folder);
        services.clock = std::make_shared<FakeClock>(LibraryGenerator::defaultNow());
        slot = &keepForRun(std::make_unique<VeskStore>(services));
        slot->waitForStartup();
        // A start whose newest recovery snapshot is old copies the library on a thread of its own
        // for some seconds; a user who searches later meets a quiet library, as the figures do.
        if (auto* snapshots = dynamic_cast<VeskRecoverySnapshots*>(services.recoverySnapshots.get()))
            snapshots->waitForIdle();
    }
    return *slot;
}

void BM_IndexBuild(benchmark::State& state)
{
    const QList<VeskItem>& items = library(int(state.range(0)));
    for (auto _ : state) {
        SearchIndex index;
        index.rebuild(items, {}, {});
        benchmark::DoNotOptimize(index.size());
    }
}
BENCHMARK(BM_IndexBuild)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// An edit of one note: a sentence added, then taken away again.
void BM_IndexUpdate(benchmark::State& state)
{
    const int count = int(state.range(0));
    SearchIndex& index = builtIndex(count);
    QList<VeskItem> notes;
    for (const VeskItem& item : library(count)) {
        if (item.kind == VeskKind::Text && notes.size() < 64)
            notes.append(item);
    }
    qsizetype turn = 0;
    for (auto _ : state) {
        VeskItem item = notes[turn % notes.size()];
        if ((turn / notes.size()) % 2 == 0) {
            item.text = item.text->toString() + QStringLiteral("\nAdded lines about ") + generator().wordAtRank(int(turn % 5000))
                + QStringLiteral(" and ") + generator().wordAtRank(int(turn % 7000) + 100);
            item.searchableText = *item.text;
        }
        index.upsert(item, {}, {});
        ++turn;
    }
}
BENCHMARK(BM_IndexUpdate)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// A new note comes in and goes again.
void BM_IndexAddRemove(benchmark::State& state)
{
    SearchIndex& index = builtIndex(int(state.range(0)));
    QList<VeskItem> fresh;
    LibraryGenerator extra(99);
    for (int i = 0; i < 64; ++i)
        fresh.append(extra.note(LibraryGenerator::defaultNow()));
    qsizetype turn = 0;
    for (auto _ : state) {
        const VeskItem& item = fresh[turn++ % fresh.size()];
        index.upsert(item, {}, {});
        index.remove(item.id);
    }
}
BENCHMARK(BM_IndexAddRemove)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

// The store's catch-up after a change it was not told the item of: the whole list is compared
// with what was indexed (mostly by shared text buffers) and one changed note is indexed again.
void BM_IndexSynchronize(benchmark::State& state)
{
    const int count = int(state.range(0));
    SearchIndex& index = builtIndex(count);
    QList<VeskItem> items = library(count);
    qsizetype position = 0;
    while (items[position].kind != VeskKind::Text)
        ++position;
    const ItemText original = items[position].searchableText;
    const ItemText appended = original.toString() + QStringLiteral(" appendix");
    bool edited = false;
    for (auto _ : state) {
        edited = !edited;
        items[position].searchableText = edited ? appended : original;
        index.synchronize(items, {}, {});
    }
}
BENCHMARK(BM_IndexSynchronize)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

QString prefixQuery()
{
    for (int rank = 400;; ++rank) {
        const QString word = generator().wordAtRank(rank);
        if (word.size() >= 7)
            return word.left(4);
    }
}

// Processor time of all threads of the process, in milliseconds.
double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Processor time of the calling thread, in milliseconds.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void refresh(benchmark::State& state, const QString& query, LibraryShape shape = LibraryShape::Mixed)
{
    VeskStore& library = store(int(state.range(0)), false, shape);
    state.SetLabel(query.toStdString());
    double cpu = 0;
    for (auto _ : state) {
        // Alternating with another search keeps each refresh a real change of the results,
        // as when typing.
        state.PauseTiming();
        library.refreshFilteredItems(generator().wordAtRank(20'000));
        const double before = processCpuMs();
        state.ResumeTiming();
        library.refreshFilteredItems(query);
        state.PauseTiming();
        cpu += processCpuMs() - before;
        state.ResumeTiming();
    }
    state.counters["results"] = double(library.filteredItems().size());
    // On a busy machine the wall time of the parallel part says little; the work of all threads
    // together says what an idle machine of n cores divides by n.
    state.counters["all_threads_cpu_ms"] = cpu / double(std::max<benchmark::IterationCount>(1, state.iterations()));
}

void BM_LexicalRefresh_OneWord(benchmark::State& state) { refresh(state, generator().wordAtRank(300)); }
void BM_LexicalRefresh_TwoWords(benchmark::State& state)
{
    refresh(state, generator().wordAtRank(300) + QLatin1Char(' ') + generator().wordAtRank(900));
}
void BM_LexicalRefresh_Prefix(benchmark::State& state) { refresh(state, prefixQuery()); }
void BM_LexicalRefresh_Hashtag(benchmark::State& state)
{
    refresh(state, QLatin1Char('#') + generator().hashtags().first());
}
// The first one and two letters of the word above, as typed.
void BM_LexicalRefresh_OneChar(benchmark::State& state) { refresh(state, generator().wordAtRank(300).left(1)); }
void BM_LexicalRefresh_TwoChars(benchmark::State& state) { refresh(state, generator().wordAtRank(300).left(2)); }
BENCHMARK(BM_LexicalRefresh_OneWord)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexicalRefresh_OneChar)->Arg(10'000)->Arg(100'000)->Arg(300'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexicalRefresh_TwoChars)->Arg(10'000)->Arg(100'000)->Arg(300'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexicalRefresh_TwoWords)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexicalRefresh_Prefix)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexicalRefresh_Hashtag)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// The same searches over a library of everyday notes of 100 to 200 words, where a word is found
// in more notes.
enum class QueryForm { OneWord, OneChar, TwoChars, TwoWords };
void BM_LexicalRefresh_ShortNotes(benchmark::State& state, QueryForm form)
{
    const QString word = generator().wordAtRank(300);
    const QString query = form == QueryForm::OneWord ? word
        : form == QueryForm::OneChar                 ? word.left(1)
        : form == QueryForm::TwoChars                ? word.left(2)
                                                     : word + QLatin1Char(' ') + generator().wordAtRank(900);
    refresh(state, query, LibraryShape::ShortNotes);
}
BENCHMARK_CAPTURE(BM_LexicalRefresh_ShortNotes, OneWord, QueryForm::OneWord)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LexicalRefresh_ShortNotes, OneChar, QueryForm::OneChar)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LexicalRefresh_ShortNotes, TwoChars, QueryForm::TwoChars)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LexicalRefresh_ShortNotes, TwoWords, QueryForm::TwoWords)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Search from the start of the application: the time from the store's creation until a query is
// answered from the whole library's index, as a user who types at once meets it. cpu_ms is the
// work of all threads together; peak_rss_mb the process's peak over the start. The library is a
// copy, since a start writes the index file beside the database: BM_SearchReady starts with the
// file an earlier start left (as every start but the first does), BM_SearchReady_FirstStart
// without it; BM_SearchReady_ShortNotes is the first over the library of short notes.
void searchReady(benchmark::State& state, bool firstStart, LibraryShape shape = LibraryShape::Mixed)
{
    const int count = int(state.range(0));
    const auto library = cachedGeneratedLibrary(count, 1, shape);
    if (!library)
        qFatal("cannot write the library: %s", qPrintable(library.error()));
    const QString folder =
        QDir(benchRootPath()).filePath(QStringLiteral("ready-%1%2").arg(count).arg(shapeName(shape)));
    if (auto copied = copyLibraryDatabase(*library, folder); !copied)
        qFatal("cannot copy the library: %s", qPrintable(copied.error()));
    const QString indexFile = searchIndexFilePath(QDir(folder).filePath(QStringLiteral("vesk.sqlite3")));
    const QString query = generator().wordAtRank(300);
    const auto start = [&] {
        VeskServices services = makeRealServices(folder);
        services.clock = std::make_shared<FakeClock>(LibraryGenerator::defaultNow());
        return std::make_unique<VeskStore>(services);
    };
    if (!firstStart && !QFileInfo::exists(indexFile)) {
        // The file an earlier start leaves, made here without a store: a started store would
        // leave its thumbnail work running into the start measured.
        const QString database = QDir(folder).filePath(QStringLiteral("vesk.sqlite3"));
        LibraryReading reading = readLibrary(database, QDir(folder).filePath(QStringLiteral("Items")));
        if (!reading.items)
            qFatal("cannot read the library");
        const SearchIndexBuild build = buildSearchIndex(*reading.items,
            personNamesByItem(reading.faceClusters, reading.faces), {}, nullptr, nullptr);
        if (!build.image || !writeSearchIndexFile(indexFile, *build.image))
            qFatal("cannot write the index file");
    }
    double cpu = 0;
    qsizetype results = 0;
    for (auto _ : state) {
        if (firstStart)
            QFile::remove(indexFile);
        resetPeakMemory();
        const double cpuBefore = processCpuMs();
        QElapsedTimer clock;
        clock.start();
        auto store = start();
        // Waited for in an event loop that sleeps until something comes: processEvents with a
        // time limit never sleeps, and a main thread spinning on one of few cores would take
        // it from the workers that build the index.
        if (!store->searchReady()) {
            QEventLoop ready;
            QObject::connect(store.get(), &VeskStore::searchReadyChanged, &ready, &QEventLoop::quit);
            ready.exec();
        }
        store->refreshFilteredItems(query);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        cpu += processCpuMs() - cpuBefore;
        results = store->filteredItems().size();
        if (results == 0)
            state.SkipWithError("the query found nothing");
        store->waitForStartup();
        store.reset();
    }
    state.counters["results"] = double(results);
    state.counters["cpu_ms"] = cpu / double(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["peak_rss_mb"] = double(statusKilobytes("VmHWM:")) / 1024.0;
}
void BM_SearchReady(benchmark::State& state) { searchReady(state, false); }
void BM_SearchReady_FirstStart(benchmark::State& state) { searchReady(state, true); }
void BM_SearchReady_ShortNotes(benchmark::State& state) { searchReady(state, false, LibraryShape::ShortNotes); }
BENCHMARK(BM_SearchReady)->Arg(100'000)->Arg(300'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchReady_FirstStart)->Arg(100'000)->Arg(300'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchReady_ShortNotes)->Arg(100'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Typing into the search field of a started library: 20 words typed one key per 80 ms, each
// followed by a pause in which the deep pass runs, as the search pipeline schedules both passes.
// A 5 ms timer on the main thread records the longest gap between two of its ticks (gap_ms).
void BM_TypingStall(benchmark::State& state)
{
    VeskStore& library = store(int(state.range(0)));
    // The words are chosen before the clock starts: the first look into the generator's
    // dictionary builds it, which is no work of the window's.
    QStringList words;
    for (int word = 0; word < 20; ++word)
        words.append(generator().wordAtRank(50 + word * 37));
    const auto wait = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    };
    double worstGapMs = 0;
    for (auto _ : state) {
        library.setSearchText(QString());
        wait(400);
        QElapsedTimer sinceTick;
        double gapMs = 0;
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        ticks.setInterval(5);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            gapMs = std::max(gapMs, sinceTick.nsecsElapsed() / 1e6);
            sinceTick.restart();
        });
        sinceTick.start();
        ticks.start();
        QElapsedTimer total;
        total.start();
        for (const QString& typed : std::as_const(words)) {
            for (qsizetype n = 1; n <= typed.size(); ++n) {
                library.setSearchText(typed.left(n));
                wait(80);
            }
            wait(400);
        }
        ticks.stop();
        state.SetIterationTime(total.nsecsElapsed() / 1e9);
        worstGapMs = std::max(worstGapMs, gapMs);
    }
    library.setSearchText(QString());
    state.counters["gap_ms"] = worstGapMs;
}
BENCHMARK(BM_TypingStall)->Arg(100'000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Clearing the search field: both passes run with the empty text and publish the whole library
// in its default order.
void BM_ClearSearch(benchmark::State& state)
{
    VeskStore& library = store(int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        library.refreshFilteredItems(generator().wordAtRank(300));
        state.ResumeTiming();
        library.refreshFilteredItems(QString());
        library.startDeepSearch(QString());
    }
    state.counters["shown"] = double(library.filteredItems().size());
}
BENCHMARK(BM_ClearSearch)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Capturing a note of 200 words with an empty search: the near-duplicate check, the saved row,
// the index and the published list. Every note is new to the library, as most captures are: one
// taken before would be found at once by its exact text. max_ms is the slowest single capture, so
// that a few slow ones among many quick ones show; max_cpu_ms the most processor time the main
// thread gave one capture, which on a busy machine tells the work from the waits. moved counts the
// captures after which the list lies elsewhere: each of those copied the whole library (another
// list still shared it) or moved it to make room at its front.
// `meanwhile` starts work that runs on a worker while the note is captured; it is cancelled after.
void captureNotes(benchmark::State& state, const std::function<std::optional<CancellationToken>(VeskStore&)>& meanwhile)
{
    VeskStore& library = store(int(state.range(0)), true);
    library.setSearchText(QString());
    // One writer for the whole run: a repetition never captures a note an earlier one took.
    static LibraryGenerator notes(77);
    double longest = 0;
    double longestCpu = 0;
    int moved = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString text = notes.noteText(200);
        const std::optional<CancellationToken> work = meanwhile ? meanwhile(library) : std::nullopt;
        const VeskItem* front = library.items().constData();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = threadCpuMs();
        library.addText(text);
        longest = std::max(longest, double(clock.nsecsElapsed()) / 1e6);
        longestCpu = std::max(longestCpu, threadCpuMs() - cpuBefore);
        state.PauseTiming();
        if (library.items().constData() != front - 1)
            ++moved;
        if (work)
            work->cancel();
        state.ResumeTiming();
    }
    state.counters["items"] = double(library.items().size());
    state.counters["max_ms"] = longest;
    state.counters["max_cpu_ms"] = longestCpu;
    state.counters["moved"] = moved;
}

const auto maxOfRepetitions = [](const std::vector<double>& values) {
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
};

void BM_CaptureNote(benchmark::State& state)
{
    captureNotes(state, {});
}
BENCHMARK(BM_CaptureNote)->Arg(100'000)->Unit(benchmark::kMillisecond)->ComputeStatistics("max", maxOfRepetitions);

// The same while the preview pane looks for other versions of a file it shows: a walk over the
// whole library on a worker, which takes longer than a capture.
void BM_CaptureNote_WhileLookingForVersions(benchmark::State& state)
{
    static QObject receiver;
    captureNotes(state, [](VeskStore& library) -> std::optional<CancellationToken> {
        static std::optional<VeskItem> file;
        if (!file) {
            for (const VeskItem& item : library.items()) {
                if (item.filePath) {
                    file = item;
                    break;
                }
            }
        }
        return library.findRelatedVersionsLater(*file, 6, &receiver, [](const QList<VeskItem>&) {});
    });
}
BENCHMARK(BM_CaptureNote_WhileLookingForVersions)->Arg(100'000)->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("max", maxOfRepetitions);

// Saving an edited note with an empty search: the saved row, the index and the published list.
void BM_SaveEdit(benchmark::State& state)
{
    VeskStore& library = store(int(state.range(0)), true);
    library.setSearchText(QString());
    QList<VeskItem> notes;
    for (const VeskItem& item : library.items()) {
        if (item.kind == VeskKind::Text && notes.size() < 64)
            notes.append(item);
    }
    qsizetype turn = 0;
    for (auto _ : state) {
        VeskItem item = notes[turn % notes.size()];
        if ((turn / notes.size()) % 2 == 0)
            item.text = item.text->toString() + QStringLiteral("\nEdited with ") + generator().wordAtRank(int(turn % 5000));
        item.searchableText = *item.text;
        (void)library.updateItem(item);
        ++turn;
    }
}
BENCHMARK(BM_SaveEdit)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks(argc, argv);
}
