#include "search/IndexAnchorOverlaps.h"

#include <algorithm>
#include <array>

namespace vesk {

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
    std::fill(out.begin(), out.end(), 0.0);
    const auto slot = m_index.slotOf(item);
    if (!slot)
        return;
    const PackedIds& tokens = m_index.entry(*slot).association;
    std::array<size_t, 8> shared{};
    tokens.forEachWhile([&](quint32 token) {
        if (token >= m_marks.size())
            return false; // ids are sorted: none further is marked
        const quint8 marks = m_marks[token];
        for (size_t k = 0; marks >> k; ++k)
            shared[k] += (marks >> k) & 1u;
        return true;
    });
    for (size_t k = 0; k < m_anchorSizes.size() && k < out.size(); ++k) {
        if (shared[k] == 0)
            continue;
        out[k] = double(shared[k]) / double(std::max<size_t>(1, std::min(m_anchorSizes[k], size_t(tokens.size()))));
    }
}

} // namespace vesk
