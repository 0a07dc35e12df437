#pragma once

#include "model/VeskItem.h"
#include "platform/Expected.h"
#include "store/DatabaseError.h"
#include "store/ItemsReading.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>

namespace vesk {

class SQLiteDatabase;
class SerialExecutor;

// What the faces-and-people area reaches of the rest of the library, given to it by the store:
// the items, the library file's connections and the store's own saving, searching and notices.
class FaceLibraryHost {
public:
    virtual ~FaceLibraryHost() = default;

    // The library's items in list order (newest first), and the position of one of them or -1.
    virtual const QList<VeskItem>& items() const = 0;
    // The same list for a worker, read in turns of its gate (see ItemsReading).
    virtual ItemsReading itemsReading() const = 0;
    virtual qsizetype indexOfItem(const QUuid& id) const = 0;
    // Saves an item that analysis added to, as work of the library's own rather than the user's
    // change; false when its row was not written.
    virtual bool updateItemFromWork(const VeskItem& item) = 0;

    // The main thread's connection; none when the library works in memory only.
    virtual SQLiteDatabase* database() const = 0;
    // True while the library was opened for reading only: nothing may be marked as analysed.
    virtual bool readOnly() const = 0;
    // True from start-up until the check of the library file has passed or failed; work given to
    // afterLibraryCheck runs once it has passed (at once when it is not pending) and is dropped
    // when it fails, ifDropped running in its place.
    virtual bool libraryCheckPending() const = 0;
    virtual void afterLibraryCheck(std::function<void()> work, std::function<void()> ifDropped) = 0;
    // Runs write on the background connection's worker, in order with the other rows it writes;
    // none when there is no background connection (the caller then writes on the main thread).
    virtual std::optional<QFuture<Expected<void, DatabaseError>>> writeInBackground(
        std::function<Expected<void, DatabaseError>(SQLiteDatabase&)> write) = 0;
    // The low-priority worker for work over the whole library after start-up.
    virtual SerialExecutor& libraryTasksWorker() = 0;

    // People's names are searchable: called when who is in which pool changed.
    virtual void refreshSearchAfterFaceChange() = 0;
    // Says in the failure notice that an action the library file refused did not happen.
    virtual void reportRefused(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error) = 0;
    // Raises (+1) or lowers (-1) the count of items being indexed; it never drops below zero.
    virtual void adjustIndexingCount(int delta) = 0;
};

} // namespace vesk
