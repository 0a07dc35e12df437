#include "search/SlotSet.h"

#include <algorithm>

namespace vesk {

namespace {

// Sets are made to their exact size when the index is built. A new item joins thousands of them
// at once, and a vector's own growth would double each one it outgrows: tens of megabytes for a
// few notes, nearly all of it room no item fills. An eighth more is still few copies per slot.
template <typename Value>
void makeRoomFor(std::vector<Value>& values, size_t size)
{
    if (size > values.capacity())
        values.reserve(size + size / 8 + 1);
}

} // namespace

bool SlotSet::contains(Slot slot) const
{
    if (m_dense)
        return size_t(slot) / 64 < m_bits.size() && (m_bits[slot / 64] >> (slot % 64)) & 1;
    return std::binary_search(m_list.begin(), m_list.end(), slot);
}

void SlotSet::toBits(size_t slotCount)
{
    m_bits.assign((std::max(slotCount, m_list.empty() ? size_t(0) : size_t(m_list.back()) + 1) + 63) / 64, 0);
    for (const Slot slot : m_list)
        m_bits[slot / 64] |= quint64(1) << (slot % 64);
    std::vector<Slot>().swap(m_list);
    m_dense = true;
}

void SlotSet::toList()
{
    std::vector<Slot> list;
    list.reserve(m_count);
    forEach([&](Slot slot) { list.push_back(slot); });
    m_list.swap(list);
    std::vector<quint64>().swap(m_bits);
    m_dense = false;
}

void SlotSet::insert(Slot slot, size_t slotCount)
{
    if (contains(slot))
        return;
    if (!m_dense && wantsBits(m_count + 1, slotCount))
        toBits(slotCount);
    if (m_dense) {
        if (size_t(slot) / 64 >= m_bits.size()) {
            makeRoomFor(m_bits, size_t(slot) / 64 + 1);
            m_bits.resize(size_t(slot) / 64 + 1, 0);
        }
        m_bits[slot / 64] |= quint64(1) << (slot % 64);
    } else {
        makeRoomFor(m_list, m_list.size() + 1);
        if (m_list.empty() || m_list.back() < slot)
            m_list.push_back(slot);
        else
            m_list.insert(std::lower_bound(m_list.begin(), m_list.end(), slot), slot);
    }
    ++m_count;
}

void SlotSet::erase(Slot slot, size_t slotCount)
{
    if (m_dense) {
        if (!contains(slot))
            return;
        m_bits[slot / 64] &= ~(quint64(1) << (slot % 64));
    } else if (!m_list.empty() && m_list.back() == slot) {
        // The newest slot of a list, as an item added since the last build holds: nothing moves.
        m_list.pop_back();
    } else {
        const auto found = std::lower_bound(m_list.begin(), m_list.end(), slot);
        if (found == m_list.end() || *found != slot)
            return;
        m_list.erase(found);
    }
    --m_count;
    if (m_dense && wantsList(m_count, slotCount))
        toList();
}

void SlotSet::erase(const Slot* first, const Slot* last, size_t slotCount)
{
    if (last - first == 1) {
        erase(*first, slotCount);
        return;
    }
    if (first == last || m_count == 0)
        return;
    if (m_dense) {
        for (const Slot* slot = first; slot != last; ++slot) {
            if (contains(*slot)) {
                m_bits[*slot / 64] &= ~(quint64(1) << (*slot % 64));
                --m_count;
            }
        }
        if (wantsList(m_count, slotCount))
            toList();
        return;
    }
    // What lies before the first slot stays; each stretch between two slots moves once.
    auto out = std::lower_bound(m_list.begin(), m_list.end(), *first);
    auto in = out;
    for (; first != last && in != m_list.end(); ++first) {
        const auto found = std::lower_bound(in, m_list.end(), *first);
        out = out == in ? found : std::move(in, found, out);
        in = found != m_list.end() && *found == *first ? found + 1 : found;
    }
    if (out != in)
        out = std::move(in, m_list.end(), out);
    else
        out = m_list.end();
    m_count -= size_t(m_list.end() - out);
    m_list.erase(out, m_list.end());
}

void SlotSet::prepare(size_t count, size_t slotCount)
{
    m_list.clear();
    m_bits.clear();
    m_count = 0;
    m_dense = wantsBits(count, slotCount);
    if (m_dense)
        m_bits.assign((slotCount + 63) / 64, 0);
    else
        m_list.reserve(count);
}

void SlotSet::append(Slot slot)
{
    if (m_dense) {
        if (size_t(slot) / 64 >= m_bits.size())
            m_bits.resize(size_t(slot) / 64 + 1, 0);
        m_bits[slot / 64] |= quint64(1) << (slot % 64);
    } else {
        m_list.push_back(slot);
    }
    ++m_count;
}

} // namespace vesk
