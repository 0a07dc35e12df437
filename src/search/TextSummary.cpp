#include "search/TextSummary.h"

#include "search/SearchRecord.h"

#include <array>

namespace vesk {

namespace {

constexpr int kExactBits = 36; // a-z, 0-9

// lowered: the sets of bytes read with A-Z as a-z.
constexpr std::array<quint64, 256> makeByteBits(bool lowered)
{
    std::array<quint64, 256> bits{};
    for (int read = 0; read < 256; ++read) {
        const int byte = lowered && read >= 'A' && read <= 'Z' ? read + ('a' - 'A') : read;
        int bit = 0;
        if (byte >= 'a' && byte <= 'z')
            bit = byte - 'a';
        else if (byte >= '0' && byte <= '9')
            bit = 26 + (byte - '0');
        else
            bit = kExactBits + byte % (64 - kExactBits);
        bits[size_t(read)] = quint64(1) << bit;
    }
    return bits;
}

constexpr std::array<quint64, 256> kByteBits = makeByteBits(false);
constexpr std::array<quint64, 256> kLoweredByteBits = makeByteBits(true);

quint64 bitsOf(std::string_view text, const std::array<quint64, 256>& byteBits)
{
    // Four sets filled side by side, so that the table look-ups do not wait on each other.
    quint64 a = 0, b = 0, c = 0, d = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        a |= byteBits[bytes[i]];
        b |= byteBits[bytes[i + 1]];
        c |= byteBits[bytes[i + 2]];
        d |= byteBits[bytes[i + 3]];
    }
    for (; i < size; ++i)
        a |= byteBits[bytes[i]];
    return a | b | c | d;
}

bool isExactByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

} // namespace

quint64 textBits(std::string_view text)
{
    return bitsOf(text, kByteBits);
}

quint64 textBits(FoldedView text)
{
    return bitsOf(text.bytes, text.lowered ? kLoweredByteBits : kByteBits);
}

bool bitsAreExact(std::string_view needle)
{
    return needle.size() == 1 && isExactByte(needle[0]);
}

quint64 TextSummary::combined() const
{
    return title | note | searchable | other | kByteBits[' '];
}

TextSummary summarize(const SearchRecord& record, VeskKind kind)
{
    TextSummary summary;
    summary.title = textBits(record.title);
    summary.note = textBits(record.note);
    const quint64 people = textBits(record.peopleNames);
    summary.searchable = textBits(record.searchableText.view()) | people;
    if (!record.searchableText.empty() && !record.peopleNames.empty())
        summary.searchable |= kByteBits[' ']; // the space that joins them
    summary.other = (record.textIsSearchableText ? 0 : textBits(record.text.view())) | textBits(record.urlString)
        | textBits(record.filePath) | people;
    if (!record.people.isEmpty())
        summary.flags |= TextSummary::HasPeople;
    if (!record.title.empty() && containsFolded(record.searchableText.view(), record.title))
        summary.flags |= TextSummary::TitleInSearchable;
    if (kind == VeskKind::Image)
        summary.flags |= TextSummary::IsImage;
    return summary;
}

} // namespace vesk
