// Building the whole index at once: the words of every item, read in parallel.
#include "search/SearchIndex.h"

#include "platform/ConcurrentWordTable.h"
#include "platform/ParallelWork.h"
#include "platform/WorkPools.h"
#include "search/SearchIndexWords.h"
#include "search/SearchText.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <atomic>
#include <limits>
#include <numeric>
#include <tuple>

namespace vesk {

using namespace searchindexwords;

void SearchIndex::Dictionary::rehash(size_t least)
{
    size_t capacity = 1024;
    while (capacity < least)
        capacity *= 2;
    cells.assign(capacity, Cell());
    const size_t mask = capacity - 1;
    for (size_t id = 0; id < texts.size(); ++id) {
        const quint64 hash = hashText(texts[id]);
        size_t i = size_t(hash) & mask;
        while (cells[i].idPlusOne)
            i = (i + 1) & mask;
        cells[i] = {quint32(id + 1), quint32(hash >> 32)};
    }
}

quint32 SearchIndex::Dictionary::intern(std::u16string_view text)
{
    return intern(text, hashText(text));
}

quint32 SearchIndex::Dictionary::intern(std::u16string_view text, quint64 hash)
{
    if ((texts.size() + 1) * 2 > cells.size())
        rehash(cells.empty() ? 1024 : cells.size() * 2);
    const size_t mask = cells.size() - 1;
    size_t i = size_t(hash) & mask;
    while (cells[i].idPlusOne) {
        const quint32 id = cells[i].idPlusOne - 1;
        if (cells[i].hash == quint32(hash >> 32) && texts[id] == text)
            return id;
        i = (i + 1) & mask;
    }
    const quint32 id = quint32(texts.size());
    texts.emplace_back(text);
    postings.emplace_back();
    cells[i] = {id + 1, quint32(hash >> 32)};
    return id;
}

std::optional<quint32> SearchIndex::Dictionary::find(std::u16string_view text) const
{
    if (cells.empty())
        return std::nullopt;
    const quint64 hash = hashText(text);
    const size_t mask = cells.size() - 1;
    size_t i = size_t(hash) & mask;
    while (cells[i].idPlusOne) {
        const quint32 id = cells[i].idPlusOne - 1;
        if (cells[i].hash == quint32(hash >> 32) && texts[id] == text)
            return id;
        i = (i + 1) & mask;
    }
    return std::nullopt;
}

QThreadPool* SearchIndex::pool() const
{
    return m_pool ? m_pool : WorkPools::shared().parallelForCaller();
}

void SearchIndex::Dictionary::clear()
{
    texts.clear();
    cells.clear();
    postings.clear();
}

void SearchIndex::clear()
{
    noteChange();
    m_entries.clear();
    m_ids.clear();
    m_createdAtMs.clear();
    m_live.clear();
    m_summaries.clear();
    m_freeSlots.clear();
    m_slotByID.clear();
    m_wordOrder.clear();
    m_words.clear();
    m_trigrams.clear();
    m_tags.clear();
    m_associationWords.clear();
}

bool SearchIndex::Dictionary::seed(const std::vector<std::u16string>& words)
{
    clear();
    rehash(words.size() * 2 + 2);
    for (quint32 id = 0; id < words.size(); ++id) {
        // A word twice would split the items that hold it between two ids.
        if (intern(words[id]) != id)
            return false;
    }
    return true;
}

namespace {

constexpr quint32 kNotKept = std::numeric_limits<quint32>::max();

// Calls work(first, last) for runs of the word ids below wordCount on the pool's threads; each
// word's list is written by one worker only.
template <typename Work>
void forWordRuns(size_t wordCount, QThreadPool* pool, Work&& work)
{
    constexpr size_t kWordsPerTask = 2048;
    forEachInParallel((wordCount + kWordsPerTask - 1) / kWordsPerTask, [&](size_t task) {
        work(task * kWordsPerTask, std::min(wordCount, (task + 1) * kWordsPerTask));
    }, pool);
}

} // namespace

void SearchIndex::fillPostings(const std::vector<PackedIds>& entryWords)
{
    // Each worker makes the lists of its own run of words, reading every item's words and
    // keeping those in its run: the lists it writes stay few enough for the cache, and no two
    // workers write to one list. The runs hold about equal numbers of postings.
    const size_t wordCount = m_words.texts.size();
    const size_t slotCount = m_entries.size();
    const size_t runs = size_t(std::max(1, pool()->maxThreadCount()));
    // How many items hold each word, counted over shares of the items at once.
    std::vector<std::vector<quint32>> shareCounts(std::min(runs, std::max<size_t>(1, slotCount)));
    forEachInParallel(shareCounts.size(), [&](size_t share) {
        std::vector<quint32>& counted = shareCounts[share];
        counted.assign(wordCount, 0);
        const size_t last = slotCount * (share + 1) / shareCounts.size();
        for (size_t slot = slotCount * share / shareCounts.size(); slot < last; ++slot)
            entryWords[slot].forEach([&](quint32 word) { ++counted[word]; });
    }, pool());
    std::vector<size_t> counts(wordCount, 0);
    size_t total = 0;
    for (size_t word = 0; word < wordCount; ++word) {
        for (const std::vector<quint32>& counted : shareCounts)
            counts[word] += counted[word];
        total += counts[word];
        m_words.postings[word].prepare(counts[word], slotCount);
    }
    shareCounts = {};
    std::vector<quint32> runStarts{0};
    size_t counted = 0;
    for (size_t word = 0; word < wordCount && runStarts.size() < runs; ++word) {
        counted += counts[word];
        if (counted * runs >= total * runStarts.size())
            runStarts.push_back(quint32(word + 1));
    }
    runStarts.push_back(quint32(wordCount));
    forEachInParallel(runStarts.size() - 1, [&](size_t run) {
        const quint32 first = runStarts[run];
        const quint32 last = runStarts[run + 1];
        if (first >= last)
            return;
        for (Slot slot = 0; slot < slotCount; ++slot) {
            entryWords[slot].forEach([&](quint32 word) {
                if (word >= first && word < last)
                    m_words.postings[word].append(slot);
            });
        }
    }, pool());
}

void SearchIndex::fillPostingsFromImage(const SearchIndexImage& cached, const std::vector<quint32>& fromImage,
    const std::vector<PackedIds>& entryWords)
{
    const size_t wordCount = m_words.texts.size();
    const size_t slotCount = m_entries.size();
    // Each kept item's slot, by its position in the image. Slots usually come in the image's
    // order (new items before or among them); when they do not, the lists are sorted again.
    std::vector<quint32> slotOfKept(cached.items.size(), kNotKept);
    for (Slot slot = 0; slot < slotCount; ++slot) {
        if (m_live[slot] && fromImage[slot] != kNotKept)
            slotOfKept[fromImage[slot]] = slot;
    }
    bool inOrder = true;
    quint32 previous = 0;
    for (const quint32 slot : slotOfKept) {
        if (slot == kNotKept)
            continue;
        inOrder = inOrder && slot >= previous;
        previous = slot;
    }
    // The words of the items read anew, word by word, each word's slots ascending.
    std::vector<size_t> offsets(wordCount + 1, 0);
    for (Slot slot = 0; slot < slotCount; ++slot)
        entryWords[slot].forEach([&](quint32 word) { ++offsets[word + 1]; });
    for (size_t word = 0; word < wordCount; ++word)
        offsets[word + 1] += offsets[word];
    std::vector<Slot> added(offsets.back());
    {
        std::vector<size_t> next(offsets.begin(), offsets.end() - 1);
        for (Slot slot = 0; slot < slotCount; ++slot)
            entryWords[slot].forEach([&](quint32 word) { added[next[word]++] = slot; });
    }
    forWordRuns(wordCount, pool(), [&](size_t first, size_t last) {
        std::vector<Slot> kept;
        for (size_t word = first; word < last; ++word) {
            kept.clear();
            if (word < cached.holders.size()) {
                cached.holders[word].forEach([&](quint32 position) {
                    if (const quint32 slot = slotOfKept[position]; slot != kNotKept)
                        kept.push_back(slot);
                });
            }
            if (!inOrder)
                std::sort(kept.begin(), kept.end());
            const Slot* fresh = added.data() + offsets[word];
            const Slot* freshEnd = added.data() + offsets[word + 1];
            SlotSet& postings = m_words.postings[word];
            postings.prepare(kept.size() + size_t(freshEnd - fresh), slotCount);
            auto old = kept.cbegin();
            while (old != kept.cend() || fresh != freshEnd) {
                if (fresh == freshEnd || (old != kept.cend() && *old < *fresh))
                    postings.append(*old++);
                else
                    postings.append(*fresh++);
            }
        }
    });
}

void SearchIndex::makeImage(const std::vector<ContentHash::Value>& stamps, SearchIndexImage& image) const
{
    image.words.assign(m_words.texts.begin(), m_words.texts.end());
    image.associationWords.assign(m_associationWords.texts.begin(), m_associationWords.texts.end());
    image.items.clear();
    image.items.reserve(m_slotByID.size());
    // Live items in slot order, so that each list of slots stays ascending as positions.
    std::vector<quint32> position(m_entries.size(), 0);
    for (Slot slot = 0; slot < m_entries.size(); ++slot) {
        if (!m_live[slot])
            continue;
        position[slot] = quint32(image.items.size());
        image.items.push_back({m_ids[slot], stamps[slot], m_entries[slot].association, m_entries[slot].words});
    }
    const size_t wordCount = m_words.texts.size();
    image.holders.assign(wordCount, PackedIds());
    forWordRuns(wordCount, pool(), [&](size_t first, size_t last) {
        std::vector<quint32> holders;
        for (size_t word = first; word < last; ++word) {
            holders.clear();
            m_words.postings[word].forEach([&](Slot slot) { holders.push_back(position[slot]); });
            image.holders[word] = PackedIds(holders);
        }
    });
}

SearchIndex::RebuildReport SearchIndex::rebuild(const QList<VeskItem>& items,
    const QHash<QUuid, QSet<QString>>& peopleByItem,
    const QHash<QUuid, QStringList>& manualTagsByID, const SearchIndexImage* cached,
    SearchIndexImage* image)
{
    clear();
    RebuildReport report;
    m_ids.reserve(size_t(items.size()));
    m_createdAtMs.reserve(size_t(items.size()));
    m_live.reserve(size_t(items.size()));
    m_summaries.reserve(size_t(items.size()));
    m_slotByID.reserve(items.size());
    if (items.isEmpty())
        return report;

    // What was read before is the start of the dictionaries, so the ids it gives stay valid; the
    // words of items read anew are added after it.
    if (cached && (!m_words.seed(cached->words) || !m_associationWords.seed(cached->associationWords))) {
        m_words.clear();
        m_associationWords.clear();
        cached = nullptr;
    }
    // An item's place in the image: usually its own position, since the image keeps the items in
    // the order the last build had them and a library that did not change comes in that order.
    // Only when some item is elsewhere are all of them found by their ids.
    QHash<QUuid, qsizetype> cachedItems;
    bool cachedInOrder = cached && cached->items.size() == size_t(items.size());
    for (size_t i = 0; cachedInOrder && i < cached->items.size(); ++i)
        cachedInOrder = cached->items[i].id == items[qsizetype(i)].id;
    if (cached && !cachedInOrder) {
        cachedItems.reserve(qsizetype(cached->items.size()));
        for (size_t i = 0; i < cached->items.size(); ++i)
            cachedItems.insert(cached->items[i].id, qsizetype(i));
    }
    const auto placeInImage = [&](size_t i, const QUuid& id) -> std::optional<size_t> {
        if (!cached)
            return std::nullopt;
        if (cachedInOrder)
            return i;
        const auto kept = cachedItems.constFind(id);
        return kept == cachedItems.cend() ? std::nullopt : std::optional<size_t>(size_t(*kept));
    };
    const bool stamped = cached || image;

    // All cores read the items at once into shared word tables, each into its own entry; the
    // word lists are packed as soon as they are read, since a whole library's lists are held
    // until every item is read. An item whose words were kept and whose texts are as they were
    // then takes its tokens as kept and is found in the kept word-to-item lists; only its record
    // is made.
    const qsizetype cores = std::max(1, pool()->maxThreadCount());
    const size_t count = size_t(items.size());
    m_entries.resize(count);
    std::vector<PackedIds> entryWords(count);
    std::vector<ContentHash::Value> stamps(stamped ? count : 0);
    // For an item taken from the image, its position there; kNotKept for one read anew.
    std::vector<quint32> fromImage(count, kNotKept);
    // Summarised while each item's texts are still in the cache.
    std::vector<TextSummary> summaries(count);
    // A few chunks per core keep the cores busy when some items are much longer than others.
    const size_t kChunk = std::max<size_t>(64, count / size_t(cores * 4) + 1);
    std::vector<size_t> chunks;
    for (size_t first = 0; first < count; first += kChunk)
        chunks.push_back(first);
    // One worker per core takes the chunks in turn, reading into a word table of its own; which
    // worker read a chunk says whose ids its lists hold. Index words and content tokens share
    // the table: an item's tokens are mostly its words, whose cells its words have just read.
    // Each id is listed once per item as it is met, so the lists are not sorted with repeats.
    const size_t workers = std::min(size_t(cores), chunks.size());
    constexpr int kWordUse = 0;
    constexpr int kTokenUse = 1;
    ConcurrentWordTable table(workers);
    std::vector<quint32> chunkReader(chunks.size(), 0);
    std::atomic<size_t> nextChunk{0};
    std::atomic<size_t> reusedCount{0};
    forEachInParallel(workers, [&](size_t worker) {
        ConcurrentWordTable::Reader reader(table, worker);
        std::vector<quint32> wordIDs;
        std::vector<quint32> tokenIDs;
        size_t reusedHere = 0;
        for (size_t c = nextChunk++; c < chunks.size(); c = nextChunk++) {
            chunkReader[c] = quint32(worker);
            const size_t first = chunks[c];
            for (size_t i = first; i < std::min(count, first + kChunk); ++i) {
                const VeskItem& item = items[qsizetype(i)];
                const QSet<QString> people = peopleByItem.value(item.id);
                const QStringList manualTags = manualTagsByID.value(item.id);
                if (stamped)
                    stamps[i] = stampOf(item, people, manualTags);
                const std::optional<size_t> kept = placeInImage(i, item.id);
                if (kept && cached->items[*kept].stamp == stamps[i]) {
                    const SearchIndexImage::Item& read = cached->items[*kept];
                    readEntry(item, people, manualTags, m_entries[i], {});
                    m_entries[i].association = read.association;
                    fromImage[i] = quint32(*kept);
                    ++reusedHere;
                } else {
                    wordIDs.clear();
                    tokenIDs.clear();
                    const auto mark = quint32(i + 1);
                    read(item, people, manualTags, m_entries[i], wordIDs, tokenIDs,
                        [&](std::u16string_view word) {
                            reader.queueOnce(word, kWordUse, mark, wordIDs);
                            return std::optional<quint32>();
                        },
                        [&](std::u16string_view token) {
                            reader.queueOnce(token, kTokenUse, mark, tokenIDs);
                            return std::optional<quint32>();
                        },
                        [&] { reader.flush(); });
                    entryWords[i] = PackedIds(wordIDs);
                    m_entries[i].association = PackedIds(tokenIDs);
                }
                summaries[i] = summarize(m_entries[i].record, m_entries[i].kind);
            }
        }
        reusedCount += reusedHere;
    }, pool());
    report.reused = reusedCount;
    report.read = count - report.reused;

    // Dense ids for the words read anew, after those kept; their entries' lists are told them.
    std::vector<quint32> wordPlaces;
    std::vector<quint32> associationPlaces;
    ConcurrentWordTable::Numbering wordNumbering;
    ConcurrentWordTable::Numbering associationNumbering;
    for (auto [use, dictionary, numbering, places] :
        {std::tuple(kWordUse, &m_words, &wordNumbering, &wordPlaces),
            std::tuple(kTokenUse, &m_associationWords, &associationNumbering, &associationPlaces)}) {
        if (!cached) {
            *numbering = table.number(dictionary->texts, use);
            continue;
        }
        std::deque<std::u16string> added;
        *numbering = table.number(added, use);
        places->reserve(added.size());
        for (const std::u16string& word : added)
            places->push_back(dictionary->intern(word));
    }
    table.clear();
    for (Dictionary* dictionary : {&m_words, &m_associationWords}) {
        dictionary->postings.resize(dictionary->texts.size());
        if (!cached)
            dictionary->rehash(dictionary->texts.size() * 2 + 2);
    }
    if (report.read > 0) {
        forEachInParallel(chunks.size(), [&](size_t c) {
            const size_t first = chunks[c];
            std::vector<quint32> ids;
            for (size_t i = first; i < std::min(count, first + kChunk); ++i) {
                if (fromImage[i] != kNotKept)
                    continue;
                for (const auto& part :
                    {std::tuple(&entryWords[i], &wordNumbering, &wordPlaces),
                        std::tuple(&m_entries[i].association, &associationNumbering, &associationPlaces)}) {
                    // Named apart: clang 14 lets no lambda capture a structured binding.
                    auto* const list = std::get<0>(part);
                    const auto* const numbering = std::get<1>(part);
                    const auto* const places = std::get<2>(part);
                    ids.clear();
                    list->forEach([&](quint32 id) {
                        const quint32 dense = numbering->dense(chunkReader[c], id);
                        ids.push_back(places->empty() ? dense : (*places)[dense]);
                    });
                    // A reader whose words kept their order (the first always does) needs no sort.
                    if (!places->empty() || !numbering->keepsOrder(chunkReader[c]))
                        std::sort(ids.begin(), ids.end());
                    *list = PackedIds(ids);
                }
            }
        }, pool());
    }

    // Prefix look-ups walk the words in order; filled in order, the tree is built at the end.
    // The index file keeps its words in this order, so that a start from it sorts only the
    // words read anew and merges them in; a file in another order is sorted whole.
    std::vector<quint32> sorted(m_words.texts.size());
    std::iota(sorted.begin(), sorted.end(), quint32(0));
    const auto byText = [&](quint32 a, quint32 b) { return m_words.texts[a] < m_words.texts[b]; };
    const auto seeded = qsizetype(cached ? cached->words.size() : 0);
    if (seeded > 0 && std::is_sorted(sorted.begin(), sorted.begin() + seeded, byText)) {
        std::sort(sorted.begin() + seeded, sorted.end(), byText);
        std::inplace_merge(sorted.begin(), sorted.begin() + seeded, sorted.end(), byText);
    } else {
        std::sort(sorted.begin(), sorted.end(), byText);
    }
    for (quint32 id : sorted)
        m_wordOrder.emplace_hint(m_wordOrder.end(), std::u16string_view(m_words.texts[id]), id);
    for (quint32 id = 0; id < m_words.texts.size(); ++id)
        m_trigrams.addWord(id, m_words.texts[id]);

    // Slots follow the items' order; a later item with the same id takes the earlier one's slot
    // (and its own slot is left free).
    m_ids.resize(count);
    m_createdAtMs.resize(count);
    m_live.resize(count);
    m_summaries.resize(count);
    for (Slot slot = 0; slot < count; ++slot) {
        Entry& entry = m_entries[slot];
        internTags(entry);
        if (auto existing = m_slotByID.constFind(entry.id); existing != m_slotByID.cend()) {
            m_createdAtMs[*existing] = entry.createdAtMs;
            m_summaries[*existing] = summaries[slot];
            m_entries[*existing] = std::move(entry);
            entryWords[*existing] = std::move(entryWords[slot]);
            fromImage[*existing] = fromImage[slot];
            if (stamped)
                stamps[*existing] = stamps[slot];
            m_entries[slot] = Entry();
            entryWords[slot] = PackedIds();
            fromImage[slot] = kNotKept;
            m_live[slot] = 0;
            m_freeSlots.push_back(slot);
            continue;
        }
        m_slotByID.insert(entry.id, slot);
        m_ids[slot] = entry.id;
        m_createdAtMs[slot] = entry.createdAtMs;
        m_summaries[slot] = summaries[slot];
        m_live[slot] = 1;
    }

    if (report.reused > 0)
        fillPostingsFromImage(*cached, fromImage, entryWords);
    else
        fillPostings(entryWords);
    // What each item put in, to take it out again: read anew, or as the image kept it.
    for (Slot slot = 0; slot < count; ++slot) {
        if (fromImage[slot] != kNotKept)
            m_entries[slot].words = cached->items[fromImage[slot]].words;
        else
            m_entries[slot].words = std::move(entryWords[slot]);
    }
    entryWords = std::vector<PackedIds>();
    // The file image is wanted only when the kept one no longer says what the library holds.
    const bool imageWanted = image && (!cached || report.read > 0 || cached->items.size() != report.reused);
    if (imageWanted)
        makeImage(stamps, *image);
    for (Slot slot = 0; slot < m_entries.size(); ++slot)
        link(slot, m_entries[slot].tags, m_tags);
    report.imageMade = imageWanted;
    return report;
}

} // namespace vesk
