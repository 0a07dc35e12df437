#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vesk {

// The folded search form of a text, as the containment tests read it: either bytes that are in
// that form already, or bytes of plain ASCII read as if every capital were its small letter. For
// plain ASCII folding is nothing but that lowering, so a long text of the library is searched in
// the very buffer the item holds, instead of in a lowered copy of the same size.
struct FoldedView {
    std::string_view bytes;
    bool lowered = false; // read A-Z as a-z

    bool empty() const { return bytes.empty(); }
    size_t size() const { return bytes.size(); }
};

// The position of the first occurrence of needle (in folded form) at or after from; npos when
// there is none. A needle with a capital ASCII letter never occurs in a lowered text.
size_t findFolded(FoldedView text, std::string_view needle, size_t from = 0);
inline bool containsFolded(FoldedView text, std::string_view needle)
{
    return findFolded(text, needle) != std::string_view::npos;
}
// Whether the text at position `at` starts with piece, as findFolded compares.
bool foldedStartsWith(FoldedView text, size_t at, std::string_view piece);
// The folded form as bytes of its own.
std::string foldedBytes(FoldedView text);
bool sameFolded(FoldedView a, FoldedView b);

} // namespace vesk
