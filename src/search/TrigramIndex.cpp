#include "search/TrigramIndex.h"

namespace vesk {

namespace {

quint64 trigramAt(std::u16string_view text, size_t at)
{
    return (quint64(text[at]) << 32) | (quint64(text[at + 1]) << 16) | quint64(text[at + 2]);
}

} // namespace

void TrigramIndex::clear()
{
    m_words.clear();
}

void TrigramIndex::addWord(quint32 id, std::u16string_view word)
{
    for (size_t at = 0; at + 3 <= word.size(); ++at) {
        std::vector<quint32>& words = m_words[trigramAt(word, at)];
        // A word holding the same trigram twice is listed once.
        if (words.empty() || words.back() != id)
            words.push_back(id);
    }
}

void TrigramIndex::forEachCandidate(
    std::u16string_view piece, const std::function<void(quint32)>& visit) const
{
    if (piece.size() < 3)
        return;
    const std::vector<quint32>* rarest = nullptr;
    for (size_t at = 0; at + 3 <= piece.size(); ++at) {
        const auto found = m_words.find(trigramAt(piece, at));
        if (found == m_words.end())
            return; // no word holds this trigram, so none holds the piece
        if (!rarest || found->second.size() < rarest->size())
            rarest = &found->second;
    }
    for (quint32 id : *rarest)
        visit(id);
}

void TrigramIndex::forEachWordWithPair(
    std::u16string_view pair, const std::function<void(quint32)>& visit) const
{
    if (pair.size() != 2)
        return;
    // A word of three or more code units holds the pair at the start or at the end of one of
    // its trigrams.
    const quint64 key = (quint64(pair[0]) << 16) | quint64(pair[1]);
    for (const auto& [trigram, words] : m_words) {
        if ((trigram >> 16) == key || (trigram & 0xFFFFFFFFu) == key) {
            for (quint32 id : words)
                visit(id);
        }
    }
}

} // namespace vesk
