#pragma once

#include "platform/Expected.h"
#include "store/RecoveryError.h"
#include "store/SQLiteDatabase.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace vesk {

// The user-defaults states a snapshot keeps beside the database: their exact bytes, or none when
// the defaults hold nothing under the key.
struct RecoveryState {
    std::optional<QByteArray> manualTags;
    std::optional<QByteArray> usageSignals;
};

// What "manifest.json" says about one snapshot.
struct RecoveryManifest {
    int version = 1;
    QDateTime createdAt;
    QString reason;
    int managedFileCount = 0;
    // Secrets stay in the system keyring; a snapshot never holds them.
    bool secureValuesIncluded = false;

    // Indented JSON with sorted keys; the date in UTC, whole seconds, ending in "Z".
    QByteArray toJson() const;
};

// The snapshots on disk, under "<data folder>/Recovery/Snapshots": taking one, listing, pruning.
// Each finished snapshot is a folder named by the UTC time it was started; one under
// construction is a hidden ".building-<UUID>" folder that only becomes a snapshot by its final
// rename, so no half-made snapshot ever carries a timestamp name. Not thread-safe: the snapshot
// worker is its only user.
class RecoverySnapshotFolder {
public:
    explicit RecoverySnapshotFolder(QString dataDirectory, int maximumSnapshotCount = 6,
                                    DatabaseBackupPacing pacing = {});

    QString snapshotsDirectory() const;
    QString liveDatabasePath() const;

    // "yyyy-MM-dd_HH-mm-ss-SSS" in UTC: fixed-width fields, so names sort in time order as text
    // whatever the machine's time zone did between two snapshots.
    static QString folderName(const QDateTime& startedAt);
    // None for a name of another form.
    static std::optional<QDateTime> dateOfFolderName(const QString& name);

    // Finished snapshot folder names, newest first; empty when the snapshots folder is missing.
    // Hidden entries, plain files and ".building-" folders are left out.
    Expected<QStringList, RecoveryError> listSnapshots() const;
    // The time in the newest folder's name; none when there is no snapshot or that name does not
    // parse (which counts as having none).
    Expected<std::optional<QDateTime>, RecoveryError> newestSnapshotDate() const;

    // Takes one snapshot started at startedAt: the database copy, the mirror of "Items", the
    // state list and the manifest, renamed into place, then prunes unless told not to (a caller
    // that is waited for prunes afterwards). Gives the snapshot's path, or none (and makes
    // nothing) when the library has no database file yet. On a failure before the rename the
    // building folder is removed and older snapshots stay; a failed prune is reported although
    // the new snapshot is complete.
    Expected<std::optional<QString>, RecoveryError> createSnapshot(const QString& reason, const QDateTime& startedAt,
                                                                   const RecoveryState& state,
                                                                   bool pruneNow = true) const;

    // Recreates the folder tree of source under destination: regular files hard-linked (copied
    // where linking fails, e.g. across file systems), symbolic links copied as links, hidden
    // entries and everything below them skipped. Gives the number of files and links placed;
    // 0 when source cannot be read at all.
    static Expected<int, RecoveryError> mirrorManagedItems(const QString& source, const QString& destination);
    // "Vesk-State.plist": a binary property list with "snapshotFormat" 1 and the states present.
    static Expected<void, RecoveryError> writeStatePlist(const QString& path, const RecoveryState& state);

    // Keeps the newest maximumSnapshotCount snapshots and removes the rest, ignoring removal
    // failures.
    Expected<void, RecoveryError> pruneSnapshots() const;

    // Removes the ".building-" folders that a process ending mid-snapshot left behind: hidden and
    // never listed, each as large as the library, they would otherwise pile up for good. Only a
    // folder in which nothing changed for minimumAgeSecs (by the file system's clock) goes, so a
    // snapshot still being written is never touched. Gives the paths removed.
    QStringList removeAbandonedBuildingFolders(qint64 minimumAgeSecs) const;

private:
    // Everything but the final rename, written into the building folder.
    Expected<void, RecoveryError> fillSnapshot(const QString& buildingPath, const QString& reason,
                                               const QDateTime& startedAt, const RecoveryState& state) const;

    QString m_dataDirectory;
    int m_maximumSnapshotCount;
    DatabaseBackupPacing m_pacing;
};

} // namespace vesk
