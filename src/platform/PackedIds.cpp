#include "platform/PackedIds.h"

namespace vesk {

PackedIds::PackedIds(const std::vector<quint32>& sorted) : m_count(quint32(sorted.size()))
{
    std::vector<quint8> bytes;
    bytes.reserve(sorted.size() * 3);
    quint32 previous = 0;
    for (const quint32 id : sorted) {
        // The first gap is the id itself; seven bits a byte, the high bit saying more follow.
        quint32 gap = id - previous;
        previous = id;
        while (gap >= 0x80) {
            bytes.push_back(quint8(gap | 0x80));
            gap >>= 7;
        }
        bytes.push_back(quint8(gap));
    }
    m_bytes.assign(bytes.begin(), bytes.end());
}

std::vector<quint32> PackedIds::unpacked() const
{
    std::vector<quint32> ids;
    ids.reserve(size_t(m_count));
    forEach([&](quint32 id) { ids.push_back(id); });
    return ids;
}

} // namespace vesk
