#pragma once

#include "timeline/PersonTimelineModel.h"

#include <QList>
#include <memory>

class QWidget;

namespace vesk {

class VeskPersonTimelineView;
class VeskStore;
class VeskTimelineMediaCache;

// The named people of the library with faces, sorted by name (case-insensitively, in the user's
// language; equal names keep the older pool first).
QList<TimelinePerson> timelinePersons(const VeskStore& store);

// The person timeline sheet over the library: its people, their photographs and the user
// defaults; it redraws when items or faces change.
VeskPersonTimelineView* makePersonTimelineView(VeskStore& store, std::shared_ptr<VeskTimelineMediaCache> media,
                                               QWidget* parent);

} // namespace vesk
