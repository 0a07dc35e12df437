#pragma once

#include "model/VeskItem.h"
#include "platform/ReadGate.h"

#include <QList>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

// The library's list as a worker reads it, without a copy of its own: a copy that outlived the
// main thread's turn would make the next item put at the front copy the whole library. The list
// is read only inside turns of the gate, during which the main thread changes nothing of it.
struct ItemsReading {
    std::shared_ptr<ReadGate> gate;
    const QList<VeskItem>* items = nullptr;
    // Changes whenever the list is replaced whole (an item taken out, the list sorted or read
    // anew); putting an item at the front or changing one in place leaves it as it is.
    const quint64* replacements = nullptr;
    // Changes with every change of the list: an item put at the front, changed or taken out, or
    // the list replaced. Read in a turn of the gate.
    const quint64* changes = nullptr;
};

// Reads the list from its last item to its first, a few items per turn of the gate, so that the
// main thread waits at most one short turn to change it. Counting from the end, a position stays
// the same while new items come in at the front: those are not visited, as they came after the
// walk was asked for. A list replaced whole meanwhile is walked again from its end, as it is then.
class ItemsWalk {
public:
    // Made on the main thread (or in a turn of the gate), when the walk is asked for: it covers the
    // items the list holds now, as a copy of the list taken now would.
    explicit ItemsWalk(ItemsReading reading)
        : m_reading(std::move(reading)), m_length(m_reading.items->size()), m_replacements(*m_reading.replacements)
    {
    }

    enum class Turn {
        More,      // visited up to count items; more are left
        Restarted, // the list was replaced whole: nothing was visited, the next turn starts anew
        Done,      // every item was visited
        Closed,    // the gate is closed: the list may be gone
    };
    Turn next(qsizetype count, const std::function<void(const VeskItem&)>& visit);

    // Walks every item, count per turn, and gives what pick(item, picked) appended to picked, in
    // list order: a list of the walker's own, which holds no share of the library's. None when
    // the gate closed first. What was picked from a list replaced meanwhile is dropped with it.
    template <typename T, typename Pick>
    std::optional<QList<T>> gather(qsizetype count, Pick pick)
    {
        QList<T> picked;
        for (;;) {
            const Turn turn = next(count, [&](const VeskItem& item) { pick(item, picked); });
            if (turn == Turn::Closed)
                return std::nullopt;
            if (turn == Turn::Restarted)
                picked.clear();
            if (turn == Turn::Done)
                break;
        }
        // Walked from the end: back in list order.
        std::reverse(picked.begin(), picked.end());
        return picked;
    }

private:
    ItemsReading m_reading;
    // The items the walk covers (those of the last replacement), and those visited of them.
    qsizetype m_length = 0;
    qsizetype m_fromEnd = 0;
    quint64 m_replacements = 0;
};

} // namespace vesk
