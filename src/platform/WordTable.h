#pragma once

#include <QtGlobal>

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace vesk {

// Gives every distinct word a dense id (0, 1, ... in the order the words are first met), for one
// thread. Built for the tens of millions of look-ups of reading a whole library: a word of up to
// 15 ASCII characters, as nearly all are, is its own key, packed into the cell that holds its id,
// so that a look-up reads one cell and no kept string. Longer words and words with other
// characters are kept apart and compared with their kept text.
//
// A word can be put to two uses (an index word, a content token); each use of a word is marked
// in its cell, so that a reader of one item after another learns, at no further cost, whether
// the item met the word before and which words served which use at all.
class WordTable {
public:
    static constexpr int kUses = 2;

    WordTable();

    // The word's id; marks it as put to the use.
    quint32 intern(std::u16string_view word, int use = 0);
    // The same, unless the word was put to the use under this mark before (mark: any number but
    // 0 and ~0, such as an item's position plus one); then none.
    std::optional<quint32> internOnce(std::u16string_view word, int use, quint32 mark);

    // internOnce() of many words, looked up a few at a time so that the memory of one is fetched
    // while others are looked up: each id it gives is appended to `ids` by then, when flush()
    // returns at the latest, in the order the words came. `ids` must stay in place until then.
    void queueOnce(std::u16string_view word, int use, quint32 mark, std::vector<quint32>& ids);
    void flush();

    size_t size() const { return m_starts.size() - 1; }
    std::u16string_view text(quint32 id) const
    {
        return {m_chars.data() + m_starts[id], m_starts[id + 1] - m_starts[id]};
    }
    bool isUsedAs(quint32 id, int use) const { return (m_uses[id] >> use) & 1u; }

private:
    static constexpr quint32 kAnyMark = ~quint32(0);
    static constexpr size_t kLongestPacked = 15;
    using Marks = std::array<quint32, kUses>;
    // An ASCII word's characters in order, one byte each, and its length in the last byte; no
    // other word has the same key.
    struct Key {
        quint64 low = 0;
        quint64 high = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };
    static bool pack(std::u16string_view word, Key& key);
    static quint64 hashKey(const Key& key);

    struct ShortCell {
        Key key;
        quint32 idPlusOne = 0; // 0: empty
        Marks marks = {};      // by use: the last mark it was put to that use under; 0: never
    };
    struct LongCell {
        quint64 hash = 0;
        quint32 idPlusOne = 0; // 0: empty
        Marks marks = {};
    };
    // The word's id; `fresh` tells whether the use's mark was not yet `mark`.
    quint32 find(std::u16string_view word, int use, quint32 mark, bool& fresh);
    quint32 findShort(const Key& key, quint64 hash, int use, quint32 mark, bool& fresh);
    quint32 findLong(std::u16string_view word, int use, quint32 mark, bool& fresh);
    bool markUse(Marks& marks, quint32 id, int use, quint32 mark);
    quint32 add(std::u16string_view word);
    void growShort();
    void growLong();

    std::vector<ShortCell> m_short;
    size_t m_shortCount = 0;
    std::vector<LongCell> m_long;
    size_t m_longCount = 0;
    // Every word's text, by id, one after another: m_chars[m_starts[id], m_starts[id + 1]).
    std::vector<char16_t> m_chars;
    std::vector<size_t> m_starts;
    std::vector<quint8> m_uses; // by id: bit n set when the word was put to use n

    // Words queued and not yet looked up, oldest first from m_pendingFirst, in a ring.
    struct Pending {
        Key key;
        quint64 hash = 0;
        std::vector<quint32>* ids = nullptr;
        quint32 mark = 0;
        int use = 0;
    };
    static constexpr size_t kPendingDepth = 16;
    void resolveOldest();
    std::array<Pending, kPendingDepth> m_pending;
    size_t m_pendingFirst = 0;
    size_t m_pendingCount = 0;
};

} // namespace vesk
