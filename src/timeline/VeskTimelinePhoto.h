#pragma once

#include "model/VeskItem.h"

#include <QDateTime>
#include <QList>
#include <QUuid>
#include <functional>
#include <optional>

namespace vesk {

// One entry of a person's timeline and of the photo book: an item, and for an extra copy the
// user pasted into the timeline, the copy's own identifier.
struct VeskTimelinePhoto {
    VeskItem item;
    std::optional<QUuid> occurrenceID;

    // What the timeline's order and edits name: a copy's identifier, else the item's.
    QUuid identity() const { return occurrenceID.value_or(item.id); }

    friend bool operator==(const VeskTimelinePhoto&, const VeskTimelinePhoto&) = default;
};

// The date a photo was taken, or none; the timeline passes the media cache's memoised lookup.
using PhotoDateLookup = std::function<std::optional<QDateTime>(const VeskItem&)>;

// Whether a goes before b: dated photos first, oldest first, equal dates by import time; undated
// ones after them by import time.
bool isChronologicallyBefore(const VeskItem& a, const std::optional<QDateTime>& dateA, const VeskItem& b,
                             const std::optional<QDateTime>& dateB);

// Sorts oldest first with the rule above; entries the rule holds equal keep their order. Each
// photo's date is asked once.
void sortChronologically(QList<VeskTimelinePhoto>& photos, const PhotoDateLookup& photoDate);

// Items as timeline entries without copies, in the given order.
QList<VeskTimelinePhoto> timelinePhotos(const QList<VeskItem>& items);

} // namespace vesk
