#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

namespace vesk {

// A sorted list of ids, each once, kept as the gaps between them in a variable number of bytes:
// about two bytes an id instead of four for the long, sparse lists of words each item holds.
class PackedIds {
public:
    PackedIds() = default;
    // `sorted` is ascending, without repeats.
    explicit PackedIds(const std::vector<quint32>& sorted);

    qsizetype size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    std::vector<quint32> unpacked() const;

    // The packed form, for keeping the list in a file.
    const std::vector<quint8>& bytes() const { return m_bytes; }
    // A list read back from its packed form: none unless the bytes hold exactly count ids, each
    // below limit, ascending and each once. Bytes from a file are never trusted further.
    static std::optional<PackedIds> fromBytes(std::vector<quint8> bytes, quint32 count, quint32 limit);

    // Visits the ids in ascending order while visit returns true.
    template <typename Visit>
    void forEachWhile(Visit&& visit) const
    {
        quint32 value = 0;
        quint32 gap = 0;
        int shift = 0;
        for (const quint8 byte : m_bytes) {
            gap |= quint32(byte & 0x7f) << shift;
            if (byte & 0x80) {
                shift += 7;
                continue;
            }
            value += gap;
            if (!visit(value))
                return;
            gap = 0;
            shift = 0;
        }
    }

    template <typename Visit>
    void forEach(Visit&& visit) const
    {
        forEachWhile([&](quint32 id) {
            visit(id);
            return true;
        });
    }

    friend bool operator==(const PackedIds&, const PackedIds&) = default;

private:
    std::vector<quint8> m_bytes;
    quint32 m_count = 0;
};

} // namespace vesk
