#include "search/SearchIndex.h"

#include "search/SearchText.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <limits>
#include <numeric>

namespace vesk {

namespace {

std::u16string_view u16(QStringView text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())};
}

QStringView qview(std::u16string_view text)
{
    return QStringView(text.data(), qsizetype(text.size()));
}

void sortUnique(std::vector<quint32>& ids)
{
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}

constexpr qsizetype kShortestToken = 3;
constexpr qsizetype kLongestPrefix = 8;

} // namespace

namespace {

quint64 hashText(std::u16string_view text)
{
    return std::hash<std::u16string_view>()(text);
}

} // namespace

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

void SearchIndex::merge(const std::vector<const Dictionary*>& tables, Dictionary& target,
    std::vector<std::vector<quint32>>& ids)
{
    constexpr int kShardBits = 6;
    constexpr size_t kShards = size_t(1) << kShardBits;
    auto shardOf = [](quint64 hash) { return size_t(hash >> (64 - kShardBits)); };

    std::vector<size_t> tableNumbers(tables.size());
    std::iota(tableNumbers.begin(), tableNumbers.end(), size_t(0));
    std::vector<std::vector<quint64>> hashes(tables.size());
    ids.assign(tables.size(), {});
    QtConcurrent::blockingMap(tableNumbers, [&](size_t t) {
        hashes[t].reserve(tables[t]->texts.size());
        for (const std::u16string& text : tables[t]->texts)
            hashes[t].push_back(hashText(text));
        ids[t].resize(tables[t]->texts.size());
    });

    // Each shard sees the tables in order, so a text's id does not depend on the timing.
    std::vector<Dictionary> shards(kShards);
    std::vector<size_t> shardNumbers(kShards);
    std::iota(shardNumbers.begin(), shardNumbers.end(), size_t(0));
    QtConcurrent::blockingMap(shardNumbers, [&](size_t shard) {
        for (size_t t = 0; t < tables.size(); ++t) {
            const std::vector<quint64>& tableHashes = hashes[t];
            for (size_t i = 0; i < tableHashes.size(); ++i) {
                if (shardOf(tableHashes[i]) == shard)
                    ids[t][i] = shards[shard].intern(tables[t]->texts[i], tableHashes[i]);
            }
        }
    });

    std::vector<quint32> offsets(kShards, 0);
    for (size_t shard = 0; shard < kShards; ++shard) {
        offsets[shard] = quint32(target.texts.size());
        for (std::u16string& text : shards[shard].texts)
            target.texts.push_back(std::move(text));
        shards[shard].clear();
    }
    target.postings.resize(target.texts.size());
    target.rehash(target.texts.size() * 2 + 2);

    QtConcurrent::blockingMap(tableNumbers, [&](size_t t) {
        for (size_t i = 0; i < ids[t].size(); ++i)
            ids[t][i] += offsets[shardOf(hashes[t][i])];
    });
}

void SearchIndex::Dictionary::clear()
{
    texts.clear();
    cells.clear();
    postings.clear();
}

void SearchIndex::clear()
{
    m_entries.clear();
    m_ids.clear();
    m_createdAtMs.clear();
    m_live.clear();
    m_freeSlots.clear();
    m_slotByID.clear();
    m_wordOrder.clear();
    m_words.clear();
    m_trigrams.clear();
    m_tags.clear();
    m_associationWords.clear();
}

void SearchIndex::rebuild(const QList<VeskItem>& items,
    const QHash<QUuid, QSet<QString>>& peopleByItem,
    const QHash<QUuid, QStringList>& manualTagsByID)
{
    clear();
    m_entries.reserve(size_t(items.size()));
    m_ids.reserve(size_t(items.size()));
    m_createdAtMs.reserve(size_t(items.size()));
    m_live.reserve(size_t(items.size()));
    m_slotByID.reserve(items.size());
    if (items.isEmpty())
        return;

    // A few batches per core keep the cores busy when some items are much longer than others;
    // larger batches mean fewer words for the serial step to look up.
    constexpr qsizetype kSmallestBatch = 256;
    const qsizetype cores = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
    const qsizetype batchCount
        = std::clamp<qsizetype>(items.size() / kSmallestBatch, 1, cores * 4);
    const qsizetype perBatch = (items.size() + batchCount - 1) / batchCount;
    std::vector<Batch> batches(static_cast<size_t>(batchCount));
    std::vector<qsizetype> order(static_cast<size_t>(batchCount));
    std::iota(order.begin(), order.end(), 0);
    auto inParallel = [&](auto&& work) {
        if (batchCount > 1)
            QtConcurrent::blockingMap(order, work);
        else
            work(0);
    };

    inParallel([&](qsizetype number) {
        Batch& batch = batches[size_t(number)];
        const qsizetype first = number * perBatch;
        const qsizetype last = std::min(items.size(), first + perBatch);
        batch.entries.reserve(size_t(std::max<qsizetype>(0, last - first)));
        // A batch of long notes holds tens of thousands of distinct words; starting the tables
        // that large spares them most of their growing.
        batch.words.rehash(size_t(1) << 16);
        batch.association.rehash(size_t(1) << 16);
        for (qsizetype i = first; i < last; ++i) {
            const VeskItem& item = items[i];
            read(item, peopleByItem.value(item.id), manualTagsByID.value(item.id), batch);
        }
    });

    std::vector<Translation> translations(batches.size());
    {
        std::vector<const Dictionary*> words;
        std::vector<const Dictionary*> association;
        for (const Batch& batch : batches) {
            words.push_back(&batch.words);
            association.push_back(&batch.association);
        }
        std::vector<std::vector<quint32>> wordIDs;
        std::vector<std::vector<quint32>> associationIDs;
        merge(words, m_words, wordIDs);
        merge(association, m_associationWords, associationIDs);
        for (size_t b = 0; b < batches.size(); ++b) {
            translations[b].words = std::move(wordIDs[b]);
            translations[b].association = std::move(associationIDs[b]);
        }
    }
    // Prefix look-ups walk the words in order; filled in order, the tree is built at the end.
    std::vector<quint32> sorted(m_words.texts.size());
    std::iota(sorted.begin(), sorted.end(), quint32(0));
    std::sort(sorted.begin(), sorted.end(),
        [&](quint32 a, quint32 b) { return m_words.texts[a] < m_words.texts[b]; });
    for (quint32 id : sorted)
        m_wordOrder.emplace_hint(m_wordOrder.end(), std::u16string_view(m_words.texts[id]), id);
    for (quint32 id = 0; id < m_words.texts.size(); ++id)
        m_trigrams.addWord(id, m_words.texts[id]);

    inParallel([&](qsizetype number) {
        Batch& batch = batches[size_t(number)];
        for (Entry& entry : batch.entries)
            retarget(entry, translations[size_t(number)]);
        batch.words.clear();
        batch.association.clear();
        translations[size_t(number)] = Translation();
    });

    // Slots follow the items' order; a later item with the same id replaces the earlier one.
    for (Batch& batch : batches) {
        for (Entry& entry : batch.entries) {
            internTags(entry);
            if (auto existing = m_slotByID.constFind(entry.id); existing != m_slotByID.cend()) {
                m_createdAtMs[*existing] = entry.createdAtMs;
                m_entries[*existing] = std::move(entry);
                continue;
            }
            const Slot slot = Slot(m_entries.size());
            m_slotByID.insert(entry.id, slot);
            m_ids.push_back(entry.id);
            m_createdAtMs.push_back(entry.createdAtMs);
            m_live.push_back(1);
            m_entries.push_back(std::move(entry));
        }
        batch.entries.clear();
        batch.entries.shrink_to_fit();
    }

    // Each worker fills the postings of its own range of word ids, visiting slots in order, so
    // every list comes out sorted without a lock.
    const quint32 wordCount = quint32(m_words.texts.size());
    const quint32 rangeCount = quint32(std::max<qsizetype>(1, cores * 2));
    std::vector<quint32> ranges(rangeCount);
    std::iota(ranges.begin(), ranges.end(), quint32(0));
    QtConcurrent::blockingMap(ranges, [&](quint32 range) {
        const quint32 low = quint32(quint64(wordCount) * range / rangeCount);
        const quint32 high = quint32(quint64(wordCount) * (range + 1) / rangeCount);
        for (Slot slot = 0; slot < m_entries.size(); ++slot) {
            const std::vector<quint32>& words = m_entries[slot].words;
            for (auto it = std::lower_bound(words.begin(), words.end(), low);
                 it != words.end() && *it < high; ++it)
                m_words.postings[*it].push_back(slot);
        }
    });
    for (Slot slot = 0; slot < m_entries.size(); ++slot)
        link(slot, m_entries[slot].tags, m_tags);
}

namespace {

// Unchanged items share their text buffers with what was indexed, so most comparisons end at
// the pointer.
bool sameText(const QString& a, const QString& b)
{
    return a.size() == b.size() && (a.constData() == b.constData() || a == b);
}

bool sameText(const std::optional<QString>& a, const std::optional<QString>& b)
{
    if (a.has_value() != b.has_value())
        return false;
    return !a || sameText(*a, *b);
}

bool sameItem(const VeskItem& a, const VeskItem& b)
{
    return a.id == b.id && a.kind == b.kind && a.createdAt == b.createdAt
        && sameText(a.title, b.title) && sameText(a.searchableText, b.searchableText)
        && sameText(a.note, b.note) && sameText(a.text, b.text)
        && sameText(a.urlString, b.urlString) && sameText(a.filePath, b.filePath)
        && a.groupID == b.groupID && a.sourceItemID == b.sourceItemID;
}

} // namespace

qsizetype SearchIndex::synchronize(const QList<VeskItem>& items,
    const QHash<QUuid, QSet<QString>>& peopleByItem,
    const QHash<QUuid, QStringList>& manualTagsByID)
{
    if (m_slotByID.isEmpty()) {
        rebuild(items, peopleByItem, manualTagsByID);
        return items.size();
    }
    qsizetype changed = 0;
    std::vector<quint8> seen(m_entries.size(), 0);
    for (const VeskItem& item : items) {
        const QSet<QString> people = peopleByItem.value(item.id);
        const QStringList manualTags = manualTagsByID.value(item.id);
        const auto slot = slotOf(item.id);
        if (slot) {
            const Entry& entry = m_entries[*slot];
            if (*slot < seen.size())
                seen[*slot] = 1;
            if (sameItem(entry.source, item) && entry.people == people
                && entry.manualTags == manualTags)
                continue;
        }
        upsert(item, people, manualTags);
        ++changed;
        if (!slot) {
            if (const auto added = slotOf(item.id); added && *added < seen.size())
                seen[*added] = 1;
        }
    }
    for (Slot slot = 0; slot < seen.size(); ++slot) {
        if (!seen[slot] && m_entries[slot].live) {
            remove(m_entries[slot].id);
            ++changed;
        }
    }
    return changed;
}

void SearchIndex::read(const VeskItem& item, const QSet<QString>& people,
    const QStringList& manualTags, Batch& batch)
{
    Entry& entry = batch.entries.emplace_back();
    entry.id = item.id;
    entry.source = item;
    entry.people = people;
    entry.manualTags = manualTags;
    entry.kind = item.kind;
    entry.createdAtMs = item.createdAt.isValid() ? item.createdAt.toMSecsSinceEpoch()
                                                 : std::numeric_limits<qint64>::min();
    entry.live = true;
    entry.record = makeSearchRecord(item, people, manualTags, [&](QStringView word) {
        if (word.size() >= kShortestToken && searchCharacterCount(word) >= kShortestToken)
            entry.words.push_back(batch.words.intern(u16(word)));
    });
    sortUnique(entry.words);

    QStringList parts{item.title, item.note};
    if (item.text && *item.text != item.searchableText)
        parts.append(*item.text);
    parts.append(item.searchableText);
    parts.append(manualTags.join(QLatin1Char(' ')));
    const QString lowered = lowerText(parts.join(QLatin1Char(' ')));
    forEachContentWord(lowered, [&](QStringView token) {
        entry.association.push_back(batch.association.intern(u16(token)));
    });
    sortUnique(entry.association);
}

SearchIndex::Translation SearchIndex::translate(const Batch& batch)
{
    Translation translation;
    translation.words.reserve(batch.words.texts.size());
    for (const std::u16string& word : batch.words.texts) {
        const size_t known = m_words.texts.size();
        const quint32 id = m_words.intern(word);
        if (id >= known) {
            m_wordOrder.emplace(std::u16string_view(m_words.texts[id]), id);
            m_trigrams.addWord(id, m_words.texts[id]);
        }
        translation.words.push_back(id);
    }
    translation.association.reserve(batch.association.texts.size());
    for (const std::u16string& token : batch.association.texts)
        translation.association.push_back(m_associationWords.intern(token));
    return translation;
}

void SearchIndex::retarget(Entry& entry, const Translation& translation)
{
    for (quint32& word : entry.words)
        word = translation.words[word];
    std::sort(entry.words.begin(), entry.words.end());
    for (quint32& token : entry.association)
        token = translation.association[token];
    std::sort(entry.association.begin(), entry.association.end());
}

void SearchIndex::internTags(Entry& entry)
{
    entry.tags.clear();
    for (const QString& tag : entry.record.tags)
        entry.tags.push_back(m_tags.intern(u16(tag)));
    sortUnique(entry.tags);
}

void SearchIndex::link(Slot slot, const std::vector<quint32>& ids, Dictionary& dictionary)
{
    for (quint32 id : ids) {
        std::vector<Slot>& postings = dictionary.postings[id];
        if (postings.empty() || postings.back() < slot)
            postings.push_back(slot);
        else
            postings.insert(std::lower_bound(postings.begin(), postings.end(), slot), slot);
    }
}

void SearchIndex::unlink(Slot slot, const std::vector<quint32>& ids, Dictionary& dictionary)
{
    for (quint32 id : ids) {
        std::vector<Slot>& postings = dictionary.postings[id];
        auto found = std::lower_bound(postings.begin(), postings.end(), slot);
        if (found != postings.end() && *found == slot)
            postings.erase(found);
    }
}

void SearchIndex::relink(Slot slot, const std::vector<quint32>& before,
    const std::vector<quint32>& after, Dictionary& dictionary)
{
    std::vector<quint32> gone;
    std::vector<quint32> added;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
        std::back_inserter(gone));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
        std::back_inserter(added));
    unlink(slot, gone, dictionary);
    link(slot, added, dictionary);
}

void SearchIndex::upsert(
    const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags)
{
    Batch batch;
    read(item, people, manualTags, batch);
    Entry& entry = batch.entries.back();
    retarget(entry, translate(batch));
    internTags(entry);
    place(std::move(entry));
}

void SearchIndex::place(Entry&& entry)
{
    if (auto existing = m_slotByID.constFind(entry.id); existing != m_slotByID.cend()) {
        const Slot slot = *existing;
        Entry& old = m_entries[slot];
        relink(slot, old.words, entry.words, m_words);
        relink(slot, old.tags, entry.tags, m_tags);
        m_createdAtMs[slot] = entry.createdAtMs;
        old = std::move(entry);
        return;
    }
    Slot slot;
    if (!m_freeSlots.empty()) {
        slot = m_freeSlots.back();
        m_freeSlots.pop_back();
    } else {
        slot = Slot(m_entries.size());
        m_entries.emplace_back();
        m_ids.emplace_back();
        m_createdAtMs.push_back(0);
        m_live.push_back(0);
    }
    link(slot, entry.words, m_words);
    link(slot, entry.tags, m_tags);
    m_slotByID.insert(entry.id, slot);
    m_ids[slot] = entry.id;
    m_createdAtMs[slot] = entry.createdAtMs;
    m_live[slot] = 1;
    m_entries[slot] = std::move(entry);
}

bool SearchIndex::remove(const QUuid& id)
{
    auto existing = m_slotByID.find(id);
    if (existing == m_slotByID.end())
        return false;
    const Slot slot = *existing;
    m_slotByID.erase(existing);
    Entry& entry = m_entries[slot];
    unlink(slot, entry.words, m_words);
    unlink(slot, entry.tags, m_tags);
    entry = Entry();
    m_ids[slot] = QUuid();
    m_live[slot] = 0;
    m_freeSlots.push_back(slot);
    return true;
}

std::optional<SearchIndex::Slot> SearchIndex::slotOf(const QUuid& id) const
{
    if (auto found = m_slotByID.constFind(id); found != m_slotByID.cend())
        return *found;
    return std::nullopt;
}

const SearchRecord* SearchIndex::record(const QUuid& id) const
{
    const auto slot = slotOf(id);
    return slot ? &m_entries[*slot].record : nullptr;
}

void SearchIndex::markPostings(const std::vector<Slot>& postings, std::vector<quint8>& marks) const
{
    for (Slot slot : postings)
        marks[slot] = 1;
}

void SearchIndex::markToken(QStringView token, std::vector<quint8>& marks) const
{
    if (token.isEmpty())
        return;
    // Tags are indexed as themselves and with a leading "#".
    if (auto tag = m_tags.find(u16(token)))
        markPostings(m_tags.postings[*tag], marks);
    if (token.startsWith(QLatin1Char('#'))) {
        if (auto tag = m_tags.find(u16(token.mid(1))))
            markPostings(m_tags.postings[*tag], marks);
    }

    const qsizetype length = searchCharacterCount(token);
    if (length < kShortestToken)
        return;
    if (length > kLongestPrefix) {
        if (auto word = m_words.find(u16(token)))
            markPostings(m_words.postings[*word], marks);
        return;
    }
    // Every word that begins with token holds it as a prefix, provided the token ends on a
    // character boundary of that word.
    const std::u16string_view key = u16(token);
    for (auto it = m_wordOrder.lower_bound(key);
         it != m_wordOrder.end() && it->first.substr(0, key.size()) == key; ++it) {
        const std::vector<Slot>& postings = m_words.postings[it->second];
        if (postings.empty())
            continue;
        if (it->first.size() > key.size()
            && searchCharacterPrefix(qview(it->first), length).size() != token.size())
            continue;
        markPostings(postings, marks);
    }
}

void SearchIndex::markContaining(QStringView piece, std::vector<quint8>& marks) const
{
    const std::u16string_view key = u16(piece);
    m_trigrams.forEachCandidate(key, [&](quint32 word) {
        if (m_words.texts[word].find(key) != std::u16string::npos)
            markPostings(m_words.postings[word], marks);
    });
}

QSet<QUuid> SearchIndex::itemsForToken(const QString& token) const
{
    std::vector<quint8> marks(m_entries.size(), 0);
    markToken(token, marks);
    QSet<QUuid> found;
    for (Slot slot = 0; slot < marks.size(); ++slot) {
        if (marks[slot])
            found.insert(m_entries[slot].id);
    }
    return found;
}

QSet<QString> SearchIndex::tokensOfItem(const QUuid& id) const
{
    QSet<QString> tokens;
    const auto slot = slotOf(id);
    if (!slot)
        return tokens;
    const Entry& entry = m_entries[*slot];
    for (quint32 word : entry.words) {
        const QStringView text = qview(m_words.texts[word]);
        tokens.insert(text.toString());
        const qsizetype length = std::min(searchCharacterCount(text), kLongestPrefix);
        for (qsizetype n = kShortestToken; n <= length; ++n)
            tokens.insert(searchCharacterPrefix(text, n).toString());
    }
    for (quint32 tag : entry.tags) {
        const QString text = qview(m_tags.texts[tag]).toString();
        tokens.insert(text);
        tokens.insert(QLatin1Char('#') + text);
    }
    return tokens;
}

QHash<QString, QSet<QUuid>> SearchIndex::tokenTable() const
{
    QHash<QString, QSet<QUuid>> table;
    for (const Entry& entry : m_entries) {
        if (!entry.live)
            continue;
        for (const QString& token : tokensOfItem(entry.id))
            table[token].insert(entry.id);
    }
    return table;
}

QSet<QString> SearchIndex::associationTokens(const QUuid& id) const
{
    QSet<QString> tokens;
    if (const auto slot = slotOf(id)) {
        for (quint32 word : m_entries[*slot].association)
            tokens.insert(qview(m_associationWords.texts[word]).toString());
    }
    return tokens;
}

QHash<QUuid, QSet<QString>> SearchIndex::associationTable() const
{
    QHash<QUuid, QSet<QString>> table;
    for (const Entry& entry : m_entries) {
        if (entry.live)
            table.insert(entry.id, associationTokens(entry.id));
    }
    return table;
}

double SearchIndex::associationOverlap(const QUuid& a, const QUuid& b) const
{
    const auto slotA = slotOf(a);
    const auto slotB = slotOf(b);
    if (!slotA || !slotB)
        return 0.0;
    const std::vector<quint32>& first = m_entries[*slotA].association;
    const std::vector<quint32>& second = m_entries[*slotB].association;
    size_t shared = 0;
    auto i = first.begin();
    auto j = second.begin();
    while (i != first.end() && j != second.end()) {
        if (*i < *j) {
            ++i;
        } else if (*j < *i) {
            ++j;
        } else {
            ++shared;
            ++i;
            ++j;
        }
    }
    const size_t smaller = std::max<size_t>(1, std::min(first.size(), second.size()));
    return double(shared) / double(smaller);
}

} // namespace vesk
