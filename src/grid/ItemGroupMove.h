#pragma once

#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

class VeskStore;

// Moves an item into a group (none: out of every group) and posts the "Moved" notice naming the
// target. The store's current copy is moved, so nothing saved since a menu or prompt opened is
// written back over; an item deleted meanwhile is not moved and no notice claims it was.
void moveItemToGroup(VeskStore& store, const QUuid& itemID, const std::optional<QUuid>& groupID,
                     const QString& targetName);

} // namespace vesk
