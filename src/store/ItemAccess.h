#pragma once

#include "model/VeskItem.h"
#include "model/VeskNotices.h"
#include "platform/Expected.h"
#include "store/RowWait.h"

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
    // True (said in the failure notice, naming the item) while the library takes no changes.
    virtual bool refuseChange(const VeskItem& item) = 0;
    // Why the library takes no new items now, in plain words ("the disk is read-only"); none
    // while it takes them.
    virtual std::optional<QString> newItemRefusal() const = 0;
    // Puts a new item at the front and saves it. When its row was not written, why, in plain words
    // ("the disk is full", or why the library takes no new items); no words while the row only
    // waits for the check of the library file (rowWaitsForLibraryCheck).
    virtual Expected<void, QString> commitNewItem(const VeskItem& item) = 0;
    // Replaces the item with the same identifier and saves it; false when it is gone or its row
    // was not written.
    virtual bool updateItem(const VeskItem& item) = 0;
    // The item this one was made from (an edited picture, a video moment), or the item itself
    // when it has none or its source is gone.
    virtual VeskItem sourceItem(const VeskItem& item) const = 0;
    // Makes the item the single selection and the focused item.
    virtual void select(const QUuid& id) = 0;
    // Publishes the notice that announces a new item once its row is written, waiting as wait
    // says; never when it is not.
    virtual void announceWhenRowWritten(const QUuid& id, RowWait wait, const VeskIntakeNotice& notice) = 0;
    // Says in the failure notice that something the user asked for did not happen, and why.
    virtual void reportFailure(const QString& title, const QString& detail) = 0;
    // True while the new item's row waits for the check of the library file (it is written
    // once the file has passed): not kept yet, and no failure either.
    virtual bool rowWaitsForLibraryCheck(const QUuid& id) const = 0;
};

} // namespace vesk
