#pragma once

#include "timeline/VeskTimelineEdits.h"
#include "timeline/VeskTimelinePhoto.h"

#include <QList>

namespace vesk {

// What a person's timeline shows, from its chronological photos and the person's edits: the
// photos not taken out, then the pasted copies of visible photos; with a stored order, arranged
// entries first in that order and the rest behind them chronologically (a copy not yet placed
// next to its item's other unplaced appearances). An order that names an entry twice places it
// at its first position.
QList<VeskTimelinePhoto> arrangeTimeline(const QList<VeskTimelinePhoto>& basePhotos, const VeskTimelineEdits& edits);

// How many of the person's current photos the edits take out.
int removedPhotoCount(const QList<VeskTimelinePhoto>& basePhotos, const VeskTimelineEdits& edits);

// The identities of entries, in their order.
QList<QUuid> timelineIdentities(const QList<VeskTimelinePhoto>& photos);

} // namespace vesk
