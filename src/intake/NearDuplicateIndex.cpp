#include "intake/NearDuplicateIndex.h"

#include "platform/ConcurrentWordTable.h"
#include "platform/PackedIds.h"
#include "platform/ParallelWork.h"
#include "platform/WorkPools.h"

#include <QScopeGuard>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <numeric>

namespace vesk {

namespace {

constexpr qsizetype kMinimumLength = 48;
constexpr size_t kMinimumKeywords = 7;
// The Jaccard bound in hundredths, a little below the true 0.64 so that rounding can never drop
// an item the rules would accept.
constexpr qsizetype kBoundPercent = 63;

std::u16string_view u16(QStringView text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())};
}

// How many of a set's keywords, rarest first, it is kept and looked up under.
qsizetype prefixLength(qsizetype count)
{
    return count - (kBoundPercent * count + 99) / 100 + 1;
}

// The rarest keywords of a set given by ascending ids: its last ones.
std::vector<quint32> rarestOf(const std::vector<quint32>& ascending)
{
    const qsizetype count = qsizetype(ascending.size());
    const qsizetype prefix = std::min(count, prefixLength(count));
    return std::vector<quint32>(ascending.end() - prefix, ascending.end());
}

struct Prepared {
    bool comparable = false;
    size_t textHash = 0;
    std::vector<quint32> keywords; // sorted ids, each once; empty below the keyword floor
};

template <typename Intern>
Prepared readItem(const VeskItem& item, Intern&& intern)
{
    Prepared prepared;
    if (!isNearDuplicateCandidate(item))
        return prepared;
    const QString normalized = normalizedForNearDuplicate(item.text->toString().trimmed());
    if (normalized.size() < kMinimumLength)
        return prepared;
    prepared.comparable = true;
    prepared.textHash = qHash(normalized);
    std::vector<quint32>& ids = prepared.keywords;
    forEachNearDuplicateKeyword(normalized, [&](QStringView word) { ids.push_back(intern(u16(word))); });
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (ids.size() < kMinimumKeywords)
        ids.clear();
    return prepared;
}

// Texts at least this long are remembered by their buffer, so that the same text given again
// (a capture prepared elsewhere, then committed) is not read a second time.
constexpr qsizetype kLongText = 100'000;

} // namespace

void NearDuplicateIndex::clear()
{
    m_entries.clear();
    m_weighedSizes.clear();
    m_slotByID.clear();
    m_slotsByTextHash.clear();
    m_wordIDs.clear();
    m_words.clear();
    m_postings.clear();
    m_mostKeywords = 0;
}

quint32 NearDuplicateIndex::internWord(std::u16string_view word)
{
    if (const auto found = m_wordIDs.find(word); found != m_wordIDs.end())
        return found->second;
    const quint32 id = quint32(m_words.size());
    // A word met after the build is rarer than all the words counted then: it takes the next id.
    m_wordIDs.emplace(std::u16string_view(m_words.emplace_back(word)), id);
    m_postings.emplace_back();
    return id;
}

std::optional<quint32> NearDuplicateIndex::wordID(std::u16string_view word) const
{
    const auto found = m_wordIDs.find(word);
    if (found == m_wordIDs.end())
        return std::nullopt;
    return found->second;
}

void NearDuplicateIndex::place(Entry entry, const std::vector<quint32>& keywords)
{
    // Slots only ever grow, so every list stays ascending by appending.
    const Slot slot = Slot(m_entries.size());
    entry.keywords = PackedIds(keywords);
    m_mostKeywords = std::max(m_mostKeywords, keywords.size());
    m_slotByID.insert(entry.id, slot);
    m_slotsByTextHash.insert(entry.textHash, slot);
    m_weighedSizes.push_back(quint32(keywords.size()));
    m_entries.push_back(std::move(entry));
    for (const quint32 id : rarestOf(keywords))
        m_postings[id].push_back(slot);
}

void NearDuplicateIndex::rebuild(const QList<VeskItem>& items, QThreadPool* pool)
{
    clear();
    if (!pool)
        pool = WorkPools::shared().parallel();
    constexpr qsizetype kSmallestBatch = 256;
    const qsizetype cores = std::max(1, pool->maxThreadCount());
    const qsizetype batchCount = std::clamp<qsizetype>(items.size() / kSmallestBatch, 1, cores * 4);
    const qsizetype perBatch = (items.size() + batchCount - 1) / batchCount;
    struct Batch {
        std::vector<Entry> entries;
        std::vector<PackedIds> keywords;   // of each entry; at the end only those it is listed under
        std::vector<quint32> counts;       // items of the batch holding each word
        size_t reader = 0;                 // the worker whose word ids the keywords are
        size_t most = 0;                   // the most keywords of one entry
    };
    std::vector<Batch> batches(static_cast<size_t>(batchCount));

    // Every comparable item read on all cores, each worker into a word table of its own for
    // the batches it takes in turn.
    const auto workers = size_t(std::min(cores, batchCount));
    ConcurrentWordTable table(workers);
    std::atomic<qsizetype> nextBatch{0};
    forEachInParallel(workers, [&](size_t worker) {
        ConcurrentWordTable::Reader reader(table, worker);
        for (qsizetype number = nextBatch++; number < batchCount; number = nextBatch++) {
            Batch& batch = batches[size_t(number)];
            batch.reader = worker;
            const qsizetype first = number * perBatch;
            const qsizetype last = std::min(items.size(), first + perBatch);
            for (qsizetype i = first; i < last; ++i) {
                const Prepared prepared =
                    readItem(items[i], [&](std::u16string_view word) { return reader.intern(word); });
                if (!prepared.comparable)
                    continue;
                batch.entries.push_back(
                    Entry{items[i].id, prepared.textHash, {}, true, *items[i].text,
                          items[i].text->size() >= kLongText ? items[i].searchableText : ItemText()});
                batch.keywords.emplace_back(prepared.keywords);
            }
        }
    }, pool);

    // Dense ids, and how many items hold each word: that fixes the order, rarest first.
    const ConcurrentWordTable::Numbering numbering = table.number(m_words);
    table.clear();
    const size_t wordCount = m_words.size();
    forEachInParallel(batches.size(), [&](size_t number) {
        Batch& batch = batches[number];
        batch.counts.assign(wordCount, 0);
        std::vector<quint32> ids;
        for (PackedIds& keywords : batch.keywords) {
            ids.clear();
            keywords.forEach([&](quint32 id) { ids.push_back(numbering.dense(batch.reader, id)); });
            std::sort(ids.begin(), ids.end());
            for (quint32 id : ids)
                ++batch.counts[id];
            keywords = PackedIds(ids);
        }
    }, pool);
    std::vector<quint32> holders(wordCount, 0);
    for (Batch& batch : batches) {
        for (size_t id = 0; id < wordCount; ++id)
            holders[id] += batch.counts[id];
        std::vector<quint32>().swap(batch.counts);
    }
    // The words numbered again in that order, the most common first: ids then say the order, and
    // the common words every note holds sit close together, where their gaps take one byte each.
    std::vector<quint32> byCommonness(wordCount);
    std::iota(byCommonness.begin(), byCommonness.end(), quint32(0));
    std::sort(byCommonness.begin(), byCommonness.end(),
        [&](quint32 a, quint32 b) { return holders[a] != holders[b] ? holders[a] > holders[b] : a > b; });
    std::vector<quint32> renumbered(wordCount);
    {
        std::deque<std::u16string> words;
        words.resize(wordCount);
        for (size_t id = 0; id < wordCount; ++id) {
            renumbered[byCommonness[id]] = quint32(id);
            words[id] = std::move(m_words[byCommonness[id]]);
        }
        m_words.swap(words);
    }
    std::vector<quint32>().swap(byCommonness);
    std::vector<quint32>().swap(holders);
    m_wordIDs.reserve(wordCount);
    for (size_t id = 0; id < wordCount; ++id)
        m_wordIDs.emplace(std::u16string_view(m_words[id]), quint32(id));

    // Each item keeps all its keywords, and is listed under its rarest ones only.
    std::vector<quint32> sizes(wordCount, 0);
    forEachInParallel(batches.size(), [&](size_t number) {
        Batch& batch = batches[number];
        std::vector<quint32> ids;
        for (size_t i = 0; i < batch.keywords.size(); ++i) {
            ids = batch.keywords[i].unpacked();
            for (quint32& id : ids)
                id = renumbered[id];
            std::sort(ids.begin(), ids.end());
            batch.entries[i].keywords = PackedIds(ids);
            batch.keywords[i] = PackedIds(rarestOf(ids));
            batch.most = std::max(batch.most, ids.size());
        }
    }, pool);
    for (const Batch& batch : batches) {
        for (const PackedIds& keywords : batch.keywords)
            keywords.forEach([&](quint32 id) { ++sizes[id]; });
        m_mostKeywords = std::max(m_mostKeywords, batch.most);
    }
    // With room for the words that new items bring: the first of them would otherwise move every
    // list's header (megabytes) at once, on the main thread, as that item lands.
    m_postings.reserve(wordCount + wordCount / 16 + 64);
    m_postings.resize(wordCount);
    for (size_t id = 0; id < wordCount; ++id)
        m_postings[id].reserve(sizes[id]);
    // With room for the items added after, as the lists have.
    m_weighedSizes.reserve(size_t(items.size() + items.size() / 16 + 64));
    for (Batch& batch : batches) {
        for (size_t i = 0; i < batch.entries.size(); ++i) {
            Entry& entry = batch.entries[i];
            if (m_slotByID.contains(entry.id))
                continue;
            const Slot slot = Slot(m_entries.size());
            m_slotByID.insert(entry.id, slot);
            m_slotsByTextHash.insert(entry.textHash, slot);
            m_weighedSizes.push_back(quint32(entry.keywords.size()));
            m_entries.push_back(std::move(entry));
            batch.keywords[i].forEach([&](quint32 id) { m_postings[id].push_back(slot); });
        }
        batch = Batch();
    }
}

bool NearDuplicateIndex::holdsLongText(const VeskItem& item) const
{
    if (!item.text || item.text->size() < kLongText)
        return false;
    const auto found = m_slotByID.constFind(item.id);
    // Whether it is a candidate depends on its kind and these two texts only.
    return found != m_slotByID.cend() && item.kind == VeskKind::Text && m_entries[*found].text.isSharedWith(*item.text)
        && m_entries[*found].longSearchable.isSharedWith(item.searchableText);
}

void NearDuplicateIndex::upsert(const VeskItem& item)
{
    if (holdsLongText(item))
        return;
    remove(item.id);
    Prepared prepared = readItem(item, [&](std::u16string_view word) { return internWord(word); });
    if (!prepared.comparable)
        return;
    Entry entry{item.id, prepared.textHash, {}, true, *item.text, {}};
    if (item.text->size() >= kLongText)
        entry.longSearchable = item.searchableText;
    place(std::move(entry), prepared.keywords);
}

std::shared_ptr<NearDuplicateIndex::PreparedItem> NearDuplicateIndex::prepare(const VeskItem& item)
{
    auto result = std::make_shared<PreparedItem>();
    result->source = item;
    // Distinct words, each kept once, handed on by id.
    std::unordered_map<std::u16string_view, quint32> ids;
    std::deque<std::u16string> store;
    const Prepared prepared = readItem(item, [&](std::u16string_view word) {
        if (const auto found = ids.find(word); found != ids.end())
            return found->second;
        const quint32 id = quint32(store.size());
        ids.emplace(std::u16string_view(store.emplace_back(word)), id);
        return id;
    });
    result->comparable = prepared.comparable;
    result->textHash = prepared.textHash;
    result->keywords.reserve(prepared.keywords.size());
    for (quint32 id : prepared.keywords)
        result->keywords.push_back(std::move(store[id]));
    return result;
}

void NearDuplicateIndex::apply(const PreparedItem& prepared, const VeskItem& item)
{
    if (!(prepared.source == item)) {
        upsert(item);
        return;
    }
    remove(item.id);
    if (!prepared.comparable)
        return;
    std::vector<quint32> keywords;
    keywords.reserve(prepared.keywords.size());
    for (const std::u16string& word : prepared.keywords)
        keywords.push_back(internWord(word));
    std::sort(keywords.begin(), keywords.end());
    // A comparable item has a text.
    Entry entry{item.id, prepared.textHash, {}, true, *item.text, {}};
    if (item.text->size() >= kLongText)
        entry.longSearchable = item.searchableText;
    place(std::move(entry), keywords);
}

bool NearDuplicateIndex::remove(const QUuid& id)
{
    const auto found = m_slotByID.find(id);
    if (found == m_slotByID.end())
        return false;
    const Slot slot = *found;
    m_slotByID.erase(found);
    Entry& entry = m_entries[slot];
    m_slotsByTextHash.remove(entry.textHash, slot);
    // The slot stays in its lists, marked gone; it is never given to another item.
    entry.live = false;
    m_weighedSizes[slot] = 0;
    entry.keywords = PackedIds();
    entry.text = ItemText();
    entry.longSearchable = ItemText();
    return true;
}

std::vector<NearDuplicateIndex::Slot> NearDuplicateIndex::candidateSlots(const NearDuplicateQuery& query) const
{
    std::vector<Slot> found;
    std::vector<Slot> sameHash;
    const size_t textHash = qHash(query.normalized);
    for (auto it = m_slotsByTextHash.constFind(textHash); it != m_slotsByTextHash.cend() && it.key() == textHash;
         ++it) {
        if (std::find(sameHash.cbegin(), sameHash.cend(), *it) == sameHash.cend()) {
            sameHash.push_back(*it);
            found.push_back(*it);
        }
    }

    const qsizetype count = query.keywords.size();
    // The Jaccard index is at most the smaller set's size over the larger one's: a query with far
    // more keywords than any entry (a very long text) can only be matched exactly, and its words
    // need not be looked up at all.
    if (100 * qsizetype(m_mostKeywords) < kBoundPercent * count)
        return found;
    std::vector<quint32> known;
    known.reserve(size_t(count));
    for (const QString& keyword : query.keywords) {
        if (const auto id = wordID(u16(keyword)))
            known.push_back(*id);
    }
    // Words no item holds come first in the order and lead to no item.
    const qsizetype prefix = prefixLength(count) - (count - qsizetype(known.size()));
    if (prefix <= 0)
        return found;
    std::sort(known.begin(), known.end());
    // How many of the query's first keywords each item is listed under, and the items in the
    // order they are first met.
    const qsizetype looked = std::min(prefix, qsizetype(known.size()));
    // Counts by slot, all zero between queries: a query clears the few it counted instead of
    // taking and clearing a count for every item of the library (fresh pages each time).
    thread_local std::vector<quint32> hits;
    if (hits.size() < m_entries.size())
        hits.resize(m_entries.size() + m_entries.size() / 16 + 64, 0);
    quint32* const counts = hits.data();
    std::vector<Slot> reached;
    const auto clearHits = qScopeGuard([&] {
        for (const Slot slot : reached)
            counts[slot] = 0;
    });
    for (qsizetype i = 0; i < looked; ++i) {
        for (const Slot slot : m_postings[known[known.size() - 1 - size_t(i)]]) {
            if (counts[slot]++ == 0)
                reached.push_back(slot);
        }
    }

    const qsizetype queryRest = qsizetype(known.size()) - looked;
    // The query's words marked by id, so that an item's shared words are counted in one pass over
    // its own.
    std::vector<quint64> marked((m_words.size() + 63) / 64, 0);
    for (const quint32 id : known)
        marked[id / 64] |= quint64(1) << (id % 64);
    for (const Slot slot : reached) {
        // The Jaccard index is at most the smaller set's size over the larger one's.
        const auto size = qsizetype(m_weighedSizes[slot]);
        if (size == 0 || 100 * std::min(size, count) < kBoundPercent * std::max(size, count))
            continue;
        // A shared word at least as rare as the last of the query's first keywords and the last
        // of the item's is among the first keywords of each, so it was counted in hits; any other
        // lies past one of those two: among the query's known words not looked under, or among
        // the item's words it is not listed under. Most items met under a few everyday words
        // fall far short here, before their keywords are read.
        const qsizetype itemRest = size - std::min(size, prefixLength(size));
        const qsizetype atMost = std::min({qsizetype(counts[slot]) + std::max(queryRest, itemRest), size, count});
        if (!overlapCanQualify(keywordOverlap(atMost, count, size))
            || std::find(sameHash.cbegin(), sameHash.cend(), slot) != sameHash.cend())
            continue;
        const Entry& entry = m_entries[slot];
        qsizetype shared = 0;
        entry.keywords.forEach([&](quint32 id) { shared += qsizetype((marked[id / 64] >> (id % 64)) & 1); });
        if (overlapCanQualify(keywordOverlap(shared, count, size)))
            found.push_back(slot);
    }
    return found;
}

QList<QUuid> NearDuplicateIndex::candidates(const NearDuplicateQuery& query) const
{
    QList<QUuid> found;
    for (const Slot slot : candidateSlots(query))
        found.append(m_entries[slot].id);
    return found;
}

QList<NearDuplicateCandidate> NearDuplicateIndex::candidateTexts(const NearDuplicateQuery& query) const
{
    QList<NearDuplicateCandidate> found;
    for (const Slot slot : candidateSlots(query))
        found.append(NearDuplicateCandidate{m_entries[slot].id, m_entries[slot].text});
    return found;
}

} // namespace vesk
