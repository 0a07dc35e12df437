// Benchmarks of search by meaning. Every figure is per call unless it says otherwise; each runs
// five times: read the medians.
//
// Texts come from WordNet's own definitions and examples, joined into notes of about 100 words:
// ordinary English with an ordinary vocabulary, the same on every machine with the dictionary.
#include "LibraryGenerator.h"

#include "search/ConceptEmbedder.h"
#include "search/DeepSearch.h"
#include "search/IndexAnchorOverlaps.h"
#include "search/LexicalMatch.h"
#include "search/SearchIndex.h"
#include "search/SemanticEmbeddingEngine.h"
#include "search/WordNet.h"

#include <QCoreApplication>
#include <QFile>
#include <QtConcurrent/QtConcurrentMap>
#include <benchmark/benchmark.h>

#include <ctime>
#include <map>
#include <memory>
#include <vector>

using namespace vesk;
using namespace vesk::bench;

namespace {

const QString kDictionary = SemanticEmbeddingEngine::defaultDictionaryFolder();

std::shared_ptr<const WordNet> sharedWordNet()
{
    static std::shared_ptr<const WordNet> wordNet = [] {
        auto loaded = WordNet::load(kDictionary);
        if (!loaded)
            qFatal("cannot read WordNet: %s", qPrintable(loaded.error()));
        return std::shared_ptr<const WordNet>(std::move(*loaded));
    }();
    return wordNet;
}

// Notes of about 100 words made of consecutive definitions and examples.
const std::vector<QString>& notes()
{
    static const std::vector<QString> texts = [] {
        std::vector<QString> result;
        for (const char* name : {"data.noun", "data.verb"}) {
            QFile file(kDictionary + QLatin1Char('/') + QLatin1String(name));
            if (!file.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", name);
            QString note;
            int words = 0;
            while (!file.atEnd()) {
                const QByteArray line = file.readLine();
                const qsizetype bar = line.indexOf(" | ");
                if (line.startsWith(' ') || bar < 0)
                    continue;
                const QString gloss = QString::fromUtf8(line.mid(bar + 3)).trimmed();
                note += gloss + QLatin1Char(' ');
                words += int(gloss.count(QLatin1Char(' '))) + 1;
                if (words >= 100) {
                    result.push_back(note);
                    note.clear();
                    words = 0;
                }
            }
        }
        return result;
    }();
    return texts;
}

void BM_WordNetLoad(benchmark::State& state)
{
    for (auto _ : state) {
        auto loaded = WordNet::load(kDictionary);
        benchmark::DoNotOptimize(loaded.hasValue());
    }
}
BENCHMARK(BM_WordNetLoad)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5)->ReportAggregatesOnly();

// Texts per second on one core, as the engine's thread computes them, once it has seen a few
// thousand notes (its caches hold the words in use).
void BM_Embed(benchmark::State& state)
{
    static ConceptEmbedder embedder(sharedWordNet());
    const std::vector<QString>& texts = notes();
    const size_t warm = 4000;
    static const bool warmed = [&] {
        for (size_t i = 0; i < warm; ++i)
            embedder.embed(preparedEmbeddingText(texts[i]));
        return true;
    }();
    benchmark::DoNotOptimize(warmed);
    size_t next = warm;
    for (auto _ : state) {
        benchmark::DoNotOptimize(embedder.embed(preparedEmbeddingText(texts[next])));
        next = next + 1 < texts.size() ? next + 1 : warm;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Embed)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->Repetitions(5)->ReportAggregatesOnly();

// The same through the engine's interface: a call from this thread, the work on the engine's own,
// the wall clock's time, so that a busy machine shows here and not in BM_Embed.
void BM_EmbedThroughEngine(benchmark::State& state)
{
    static SemanticEmbeddingEngine engine;
    const std::vector<QString>& texts = notes();
    const size_t warm = 4000;
    static const bool warmed = [&] {
        for (size_t i = 0; i < warm; ++i)
            engine.embed(texts[i]).waitForFinished();
        return true;
    }();
    benchmark::DoNotOptimize(warmed);
    size_t next = warm;
    for (auto _ : state) {
        benchmark::DoNotOptimize(engine.embed(texts[next]).result());
        next = next + 1 < texts.size() ? next + 1 : warm;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EmbedThroughEngine)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();

// The first notes a fresh engine sees (its caches empty; the dictionary already read).
void BM_EmbedFirstNotes(benchmark::State& state)
{
    const std::vector<QString>& texts = notes();
    const size_t count = size_t(state.range(0));
    for (auto _ : state) {
        ConceptEmbedder embedder(sharedWordNet());
        for (size_t i = 0; i < count; ++i)
            benchmark::DoNotOptimize(embedder.embed(texts[i]));
    }
    state.SetItemsProcessed(state.iterations() * qint64(count));
}
BENCHMARK(BM_EmbedFirstNotes)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly();

// A generated library with a vector for every item (vectors of notes, so that some are close to
// the query and the association step has work), and a query that matches fewer than 24
// items by its words, so that the deep pass compares every item with it.
struct Library {
    QList<VeskItem> items;
    SearchIndex index;
    SemanticVectors vectors;
    LexicalSnapshot snapshot;
    std::optional<QList<double>> query;
    QString queryText;
    QDateTime now = LibraryGenerator::defaultNow();
};

const Library& library(int count)
{
    static std::map<int, std::unique_ptr<Library>> libraries;
    auto& slot = libraries[count];
    if (slot)
        return *slot;
    slot = std::make_unique<Library>();
    Library& library = *slot;
    library.items = LibraryGenerator(1).generate(count);
    library.index.rebuild(library.items, {}, {});

    // Real vectors of notes from all over the dictionary, computed on all cores; items take them
    // in turn.
    const std::vector<QString>& texts = notes();
    const int pool = std::min({count, 4096, int(texts.size())});
    const size_t stride = texts.size() / size_t(pool);
    const int chunks = 16;
    std::vector<std::vector<std::vector<float>>> computed(chunks);
    std::vector<int> chunkIndexes(chunks);
    for (int c = 0; c < chunks; ++c)
        chunkIndexes[size_t(c)] = c;
    QtConcurrent::blockingMap(chunkIndexes, [&](int c) {
        ConceptEmbedder embedder(sharedWordNet());
        for (int i = c; i < pool; i += chunks)
            computed[size_t(c)].push_back(embedder.embed(preparedEmbeddingText(texts[size_t(i) * stride])));
    });
    std::vector<std::vector<float>> vectors;
    for (int i = 0; i < pool; ++i)
        vectors.push_back(computed[size_t(i % chunks)][size_t(i / chunks)]);
    library.vectors.reserve(size_t(count), size_t(count) * size_t(ConceptEmbedder::dimensions));
    for (int i = 0; i < count; ++i)
        library.vectors.insert(library.items[i].id, std::span<const float>(vectors[size_t(i % pool)]));

    // Typed words that no item holds (so the lexical pass finds nothing and every item is
    // compared), with the vector of a phrase that notes of the library are about.
    library.snapshot = lexicalMatch(library.index, QStringLiteral("qzxv wplk"));
    if (library.snapshot.rankedIDs.size() >= deepSemanticFallbackThreshold)
        qFatal("the query matches too many items by its words");
    library.queryText = QStringLiteral("music");
    const std::vector<float> vector = ConceptEmbedder(sharedWordNet()).embed(library.queryText);
    library.query = QList<double>(vector.begin(), vector.end());
    return library;
}

// Processor time of all threads of the process, in milliseconds.
double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void BM_DeepPass(benchmark::State& state)
{
    const Library& data = library(int(state.range(0)));
    const QHash<QUuid, double> usage;
    qsizetype published = 0;
    const double cpuBefore = processCpuMs();
    for (auto _ : state) {
        const DeepSearchInput input{data.snapshot, data.query, data.items, data.vectors,
            [&](const QList<QUuid>& anchors) { return std::make_unique<IndexAnchorOverlaps>(data.index, anchors); },
            usage, data.now, CancellationToken(), {}};
        const auto result = runDeepSearch(input);
        published = result ? result->items.size() : 0;
        benchmark::DoNotOptimize(published);
    }
    // The work of all threads together: with the pass split over the pool, more than its time.
    state.counters["all_threads_cpu_ms"] =
        (processCpuMs() - cpuBefore) / double(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["published"] = double(published);
    state.counters["vectors_mb"] = double(data.vectors.memoryBytes()) / (1024.0 * 1024.0);
    state.SetLabel(data.queryText.toStdString());
}
BENCHMARK(BM_DeepPass)->Arg(100'000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->Repetitions(5)->ReportAggregatesOnly();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
