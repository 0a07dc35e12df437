#pragma once
// Word helpers and the reading of an item's words, shared by the search index's build and its per-item upkeep (SearchIndex.cpp and
// SearchIndexBuild.cpp); not for use outside the index.
#include "search/SearchIndex.h"
#include "search/SearchText.h"

#include <QStringView>

#include <algorithm>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace vesk {

namespace searchindexwords {

inline std::u16string_view u16(QStringView text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())};
}

inline QStringView qview(std::u16string_view text)
{
    return QStringView(text.data(), qsizetype(text.size()));
}

// Sorted, each id once, and holding no more room than that needs: an item's words are read
// with their repeats, so the vector first grows to several times its final size.
inline void sortUnique(std::vector<quint32>& ids)
{
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    ids.shrink_to_fit();
}

constexpr qsizetype kShortestToken = 3;
constexpr qsizetype kLongestPrefix = 8;

// The words kept with their items. Two-character words are no tokens, but are kept so that a
// two-character query finds the items holding it without reading every item's texts.
inline bool isKeptWord(QStringView word)
{
    return word.size() >= 2;
}

inline bool isToken(QStringView word)
{
    return word.size() >= kShortestToken && searchCharacterCount(word) >= kShortestToken;
}


inline quint64 hashText(std::u16string_view text)
{
    return std::hash<std::u16string_view>()(text);
}

} // namespace searchindexwords

namespace searchindexwords {

// An interning function's id, or none from one that leaves out what the item met before.
inline void appendID(std::vector<quint32>& ids, quint32 id) { ids.push_back(id); }
inline void appendID(std::vector<quint32>& ids, std::optional<quint32> id)
{
    if (id)
        ids.push_back(*id);
}

} // namespace searchindexwords

// Both the whole build and the upkeep of one item read an item's words this way.
template <typename InternWord, typename InternToken>
void SearchIndex::read(const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags,
    Entry& entry, std::vector<quint32>& words, std::vector<quint32>& association,
    InternWord&& internWord, InternToken&& internToken)
{
    read(item, people, manualTags, entry, words, association, internWord, internToken, [] {});
}

// The same with interning functions that may append their ids later, all of them by the time
// finish() returns.
template <typename InternWord, typename InternToken, typename Finish>
void SearchIndex::read(const VeskItem& item, const QSet<QString>& people, const QStringList& manualTags,
    Entry& entry, std::vector<quint32>& words, std::vector<quint32>& association,
    InternWord&& internWord, InternToken&& internToken, Finish&& finish)
{
    readEntry(item, people, manualTags, entry, [&](QStringView word) {
        if (searchindexwords::isKeptWord(word))
            searchindexwords::appendID(words, internWord(searchindexwords::u16(word)));
    });
    finish();
    searchindexwords::sortUnique(words);

    // Content words never reach across the joining spaces, so the parts are read one by one.
    const auto visitToken = [&](QStringView token) {
        searchindexwords::appendID(association, internToken(searchindexwords::u16(token)));
    };
    const auto readText = [&](const ItemText& text) {
        if (text.isAscii())
            forEachContentWordOfAscii(text.constData(), text.utf8().size(), visitToken);
        else
            forEachContentWordOf(text.toString(), visitToken);
    };
    forEachContentWordOf(item.title, visitToken);
    forEachContentWordOf(item.note, visitToken);
    if (item.text && !item.text->isSharedWith(item.searchableText) && *item.text != item.searchableText)
        readText(*item.text);
    readText(item.searchableText);
    forEachContentWordOf(manualTags.join(QLatin1Char(' ')), visitToken);
    finish();
    searchindexwords::sortUnique(association);
}

} // namespace vesk
