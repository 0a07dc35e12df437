#pragma once
// Internal to src/store/: files, folders and phone packages brought into the library as managed
// copies.

#include "intake/FileImportJob.h"
#include "intake/ItemsFolderSweep.h"
#include "model/VeskNotices.h"
#include "platform/BackgroundRelease.h"
#include "store/ItemsReading.h"

#include <QByteArray>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace vesk {

class ActivityIdentities;
class CloudInboxWatcher;
class FileImportWorker;
class FileIntakeHost;
class InboxWatcher;

// File imports run on the import worker, one after the other in the order they were asked for;
// their results are applied on the main thread one at a time, in the order they finished, each
// once the row of the one before is written. Note and activity packages become items of their own.
class FileIntake : public QObject {
    Q_OBJECT

public:
    explicit FileIntake(std::unique_ptr<FileIntakeHost> host, QObject* parent = nullptr);
    // Running imports are cancelled and waited for: a copy stops at its next chunk and removes
    // what it had written.
    ~FileIntake() override;

    FileIntake(const FileIntake&) = delete;
    FileIntake& operator=(const FileIntake&) = delete;

    // Brings one file or folder into the library as a managed copy. The copy, the duplicate and
    // version checks and the reading of the file run on the import worker, one import after the
    // other in the order they were asked for; the result is applied on the main thread. The future
    // gives true when the source may leave an inbox: imported and saved, or already kept (saved)
    // in the library. A failure is logged and said in the failure notice, which names the file,
    // or says subject when given (a temporary file the user never saw: "The copied picture").
    [[nodiscard]] QFuture<bool> importFile(const QString& path, const QString& subject = {});
    // The same for a path given as the file system's bytes (a name in another encoding).
    [[nodiscard]] QFuture<bool> importNativeFile(const QByteArray& nativePath);
    // Stops an import (by its new item's identifier, as importProgress() names it); a cancelled
    // import leaves nothing behind and its future gives false.
    void cancelImport(const QUuid& importID);
    void cancelAllImports();
    // The import over about 50 MB that is running, with how far it got; none otherwise.
    const std::optional<VeskImportProgress>& importProgress() const { return m_importProgress; }
    void setImportProgress(const std::optional<VeskImportProgress>& value);
    // Item folders of imports still running, which the sweep of "Items" leaves alone.
    QSet<QString> busyImportFolderNames() const;
    // What the imports under way bring in, by their sources' names, in the order they were asked
    // for (files before packages): what a quit that cannot wait for them says is lost.
    QStringList importsUnderWay() const;
    // The library's items changed: the list the next import compares with is made again.
    void noteItemsChanged() { ++m_itemsChanges; }
    // What is known of a kept file, forgotten when its item (or every item) is deleted.
    // Deleting items makes room: what failed to come in from the synced inbox is tried again.
    void forgetKeptFile(const QUuid& id)
    {
        if (m_fileFacts.remove(id))
            ++m_fileFactsChanges;
        retryFailedInboxEntries();
    }
    void forgetKeptFiles()
    {
        releaseInBackground(std::exchange(m_fileFacts, {}));
        ++m_fileFactsChanges;
        retryFailedInboxEntries();
    }
    void retryFailedInboxEntries();

    // The import of a note or activity package at path; none when path is no package. As with
    // importFile, the package is checked and copied on a worker and the future says whether the
    // package may leave an inbox.
    [[nodiscard]] std::optional<QFuture<bool>> importIfPackage(const QString& path);
    // One item for a note package (text and photos); true when made and saved, or already held.
    [[nodiscard]] QFuture<bool> importMobileNotePackage(const QString& package);
    // One activity item for an activity package (folder or lone manifest file); true when made and
    // saved, or already held.
    [[nodiscard]] QFuture<bool> importActivityPackage(const QString& package);
    // The ".veskactivity" extension, or a folder holding "activity.json".
    static bool isActivityPackage(const QString& path, bool isFolder);
    // Turns items kept as plain files whose managed copy is a valid package into package items
    // (the copies are read on a worker; storedPackagesRerouted follows).
    void rerouteStoredPackages();

    // Reroutes the stored packages, then (unless the host says not to) watches the local Inbox
    // and the synced phone inbox.
    void startInboxWatchers();
    // Imports what the local Inbox holds (oldest first) and removes each file once it is kept.
    void importInboxFiles(const QStringList& paths);
    // The same with the paths as the file system's bytes, as the Inbox's watcher lists them: a
    // name that is not UTF-8 is imported like any other.
    void importInboxNativeFiles(const QList<QByteArray>& nativePaths);
    // The same with each file's entryTreeStamp as the Inbox's watcher read it on its own thread,
    // which the import takes for what the file held before the copy.
    void importInboxNativeFiles(const QList<QByteArray>& nativePaths, const QList<QByteArray>& stamps);
    // The same for the synced phone inbox; files inside a package stand for the whole package.
    void importCloudInboxPackages(const QStringList& paths);
    // The same with each entry's entryTreeStamp as the synced inbox's watcher read it on its own
    // thread when it judged the entry ready, which the import takes for what it held before the
    // copy, and whether it was a package folder then, which routes it.
    void importCloudInboxPackages(const QStringList& paths, const QList<QByteArray>& stamps,
                                  const QList<bool>& folders = {});

    // Staging leftovers and folders no row names, in "Items/", after a complete load: unfinished
    // copies removed, folders no item refers to moved to "Recovered" (and said).
    void startItemsFolderSweep();
    // The sweep started last; finished at once when none ran.
    QFuture<ItemsFolderSweepReport> itemsFolderSweep() const { return m_itemsFolderSweep; }

signals:
    void importProgressChanged();
    // The pass over items kept as plain files that are packages has been applied.
    void storedPackagesRerouted();

private:
    struct RunningImport;

    // importNativeFile and importIfPackage, with the identifier that the new item, if the import
    // makes one, is given.
    // With isFolder, what its inbox's watcher found it to be: the path is not looked at here.
    QFuture<bool> importNativeFileAs(const QByteArray& nativePath, const QUuid& newItemID,
                                     const QString& subject = {}, std::optional<bool> isFolder = std::nullopt);
    std::optional<QFuture<bool>> importIfPackageAs(const QString& path, const QUuid& newItemID,
                                                   std::optional<bool> isFolder = std::nullopt);
    QFuture<bool> importMobileNotePackageAs(const QString& package, const QUuid& id);
    QFuture<bool> importActivityPackageAs(const QString& package, const QUuid& id);
    // One entry of an inbox: imported, and removed once it is kept, unless it changed while it was
    // copied; then the item made of it is taken back and the entry waits for the next scan.
    // With the stamp and kind its watcher read, the entry is not looked at on this thread.
    void importInboxEntry(const QByteArray& path, bool fromCloud, const std::optional<QByteArray>& stamp = std::nullopt,
                          std::optional<bool> isFolder = std::nullopt);
    // Its import, with what it held as it began (before, its entryTreeStamp).
    // True when package is an inbox entry whose stamp differs from the one it was handed over with.
    bool changedSinceHandedOver(const QString& package, const QByteArray& stamp) const;
    // Says that a package was gone when its import began, unless it is an inbox entry.
    QFuture<bool> packageGone(const QString& package);
    void importInboxEntryAsItWas(const QByteArray& path, bool fromCloud, const QByteArray& before,
                                 std::optional<bool> isFolder);
    void changeInboxImportCount(bool fromCloud, int delta);
    // Says that the entry at path cannot be imported as it stands, and why. With the stamp of
    // what it held then (entryTreeStamp), an inbox's later deliveries of it are passed over
    // until it differs.
    void reportRefusedEntry(const QString& path, const QString& reason, const QByteArray& stamp);
    // Says once that a synced entry whose item is kept could not be removed, and why; it is
    // passed over until something in it changes.
    void keepUnremovedEntry(const QByteArray& path, const QString& error, const QByteArray& stamp);
    // Says in the failure notice that the file or package at source was not imported, and why
    // (detail). An inbox offers an entry that failed again at every scan: what was said of it is
    // not said again while the entry holds what it held then and fails for the same reason, so
    // that one failure is counted once and a dismissed notice stays dismissed.
    void sayNotImported(const QString& source, const QString& detail);
    // A package whose managed copy could not be made, said as a file's is.
    void sayCopyFailed(const QString& package, const QString& reason);

    void finishFileImport();
    // An import's row is written by the capture worker before its item enters the list, and the
    // next finished import waits for that item (the same content dropped twice must find the
    // first copy kept): imports are applied one at a time, in the order they finished.
    QFuture<bool> applyFileImportInTurn(const std::shared_ptr<RunningImport>& job, const FileImportResult& result);
    void applyWaitingImports();
    void leaveRunningImports(const std::shared_ptr<RunningImport>& job);
    void applyFileImport(const std::shared_ptr<RunningImport>& job, const FileImportResult& result,
                         std::function<void(bool)> done);
    // The imported item into the list (written says whether the worker wrote its row); false
    // when the library refused it. Whether it is kept is for whenKept to say.
    bool commitImportedFile(const FileImportResult& result, const VeskItem& item, bool written);
    // Selects the kept item an import turned out to duplicate and says so (writing its row again
    // when it was not written).
    void keepAsDuplicate(const VeskItem& existing, const QString& source);
    // Whether source is an inbox entry whose item was kept but which could not be removed.
    bool isUnremovedInboxEntry(const QString& source) const
    {
        return m_unremovedInboxEntries.contains(QFile::encodeName(QDir::cleanPath(source)));
    }
    // Drops the copy just made of a package the library holds already and selects the item
    // holding it, unless an inbox delivered the package (source); gives whether that item is kept.
    QFuture<bool> keepHeldPackage(const VeskItem& held, const VeskItem& copy, const QString& source);
    // Gives true once the item is in the list with its row in the library file, false when it
    // will not be: at once, or once the check of the library file after start-up is over.
    QFuture<bool> whenKept(const QUuid& id);
    void updateImportProgress();
    // The items that hold a managed file, in list order: what an import compares its file with.
    // Handed to the import workers instead of the whole list, which the workers would otherwise
    // hold while they copy, so that each item the store adds meanwhile would copy all the others.
    // Only the three fields the comparison reads are taken: copying whole items of a large
    // library held up the drop that starts the import. Made again at the next import after the
    // items changed.
    // Each item's managed file, for workers that look at the disk item by item. They read these
    // few fields from the library's list in short turns of its gate rather than from a copy: a
    // copy held while a worker waits its turn would make the store's next change copy the whole
    // list on the main thread. In list order; none once the list is gone. The walk covers the
    // items there when it was asked for, each as it is at its turn; should the list be replaced
    // meanwhile (an item deleted, the list sorted), what was read of it is dropped and the new
    // list is read whole: each file the library holds then is named once, and none of an item
    // gone meanwhile (whose folder went with it) keeps a leftover folder claimed.
    struct HeldFile {
        QUuid id;
        VeskKind kind = VeskKind::File;
        QString path;
    };
    static std::optional<QList<HeldFile>> heldFiles(ItemsWalk walk);

    std::unique_ptr<FileIntakeHost> m_hostHeld;
    FileIntakeHost& m_host;
    bool m_importRowInFlight = false;
    QList<std::function<void()>> m_importsWaitingForRow;
    // Size and SHA-256 of managed files by item, as far as known: filled by imports, never by a
    // look at every file.
    QHash<QUuid, KeptFileFacts> m_fileFacts;
    // Counts the changes of m_fileFacts: an import that began at the count still standing hands
    // back a table to be taken as it is.
    quint64 m_fileFactsChanges = 0;
    // Files kept by imports while others ran, with the count their keeping made: what an import
    // that began before may find its own content in.
    struct KeptByImport {
        quint64 change = 0;
        QUuid id;
        KeptFileFacts facts;
    };
    QList<KeptByImport> m_keptByImports;
    // The library's files as the last import that read them found them, and the count of item
    // changes they stand for (none at first).
    QList<KeptFile> m_keptFiles;
    quint64 m_itemsChanges = 1;
    quint64 m_keptFilesAt = 0;
    QList<std::shared_ptr<RunningImport>> m_runningImports;
    std::shared_ptr<FileImportWorker> m_importWorker;
    QTimer* m_importProgressTimer = nullptr;
    std::optional<VeskImportProgress> m_importProgress;
    // Package imports still copying (their item folders are busy).
    QSet<QUuid> m_packageImportIDs;
    // Package imports under way, by their new items' identifiers, with their sources' names.
    QList<std::pair<QUuid, QString>> m_packageImportNames;
    // What each activity item's own package names as its activity, read once per item.
    std::shared_ptr<ActivityIdentities> m_activityIdentities;
    // Both are children of this object.
    InboxWatcher* m_inboxWatcher = nullptr;
    CloudInboxWatcher* m_cloudInboxWatcher = nullptr;
    // Inbox entries on their way, by their paths' bytes, with the stamp of what each held as its
    // import began.
    QHash<QByteArray, QByteArray> m_inboxPathsInFlight;
    // Inbox entries whose failure was said: the stamp of what each held then, and what was said.
    struct SaidFailure {
        QByteArray stamp;
        QString detail;
        friend bool operator==(const SaidFailure&, const SaidFailure&) = default;
    };
    QHash<QByteArray, SaidFailure> m_saidFailures;
    // Entries refused for what they held, with its stamp, by their paths' bytes.
    QHash<QByteArray, QByteArray> m_refusedEntries;
    // Inbox entries kept as items that could not be removed from their inbox.
    QSet<QByteArray> m_unremovedInboxEntries;
    QFuture<ItemsFolderSweepReport> m_itemsFolderSweep = QtFuture::makeReadyFuture(ItemsFolderSweepReport{});
};

} // namespace vesk
