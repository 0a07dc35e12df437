#include "intake/NearDuplicateIndex.h"

#include "platform/ConcurrentWordTable.h"
#include "platform/PackedIds.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
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
    m_slotByID.clear();
    m_slotsByTextHash.clear();
    m_wordIDs.clear();
    m_words.clear();
    m_rank.clear();
    m_nextNewRank = -1;
    m_postings.clear();
}

quint32 NearDuplicateIndex::internWord(std::u16string_view word)
{
    if (const auto found = m_wordIDs.find(word); found != m_wordIDs.end())
        return found->second;
    const quint32 id = quint32(m_words.size());
    m_wordIDs.emplace(std::u16string_view(m_words.emplace_back(word)), id);
    // A word met after the build is rarer than all the words counted then.
    m_rank.push_back(m_nextNewRank--);
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

void NearDuplicateIndex::sortRarestFirst(std::vector<quint32>& ids) const
{
    std::sort(ids.begin(), ids.end(), [&](quint32 a, quint32 b) { return m_rank[a] < m_rank[b]; });
}

void NearDuplicateIndex::place(const Entry& entry, const std::vector<quint32>& keywords)
{
    // Slots only ever grow, so every list stays ascending by appending.
    const Slot slot = Slot(m_entries.size());
    m_entries.push_back(entry);
    m_slotByID.insert(entry.id, slot);
    m_slotsByTextHash.insert(entry.textHash, slot);
    const qsizetype prefix = std::min<qsizetype>(qsizetype(keywords.size()), prefixLength(qsizetype(keywords.size())));
    for (qsizetype i = 0; i < prefix; ++i)
        m_postings[keywords[size_t(i)]].push_back(slot);
}

void NearDuplicateIndex::rebuild(const QList<VeskItem>& items, QThreadPool* pool)
{
    clear();
    if (!pool)
        pool = QThreadPool::globalInstance();
    constexpr qsizetype kSmallestBatch = 256;
    const qsizetype cores = std::max(1, pool->maxThreadCount());
    const qsizetype batchCount = std::clamp<qsizetype>(items.size() / kSmallestBatch, 1, cores * 4);
    const qsizetype perBatch = (items.size() + batchCount - 1) / batchCount;
    struct Batch {
        std::vector<Entry> entries;
        std::vector<PackedIds> keywords;   // of each entry, while building
        std::vector<quint32> counts;       // items of the batch holding each word
    };
    std::vector<Batch> batches(static_cast<size_t>(batchCount));
    std::vector<qsizetype> numbers(static_cast<size_t>(batchCount));
    std::iota(numbers.begin(), numbers.end(), qsizetype(0));

    // Every comparable item read on all cores, into one shared table of words.
    ConcurrentWordTable table;
    QtConcurrent::blockingMap(pool, numbers, [&](qsizetype number) {
        Batch& batch = batches[size_t(number)];
        ConcurrentWordTable::Reader reader(table);
        const qsizetype first = number * perBatch;
        const qsizetype last = std::min(items.size(), first + perBatch);
        for (qsizetype i = first; i < last; ++i) {
            const Prepared prepared = readItem(items[i], [&](std::u16string_view word) { return reader.intern(word); });
            if (!prepared.comparable)
                continue;
            batch.entries.push_back(
                Entry{items[i].id, prepared.textHash, quint32(prepared.keywords.size()), true,
                      items[i].text->size() >= kLongText ? *items[i].text : ItemText(),
                      items[i].text->size() >= kLongText ? items[i].searchableText : ItemText()});
            batch.keywords.emplace_back(prepared.keywords);
        }
    });

    // Dense ids, and how many items hold each word: that fixes the order, rarest first.
    const std::vector<quint32> offsets = table.number(m_words);
    const size_t wordCount = m_words.size();
    m_wordIDs.reserve(wordCount);
    for (size_t id = 0; id < wordCount; ++id)
        m_wordIDs.emplace(std::u16string_view(m_words[id]), quint32(id));
    QtConcurrent::blockingMap(pool, numbers, [&](qsizetype number) {
        Batch& batch = batches[size_t(number)];
        batch.counts.assign(wordCount, 0);
        std::vector<quint32> ids;
        for (PackedIds& keywords : batch.keywords) {
            ids.clear();
            keywords.forEach([&](quint32 id) { ids.push_back(ConcurrentWordTable::dense(id, offsets)); });
            std::sort(ids.begin(), ids.end());
            for (quint32 id : ids)
                ++batch.counts[id];
            keywords = PackedIds(ids);
        }
    });
    std::vector<quint32> holders(wordCount, 0);
    for (Batch& batch : batches) {
        for (size_t id = 0; id < wordCount; ++id)
            holders[id] += batch.counts[id];
        std::vector<quint32>().swap(batch.counts);
    }
    std::vector<quint32> byRarity(wordCount);
    std::iota(byRarity.begin(), byRarity.end(), quint32(0));
    std::sort(byRarity.begin(), byRarity.end(),
        [&](quint32 a, quint32 b) { return holders[a] != holders[b] ? holders[a] < holders[b] : a < b; });
    m_rank.assign(wordCount, 0);
    for (size_t place = 0; place < wordCount; ++place)
        m_rank[byRarity[place]] = qint32(place);

    // Each item under its rarest keywords only.
    std::vector<quint32> sizes(wordCount, 0);
    QtConcurrent::blockingMap(pool, numbers, [&](qsizetype number) {
        Batch& batch = batches[size_t(number)];
        std::vector<quint32> ids;
        for (PackedIds& keywords : batch.keywords) {
            ids = keywords.unpacked();
            sortRarestFirst(ids);
            ids.resize(size_t(std::min<qsizetype>(qsizetype(ids.size()), prefixLength(qsizetype(ids.size())))));
            std::sort(ids.begin(), ids.end());
            keywords = PackedIds(ids);
        }
    });
    for (const Batch& batch : batches) {
        for (const PackedIds& keywords : batch.keywords)
            keywords.forEach([&](quint32 id) { ++sizes[id]; });
    }
    m_postings.resize(wordCount);
    for (size_t id = 0; id < wordCount; ++id)
        m_postings[id].reserve(sizes[id]);
    for (Batch& batch : batches) {
        for (size_t i = 0; i < batch.entries.size(); ++i) {
            const Entry& entry = batch.entries[i];
            if (m_slotByID.contains(entry.id))
                continue;
            const Slot slot = Slot(m_entries.size());
            m_entries.push_back(entry);
            m_slotByID.insert(entry.id, slot);
            m_slotsByTextHash.insert(entry.textHash, slot);
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
    return found != m_slotByID.cend() && item.kind == VeskKind::Text && m_entries[*found].longText.isSharedWith(*item.text)
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
    sortRarestFirst(prepared.keywords);
    Entry entry{item.id, prepared.textHash, quint32(prepared.keywords.size()), true, {}, {}};
    if (item.text->size() >= kLongText) {
        entry.longText = *item.text;
        entry.longSearchable = item.searchableText;
    }
    place(entry, prepared.keywords);
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
    sortRarestFirst(keywords);
    Entry entry{item.id, prepared.textHash, quint32(keywords.size()), true, {}, {}};
    if (item.text && item.text->size() >= kLongText) {
        entry.longText = *item.text;
        entry.longSearchable = item.searchableText;
    }
    place(entry, keywords);
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
    entry.longText = QString();
    entry.longSearchable = QString();
    return true;
}

QList<QUuid> NearDuplicateIndex::candidates(const NearDuplicateQuery& query) const
{
    QList<QUuid> found;
    QSet<Slot> seen;
    const size_t textHash = qHash(query.normalized);
    for (auto it = m_slotsByTextHash.constFind(textHash); it != m_slotsByTextHash.cend() && it.key() == textHash;
         ++it) {
        if (!seen.contains(*it)) {
            seen.insert(*it);
            found.append(m_entries[*it].id);
        }
    }

    const qsizetype count = query.keywords.size();
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
    sortRarestFirst(known);
    for (qsizetype i = 0; i < prefix && i < qsizetype(known.size()); ++i) {
        for (const Slot slot : m_postings[known[size_t(i)]]) {
            const Entry& entry = m_entries[slot];
            if (!entry.live || seen.contains(slot))
                continue;
            seen.insert(slot);
            // The Jaccard index is at most the smaller set's size over the larger one's.
            const qsizetype size = qsizetype(entry.keywordCount);
            if (size == 0 || 100 * std::min(size, count) < kBoundPercent * std::max(size, count))
                continue;
            found.append(entry.id);
        }
    }
    return found;
}

} // namespace vesk
