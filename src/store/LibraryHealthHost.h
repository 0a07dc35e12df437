#pragma once

#include "model/VeskItem.h"

#include <QByteArray>
#include <QUuid>
#include <memory>
#include <optional>

namespace vesk {

class SQLiteDatabase;

// What the library's health reaches of the rest of the store, given to it by the store.
class LibraryHealthHost {
public:
    virtual ~LibraryHealthHost() = default;
    // The library's connection; none when the library has no file to write into.
    virtual SQLiteDatabase* database() const = 0;
    // The item as it is now, and its formatted body: what a retry or a row that waited writes.
    virtual std::optional<VeskItem> currentItem(const QUuid& id) const = 0;
    virtual std::optional<QByteArray> richText(const QUuid& id) const = 0;
    // True while a delete removes the item's row: a retry then waits (the row written would
    // outlive the delete; a delete the file refuses leaves the item to be retried).
    virtual bool rowBeingDeleted(const QUuid& id) const
    {
        (void)id;
        return false;
    }
    // The mark in the library folder that it has held items: a missing library file is then a
    // lost library, not a new one.
    virtual bool libraryHasHeldItems() const = 0;
    virtual void markLibraryHasHeldItems() = 0;
    // Damage was found in the library file: every connection that could write into it closes,
    // and the background work that would write stops.
    virtual void closeDamagedLibrary() = 0;
    // The user started a new, empty library over a lost one: it is the whole library from now on.
    virtual void adoptNewLibrary(std::unique_ptr<SQLiteDatabase> database) = 0;
};

} // namespace vesk
