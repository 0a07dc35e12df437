#pragma once

#include "model/VeskItem.h"

#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

// What an area object may do with the library's items, given to it by the store: read an item as
// it is now, and add or replace one through the store's own saving, which publishes, searches and
// embeds it.
class ItemAccess {
public:
    virtual ~ItemAccess() = default;
    // The item with this identifier as it is now; none when it is not in the library.
    virtual std::optional<VeskItem> currentItem(const QUuid& id) const = 0;
    // True (said in the failure notice, naming title) while the library cannot take new items.
    virtual bool refuseNewItem(const QString& title) = 0;
    // Puts a new item at the front and saves it; false when its row was not written.
    virtual bool commitNewItem(const VeskItem& item) = 0;
    // Replaces the item with the same identifier and saves it; false when it is gone or its row
    // was not written.
    virtual bool updateItem(const VeskItem& item) = 0;
};

} // namespace vesk
