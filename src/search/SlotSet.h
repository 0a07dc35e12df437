#pragma once

#include <QtGlobal>

#include <vector>

namespace vesk {

// The index slots of the items that hold one word: a sorted list while few items hold it, a bit
// per slot once many do. The words most items hold carry most of a library's postings; as bits
// they take an eighth of a byte an item instead of four bytes, and are changed in place.
class SlotSet {
public:
    using Slot = quint32;

    bool isEmpty() const { return m_count == 0; }
    size_t size() const { return m_count; }
    bool contains(Slot slot) const;
    // `slotCount` is the number of slots the index has now, which decides the form.
    void insert(Slot slot, size_t slotCount);
    void erase(Slot slot, size_t slotCount);
    // erase() of each slot in [first, last), ascending and each once, in one pass over the set.
    void erase(const Slot* first, const Slot* last, size_t slotCount);
    // Makes room for a list of `count` slots, or a bit for each of `slotCount`, whichever is smaller;
    // followed by appends in ascending order.
    void prepare(size_t count, size_t slotCount);
    void append(Slot slot);
    // What the set has allocated, in bytes.
    size_t heldBytes() const { return m_list.capacity() * sizeof(Slot) + m_bits.capacity() * sizeof(quint64); }

    template <typename Visit>
    void forEach(Visit&& visit) const
    {
        if (!m_dense) {
            for (const Slot slot : m_list)
                visit(slot);
            return;
        }
        for (size_t word = 0; word < m_bits.size(); ++word) {
            quint64 bits = m_bits[word];
            while (bits) {
                visit(Slot(word * 64 + size_t(__builtin_ctzll(bits))));
                bits &= bits - 1;
            }
        }
    }

private:
    // Bits once more than one slot in 32 holds the word; back to a list below one in 64, so that
    // a word near the line does not change form at every edit.
    static bool wantsBits(size_t count, size_t slotCount) { return count * 32 > slotCount && slotCount >= 1024; }
    static bool wantsList(size_t count, size_t slotCount) { return count * 64 < slotCount; }
    void toBits(size_t slotCount);
    void toList();

    std::vector<Slot> m_list;
    std::vector<quint64> m_bits;
    size_t m_count = 0;
    bool m_dense = false;
};

} // namespace vesk
