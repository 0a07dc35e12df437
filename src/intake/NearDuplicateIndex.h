#pragma once

#include "intake/NearDuplicate.h"
#include "model/VeskItem.h"
#include "platform/PackedIds.h"

#include <QHash>
#include <QList>
#include <QUuid>

#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QThreadPool;

namespace vesk {

// The library's text items prepared for the near-duplicate check, so that a new text is compared
// only with the few items that could be accepted instead of with every item.
//
// Whatever rule accepts an item, its keywords overlap the query's with a Jaccard index of at least
// 0.64 (the score rule can only reach 0.82 with it; the containment rule asks for 0.68). With the
// keywords of every text in one fixed order, rarest first, two sets that overlap that much share a
// keyword among the first |set| - ceil(0.64 |set|) + 1 of each. So each item is kept only under
// those first keywords of its own, and a query looks only under its own first keywords. Items are
// also kept by the hash of their normalised text, for the exact match.
//
// Notes written from everyday words share a rare-ish word with thousands of others, so the items
// found that way are weighed once more: each item keeps its whole keyword set, and the size of its
// intersection with the query's decides whether any rule could accept it. Only the few that remain
// have their texts read and compared in full.
//
// Word ids follow the fixed order: a higher id is a rarer word. The build numbers the words it
// meets by how many items hold them (the most common gets 0); words that come later get the next
// ids, as the rarest. A changed or removed item is marked gone where it stood and added anew, so
// nothing has to be looked up to take it out.
class NearDuplicateIndex {
public:
    void clear();
    // Builds the index of the items anew, on all threads of the pool (the global one when none
    // is given).
    void rebuild(const QList<VeskItem>& items, QThreadPool* pool = nullptr);
    // Keeps the item as it is now (an item that cannot be compared is dropped).
    void upsert(const VeskItem& item);

    // An item read as upsert() reads it, without touching the index, so that the words of a very
    // long text are found on any thread; apply() then places it at the cost of its distinct
    // keywords. What is prepared from one item is applied for that very item only.
    struct PreparedItem {
        VeskItem source;
        bool comparable = false;
        size_t textHash = 0;
        std::vector<std::u16string> keywords; // each once; empty below the keyword floor
    };
    static std::shared_ptr<PreparedItem> prepare(const VeskItem& item);
    // upsert() of the item, using what was prepared when it was read from the same item.
    void apply(const PreparedItem& prepared, const VeskItem& item);
    bool remove(const QUuid& id);

    // Items kept for comparison.
    qsizetype size() const { return m_slotByID.size(); }
    // A superset of the items the check would accept for the query: those whose normalised text
    // may be the query's (the same hash), and those whose keywords overlap the query's enough for
    // a rule to accept them whatever the beginnings of the texts. In no particular order; the
    // caller weighs each.
    QList<QUuid> candidates(const NearDuplicateQuery& query) const;
    // The same items with the texts they were kept with, for a check made away from the list.
    QList<NearDuplicateCandidate> candidateTexts(const NearDuplicateQuery& query) const;

private:
    using Slot = quint32;
    struct Entry {
        QUuid id;
        size_t textHash = 0; // of the normalised text
        // Its keyword ids; none below the keyword floor: such an item only matches exactly.
        PackedIds keywords;
        bool live = false;
        // The text as it was read (a buffer shared with the item), and for a long one its
        // searchable text too: taking the same long texts again reads nothing.
        ItemText text;
        ItemText longSearchable;
    };
    std::vector<Slot> candidateSlots(const NearDuplicateQuery& query) const;
    bool holdsLongText(const VeskItem& item) const;
    // keywords: the entry's ids, ascending.
    void place(Entry entry, const std::vector<quint32>& keywords);
    quint32 internWord(std::u16string_view word);
    std::optional<quint32> wordID(std::u16string_view word) const;

    std::deque<Entry> m_entries; // grows without moving what it holds
    // By slot: the keyword count of a live entry; 0 for one gone, or one below the keyword floor
    // (which only matches exactly). A query reaches thousands of items under everyday words, and
    // most fall short on this count and the words they share with it: read side by side here,
    // their entries, scattered in memory, are never touched.
    std::vector<quint32> m_weighedSizes;
    QHash<QUuid, Slot> m_slotByID;
    QMultiHash<size_t, Slot> m_slotsByTextHash;
    std::deque<std::u16string> m_words;  // by id; a deque keeps them in place as it grows
    std::unordered_map<std::u16string_view, quint32> m_wordIDs;
    std::vector<std::vector<Slot>> m_postings; // by id, ascending (slots are never reused)
    // The most keywords any entry has had: a query with far more can only match exactly.
    size_t m_mostKeywords = 0;
};

} // namespace vesk
