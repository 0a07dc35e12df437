#pragma once

#include "model/VeskItem.h"
#include "search/FoldedView.h"

#include <QtGlobal>

#include <string_view>

namespace vesk {

struct SearchRecord;

// Which bytes each part of an item's search record holds, one 64-bit set per part: a bit of its
// own for every ASCII letter and digit, the other bytes sharing the remaining bits.
//
// A term can only be in a part whose set holds all of the term's bits, so the lexical pass skips
// the parts, and for a one-letter term the texts, that cannot hold it. One- and two-character
// queries test every item of the library; the sets, kept side by side by the index, answer most
// of those tests without reading the texts themselves.
struct TextSummary {
    enum Flag : quint8 {
        HasPeople = 1,
        IsImage = 2,
        TitleInSearchable = 4, // the title is part of the searchable text, as a note's first line is
    };

    quint64 title = 0;
    quint64 note = 0;
    quint64 searchable = 0; // the searchable text and the people's names, as one part
    quint64 other = 0;      // the parts of the combined text that are not above
    quint8 flags = 0;

    friend bool operator==(const TextSummary&, const TextSummary&) = default;

    // The join of every part by one space.
    quint64 combined() const;
    bool has(Flag flag) const { return flags & flag; }

    // Whether a part with the set `part` can hold a text with the set `needle`.
    static bool mayHold(quint64 part, quint64 needle) { return (needle & ~part) == 0; }
};

// The byte set of a UTF-8 text.
quint64 textBits(std::string_view text);
quint64 textBits(FoldedView text);

// Whether a part holding all of the needle's bits surely holds the needle: true for a single ASCII
// letter or digit.
bool bitsAreExact(std::string_view needle);

TextSummary summarize(const SearchRecord& record, VeskKind kind);

} // namespace vesk
