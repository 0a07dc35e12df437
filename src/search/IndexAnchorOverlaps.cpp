#include "search/IndexAnchorOverlaps.h"

#include <algorithm>
#include <array>

namespace vesk {

namespace {

// Bit k of a mark byte set adds one to the k-th 8-bit lane of a 64-bit count: the counts of
// all anchors then grow by one addition per token instead of a loop over the mark's bits.
constexpr std::array<quint64, 256> kLaneOnes = [] {
    std::array<quint64, 256> table{};
    for (size_t mark = 0; mark < table.size(); ++mark) {
        for (size_t k = 0; k < 8; ++k) {
            if (mark & (size_t(1) << k))
                table[mark] |= quint64(1) << (8 * k);
        }
    }
    return table;
}();

// Tokens counted between two spills of the 8-bit lanes into the full counts, so that no lane
// overflows.
constexpr size_t kLaneLimit = 255;

} // namespace

IndexAnchorOverlaps::IndexAnchorOverlaps(const SearchIndex& index, const QList<QUuid>& anchors)
    : m_index(index), m_anchorSizes(size_t(std::min<qsizetype>(anchors.size(), 8)), 0)
{
    for (size_t k = 0; k < m_anchorSizes.size(); ++k) {
        const auto slot = index.slotOf(anchors[qsizetype(k)]);
        if (!slot)
            continue;
        const std::vector<quint32> tokens = index.entry(*slot).association.unpacked();
        m_anchorSizes[k] = tokens.size();
        if (!tokens.empty() && tokens.back() >= m_marks.size())
            m_marks.resize(size_t(tokens.back()) + 1, 0);
        for (const quint32 token : tokens)
            m_marks[token] |= quint8(1u << k);
    }
}

void IndexAnchorOverlaps::overlaps(const QUuid& item, std::span<double> out) const
{
    overlapsAt(m_index.slotOf(item), out);
}

void IndexAnchorOverlaps::overlapsOfEach(std::span<const QUuid> items, size_t anchorCount, std::span<double> out) const
{
    // Each comparison waits on memory far apart (the item's entry, then its tokens): the itemSlots
    // are found first, and the entries and then the tokens of the items a few ahead are asked
    // for while one is compared.
    constexpr size_t kEntriesAhead = 4;
    constexpr size_t kTokensAhead = 2;
    std::vector<std::optional<SearchIndex::Slot>> itemSlots(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        itemSlots[i] = m_index.slotOf(items[i]);
    for (size_t i = 0; i < items.size(); ++i) {
        if (i + kEntriesAhead < items.size() && itemSlots[i + kEntriesAhead])
            __builtin_prefetch(&m_index.entry(*itemSlots[i + kEntriesAhead]).association);
        if (i + kTokensAhead < items.size() && itemSlots[i + kTokensAhead])
            __builtin_prefetch(m_index.entry(*itemSlots[i + kTokensAhead]).association.bytes().data());
        overlapsAt(itemSlots[i], out.subspan(i * anchorCount, anchorCount));
    }
}

void IndexAnchorOverlaps::overlapsAt(std::optional<SearchIndex::Slot> slot, std::span<double> out) const
{
    std::fill(out.begin(), out.end(), 0.0);
    if (!slot || m_marks.empty())
        return;
    const PackedIds& tokens = m_index.entry(*slot).association;
    // The gaps are read byte by byte without a branch on where a gap ends (that branch follows the
    // text's words and is mispredicted at every other token): a byte that does not end a gap
    // reads the mark of no token. The walk stops at the first token past the last marked one.
    const quint8* const marks = m_marks.data();
    const quint32 markCount = quint32(m_marks.size());
    std::array<size_t, 8> shared{};
    quint64 lanes = 0;
    size_t inLanes = 0;
    const auto spill = [&] {
        for (size_t k = 0; k < shared.size(); ++k)
            shared[k] += (lanes >> (8 * k)) & 0xff;
        lanes = 0;
        inLanes = 0;
    };
    quint32 value = 0;
    quint32 gap = 0;
    quint32 shift = 0;
    for (const quint8 byte : tokens.bytes()) {
        gap |= quint32(byte & 0x7f) << shift;
        const bool ends = (byte & 0x80) == 0;
        value += ends ? gap : 0;
        if (value >= markCount)
            break; // ids are sorted: none further is marked
        lanes += kLaneOnes[ends ? marks[value] : 0];
        gap = ends ? 0 : gap;
        shift = ends ? 0 : shift + 7;
        if (++inLanes == kLaneLimit)
            spill();
    }
    spill();
    for (size_t k = 0; k < m_anchorSizes.size() && k < out.size(); ++k) {
        if (shared[k] == 0)
            continue;
        out[k] = double(shared[k]) / double(std::max<size_t>(1, std::min(m_anchorSizes[k], size_t(tokens.size()))));
    }
}

} // namespace vesk
