#pragma once

#include "search/SearchRecord.h"
#include "search/TrigramIndex.h"
#include "model/VeskItem.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk {

// The in-memory search preparation of the whole library: one SearchRecord per item, the token
// index (every word of 3 or more characters, its prefixes of 3 to 8 characters, every tag and
// "#" + tag, each mapped to the items holding it) and the association tokens of each item.
//
// A full build happens at start-up and after bulk changes; single items are added, updated and
// removed in place, at a cost that depends on the item and not on the size of the library. The
// token index keeps whole words only, with the items that hold each word; a prefix look-up walks
// the words that start with it in sorted order, which answers exactly what a table of all
// prefixes would, in a fraction of its memory.
class SearchIndex {
public:
    using Slot = quint32;

    // One indexed item.
    struct Entry {
        QUuid id;
        VeskItem source;             // what was indexed, to tell later whether it changed
        QSet<QString> people;
        QStringList manualTags;
        SearchRecord record;
        VeskKind kind = VeskKind::Text;
        qint64 createdAtMs = 0;      // the item's creation time; the distant past when invalid
        std::vector<quint32> words;  // sorted word ids
        std::vector<quint32> tags;   // sorted tag ids
        std::vector<quint32> association; // sorted association token ids
        bool live = false;
    };

    void clear();
    // Builds everything anew from the items, their people's names and their manual tags.
    void rebuild(const QList<VeskItem>& items, const QHash<QUuid, QSet<QString>>& peopleByItem,
        const QHash<QUuid, QStringList>& manualTagsByID);
    // Brings the index to the state rebuild() would give, touching only the items that were
    // added, changed or removed since they were indexed. Returns how many entries changed.
    qsizetype synchronize(const QList<VeskItem>& items,
        const QHash<QUuid, QSet<QString>>& peopleByItem,
        const QHash<QUuid, QStringList>& manualTagsByID);
    // Adds the item, or replaces what is indexed for it.
    void upsert(const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags);
    // Returns whether the item was indexed.
    bool remove(const QUuid& id);

    qsizetype size() const { return m_slotByID.size(); }
    bool contains(const QUuid& id) const { return m_slotByID.contains(id); }
    const SearchRecord* record(const QUuid& id) const;
    QList<QUuid> ids() const { return m_slotByID.keys(); }

    // The items the token index holds under token.
    QSet<QUuid> itemsForToken(const QString& token) const;
    // The whole token index as a table; costly, for checks.
    QHash<QString, QSet<QUuid>> tokenTable() const;
    // The tokens an item adds to the index.
    QSet<QString> tokensOfItem(const QUuid& id) const;

    // The item's content words (extractTokens of its title, note, text, searchable text and
    // manual tags); empty when not indexed.
    QSet<QString> associationTokens(const QUuid& id) const;
    QHash<QUuid, QSet<QString>> associationTable() const;
    // Tokens in both items' sets divided by the smaller set's size (at least 1); 0 when either
    // item is not indexed.
    double associationOverlap(const QUuid& a, const QUuid& b) const;

    // Fast access for the lexical pass.
    Slot slotCount() const { return Slot(m_entries.size()); }
    const Entry& entry(Slot slot) const { return m_entries[slot]; }
    std::optional<Slot> slotOf(const QUuid& id) const;
    // Per-slot values kept side by side, so that ranking many hits stays in the cache.
    bool isLive(Slot slot) const { return m_live[slot] != 0; }
    const QUuid& idAt(Slot slot) const { return m_ids[slot]; }
    qint64 createdAtMsAt(Slot slot) const { return m_createdAtMs[slot]; }
    // Sets marks[slot] = 1 for every item the token index holds under token; marks has
    // slotCount() elements.
    void markToken(QStringView token, std::vector<quint8>& marks) const;
    // Sets marks[slot] = 1 for every item holding an index word that contains piece (at least 3
    // characters, in folded form) anywhere.
    void markContaining(QStringView piece, std::vector<quint8>& marks) const;

private:
    // Interned texts with an id each: an open-addressing table whose slots carry part of the
    // hash, so that a look-up usually touches one slot and one string.
    struct Dictionary {
        struct Cell {
            quint32 idPlusOne = 0; // 0: empty
            quint32 hash = 0;
        };
        std::deque<std::u16string> texts; // by id; a deque keeps them in place as it grows
        std::vector<Cell> cells;
        std::vector<std::vector<Slot>> postings; // sorted; unused for association tokens

        quint32 intern(std::u16string_view text);
        quint32 intern(std::u16string_view text, quint64 hash);
        std::optional<quint32> find(std::u16string_view text) const;
        void clear();

        // Spreads the texts anew over a table of at least the given number of cells.
        void rehash(size_t capacity);
    };
    // Fills the empty target with every distinct text of the tables; ids[t][i] becomes the id
    // of text i of table t. Texts are spread over shards by hash, so the work runs on all cores.
    static void merge(const std::vector<const Dictionary*>& tables, Dictionary& target,
        std::vector<std::vector<quint32>>& ids);

    // Items read by one worker: their entries, whose words and association tokens are ids in
    // the worker's own tables. Workers share nothing, so a whole library is read on all cores
    // and each distinct word meets the shared tables once per worker, not once per item.
    struct Batch {
        Dictionary words;
        Dictionary association;
        std::vector<Entry> entries;
    };
    static void read(const VeskItem& item, const QSet<QString>& people,
        const QStringList& manualTags, Batch& batch);
    // Gives the batch's words and association tokens their ids in the shared tables.
    struct Translation {
        std::vector<quint32> words;
        std::vector<quint32> association;
    };
    Translation translate(const Batch& batch);
    static void retarget(Entry& entry, const Translation& translation);
    void internTags(Entry& entry);
    void place(Entry&& entry);
    void link(Slot slot, const std::vector<quint32>& ids, Dictionary& dictionary);
    void unlink(Slot slot, const std::vector<quint32>& ids, Dictionary& dictionary);
    void relink(Slot slot, const std::vector<quint32>& before, const std::vector<quint32>& after,
        Dictionary& dictionary);
    void markPostings(const std::vector<Slot>& postings, std::vector<quint8>& marks) const;

    std::vector<Entry> m_entries;
    std::vector<QUuid> m_ids;
    std::vector<qint64> m_createdAtMs;
    std::vector<quint8> m_live;
    std::vector<Slot> m_freeSlots;
    QHash<QUuid, Slot> m_slotByID;
    Dictionary m_words;
    std::map<std::u16string_view, quint32> m_wordOrder; // views of m_words' keys, for prefixes
    Dictionary m_tags;
    Dictionary m_associationWords;
    TrigramIndex m_trigrams; // over m_words
};

} // namespace vesk
