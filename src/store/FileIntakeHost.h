#pragma once
// Internal to src/store/: what file intake needs of the library it adds to.

#include "model/VeskItem.h"
#include "model/VeskNotices.h"
#include "store/RowWait.h"
#include "store/ItemsReading.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class CaptureRowWriter;
class SerialExecutor;

class FileIntakeHost {
public:
    virtual ~FileIntakeHost() = default;

    virtual QDateTime now() const = 0;
    // The library folder, which holds "Inbox", "Items" and "Recovered".
    virtual QString dataDirectory() const = 0;
    // False where nothing may be taken in from the inboxes by itself (tests, tools).
    virtual bool watchesInboxes() const = 0;
    // True once start-up has read the whole library into a database that can be used: only then
    // does the list say which item folders are unclaimed.
    virtual bool libraryReadWhole() const = 0;
    // The library's items as they are now, in list order.
    virtual const QList<VeskItem>& items() const = 0;
    // The same list for a worker, read in turns of its gate.
    virtual ItemsReading itemsReading() const = 0;
    // The item with this identifier as it is now; none when it is not in the library.
    virtual std::optional<VeskItem> currentItem(const QUuid& id) const = 0;
    // "Items" in the library folder, where every managed copy has a folder of its own.
    virtual QString managedItemsDirectory() const = 0;
    // Why the library takes no changes now (read-only, or a destructive change waits for its
    // snapshot); none while it takes them.
    virtual std::optional<QString> whyChangesAreRefused() const = 0;
    // True while the library cannot be read: nothing new is taken in.
    virtual bool libraryHasProblem() const = 0;
    // subject: what failed (a source's path), counted once in the notice however often it fails.
    virtual void reportFailure(const QString& title, const QString& detail, const QString& subject) = 0;
    // Raised by every clear of the library: a row written before a clear is gone from the file.
    virtual int libraryClears() const = 0;
    // The thread that writes the rows of new items, in the order given, and its connection (none
    // while the library cannot take writes from it).
    virtual SerialExecutor& captureWorker() = 0;
    virtual std::shared_ptr<CaptureRowWriter> backgroundWriter() = 0;
    // The background thread for work over the whole library.
    virtual SerialExecutor& libraryTasksWorker() = 0;
    // Puts the new item at the front and saves it (unless alreadyWritten); false when its row was
    // not written or the item was refused.
    virtual bool commitNewItem(const VeskItem& item, bool alreadyWritten) = 0;
    // Replaces the item as work found it; false when it is gone or its row was not written.
    virtual bool updateItemFromWork(const VeskItem& item) = 0;
    // Hears whether the new item's row is in the library file, waiting as wait says.
    virtual void whenRowWritten(const QUuid& id, RowWait wait, std::function<void(bool)> heard) = 0;
    // Writes the item again when its latest value is not in the library file.
    virtual void saveIfUnsaved(const VeskItem& item) = 0;
    // Deletes the item's own folder inside "Items".
    virtual void removeManagedFile(const VeskItem& item) = 0;
    // Takes back an item just made of a source that changed while it was copied: its row, its
    // managed copy, its notice and what the library knows of it go, with no snapshot. False when
    // its row could not be deleted: the item then stays as it is.
    virtual bool withdrawNewItem(const QUuid& id) = 0;
    // Makes the kept item the single selection and the focused item; recordUse counts it as opened.
    virtual void selectKept(const QUuid& id, bool recordUse) = 0;
    virtual void postNotice(const VeskIntakeNotice& notice) = 0;
    // Posts the notice once whenRowWritten hears the row written; never when it is not.
    virtual void announceWhenRowWritten(const QUuid& id, RowWait wait, const VeskIntakeNotice& notice) = 0;
    // The thumbnail and analysis of a newly imported picture.
    virtual void startImageTasks(const VeskItem& item) = 0;
    // The published counts of imports running, from anywhere, from the Inbox and from the cloud
    // inbox, raised or lowered by one (never below zero).
    virtual void changeImportCount(int delta) = 0;
    virtual void changeInboxImportCount(int delta) = 0;
    virtual void changeCloudImportCount(int delta) = 0;
};

} // namespace vesk
