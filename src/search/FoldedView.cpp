#include "search/FoldedView.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vesk {

namespace {

constexpr char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

bool hasCapital(std::string_view text)
{
    for (const char c : text) {
        if (c >= 'A' && c <= 'Z')
            return true;
    }
    return false;
}

bool equalLowered(const char* text, const char* lower, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (lowerAscii(text[i]) != lower[i])
            return false;
    }
    return true;
}

bool equalAt(const char* text, const char* needle, size_t size, bool lowered)
{
    return lowered ? equalLowered(text, needle, size) : memcmp(text, needle, size) == 0;
}

// The plain scan, for what is left after the wide one and for builds without it.
size_t findScalar(const char* text, size_t size, std::string_view needle, size_t from, bool lowered)
{
    const size_t n = needle.size();
    if (!lowered) {
        const void* found = memmem(text + from, size - from, needle.data(), n);
        return found ? size_t(static_cast<const char*>(found) - text) : std::string_view::npos;
    }
    for (size_t i = from; i + n <= size; ++i) {
        if (lowerAscii(text[i]) == needle[0] && equalLowered(text + i + 1, needle.data() + 1, n - 1))
            return i;
    }
    return std::string_view::npos;
}

#if defined(__SSE2__)
// What a byte of a lowered text is compared with needle byte c through: for a small letter the
// byte with its 0x20 bit set (only c and its capital give c then), for any other byte the byte.
inline __m128i caseBit(char c, bool lowered)
{
    return _mm_set1_epi8(lowered && c >= 'a' && c <= 'z' ? char('a' - 'A') : char(0));
}
#endif

} // namespace

size_t findFolded(FoldedView view, std::string_view needle, size_t from)
{
    const char* text = view.bytes.data();
    const size_t size = view.bytes.size();
    const size_t n = needle.size();
    if (from > size)
        return std::string_view::npos;
    if (n == 0)
        return from;
    if (n > size - from)
        return std::string_view::npos;
    const bool lowered = view.lowered;
    if (lowered && hasCapital(needle))
        return std::string_view::npos;
    if (n == 1 && !lowered) {
        const void* found = memchr(text + from, needle[0], size - from);
        return found ? size_t(static_cast<const char*>(found) - text) : std::string_view::npos;
    }
    size_t i = from;
#if defined(__SSE2__)
    // Sixteen positions at a time: a candidate needs the needle's first and last byte in
    // place; only those are compared in full. Much faster than memmem on the short needles
    // that queries are made of.
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i last = _mm_set1_epi8(needle[n - 1]);
    const __m128i firstCase = caseBit(needle[0], lowered);
    const __m128i lastCase = caseBit(needle[n - 1], lowered);
    for (; i + n - 1 + 16 <= size; i += 16) {
        const __m128i blockFirst = _mm_or_si128(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i)), firstCase);
        const __m128i blockLast = _mm_or_si128(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + n - 1)), lastCase);
        unsigned mask = unsigned(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(blockFirst, first), _mm_cmpeq_epi8(blockLast, last))));
        while (mask) {
            const unsigned bit = unsigned(__builtin_ctz(mask));
            if (n <= 2 || equalAt(text + i + bit + 1, needle.data() + 1, n - 2, lowered))
                return i + bit;
            mask &= mask - 1;
        }
    }
#endif
    return findScalar(text, size, needle, i, lowered);
}

bool foldedStartsWith(FoldedView text, size_t at, std::string_view piece)
{
    if (at > text.size() || piece.size() > text.size() - at)
        return false;
    if (text.lowered && hasCapital(piece))
        return false;
    return equalAt(text.bytes.data() + at, piece.data(), piece.size(), text.lowered);
}

std::string foldedBytes(FoldedView text)
{
    std::string bytes(text.bytes);
    if (text.lowered) {
        for (char& c : bytes)
            c = lowerAscii(c);
    }
    return bytes;
}

bool sameFolded(FoldedView a, FoldedView b)
{
    if (a.size() != b.size())
        return false;
    if (!a.lowered && !b.lowered)
        return a.bytes == b.bytes;
    for (size_t i = 0; i < a.size(); ++i) {
        const char x = a.lowered ? lowerAscii(a.bytes[i]) : a.bytes[i];
        const char y = b.lowered ? lowerAscii(b.bytes[i]) : b.bytes[i];
        if (x != y)
            return false;
    }
    return true;
}

} // namespace vesk
