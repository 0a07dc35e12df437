#include "store/ItemsReading.h"

#include <algorithm>

namespace vesk {

ItemsWalk::Turn ItemsWalk::next(qsizetype count, const std::function<void(const VeskItem&)>& visit)
{
    Turn turn = Turn::Done;
    const bool read = m_reading.gate->readTurn([&] {
        const QList<VeskItem>& items = *m_reading.items;
        const quint64 replacements = *m_reading.replacements;
        if (m_replacements != replacements) {
            m_replacements = replacements;
            m_length = items.size();
            m_fromEnd = 0;
            turn = Turn::Restarted;
            return;
        }
        // The items the walk covers lie at the end, past those put at the front since.
        const qsizetype end = items.size() - m_fromEnd;
        const qsizetype begin = std::max(end - count, items.size() - m_length);
        for (qsizetype i = end - 1; i >= begin; --i)
            visit(items.at(i));
        m_fromEnd += end - begin;
        turn = m_fromEnd < m_length ? Turn::More : Turn::Done;
    });
    return read ? turn : Turn::Closed;
}

} // namespace vesk
