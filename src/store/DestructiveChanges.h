#pragma once

#include "platform/Expected.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>
#include <memory>

namespace vesk {

class DestructiveChangesHost;
class LibraryGroups;
class SQLiteDatabase;
struct DatabaseError;
class RecoverySnapshotService;
class SecretStore;
class ThumbnailProvider;
struct VeskItem;

// The changes that remove what cannot be made again: deleting items, clearing the library and
// deleting a group. Each takes a recovery snapshot first and changes the library only once it is
// finished or has failed (a failed snapshot is logged by the snapshots and never stops the change);
// meanwhile running() is true and the window goes on, while the store refuses further deletes,
// clears, edits and captures with a notice. The library file is changed before memory:
// a delete the file refuses changes nothing, since its rows would bring the items back at the next
// start. The rows of a delete or a clear are deleted by the worker that writes beside the main
// connection (a long note's pages, or a whole library, take a while to free, and the commit waits
// for the disk), the change still running meanwhile; the items leave memory once that is done.
// A change still waiting when this object goes is dropped with it (rows a worker deleted stay
// deleted; the managed folder's sweep takes the files they leave).
class DestructiveChanges : public QObject {
    Q_OBJECT

public:
    DestructiveChanges(std::shared_ptr<RecoverySnapshotService> snapshots, std::shared_ptr<SecretStore> secrets,
                       std::shared_ptr<ThumbnailProvider> thumbnails, LibraryGroups& groups,
                       DestructiveChangesHost& host, QObject* parent = nullptr);

    // True from a delete, clear or group delete until it is done.
    bool running() const { return m_running; }
    // Runs work as if no change were waiting (what analysis or reading found is not the user's
    // change: an item a waiting delete removes goes after it); its answer.
    bool outsideRunningChange(const std::function<bool()>& work);
    // True while the worker deletes the item's row: a write of it now would bring it back once
    // the delete is done, so none is made.
    bool rowBeingDeleted(const QUuid& id) const
    {
        return m_changingFile && (m_clearing || m_deleting.contains(id));
    }

    // Removes the selected items for good: rows, managed files, keyring entries, thumbnails and
    // every per-item state. The items selected when it is asked are the ones deleted, whatever is
    // selected once the snapshot is done.
    void deleteItems();
    // The same for the whole library, groups included.
    void clearLibrary();
    // The group's items stay in the library without a group. True when the group was deleted and
    // every item that lost it was saved again, or, while the delete waits for its snapshot, when it
    // was taken on (a refusal then comes as a notice). False for a group that is not there.
    bool deleteGroup(const QUuid& id);
    // Removes an item's managed file, keyring entry and thumbnail.
    void removeItemTraces(const VeskItem& item);

signals:
    void runningChanged();

private:
    // Takes the snapshot, then makes the change: at once when the snapshot service has it already,
    // otherwise once it is finished or has failed. The change's own answer when it ran at once,
    // true when it waits.
    bool afterSnapshot(const QString& reason, std::function<bool()> change);
    void setRunning(bool value);
    // Makes the change to the library file, then hands its failure (none when it was made, or
    // when there is no database) to `after` on this thread.
    void changeFile(std::function<Expected<void, DatabaseError>(SQLiteDatabase&)> change,
                    std::function<void(const std::optional<DatabaseError>&)> after);
    void deleteItemsNow(const QSet<QUuid>& selection);
    void forgetDeletedItems(const QSet<QUuid>& selection, const std::optional<DatabaseError>& failure);
    void clearLibraryNow();
    void forgetLibrary(const std::optional<DatabaseError>& failure);
    bool deleteGroupNow(const QUuid& id, const QString& name);

    std::shared_ptr<RecoverySnapshotService> m_snapshots;
    std::shared_ptr<SecretStore> m_secrets;
    std::shared_ptr<ThumbnailProvider> m_thumbnails;
    LibraryGroups& m_groups;
    DestructiveChangesHost& m_host;
    bool m_running = false;
    // A change's rows are being deleted by the worker: the change runs on after its snapshot.
    bool m_changingFile = false;
    // The rows the worker deletes: these items', or every one.
    QSet<QUuid> m_deleting;
    bool m_clearing = false;
};

} // namespace vesk
