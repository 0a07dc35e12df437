#pragma once

#include "model/VeskItem.h"

#include <QString>
#include <QUuid>
#include <optional>

namespace vesk {

class SQLiteDatabase;
struct DatabaseError;

// What the rich-text bodies reach of the rest of the library, given to them by the store.
class RichTextHost {
public:
    virtual ~RichTextHost() = default;
    // The item with this identifier as it is now; none when it is not in the library.
    virtual std::optional<VeskItem> currentItem(const QUuid& id) const = 0;
    // The library's connection; none when the library has no file to write into.
    virtual SQLiteDatabase* database() const = 0;
    // True while the item's row waits for the check of the library file: the row is written, as
    // it is then, once the file has passed.
    virtual bool rowWaitsForLibraryCheck(const QUuid& id) const = 0;
    // Takes a changed item whose row is written into the list, search and embeddings.
    virtual void adoptSavedItem(const VeskItem& item) = 0;
    // Says in the failure notice that something the user asked for did not happen.
    virtual void reportFailure(const QString& title, const QString& detail) = 0;
    // Why the library file refused a write, in plain words ("the disk is read-only").
    virtual QString refusalReason(const DatabaseError& error) const = 0;
};

} // namespace vesk
