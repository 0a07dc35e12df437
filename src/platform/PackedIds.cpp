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

std::optional<PackedIds> PackedIds::fromBytes(std::vector<quint8> bytes, quint32 count, quint32 limit)
{
    quint64 value = 0;
    quint32 gap = 0;
    int shift = 0;
    quint32 seen = 0;
    for (const quint8 byte : bytes) {
        // A gap takes at most five bytes; what a fifth byte sets beyond 32 bits is damage.
        if (shift == 28 && (byte & 0xf0))
            return std::nullopt;
        gap |= quint32(byte & 0x7f) << shift;
        if (byte & 0x80) {
            shift += 7;
            continue;
        }
        // Only the first id may be 0 away from the start: a later gap of 0 repeats an id.
        if (seen > 0 && gap == 0)
            return std::nullopt;
        value += gap;
        if (value >= limit || ++seen > count)
            return std::nullopt;
        gap = 0;
        shift = 0;
    }
    if (shift != 0 || seen != count)
        return std::nullopt;
    PackedIds ids;
    ids.m_bytes = std::move(bytes);
    ids.m_count = count;
    return ids;
}

std::vector<quint32> PackedIds::unpacked() const
{
    std::vector<quint32> ids;
    ids.reserve(size_t(m_count));
    forEach([&](quint32 id) { ids.push_back(id); });
    return ids;
}

} // namespace vesk
