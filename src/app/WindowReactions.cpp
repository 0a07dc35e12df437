#include "app/WindowReactions.h"

namespace vesk {

NewItemsOutcome noteNewItems(const QSet<QUuid>& knownItemIDs, const QList<VeskItem>& items)
{
    NewItemsOutcome outcome;
    outcome.knownItemIDs.reserve(items.size());
    const VeskItem* chosen = nullptr;
    for (const VeskItem& item : items) {
        outcome.knownItemIDs.insert(item.id);
        if (knownItemIDs.contains(item.id))
            continue;
        // Strictly later only, so among equal dates the first in list order wins.
        if (!chosen || chosen->createdAt < item.createdAt)
            chosen = &item;
    }
    if (chosen)
        outcome.pulseID = chosen->id;
    return outcome;
}

int bringBackNoticeDelayMs(VeskBringBackNoticeKind kind, const WindowTimings& timings)
{
    return kind == VeskBringBackNoticeKind::Returned ? timings.returnedBringBackNoticeMs
                                                     : timings.bringBackNoticeMs;
}

} // namespace vesk
