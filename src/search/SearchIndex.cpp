#include "search/SearchIndex.h"

#include "platform/ParallelWork.h"
#include "platform/WorkPools.h"
#include "search/SearchIndexWords.h"
#include "search/SearchText.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <iterator>
#include <atomic>
#include <limits>
#include <numeric>
#include <tuple>
#include <utility>

namespace vesk {

using namespace searchindexwords;

namespace {

// Unchanged items share their text buffers with what was indexed, so most comparisons end at
// the pointer.
bool sameText(const QString& a, const QString& b)
{
    return a.size() == b.size() && (a.constData() == b.constData() || a == b);
}

bool sameText(const ItemText& a, const ItemText& b)
{
    return a.size() == b.size() && (a.isSharedWith(b) || a == b);
}

template <typename Text>
bool sameText(const std::optional<Text>& a, const std::optional<Text>& b)
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
    const QHash<QUuid, QStringList>& manualTagsByID, QList<QUuid>* changedIDs)
{
    if (m_slotByID.isEmpty()) {
        rebuild(items, peopleByItem, manualTagsByID);
        if (changedIDs) {
            for (const VeskItem& item : items)
                changedIDs->append(item.id);
        }
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
        if (changedIDs)
            changedIDs->append(item.id);
        if (!slot) {
            if (const auto added = slotOf(item.id); added && *added < seen.size())
                seen[*added] = 1;
        }
    }
    for (Slot slot = 0; slot < seen.size(); ++slot) {
        if (!seen[slot] && m_entries[slot].live) {
            if (changedIDs)
                changedIDs->append(m_entries[slot].id);
            remove(m_entries[slot].id);
            ++changed;
        }
    }
    return changed;
}

void SearchIndex::readEntry(const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags,
    Entry& entry, const std::function<void(QStringView)>& visitWord)
{
    entry.id = item.id;
    entry.source = item;
    entry.people = people;
    entry.manualTags = manualTags;
    entry.kind = item.kind;
    entry.createdAtMs = item.createdAt.isValid() ? item.createdAt.toMSecsSinceEpoch()
                                                 : std::numeric_limits<qint64>::min();
    entry.live = true;
    entry.record = makeSearchRecord(item, people, manualTags, visitWord);
}

ContentHash::Value SearchIndex::stampOf(
    const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags)
{
    // Everything the item's words and content words are read from, each part told apart from
    // its neighbours by its length and whether it is there at all.
    ContentHash hash;
    const auto addString = [&](const QString& text) {
        hash.addBytes(text.constData(), size_t(text.size()) * sizeof(QChar));
    };
    const auto addOptional = [&](const std::optional<QString>& text) {
        hash.addNumber(text ? 1 : 0);
        if (text)
            addString(*text);
    };
    addString(item.title);
    addString(item.note);
    hash.addBytes(item.searchableText.constData(), size_t(item.searchableText.utf8().size()));
    hash.addNumber(item.text ? 1 : 0);
    if (item.text) {
        // A text that is the searchable text is not read twice.
        const bool same = item.text->isSharedWith(item.searchableText) || *item.text == item.searchableText;
        hash.addNumber(same ? 1 : 0);
        if (!same)
            hash.addBytes(item.text->constData(), size_t(item.text->utf8().size()));
    }
    addOptional(item.urlString);
    addOptional(item.filePath);
    QStringList names(people.begin(), people.end());
    std::sort(names.begin(), names.end());
    hash.addNumber(quint64(names.size()));
    for (const QString& name : std::as_const(names))
        addString(name);
    hash.addNumber(quint64(manualTags.size()));
    for (const QString& tag : manualTags)
        addString(tag);
    return hash.value();
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
    for (quint32 id : ids)
        dictionary.postings[id].insert(slot, m_entries.size());
}

void SearchIndex::unlink(Slot slot, const std::vector<quint32>& ids, Dictionary& dictionary)
{
    for (quint32 id : ids)
        dictionary.postings[id].erase(slot, m_entries.size());
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

struct SearchIndex::Prepared {
    Entry entry;
    // The entry's words and association tokens as texts; their ids in the index are given when
    // the entry is applied.
    std::vector<std::u16string> words;
    std::vector<std::u16string> association;
    // Worked out with the words: for a text of megabytes it takes milliseconds.
    TextSummary summary;
    bool used = false;
};

std::shared_ptr<SearchIndex::Prepared> SearchIndex::prepare(
    const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags)
{
    auto prepared = std::make_shared<Prepared>();
    Dictionary words;
    Dictionary association;
    std::vector<quint32> wordIDs;
    std::vector<quint32> associationIDs;
    read(item, people, manualTags, prepared->entry, wordIDs, associationIDs,
        [&](std::u16string_view word) { return words.intern(word); },
        [&](std::u16string_view token) { return association.intern(token); });
    prepared->words.assign(std::make_move_iterator(words.texts.begin()), std::make_move_iterator(words.texts.end()));
    prepared->association.assign(
        std::make_move_iterator(association.texts.begin()), std::make_move_iterator(association.texts.end()));
    prepared->summary = summarize(prepared->entry.record, prepared->entry.kind);
    return prepared;
}

void SearchIndex::apply(Prepared& prepared, const VeskItem& item, const QSet<QString>& people,
    const QStringList& manualTags)
{
    const Entry& read = prepared.entry;
    if (prepared.used || !(read.source == item) || read.people != people || read.manualTags != manualTags) {
        upsert(item, people, manualTags);
        return;
    }
    prepared.used = true;
    std::vector<quint32> words;
    words.reserve(prepared.words.size());
    for (const std::u16string& word : prepared.words) {
        const size_t known = m_words.texts.size();
        const quint32 id = m_words.intern(word);
        if (id >= known) {
            m_wordOrder.emplace(std::u16string_view(m_words.texts[id]), id);
            m_trigrams.addWord(id, m_words.texts[id]);
        }
        words.push_back(id);
    }
    sortUnique(words);
    std::vector<quint32> association;
    association.reserve(prepared.association.size());
    for (const std::u16string& token : prepared.association)
        association.push_back(m_associationWords.intern(token));
    sortUnique(association);
    Entry entry = std::move(prepared.entry);
    entry.association = PackedIds(association);
    internTags(entry);
    place(std::move(entry), words, &prepared.summary);
}

bool SearchIndex::isCurrent(const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags) const
{
    const auto slot = m_slotByID.constFind(item.id);
    if (slot == m_slotByID.cend())
        return false;
    const Entry& entry = m_entries[*slot];
    return entry.people == people && entry.manualTags == manualTags && entry.source == item;
}

void SearchIndex::upsert(
    const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags)
{
    Entry entry;
    std::vector<quint32> words;
    std::vector<quint32> association;
    read(item, people, manualTags, entry, words, association,
        [&](std::u16string_view word) {
            const size_t known = m_words.texts.size();
            const quint32 id = m_words.intern(word);
            if (id >= known) {
                m_wordOrder.emplace(std::u16string_view(m_words.texts[id]), id);
                m_trigrams.addWord(id, m_words.texts[id]);
            }
            return id;
        },
        [&](std::u16string_view token) { return m_associationWords.intern(token); });
    entry.association = PackedIds(association);
    internTags(entry);
    place(std::move(entry), words);
}

void SearchIndex::noteChange()
{
    static std::atomic<quint64> lastVersion{0};
    m_version = lastVersion.fetch_add(1, std::memory_order_relaxed) + 1;
}

void SearchIndex::place(Entry&& entry, const std::vector<quint32>& words, const TextSummary* summary)
{
    noteChange();
    const TextSummary summed = summary ? *summary : summarize(entry.record, entry.kind);
    if (auto existing = m_slotByID.constFind(entry.id); existing != m_slotByID.cend()) {
        const Slot slot = *existing;
        Entry& old = m_entries[slot];
        relink(slot, old.words.unpacked(), words, m_words);
        relink(slot, old.tags, entry.tags, m_tags);
        m_createdAtMs[slot] = entry.createdAtMs;
        m_summaries[slot] = summed;
        old = std::move(entry);
        old.words = PackedIds(words);
        return;
    }
    Slot slot;
    // An item of many words takes a new slot, the last of every list it joins: putting it in and
    // taking it out then moves no list, where a freed slot in the middle of the library would
    // move half of each (a long note's words are most of the dictionary).
    constexpr size_t kWordsForNewSlot = 1024;
    if (!m_freeSlots.empty() && words.size() < kWordsForNewSlot) {
        slot = m_freeSlots.back();
        m_freeSlots.pop_back();
    } else {
        slot = Slot(m_entries.size());
        m_entries.emplace_back();
        m_ids.emplace_back();
        m_createdAtMs.push_back(0);
        m_live.push_back(0);
        m_summaries.emplace_back();
    }
    link(slot, words, m_words);
    link(slot, entry.tags, m_tags);
    m_slotByID.insert(entry.id, slot);
    m_ids[slot] = entry.id;
    m_createdAtMs[slot] = entry.createdAtMs;
    m_summaries[slot] = summed;
    m_live[slot] = 1;
    m_entries[slot] = std::move(entry);
    m_entries[slot].words = PackedIds(words);
}

bool SearchIndex::remove(const QUuid& id, std::vector<Entry>* taken)
{
    auto existing = m_slotByID.find(id);
    if (existing == m_slotByID.end())
        return false;
    noteChange();
    const Slot slot = *existing;
    m_slotByID.erase(existing);
    unlink(slot, m_entries[slot].words.unpacked(), m_words);
    vacate(slot, taken);
    return true;
}

qsizetype SearchIndex::removeAll(const QSet<QUuid>& ids, std::vector<Entry>* taken)
{
    if (ids.size() == 1)
        return remove(*ids.cbegin(), taken) ? 1 : 0;
    std::vector<Slot> vacated;
    for (const QUuid& id : ids) {
        if (auto existing = m_slotByID.find(id); existing != m_slotByID.end()) {
            vacated.push_back(*existing);
            m_slotByID.erase(existing);
        }
    }
    if (vacated.empty())
        return 0;
    noteChange();
    unlinkWords(vacated);
    for (const Slot slot : vacated)
        vacate(slot, taken);
    return qsizetype(vacated.size());
}

void SearchIndex::unlinkWords(const std::vector<Slot>& items)
{
    // Each item's words as (word, slot) pairs, ascending by word: the largest item's in one run,
    // the others sorted together and merged with it, since a long note holds most of the words.
    const auto largest = std::max_element(items.begin(), items.end(),
        [&](Slot a, Slot b) { return m_entries[a].words.size() < m_entries[b].words.size(); });
    const auto pairsOf = [&](Slot slot, std::vector<quint64>& pairs) {
        m_entries[slot].words.forEach([&](quint32 word) { pairs.push_back(quint64(word) << 32 | slot); });
    };
    std::vector<quint64> big;
    big.reserve(size_t(m_entries[*largest].words.size()));
    pairsOf(*largest, big);
    std::vector<quint64> rest;
    for (auto slot = items.begin(); slot != items.end(); ++slot) {
        if (slot != largest)
            pairsOf(*slot, rest);
    }
    std::sort(rest.begin(), rest.end());
    std::vector<quint64> pairs;
    pairs.reserve(big.size() + rest.size());
    std::merge(big.begin(), big.end(), rest.begin(), rest.end(), std::back_inserter(pairs));

    std::vector<Slot> wordSlots;
    for (size_t at = 0; at < pairs.size();) {
        const auto word = quint32(pairs[at] >> 32);
        wordSlots.clear();
        for (; at < pairs.size() && quint32(pairs[at] >> 32) == word; ++at)
            wordSlots.push_back(Slot(pairs[at] & 0xffffffffu));
        m_words.postings[word].erase(wordSlots.data(), wordSlots.data() + wordSlots.size(), m_entries.size());
    }
}

void SearchIndex::vacate(Slot slot, std::vector<Entry>* taken)
{
    Entry& entry = m_entries[slot];
    unlink(slot, entry.tags, m_tags);
    if (taken)
        taken->push_back(std::exchange(entry, Entry()));
    else
        entry = Entry();
    m_ids[slot] = QUuid();
    m_live[slot] = 0;
    m_summaries[slot] = TextSummary();
    m_freeSlots.push_back(slot);
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

void SearchIndex::markPostings(const SlotSet& postings, std::vector<quint8>& marks, quint8 mark) const
{
    postings.forEach([&](Slot slot) {
        if (slot < marks.size())
            marks[slot] |= mark;
    });
}

void SearchIndex::markToken(QStringView token, std::vector<quint8>& marks, quint8 mark) const
{
    if (token.isEmpty())
        return;
    // Tags are indexed as themselves and with a leading "#".
    if (auto tag = m_tags.find(u16(token)))
        markPostings(m_tags.postings[*tag], marks, mark);
    if (token.startsWith(QLatin1Char('#'))) {
        if (auto tag = m_tags.find(u16(token.mid(1))))
            markPostings(m_tags.postings[*tag], marks, mark);
    }

    const qsizetype length = searchCharacterCount(token);
    if (length < kShortestToken)
        return;
    if (length > kLongestPrefix) {
        if (auto word = m_words.find(u16(token)))
            markPostings(m_words.postings[*word], marks, mark);
        return;
    }
    // Every word that begins with token holds it as a prefix, provided the token ends on a
    // character boundary of that word.
    const std::u16string_view key = u16(token);
    for (auto it = m_wordOrder.lower_bound(key);
         it != m_wordOrder.end() && it->first.substr(0, key.size()) == key; ++it) {
        const SlotSet& postings = m_words.postings[it->second];
        if (postings.isEmpty())
            continue;
        if (it->first.size() > key.size()
            && searchCharacterPrefix(qview(it->first), length).size() != token.size())
            continue;
        markPostings(postings, marks, mark);
    }
}

bool SearchIndex::holdsTag(QStringView tag) const
{
    const auto id = m_tags.find(u16(tag));
    return id && !m_tags.postings[*id].isEmpty();
}

bool SearchIndex::markContaining(
    QStringView piece, std::vector<quint8>& marks, size_t budget, quint8 mark) const
{
    const std::u16string_view key = u16(piece);
    std::vector<quint32> words;
    if (key.size() == 2) {
        if (const auto word = m_words.find(key))
            words.push_back(*word);
        // A word holding the pair more than once is handed out more than once.
        std::vector<bool> seen(m_words.texts.size());
        m_trigrams.forEachWordWithPair(key, [&](quint32 word) {
            if (!seen[word]) {
                seen[word] = true;
                words.push_back(word);
            }
        });
    } else {
        m_trigrams.forEachCandidate(key, [&](quint32 word) {
            if (m_words.texts[word].find(key) != std::u16string::npos)
                words.push_back(word);
        });
    }
    size_t postings = 0;
    for (quint32 word : words)
        postings += m_words.postings[word].size();
    if (postings > budget)
        return false;
    for (quint32 word : words)
        markPostings(m_words.postings[word], marks, mark);
    return true;
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
    for (quint32 word : entry.words.unpacked()) {
        const QStringView text = qview(m_words.texts[word]);
        if (!isToken(text))
            continue;
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
    for (size_t slot = 0; slot < m_entries.size(); ++slot) {
        const Entry& entry = m_entries[slot];
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
        m_entries[*slot].association.forEach(
            [&](quint32 word) { tokens.insert(qview(m_associationWords.texts[word]).toString()); });
    }
    return tokens;
}

QHash<QUuid, QSet<QString>> SearchIndex::associationTable() const
{
    QHash<QUuid, QSet<QString>> table;
    for (size_t slot = 0; slot < m_entries.size(); ++slot) {
        if (const Entry& entry = m_entries[slot]; entry.live)
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
    const std::vector<quint32> first = m_entries[*slotA].association.unpacked();
    const std::vector<quint32> second = m_entries[*slotB].association.unpacked();
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

