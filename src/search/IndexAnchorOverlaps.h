#pragma once

#include "search/DeepSearch.h"
#include "search/SearchIndex.h"

#include <vector>

namespace vesk {

// Anchor overlaps read from the search index. The anchors' tokens are marked once, one bit per
// anchor, so that comparing an item with all anchors is one pass over the item's own tokens.
class IndexAnchorOverlaps final : public AnchorOverlaps {
public:
    // At most eight anchors; the index must outlive this object and stay unchanged.
    IndexAnchorOverlaps(const SearchIndex& index, const QList<QUuid>& anchors);

    void overlaps(const QUuid& item, std::span<double> out) const override;
    void overlapsOfEach(std::span<const QUuid> items, size_t anchorCount, std::span<double> out) const override;

private:
    // overlaps() of the item indexed at slot, none for an item not indexed.
    void overlapsAt(std::optional<SearchIndex::Slot> slot, std::span<double> out) const;

    const SearchIndex& m_index;
    std::vector<size_t> m_anchorSizes; // 0 for an anchor without tokens
    std::vector<quint8> m_marks;       // by association token id: bit k for anchor k
};

} // namespace vesk
