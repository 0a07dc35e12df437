#pragma once

#include <QtGlobal>

#include <string_view>
#include <vector>

namespace vesk {

// Gives every distinct word a dense id (0, 1, ... in the order the words are first met), for one
// thread. Built for the tens of millions of look-ups of reading a whole library: a word of up to
// 15 ASCII characters, as nearly all are, is its own key, packed into the cell that holds its id,
// so that a look-up reads one cell and no kept string. Longer words and words with other
// characters are kept apart and compared with their kept text.
class WordTable {
public:
    WordTable();

    quint32 intern(std::u16string_view word);
    size_t size() const { return m_starts.size() - 1; }
    std::u16string_view text(quint32 id) const
    {
        return {m_chars.data() + m_starts[id], m_starts[id + 1] - m_starts[id]};
    }

private:
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
    };
    struct LongCell {
        quint64 hash = 0;
        quint32 idPlusOne = 0; // 0: empty
    };
    quint32 add(std::u16string_view word);
    quint32 internLong(std::u16string_view word);
    void growShort();
    void growLong();

    std::vector<ShortCell> m_short;
    size_t m_shortCount = 0;
    std::vector<LongCell> m_long;
    size_t m_longCount = 0;
    // Every word's text, by id, one after another: m_chars[m_starts[id], m_starts[id + 1]).
    std::vector<char16_t> m_chars;
    std::vector<size_t> m_starts;
};

} // namespace vesk
