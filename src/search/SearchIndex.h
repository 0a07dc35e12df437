#pragma once

#include "platform/ChunkedVector.h"
#include "platform/PackedIds.h"
#include "platform/ContentHash.h"
#include "search/SearchIndexFile.h"
#include "search/SearchRecord.h"
#include "search/SlotSet.h"
#include "search/TextSummary.h"
#include "search/TrigramIndex.h"
#include "model/VeskItem.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

class QThreadPool;

#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <memory>
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
    // Whole builds run on this pool's threads (the global pool when none is given). Start-up
    // builds on a pool of its own, so that the work Qt itself hands to the global pool (painting
    // large areas, scaling images) never waits behind it.
    void setThreadPool(QThreadPool* pool) { m_pool = pool; }

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
        std::vector<quint32> tags;   // sorted tag ids
        PackedIds association;       // association token ids
        // The index word ids the item put in, so that it is taken out again without reading its
        // texts (a note of megabytes takes a second to read); about two bytes a word.
        PackedIds words;
        bool live = false;
    };

    void clear();
    struct RebuildReport {
        size_t reused = 0;      // items whose words were taken from the kept image
        size_t read = 0;        // items whose texts were read
        bool imageMade = false; // whether `image` was filled
    };
    // Builds everything anew from the items, their people's names and their manual tags. With
    // `cached`, an item whose texts are exactly as they were when the image was made takes its
    // words from there instead of reading its texts; the result is the same either way. With
    // `image`, it is filled with what a later build can take, unless `cached` says that already.
    RebuildReport rebuild(const QList<VeskItem>& items, const QHash<QUuid, QSet<QString>>& peopleByItem,
        const QHash<QUuid, QStringList>& manualTagsByID, const SearchIndexImage* cached = nullptr,
        SearchIndexImage* image = nullptr);
    // The fingerprint of everything an item's words are read from.
    static ContentHash::Value stampOf(
        const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags);
    // Brings the index to the state rebuild() would give, touching only the items that were
    // added, changed or removed since they were indexed. Returns how many entries changed, and
    // hands their identifiers to changedIDs when given.
    qsizetype synchronize(const QList<VeskItem>& items,
        const QHash<QUuid, QSet<QString>>& peopleByItem,
        const QHash<QUuid, QStringList>& manualTagsByID, QList<QUuid>* changedIDs = nullptr);
    // Adds the item, or replaces what is indexed for it.
    void upsert(const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags);

    // An item read as upsert() reads it, without touching the index: prepare() is safe on any
    // thread, so the words of a very long text are found away from the main thread, and apply()
    // then puts them in at the cost of the item's distinct words.
    struct Prepared;
    static std::shared_ptr<Prepared> prepare(
        const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags);
    // upsert() of the same arguments. What was prepared is used when it was read from this very
    // item, people and tags (and is consumed); otherwise the item is read here.
    void apply(Prepared& prepared, const VeskItem& item, const QSet<QString>& people,
        const QStringList& manualTags);
    // Returns whether the item was indexed. Costs what the item put in, whatever its texts are
    // now; what it held is handed to taken when given (a long note's texts take a while to free).
    bool remove(const QUuid& id, std::vector<Entry>* taken = nullptr);
    // remove() of each; a word that several of the items hold has its list gone through once.
    // Returns how many of them were indexed.
    qsizetype removeAll(const QSet<QUuid>& ids, std::vector<Entry>* taken = nullptr);
    // Whether the item is indexed exactly as given, so that upserting it again would change
    // nothing (a long text whose words were put in by apply() is not read a second time).
    bool isCurrent(const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags) const;

    qsizetype size() const { return m_slotByID.size(); }
    // Changes whenever an entry is added, changed or removed, and differs between any two
    // indexes that were ever filled: what was read from the index at one version still stands
    // while it reads the same.
    quint64 version() const { return m_version; }
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
    const TextSummary& summaryAt(Slot slot) const { return m_summaries[slot]; }
    // Whether some indexed item holds the tag (without "#").
    bool holdsTag(QStringView tag) const;
    // Sets the bits of mark in marks[slot] for every item the token index holds under token;
    // marks has slotCount() elements.
    void markToken(QStringView token, std::vector<quint8>& marks, quint8 mark = 1) const;
    // The same for every item holding an index word that contains piece (at least 2
    // code units, in folded form) anywhere. When those words' items, counted once per word, are
    // more than budget, marks nothing and returns false: a short piece that most words hold
    // marks more than reading every item would cost.
    bool markContaining(QStringView piece, std::vector<quint8>& marks,
        size_t budget = std::numeric_limits<size_t>::max(), quint8 mark = 1) const;

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
        // Unused for association tokens. In chunks, as the per-slot values below: a word new to
        // a large index moves none of the lists already there.
        ChunkedVector<SlotSet> postings;

        quint32 intern(std::u16string_view text);
        // Starts anew with these texts as ids 0, 1, ...; false when a text comes twice.
        bool seed(const std::vector<std::u16string>& words);
        quint32 intern(std::u16string_view text, quint64 hash);
        std::optional<quint32> find(std::u16string_view text) const;
        void clear();

        // Spreads the texts anew over a table of at least the given number of cells.
        void rehash(size_t capacity);
    };
    // Reads one item into entry: its record, and its word and association token ids as the
    // two interning functions give them.
    // The entry's fields and record, its index words handed to visitWord when given.
    static void readEntry(const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags,
        Entry& entry, const std::function<void(QStringView)>& visitWord);
    template <typename InternWord, typename InternToken>
    static void read(const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags,
        Entry& entry, std::vector<quint32>& words, std::vector<quint32>& association,
        InternWord&& internWord, InternToken&& internToken);
    template <typename InternWord, typename InternToken, typename Finish>
    static void read(const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags,
        Entry& entry, std::vector<quint32>& words, std::vector<quint32>& association,
        InternWord&& internWord, InternToken&& internToken, Finish&& finish);
    QThreadPool* pool() const;
    void internTags(Entry& entry);
    // Puts an entry read on its own into the index, with its sorted word ids.
    // summary: the entry's text summary when it was worked out already (off the main thread).
    void place(Entry&& entry, const std::vector<quint32>& words, const TextSummary* summary = nullptr);
    // The word-to-item lists of a whole build, from the word lists of the items (by slot).
    void fillPostings(const std::vector<PackedIds>& entryWords);
    // The same, with the lists of the items taken from the image (fromImage: a slot's position
    // there, or none) read from it; entryWords then holds the words of the items read anew.
    void fillPostingsFromImage(const SearchIndexImage& cached, const std::vector<quint32>& fromImage,
        const std::vector<PackedIds>& entryWords);
    // What a later build can take from this one; stamps: the items' fingerprints, by slot.
    void makeImage(const std::vector<ContentHash::Value>& stamps, SearchIndexImage& image) const;
    void link(Slot slot, const std::vector<quint32>& ids, Dictionary& dictionary);
    void unlink(Slot slot, const std::vector<quint32>& ids, Dictionary& dictionary);
    void relink(Slot slot, const std::vector<quint32>& before, const std::vector<quint32>& after,
        Dictionary& dictionary);
    // Takes the words of the items at these slots out of the word lists, word by word.
    void unlinkWords(const std::vector<Slot>& items);
    // Empties the slot, handing its entry to taken when given, and frees it.
    void vacate(Slot slot, std::vector<Entry>* taken);
    void markPostings(const SlotSet& postings, std::vector<quint8>& marks, quint8 mark) const;
    // Gives the index a version no index had before.
    void noteChange();

    // In chunks: an item added to a large index moves none of the entries or values already in
    // it, where a single array would be copied whole each time it outgrows its room.
    ChunkedVector<Entry> m_entries;
    ChunkedVector<QUuid> m_ids;
    ChunkedVector<qint64> m_createdAtMs;
    ChunkedVector<quint8> m_live;
    ChunkedVector<TextSummary> m_summaries;
    std::vector<Slot> m_freeSlots;
    QHash<QUuid, Slot> m_slotByID;
    Dictionary m_words;
    std::map<std::u16string_view, quint32> m_wordOrder; // views of m_words' keys, for prefixes
    Dictionary m_tags;
    Dictionary m_associationWords;
    TrigramIndex m_trigrams; // over m_words
    QThreadPool* m_pool = nullptr;
    quint64 m_version = 0;
};

} // namespace vesk
