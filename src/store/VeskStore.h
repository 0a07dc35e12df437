#pragma once

#include "intake/ItemsFolderSweep.h"
#include "platform/CancellationToken.h"
#include "model/VeskLibraryProblem.h"
#include "model/VeskFaceRecords.h"
#include "model/VeskFilenameCleanupCandidate.h"
#include "model/VeskItem.h"
#include "model/VeskNotices.h"
#include "platform/Expected.h"
#include "search/BringBackDates.h"
#include "search/ManualTags.h"
#include "search/UsageSignals.h"
#include "search/SemanticVectors.h"
#include "store/DatabaseError.h"
#include "store/VeskServices.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace vesk {

class BringBackSchedule;
class CaptureQueue;
class FileIntake;
class EditedVersions;
class SecureItems;
class DestructiveChanges;
class LibraryHealth;
class RichTextBodies;
class FaceLibrary;
class LibraryGroups;
class LibraryItems;
class LibrarySelection;
class PendingDelay;
class SQLiteDatabase;
class LibrarySearch;
class SerialExecutor;
struct DatabaseError;
class SearchIndex;
struct LibraryReading;
struct EmbeddingReading;
class LibraryStartup;

// The one library store that the views use. It lives on the main thread; every operation runs
// there. It is a facade over area objects, each with its own header, state and tests, cut by what
// changes together:
//   - library: items, groups (LibraryGroups), selection (LibrarySelection), saving, deletes
//     (DestructiveChanges), start-up's reading (LibraryStartup) and the library file's health
//     (VeskStore*.cpp, StoreGroups, StoreDeletion; the health in LibraryHealth);
//   - intake: file imports, phone packages, the inboxes and the sweep of "Items" (FileIntake),
//     and the captures with their queue (CaptureQueue);
//   - search: the index, the lexical and deep passes, usage, tags, related items, embeddings
//     (LibrarySearch, reached through StoreSearch) and Bring Back (BringBackSchedule);
//   - faces and people: analysis, backfill, previews, person pools and decisions (FaceLibrary);
//   - secure items (StoreSecure);
//   - media and edited versions: rich-text bodies, edited pictures, video moments (RichTextBodies,
//     StoreImageEdits, StoreVideoMoments).
// An area object holds the state and logic of its area and reaches the rest only through what the
// facade gives it: the database gateway, the services and a few narrow interfaces. The facade
// forwards the operations and publishes the areas' state under its own getters and signals; its
// header names the areas only by forward declaration, so a change inside an area recompiles that
// area, not the application. Areas still written as parts of this class are marked blocks below.
class VeskStore : public QObject {
    Q_OBJECT

public:
    // Start-up: database, launch snapshot, the newest items as the first list, search pipelines.
    // The rest of the library is read, and its search index built, on workers; the store takes
    // them as they arrive, then starts its tasks, watchers and face backfill. A library that has
    // nothing to read in the background (none, empty, or still a legacy archive) loads at once.
    explicit VeskStore(VeskServices services, QObject* parent = nullptr);
    ~VeskStore() override;

    VeskStore(const VeskStore&) = delete;
    VeskStore& operator=(const VeskStore&) = delete;

    // --- Published state: getter, setter that ignores an equal value, ...Changed signal ---

    // items() and filteredItems() change only through the store's operations.
    const QList<VeskItem>& items() const;
    const QList<VeskGroup>& groups() const;
    void setGroups(const QList<VeskGroup>& value);
    const QString& searchText() const;
    void setSearchText(const QString& value);
    const QList<VeskItem>& filteredItems() const;
    const std::optional<QUuid>& selectedID() const;
    void setSelectedID(const std::optional<QUuid>& value);
    const QSet<QUuid>& selectedIDs() const;
    void setSelectedIDs(const QSet<QUuid>& value);
    int importCountInProgress() const;
    void setImportCountInProgress(int value);
    int indexingCount() const;
    void setIndexingCount(int value);
    int inboxImportCount() const;
    void setInboxImportCount(int value);
    int cloudImportCount() const;
    void setCloudImportCount(int value);
    const QHash<QUuid, QByteArray>& richTextByID() const;
    void setRichTextByID(const QHash<QUuid, QByteArray>& value);
    const std::optional<VeskIntakeNotice>& intakeNotice() const;
    void setIntakeNotice(const std::optional<VeskIntakeNotice>& value);
    const QHash<QUuid, QString>& retrievalHints() const;
    void setRetrievalHints(const QHash<QUuid, QString>& value);
    const QHash<QUuid, QDateTime>& bringBackDates() const;
    void setBringBackDates(const QHash<QUuid, QDateTime>& value);
    const QSet<QUuid>& broughtBackIDs() const;
    void setBroughtBackIDs(const QSet<QUuid>& value);
    const std::optional<VeskBringBackNotice>& bringBackNotice() const;
    void setBringBackNotice(const std::optional<VeskBringBackNotice>& value);
    int faceDataRevision() const;
    void setFaceDataRevision(int value);
    // False while the library is still being read and its search prepared at start-up; a
    // search typed meanwhile is answered once it turns true.
    bool searchReady() const;

    // --- Keys of the user-defaults states ---

    static inline const QString bringBackDefaultsKey = bringBackDatesKey;
    static inline const QString usageDefaultsKey = usageSignalsKey;
    static inline const QString manualTagsDefaultsKey = manualTagsKey;

    // --- Core ---

    const VeskServices& services() const { return m_services; }
    // True only when start-up read the whole stored library into items(). While it is still
    // reading, after a failed read, or without a database, items() is not the library: nothing
    // may be pruned or deleted because an item seems to be missing from it.
    bool itemsLoaded() const;
    // The newest items that start-up shows while it reads the rest.
    static constexpr int firstPageSize = 240;
    // Position of the first item with this identifier in items(), or -1.
    qsizetype indexOfItem(const QUuid& id) const;

    // Newest createdAt first; equal dates keep their order.
    static void sortItems(QList<VeskItem>& items);
    // Waits for the start-up workers; for tests and tools that need the whole library at once.
    void waitForStartup();
    bool startupIsFinished() const;
    // Reading the rest of the library takes the cores that the window's first frame needs: a
    // window holds that reading until its first frame is drawn. A hold ends by itself after a
    // second, so a window that is never drawn cannot keep the library unread.
    void holdStartupReading();
    void releaseStartupReading();

    // The face data held in memory: see FaceLibrary.h.
    const QList<VeskFaceRecord>& faceRecordsCache() const;
    const QList<VeskFaceClusterRecord>& faceClustersCache() const;
    const QList<VeskFaceRejectionRecord>& faceRejectionsCache() const;
    const QSet<QUuid>& ignoredFaceIDsCache() const;

    // --- Saving and updating items ---

    // Writes the row; a success (or having no database) notes a change to the recovery snapshots.
    // True only when the row was written: false after a failed write and without a database. A
    // failure is logged, said in the failure notice, and the item is marked unsaved until a
    // retry writes it.
    [[nodiscard]] bool saveItemToDatabase(const VeskItem& item);
    // Replaces the item with the same id, saves it, refreshes search and re-embeds it. An id that
    // is not in items() does nothing (false). False too when the row was not written.
    [[nodiscard]] bool updateItem(const VeskItem& item);
    // updateItem without the save, for a row the caller has written already.
    void adoptSavedItem(const VeskItem& item);
    // Moves the item into a group (none: out of every group) and says "Moved" with its title, an
    // arrow and targetName. False, with no notice, for an item no longer in items() or a move that
    // was not written.
    bool moveItemToGroup(const QUuid& itemID, const std::optional<QUuid>& groupID, const QString& targetName);
    // Gives the item the trimmed title. A blank title or an item no longer in items() changes
    // nothing; false then, and when the row was not written.
    bool renameItem(const QUuid& id, const QString& title);
    // A transient notice about something done for the user outside an intake (a copy made, a
    // capture started), pointing at relatedID when given.
    void postCapturedNotice(const QString& title, const std::optional<QString>& detail,
                            const std::optional<QUuid>& relatedID = std::nullopt);
    // Take the intake or Bring Back notice away when it is still the one with this identifier: a
    // newer notice keeps its own full time.
    void clearIntakeNotice(const QUuid& noticeID);
    void clearBringBackNotice(const QUuid& noticeID);
    // Deletes the item's own folder inside "Items", never anything else.
    void removeManagedFile(const VeskItem& item);

    // --- Paths of the library folder ---

    QString legacyArchiveURL() const;
    QString migratedArchivePath() const;
    QString managedItemsDirectory() const;
    // Moves the legacy archive aside to "vesks-migrated.json", replacing an older one.
    void migrateLegacyArchive();

    // Selection operations: see LibrarySelection.h (select, toggle, extend, selectItems).
    void select(const QUuid& id);
    void toggleSelection(const QUuid& id);
    void extendSelection(const QUuid& id, const QList<VeskItem>& visible);
    void selectItems(const QList<VeskItem>& items);
    // End of selection operations

    std::optional<QByteArray> richText(const QUuid& id) const;
    std::optional<QString> retrievalHint(const QUuid& id) const;

    // Search (see LibrarySearch.h; Bring Back: see BringBackSchedule.h)
    void rebuildSearchIndex();
    void refreshFilteredItems(const QString& query);
    void refreshSearchAfterChange();
    void startDeepSearch(const QString& query);
    void recordUsage(const QUuid& id);
    void refreshSearchAfterItemChange(const QUuid& id);
    void refreshSearchAfterFaceChange();
    struct LexicalSnapshot lexicalMatch(const QString& query) const;
    // Pool names (trimmed, own case) of the people whose faces each item holds.
    QHash<QUuid, QSet<QString>> personNamesByItem() const;
    double usageScore(const QUuid& id, const QDateTime& now) const;
    void saveUsageSignals();
    QSet<QString> manualTags(const VeskItem& item) const;
    QStringList tags(const VeskItem& item) const;
    bool addManualTag(const QString& text, const VeskItem& item);
    void removeManualTag(const QString& text, const VeskItem& item);
    void searchForTag(const QString& text);
    void saveManualTags();
    // Delivered marks lead an empty search; a cleared mark leaves it newest first until the next
    // lexical refresh.
    std::optional<QDateTime> scheduledBringBackDate(const QUuid& id) const;
    void setBringBack(const VeskItem& item, const QDateTime& date);
    void cancelBringBack(const VeskItem& item);
    void deliverDueBringBacks();
    void clearBroughtBack(const QUuid& id);
    void saveBringBackDates();
    void embedItems(const QList<VeskItem>& items);
    void embedItem(const VeskItem& item);
    const SemanticVectors& semanticVectors() const;
    // End of search operations

    // Library operations (StoreGroups.cpp, StoreDeletion.cpp, StoreFilenameCleanup.cpp)
    // Groups: see LibraryGroups.h (create, rename, sort).
    [[nodiscard]] std::optional<VeskGroup> createGroup(const QString& name);
    [[nodiscard]] bool renameGroup(const QUuid& id, const QString& name);
    static void sortGroups(QList<VeskGroup>& groups);
    // Deletes, clear and group delete after a recovery snapshot: see DestructiveChanges.h. While
    // one waits, further deletes, clears, edits and captures are refused with a notice.
    [[nodiscard]] bool deleteGroup(const QUuid& id);
    void deleteItems();
    void clearLibrary();
    bool destructiveChangeRunning() const;
    // The items with a file whose machine-made title has a different readable form, in list order.
    QList<VeskFilenameCleanupCandidate> filenameCleanupCandidates() const;
    // Applies the candidates whose item still carries the old title; the number changed.
    int applyFilenameCleanup(const QList<VeskFilenameCleanupCandidate>& candidates);
    // End of library operations

    // Intake operations (StoreCapture.cpp, CaptureQueue.h, FileIntake.h)
    // Puts a finished item at the front, selects it, saves its row, refreshes search and starts
    // its embedding. False when the row was not written (a failed save, or no database): the item
    // then lives in memory only, until the next start. False too while the row waits for the
    // check of the library file after start-up (savingItemIDs()).
    // Refused (false, said in the failure notice) while the library has a problem.
    [[nodiscard]] bool commitNewItem(const VeskItem& item);
    // Captures: see CaptureQueue.h.
    void addText(const QString& text, const std::optional<QString>& title = std::nullopt);
    void addRichTextNote(const std::optional<QString>& title, const QString& plainText,
                         const std::optional<QByteArray>& rtf);
    void addHTML(const QByteArray& data);
    void addLink(const QUrl& url);
    std::optional<VeskItem> findSimilarText(const QString& text) const;
    // File imports: see FileIntake.h.
    [[nodiscard]] QFuture<bool> importFile(const QString& path);
    [[nodiscard]] QFuture<bool> importNativeFile(const QByteArray& nativePath);
    void cancelImport(const QUuid& importID);
    void cancelAllImports();
    const std::optional<VeskImportProgress>& importProgress() const;
    void setImportProgress(const std::optional<VeskImportProgress>& value);
    // End of intake operations

    // Phone packages and inboxes: see FileIntake.h.
    [[nodiscard]] std::optional<QFuture<bool>> importIfPackage(const QString& path);
    [[nodiscard]] QFuture<bool> importMobileNotePackage(const QString& package);
    [[nodiscard]] QFuture<bool> importActivityPackage(const QString& package);
    static bool isActivityPackage(const QString& path, bool isFolder);
    void rerouteStoredPackages();
    void importInboxFiles(const QStringList& paths);
    void importCloudInboxPackages(const QStringList& paths);
    // End of phone package and inbox operations

    // Rich text operations: see RichTextBodies.h (update, saveEdits).
    void updateRichText(const QUuid& id, const QByteArray& rtf);
    [[nodiscard]] bool saveItemEdits(const QUuid& id, const QString& title, const QString& plainText,
                                     const std::optional<QByteArray>& rtf);
    // End of rich text operations

    // Secure items: see SecureItems.h.
    bool addSecureItem(const QString& name, const QString& details, const QString& secret, const QString& note);
    bool addCreditCard(const QString& name, const QString& details, const QString& number,
                       const QString& expiration, const QString& code, const QString& note);
    bool updateSecureItem(const VeskItem& item, const QString& title, const QString& details,
                          const QString& newSecret, const QString& note);
    bool updateCreditCard(const VeskItem& item, const QString& title, const QString& details, const QString& digits,
                          const QString& expiration, const QString& cvv, const QString& note);
    const std::optional<KeychainError>& lastKeychainFailure() const;

    // Faces and people: see FaceLibrary.h (StoreFaces.cpp forwards).
    void startImageTasks(const VeskItem& item);
    void analyzeItem(const QString& filePath, const QUuid& id);
    void saveDetectedFaces(const QUuid& id, const QString& text, const QString& labels,
                           const QList<VeskFaceRecord>& faces);
    void startFaceBackfill();
    void cancelFaceBackfill();
    void cacheFaceRecords(const QUuid& itemID, const QList<VeskFaceRecord>& faces);
    void removeFaceData(const QSet<QUuid>& itemIDs);
    void clearFaceData();
    QImage facePreviewImage(const QUuid& faceID);
    [[nodiscard]] bool createPersonPool(const QString& name, const QUuid& faceID);
    [[nodiscard]] bool renamePersonPool(const QUuid& poolID, const QString& newName);
    [[nodiscard]] bool mergePersonPools(const QUuid& sourceID, const QUuid& targetID);
    QList<VeskPersonPoolSummary> personPoolSummaries() const;
    QList<VeskItem> photosForPersonPool(const QUuid& poolID) const;
    QList<VeskFaceSuggestion> faceSuggestions(const QUuid& poolID, int limit, double minimumSimilarity) const;
    void findFaceSuggestionsLater(const QUuid& poolID, int limit, double minimumSimilarity, QObject* receiver,
        std::function<void(const QList<VeskFaceSuggestion>&)> done) const;
    [[nodiscard]] int confirmFaces(const QList<QUuid>& faceIDs, const QUuid& poolID);
    [[nodiscard]] bool confirmFace(const QUuid& faceID, const QUuid& poolID);
    [[nodiscard]] bool rejectFace(const QUuid& faceID, const QUuid& poolID);
    [[nodiscard]] bool ignoreFace(const QUuid& faceID);
    QList<VeskFaceRecord> unassignedFaces(int limit) const;
    VeskFaceStatistics faceStatistics() const;
    // End of face operations

    // Presentation operations (VeskStoreSelection.cpp): see LibrarySelection.h.
    void selectWithoutRecordingUse(const QUuid& id);
    // End of presentation operations

    // Derived and related items (see LibrarySearch.h)
    VeskItem sourceItem(const VeskItem& item) const;
    QList<VeskItem> relatedVersions(const VeskItem& item, qsizetype limit) const;
    CancellationToken findRelatedVersionsLater(const VeskItem& item, qsizetype limit, QObject* receiver,
        std::function<void(const QList<VeskItem>&)> done) const;
    QList<VeskItem> relatedItems(const VeskItem& item, qsizetype limit);
    std::optional<QList<VeskItem>> knownRelatedItems(const VeskItem& item, qsizetype limit);
    void rankRelatedItemsLater(const VeskItem& item, qsizetype limit, QObject* receiver,
        std::function<void(const QList<VeskItem>&)> done);
    // End of derived items

    // Edited pictures and video moments: see EditedVersions.h.
    std::optional<VeskItem> saveEditedImage(const QByteArray& data, const VeskItem& item, const QString& extension);
    std::optional<VeskItem> saveVideoMoment(const QString& clipPath, const VeskItem& previewed, double centreSeconds);

    // Library health operations: see LibraryHealth.h; itemsFolderSweep below.
    const std::optional<VeskFailureNotice>& failureNotice() const;
    void setFailureNotice(const std::optional<VeskFailureNotice>& value);
    void reportFailure(const QString& title, const QString& detail);
    void reportRefused(const QString& title, const QString& whatDidNotHappen, const DatabaseError& error);
    void dismissFailureNotice();
    const QSet<QUuid>& unsavedItemIDs() const;
    const QSet<QUuid>& savingItemIDs() const;
    bool libraryCheckPending() const;
    int retryUnsavedItems();
    const std::optional<VeskLibraryProblem>& libraryProblem() const;
    const std::optional<QString>& readOnlyReason() const;
    [[nodiscard]] bool startNewLibrary();
    std::optional<QString> newestRecoverySnapshot() const;
    // The clean-up of "Items": see FileIntake.h.
    QFuture<ItemsFolderSweepReport> itemsFolderSweep() const;
    // End of safety operations

signals:
    void itemsChanged();
    // A new item has entered items() (emitted just after that itemsChanged); start-up's reading
    // of the library adds none.
    void itemAdded(const QUuid& id);
    void groupsChanged();
    void searchTextChanged();
    void filteredItemsChanged();
    void selectedIDChanged();
    void selectedIDsChanged();
    void importCountInProgressChanged();
    void indexingCountChanged();
    void inboxImportCountChanged();
    void cloudImportCountChanged();
    // The start-up pass over items kept as plain files that are packages has been applied.
    void storedPackagesRerouted();
    void richTextByIDChanged();
    void intakeNoticeChanged();
    void retrievalHintsChanged();
    void bringBackDatesChanged();
    void broughtBackIDsChanged();
    void bringBackNoticeChanged();
    void faceDataRevisionChanged();
    // New face previews are ready (not published state: ask facePreviewImage again).
    void facePreviewsChanged();
    void importProgressChanged();
    void failureNoticeChanged();
    void unsavedItemIDsChanged();
    void savingItemIDsChanged();
    void libraryProblemChanged();
    void searchReadyChanged();
    void destructiveChangeRunningChanged();
    // Start-up has put the whole library into items() (emitted just before that itemsChanged).
    void libraryLoaded();
    // Start-up has taken all its workers read (the stored sentence vectors come last).
    void startupFinished();

private:
    void assertMainThread() const
    {
        Q_ASSERT_X(!QCoreApplication::instance() || QThread::currentThread() == QCoreApplication::instance()->thread(),
                   "VeskStore", "store used off the main thread");
    }

    // Tests and benchmarks reach the internals below through store/StoreInternals.h.
    friend class StoreInternals;

    // None when the database could not be opened; the store then works in memory only.
    SQLiteDatabase* database() const { return m_database.get(); }
    // The second connection, which writes large captures and sentence vectors off the main thread;
    // waits for the writes queued so far. None without a database.
    SQLiteDatabase* backgroundDatabase();

    // The area objects (VeskStoreAreas.cpp), made first of all; each has its own header.
    class AreaItemAccess;
    void makeAreas();
    void makeLibraryItems();
    void makeBringBackSchedule();
    std::unique_ptr<AreaItemAccess> m_itemAccess;

    // Start-up loaders, in the order the constructor runs them.
    void loadItemsFromDatabase();
    void reclassifyImageFiles();
    void loadRichText();
    void loadEmbeddings();
    void loadUsageSignals();
    void loadManualTags();
    void loadBringBackDates();
    void loadFaceCaches();
    void startMissingEmbeddings();
    void startThumbnailPrewarm();
    void startSearchPipelines();
    // Start-up in the background (LibraryStartup.h): the first page now, the rest on a worker.
    // False when there is nothing to read there.
    void makeLibraryStartup();
    bool beginBackgroundLoading();
    void finishReadingLibrary(const std::shared_ptr<LibraryReading>& reading);
    void finishBuildingSearch(const std::shared_ptr<SearchIndex>& index);
    void buildNearDuplicatesAtStart();
    void finishReadingEmbeddings(const std::shared_ptr<EmbeddingReading>& reading);
    // Start-up ends without a library to search (its items could not be read).
    void finishStartupWithoutLibrary();
    // What start-up does once items() holds the library: reminders, thumbnails, watchers, face
    // backfill. (Missing embeddings are started once the stored ones are read.)
    void startLibraryTasks();
    // Publishes items() in the default order (what an empty search shows).
    void publishDefaultOrder();
    // Creates the Inbox and cloud inbox watchers.
    void startInboxWatchers();

    // The legacy archive is migrated only into a database that has never held items; this marker
    // in the library folder remembers that it has.
    QString libraryUsedMarkerPath() const;
    bool libraryHasHeldItems() const;
    void markLibraryHasHeldItems();
    // Migrates the archive into the empty database; false (logged) when it failed.
    bool migrateLegacyArchiveIntoDatabase();

    // The items and what the window shows of them (LibraryItems.h).
    std::unique_ptr<LibraryItems> m_library;

    VeskServices m_services;
    std::unique_ptr<SQLiteDatabase> m_database;
    std::unique_ptr<LibraryStartup> m_startup;
    // Work over the whole library after start-up (picking the pictures the face scan still has
    // to look at, the managed folder's sweep, re-routing stored packages), on a background thread
    // of its own: never in the global pool, whose threads Qt's painting waits for.
    SerialExecutor& libraryTasksWorker();
    std::unique_ptr<SerialExecutor> m_libraryTasksWorker;

    // Search members
    class SearchHost;
    void makeLibrarySearch();
    // Writes the item's sentence vector into its row, now or once the library file can take it.
    void writeEmbedding(const QUuid& id, const QList<double>& vector);
    std::unique_ptr<LibrarySearch> m_search;
    // End of search members

    // Library members
    void makeLibraryGroups();
    void makeLibrarySelection();
    void makeDestructiveChanges();
    // What a destructive change asks of the store once the library file has changed
    // (StoreDeletion.cpp): the items, or the group, or everything, forgotten by every area.
    class AreaDestructiveChangesHost;
    void forgetDeletedItems(const QSet<QUuid>& ids);
    void releaseGroupMembers(const QUuid& groupID);
    void forgetWholeLibrary();
    std::unique_ptr<LibraryGroups> m_groups;
    std::unique_ptr<LibrarySelection> m_selection;
    std::unique_ptr<AreaDestructiveChangesHost> m_destructiveHost;
    std::unique_ptr<DestructiveChanges> m_destructive;
    // updateItem for what analysis and package reading found.
    bool updateItemFromWork(const VeskItem& item);
    // End of library members

    // Intake members
    // Raised by clearLibrary: a row the worker wrote before a clear is gone from the file, and is
    // written again as its item enters the list.
    int m_libraryClears = 0;
    // The capture worker: large captures, the rows of imports and captures, vectors, face rows.
    std::shared_ptr<SerialExecutor> m_captureWorker;
    SerialExecutor& captureWorker();
    // The capture worker's own connection, for the rows of large captures and for vectors.
    std::shared_ptr<class CaptureRowWriter> m_captureWriter;
    // The writer, made when first needed; none when the library cannot take writes.
    std::shared_ptr<CaptureRowWriter> backgroundWriter();
    // Declared after the worker: it is gone first, stopping what it started there.
    class CaptureQueueStoreHost;
    void makeCaptureQueue();
    std::unique_ptr<CaptureQueue> m_captureQueue;
    // True (said in the failure notice) while the library cannot take new items.
    bool refuseNewItemWhileBlocked(const QString& title);
    // While the library is read-only, or while a destructive change waits for its snapshot (it
    // would act on a library that changed since it was asked for): says that the change did not
    // happen and why; true then.
    bool refuseWhileReadOnly(const QString& title, const QString& whatDidNotHappen);
    // commitNewItem with the item's rich text, written with its row in one transaction (unless
    // the capture worker has written both already).
    bool commitNewItemWithRichText(const VeskItem& item, const std::optional<QByteArray>& rtf, bool alreadyWritten);
    // Imports, packages, inboxes and the sweep; declared after the capture worker, which writes
    // their rows.
    class FileIntakeStoreHost;
    void makeFileIntake();
    std::unique_ptr<FileIntake> m_fileIntake;
    // What imports know of kept files, forgotten with the items.
    void forgetKeptFile(const QUuid& id);
    void forgetKeptFiles();
    // End of intake members

    // Library health members (VeskStoreHealth.cpp): see LibraryHealth.h.
    bool writeItem(const VeskItem& item, const std::optional<QByteArray>& rtf);
    void noteItemWritten(const QUuid& id);
    void markUnsaved(const VeskItem& item, const QString& reason);
    void markSaved(const QUuid& id);
    void forgetUnsavedItems(const QSet<QUuid>& ids);
    void openLibraryDatabase();
    void setLibraryProblem(const std::optional<VeskLibraryProblem>& value);
    // The items could not be read: the library is unreadable, and no write may go into it.
    void failItemsLoad(const DatabaseError& error);
    void startItemsFolderSweep();
    // Managed paths stored under another data folder point at the copies in this one, in memory.
    void relocateManagedPaths();
    void startLibraryCheck();
    void waitForLibraryCheck();
    bool holdRowForLibraryCheck(const QUuid& id);
    void afterLibraryCheck(std::function<void()> work);
    bool rowIsWritten(const QUuid& id) const;
    void forgetSavingItems(const QSet<QUuid>& ids);
    bool libraryCheckWaiting() const;
    // The health and rich-text areas reach the store through one adapter, made with them.
    class HealthAreaHost;
    void makeHealthAreas();
    std::unique_ptr<HealthAreaHost> m_healthHost;
    std::unique_ptr<LibraryHealth> m_health;
    // End of safety members

    // Rich text members
    // Keeps the body of a new item whose row is written (or retried) with it.
    void adoptRichText(const QUuid& id, const QByteArray& rtf);
    std::unique_ptr<RichTextBodies> m_richText;
    // End of rich text members

    std::unique_ptr<SecureItems> m_secure;
    std::unique_ptr<EditedVersions> m_editedVersions;

    // Face members: the faces-and-people area and its way into the store (StoreFaces.cpp).
    class FaceLibraryAccess;
    void makeFaceLibrary();
    std::unique_ptr<FaceLibraryAccess> m_faceAccess;
    std::unique_ptr<FaceLibrary> m_faces;
    // End of face members

    std::unique_ptr<BringBackSchedule> m_bringBack;
};

} // namespace vesk
