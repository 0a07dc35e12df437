#pragma once

#include <QtGlobal>

#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vesk {

// The words of the search index by the runs of three characters (UTF-16 code units) they hold,
// so that the words containing a typed piece anywhere, not only at their start, are found
// without walking the whole dictionary.
class TrigramIndex {
public:
    void clear();
    // Adds a word of the dictionary under every trigram it holds; ids come in increasing order.
    // Words shorter than three code units are not needed: no piece looked up is that short.
    void addWord(quint32 id, std::u16string_view word);
    // Hands out each added word that holds the rarest trigram of piece (at least three code
    // units): every word containing piece is among them; the caller tests the rest.
    void forEachCandidate(std::u16string_view piece, const std::function<void(quint32)>& visit) const;

    // Hands out every added word that holds the two code units of pair side by side, a word
    // possibly more than once.
    void forEachWordWithPair(std::u16string_view pair, const std::function<void(quint32)>& visit) const;

private:
    std::unordered_map<quint64, std::vector<quint32>> m_words;
};

} // namespace vesk
