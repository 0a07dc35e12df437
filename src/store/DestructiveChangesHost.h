#pragma once

#include "model/VeskItem.h"
#include "store/SQLiteDatabase.h"

#include <QFuture>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

namespace vesk {

// What a destructive change reaches of the store: the library as it is now, the library file,
// the failure notice, and the forgetting, in every area, of what the change removed from the file.
class DestructiveChangesHost {
public:
    virtual ~DestructiveChangesHost() = default;
    virtual const QList<VeskItem>& items() const = 0;
    // The items with these identifiers, in list order.
    virtual QList<VeskItem> itemsWithIDs(const QSet<QUuid>& ids) const
    {
        QList<VeskItem> found;
        for (const VeskItem& item : items()) {
            if (ids.contains(item.id))
                found.append(item);
        }
        return found;
    }
    virtual const QSet<QUuid>& selectedIDs() const = 0;
    // None without a database: a change then happens in memory only.
    virtual SQLiteDatabase* database() = 0;
    // What a change of the library file gives when made on the worker that writes beside the main
    // connection: its result, or none when that worker's connection could not be opened.
    using BackgroundFileChange = QFuture<std::optional<SQLiteDatabase::VoidResult>>;
    // Makes the change on that worker, after what it was asked to write before; none when the
    // library cannot take writes in the background now (the main connection then makes it).
    virtual std::optional<BackgroundFileChange> changeFileInBackground(
        const std::function<SQLiteDatabase::VoidResult(SQLiteDatabase&)>& change)
    {
        (void)change;
        return std::nullopt;
    }
    // True, having said why, while the library takes no changes.
    virtual bool refuse(const QString& title, const QString& whatDidNotHappen) = 0;
    // Says that the library file refused the change, and why.
    virtual void reportRefused(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error) = 0;
    // Deletes the item's own folder inside "Items", never anything else.
    virtual void removeManagedFile(const VeskItem& item) = 0;
    // The items' rows are gone: they leave the list, the selection and the state of every area.
    virtual void forgetItems(const QSet<QUuid>& ids) = 0;
    // The group's row is gone and its members were written without it: they leave it in memory,
    // and search follows.
    virtual void releaseGroupMembers(const QUuid& groupID) = 0;
    // Every row is gone: the list, the groups, the selection, search and every area are emptied.
    virtual void forgetLibrary() = 0;
};

} // namespace vesk
