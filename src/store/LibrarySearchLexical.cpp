// The lexical pass's ranking of the hits and the list of items it publishes.
#include "store/LibrarySearchLexical.h"

#include "platform/BackgroundRelease.h"
#include "platform/ParallelWork.h"
#include "platform/SystemMemory.h"
#include "search/FewStepSort.h"
#include "search/LexicalMatch.h"
#include "search/Ranking.h"
#include "search/SearchIndex.h"

#include <QArrayDataPointer>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace vesk {

namespace {

// A list of count items made on all cores by place(i, items), which constructs the i-th item of
// the list whose memory starts at items. The items are made straight in the list's memory: a
// list made at its size first would build every item empty and then assign it, writing each
// twice.
template <typename Place>
QArrayDataPointer<VeskItem> itemsMadeInParallel(size_t count, Place place)
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
    return made;
}

bool sameText(const QString& a, const QString& b)
{
    return a.constData() == b.constData() && a.size() == b.size() && a.isNull() == b.isNull();
}

bool sameText(const ItemText& a, const ItemText& b)
{
    return a.isSharedWith(b) && a.size() == b.size();
}

template <typename Text>
bool sameText(const std::optional<Text>& a, const std::optional<Text>& b)
{
    return a.has_value() == b.has_value() && (!a || sameText(*a, *b));
}

// Whether kept is a copy of source that still holds each of its texts in source's own buffer (so
// that it equals source without reading a text): moved into a list, it is the copy a fresh copy
// would make. A buffer held by kept stays allocated, so the same address is the same text.
bool isCopyOf(const VeskItem& kept, const VeskItem& source)
{
    return kept.id == source.id && kept.kind == source.kind && kept.createdAt == source.createdAt
        && kept.createdAt.timeSpec() == source.createdAt.timeSpec() && kept.groupID == source.groupID
        && kept.sourceItemID == source.sourceItemID && sameText(kept.title, source.title)
        && sameText(kept.text, source.text) && sameText(kept.urlString, source.urlString)
        && sameText(kept.filePath, source.filePath) && sameText(kept.searchableText, source.searchableText)
        && sameText(kept.note, source.note);
}

// What is left of an earlier list once some of its items were moved out: the others are destroyed
// with it, the moved ones only forgotten.
struct ListRemains {
    QArrayDataPointer<VeskItem> items;
    std::vector<quint8> moved;

    ~ListRemains()
    {
        VeskItem* const data = items.data();
        for (size_t i = 0; i < moved.size(); ++i) {
            if (!moved[i])
                data[i].~VeskItem();
        }
        items.size = 0;
    }
};

} // namespace

LexicalPassResult rankLexicalHits(const SearchIndex& index, const QString& query,
    const QHash<QUuid, double>& usageByID, const QDateTime& now, const CancellationToken& token,
    LexicalList earlier)
{
    const LexicalHits found = lexicalHits(index, query, token);
    LexicalPassResult result;
    if (token.isCancelled()) {
        releaseInBackground(std::move(earlier.items));
        return result;
    }

    // The index holds each item as it stands in items(), so the hits are taken from there
    // instead of searching the whole list.
    const qint64 nowMs = now.toMSecsSinceEpoch();
    QHash<quint32, double> usage;
    for (auto it = usageByID.cbegin(); it != usageByID.cend(); ++it) {
        if (const auto slot = index.slotOf(it.key()))
            usage.insert(*slot, *it);
    }
    struct Ranked {
        // Left unset when made without values: every one is written once, on all cores.
        Ranked() {}
        Ranked(qint64 step, qint64 createdAtMs, qint64 lexicalStep, quint32 slot)
            : step(step), createdAtMs(createdAtMs), lexicalStep(lexicalStep), slot(slot)
        {
        }

        qint64 step;        // rankingStep of the final score
        qint64 createdAtMs;
        qint64 lexicalStep; // rankingStep of the lexical score
        quint32 slot;
    };
    // A short query's hits are most of the library: their scores are worked out on all cores.
    std::vector<Ranked> ranked(found.hits.size());
    forChunksInParallel(found.hits.size(), [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const LexicalHit& hit = found.hits[i];
            const qint64 createdAtMs = index.createdAtMsAt(hit.slot);
            const double used = usage.isEmpty() ? 0.0 : usage.value(hit.slot, 0.0);
            const double score = resultScore(hit.score, 0.0, createdAtMs, nowMs, used);
            ranked[i] = Ranked(rankingStep(score), createdAtMs, rankingStep(hit.score), hit.slot);
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
        return index.idAt(a.slot) < index.idAt(b.slot);
    });

    if (token.isCancelled()) {
        releaseInBackground(std::move(earlier.items));
        return result;
    }
    // Only the first few results show their reasons.
    std::vector<quint32> hinted;
    for (size_t i = 0; i < std::min<size_t>(6, ranked.size()); ++i)
        hinted.push_back(ranked[i].slot);
    const QList<QString> reasons = lexicalReasons(index, query, hinted);
    for (size_t i = 0; i < hinted.size(); ++i) {
        if (!reasons[qsizetype(i)].isNull())
            result.hints.insert(index.idAt(hinted[i]), reasons[qsizetype(i)]);
    }
    const size_t count = ranked.size();
    const auto source = [&](size_t i) -> const VeskItem& { return index.entry(ranked[i].slot).source; };

    // The earlier list can give its items only when nothing else holds it: no list shows it, and
    // nothing reads it.
    const bool reusable = earlier.items.size > 0 && size_t(earlier.items.size) == earlier.itemSlots.size()
        && !earlier.items.isShared();
    std::vector<qint32> earlierPosition;
    auto remains = std::make_shared<ListRemains>();
    if (reusable) {
        earlierPosition.assign(index.slotCount(), -1);
        // Each slot is in the list once, so every position is written by one thread.
        forChunksInParallel(earlier.itemSlots.size(), [&](size_t begin, size_t end) {
            for (size_t p = begin; p < end; ++p) {
                if (earlier.itemSlots[p] < earlierPosition.size())
                    earlierPosition[earlier.itemSlots[p]] = qint32(p);
            }
        });
        remains->moved.assign(earlier.itemSlots.size(), 0);
        remains->items = std::move(earlier.items);
    }
    VeskItem* const kept = reusable ? remains->items.data() : nullptr;
    // An index that has not changed since holds for each slot what the earlier item was copied
    // from; otherwise each item is compared with what its slot holds now.
    const bool indexAsBefore = earlier.indexVersion != 0 && earlier.indexVersion == index.version();

    // A short query can match the whole library: each copy mostly waits on memory (the item,
    // then its texts' shared headers), so asking for both some items ahead lets those waits
    // overlap.
    constexpr size_t kItemsAhead = 16;
    constexpr size_t kTextsAhead = 8;
    result.list.itemSlots.resize(count);
    QArrayDataPointer<VeskItem> made = itemsMadeInParallel(count, [&](size_t i, VeskItem* items) {
        result.list.itemSlots[i] = ranked[i].slot;
        if (i + kItemsAhead < count) {
            const qint32 p = kept ? earlierPosition[ranked[i + kItemsAhead].slot] : -1;
            if (p >= 0)
                __builtin_prefetch(kept + p);
            if (p < 0 || !indexAsBefore)
                __builtin_prefetch(&source(i + kItemsAhead));
        }
        if (kept) {
            // Each slot is ranked once, so no two items take the same earlier one.
            const qint32 p = earlierPosition[ranked[i].slot];
            if (p >= 0 && (indexAsBefore || isCopyOf(kept[p], source(i)))) {
                // The item type is relocatable: its bytes are the item, moved.
                static_assert(QTypeInfo<VeskItem>::isRelocatable, "an item moved by its bytes must be relocatable");
                std::memcpy(static_cast<void*>(items + i), static_cast<const void*>(kept + p), sizeof(VeskItem));
                remains->moved[size_t(p)] = 1;
                return;
            }
        }
        if (i + kTextsAhead < count) {
            const VeskItem& ahead = source(i + kTextsAhead);
            __builtin_prefetch(ahead.title.constData());
            __builtin_prefetch(ahead.searchableText.constData());
            if (ahead.text)
                __builtin_prefetch(ahead.text->constData());
        }
        new (items + i) VeskItem(source(i));
    });
    if (reusable)
        releaseInBackground(std::move(remains));
    else if (earlier.items.size > 0)
        releaseInBackground(std::move(earlier.items));

    result.list.indexVersion = index.version();
    result.items = QList<VeskItem>(made);
    result.list.items = std::move(made);
    return result;
}

} // namespace vesk
