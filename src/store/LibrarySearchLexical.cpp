// The lexical pass's ranking of the hits and the list of items it publishes.
#include "store/LibrarySearchLexical.h"

#include "platform/ParallelWork.h"
#include "platform/SystemMemory.h"
#include "search/FewStepSort.h"
#include "search/LexicalMatch.h"
#include "search/Ranking.h"
#include "search/SearchIndex.h"

#include <QArrayDataPointer>

#include <algorithm>
#include <new>
#include <vector>

namespace vesk {

namespace {

// A list of count items made on all cores by place(i, items), which constructs the i-th item of
// the list whose memory starts at items. The items are made straight in the list's memory: a
// list made at its size first would build every item empty and then assign it, writing each
// twice.
template <typename Place>
QList<VeskItem> itemsMadeInParallel(size_t count, Place place)
{
    if (count == 0)
        return {};
    QArrayDataPointer<VeskItem> made(QTypedArrayData<VeskItem>::allocate(qsizetype(count)));
    VeskItem* const out = made.data();
    // A list of the whole library takes tens of megabytes fresh from the system; touched page by
    // page it costs a fault every 4 KiB (at 300,000 items as much as copying the items).
    preferLargePages(out, count * sizeof(VeskItem));
    // Making an item only copies shared values (it cannot fail), so the list takes its size only
    // once every item stands.
    forChunksInParallel(count, [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i)
            place(i, out);
    });
    made.size = qsizetype(count);
    return QList<VeskItem>(std::move(made));
}

} // namespace

LexicalPassResult rankLexicalHits(const SearchIndex& index, const QString& query,
    const QHash<QUuid, double>& usageByID, const QDateTime& now, const CancellationToken& token)
{
    const LexicalHits found = lexicalHits(index, query);

    // The index holds each item as it stands in items(), so the hits are taken from there
    // instead of searching the whole list.
    const qint64 nowMs = now.toMSecsSinceEpoch();
    QHash<quint32, double> usage;
    for (auto it = usageByID.cbegin(); it != usageByID.cend(); ++it) {
        if (const auto slot = index.slotOf(it.key()))
            usage.insert(*slot, *it);
    }
    struct Ranked {
        const LexicalHit* hit;
        qint64 step;        // rankingStep of the final score
        qint64 createdAtMs;
        qint64 lexicalStep; // rankingStep of the lexical score
    };
    // A short query's hits are most of the library: their scores are worked out on all cores.
    std::vector<Ranked> ranked(found.hits.size());
    forChunksInParallel(found.hits.size(), [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const LexicalHit& hit = found.hits[i];
            const qint64 createdAtMs = index.createdAtMsAt(hit.slot);
            const double score = resultScore(hit.score, 0.0, createdAtMs, nowMs, usage.value(hit.slot, 0.0));
            ranked[i] = {&hit, rankingStep(score), createdAtMs, rankingStep(hit.score)};
        }
    });
    // The order of sortRankedItems over the lexical ranking, on light records instead of whole
    // items: what it keeps in place on a tie is ordered as the lexical ranking orders it.
    sortByFewSteps(ranked, [](const Ranked& r) { return r.step; }, [&](const Ranked& a, const Ranked& b) {
        if (a.step != b.step)
            return a.step > b.step;
        if (a.createdAtMs != b.createdAtMs)
            return a.createdAtMs > b.createdAtMs;
        if (a.lexicalStep != b.lexicalStep)
            return a.lexicalStep > b.lexicalStep;
        return index.idAt(a.hit->slot) < index.idAt(b.hit->slot);
    });

    LexicalPassResult result;
    if (token.isCancelled())
        return result;
    for (size_t i = 0; i < std::min<size_t>(6, ranked.size()); ++i) {
        if (!ranked[i].hit->reason.isNull())
            result.hints.insert(index.idAt(ranked[i].hit->slot), ranked[i].hit->reason);
    }
    // A short query can match the whole library: each copy mostly waits on memory (the item,
    // then its texts' shared headers), so asking for both some items ahead lets those waits
    // overlap.
    constexpr size_t kItemsAhead = 16;
    constexpr size_t kTextsAhead = 8;
    const size_t count = ranked.size();
    const auto source = [&](size_t i) -> const VeskItem& { return index.entry(ranked[i].hit->slot).source; };
    result.items = itemsMadeInParallel(count, [&](size_t i, VeskItem* items) {
        if (i + kItemsAhead < count)
            __builtin_prefetch(&source(i + kItemsAhead));
        if (i + kTextsAhead < count) {
            const VeskItem& ahead = source(i + kTextsAhead);
            __builtin_prefetch(ahead.title.constData());
            __builtin_prefetch(ahead.searchableText.constData());
            if (ahead.text)
                __builtin_prefetch(ahead.text->constData());
        }
        new (items + i) VeskItem(source(i));
    });
    return result;
}

} // namespace vesk
