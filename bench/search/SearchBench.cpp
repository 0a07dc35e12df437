// Search benchmarks. Every figure is per call; run with --benchmark_repetitions=5 (the default
// here) and read the medians.
#include "BenchMain.h"
#include "LibraryGenerator.h"

#include "search/LexicalMatch.h"
#include "search/SearchIndex.h"
#include "store/SearchState.h"
#include "store/VeskStore.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

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
            item.text = *item.text + QStringLiteral("\nAdded lines about ") + generator().wordAtRank(int(turn % 5000))
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
    const QString original = items[position].searchableText;
    bool edited = false;
    for (auto _ : state) {
        edited = !edited;
        items[position].searchableText = edited ? original + QStringLiteral(" appendix") : original;
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

void refresh(benchmark::State& state, const QString& query)
{
    VeskStore& library = generatedLibraryStore(int(state.range(0)));
    state.SetLabel(query.toStdString());
    for (auto _ : state) {
        // Alternating with another search keeps each refresh a real change of the results,
        // as when typing.
        state.PauseTiming();
        library.refreshFilteredItems(generator().wordAtRank(20'000));
        state.ResumeTiming();
        library.refreshFilteredItems(query);
    }
    state.counters["results"] = double(library.filteredItems().size());
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
BENCHMARK(BM_LexicalRefresh_OneWord)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexicalRefresh_TwoWords)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexicalRefresh_Prefix)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LexicalRefresh_Hashtag)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runBenchmarks(argc, argv);
}
