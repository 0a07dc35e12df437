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
#include "store/RowWait.h"
#include "store/SecureItemFailure.h"
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
class DestructiveChanges;
class EditedVersions;
class FaceLibrary;
class FileIntake;
class LibraryFile;
class LibraryGroups;
class LibraryHealth;
class LibraryItems;
class LibrarySearch;
class LibrarySelection;
class LibraryStartup;
class RichTextBodies;
class SecureItems;

// The one library store that the views use. It lives on the main thread; every operation runs
// there. It is a facade over area objects, each with its own header, state and tests, cut by what
// changes together:
//   - library: the items and what the window shows of them (LibraryItems), groups
//     (LibraryGroups), selection (LibrarySelection), deletes (DestructiveChanges), the library
//     file with its connections and workers (LibraryFile), start-up's reading (LibraryStartup)
//     and what the store does with it (StartupLoading), the file's health (LibraryHealth);
//   - intake: file imports, phone packages, the inboxes and the sweep of "Items" (FileIntake),
//     and the captures with their queue (CaptureQueue);
//   - search: the index, the lexical and deep passes, usage, tags, related items, embeddings
//     (LibrarySearch) and Bring Back (BringBackSchedule);
//   - faces and people: analysis, backfill, previews, person pools and decisions (FaceLibrary);
//   - secure items (SecureItems);
//   - media and edited versions: rich-text bodies and edited pictures, video moments
//     (RichTextBodies, EditedVersions).
// An area holds the state and logic of its area and reaches the rest only through a narrow
// interface that the store gives it (an adapter nested here, in a file of its own). The facade
// forwards the operations, whose contracts are in the area headers, and publishes the areas'
// state under its own getters and signals; it names the areas only by forward declaration, so a
// change inside an area recompiles that area, not the application.
class VeskStore : public QObject {
    Q_OBJECT

public:
    // Opens and loads the library: see StartupLoading.h.
    explicit VeskStore(VeskServices services, QObject* parent = nullptr);
    ~VeskStore() override;

    // --- Published state (getter, setter ignoring an equal value, ...Changed): LibraryItems.h ---
    const QList<VeskItem>& items() const;
    const QList<VeskGroup>& groups() const; void setGroups(const QList<VeskGroup>& value);
    const QString& searchText() const; void setSearchText(const QString& value);
    const QList<VeskItem>& filteredItems() const;
    const std::optional<QUuid>& selectedID() const; void setSelectedID(const std::optional<QUuid>& value);
    const QSet<QUuid>& selectedIDs() const; void setSelectedIDs(const QSet<QUuid>& value);
    int importCountInProgress() const; void setImportCountInProgress(int value);
    int indexingCount() const; void setIndexingCount(int value);
    int inboxImportCount() const; void setInboxImportCount(int value);
    int cloudImportCount() const; void setCloudImportCount(int value);
    const QHash<QUuid, QByteArray>& richTextByID() const; void setRichTextByID(const QHash<QUuid, QByteArray>& value);
    const std::optional<VeskIntakeNotice>& intakeNotice() const;
    void setIntakeNotice(const std::optional<VeskIntakeNotice>& value);
    const QHash<QUuid, QString>& retrievalHints() const; void setRetrievalHints(const QHash<QUuid, QString>& value);
    const QHash<QUuid, QDateTime>& bringBackDates() const; void setBringBackDates(const QHash<QUuid, QDateTime>& value);
    const QSet<QUuid>& broughtBackIDs() const; void setBroughtBackIDs(const QSet<QUuid>& value);
    const std::optional<VeskBringBackNotice>& bringBackNotice() const;
    void setBringBackNotice(const std::optional<VeskBringBackNotice>& value);
    int faceDataRevision() const; void setFaceDataRevision(int value);
    bool searchReady() const;

    // --- Keys of the user-defaults states ---
    static inline const QString bringBackDefaultsKey = bringBackDatesKey;
    static inline const QString usageDefaultsKey = usageSignalsKey;
    static inline const QString manualTagsDefaultsKey = manualTagsKey;

    // --- Core (items: see LibraryItems.h; start-up: LibraryStartup.h, StartupLoading.h) ---
    const VeskServices& services() const { return m_services; }
    bool itemsLoaded() const;
    static constexpr int firstPageSize = 240; // the newest items shown while start-up reads the rest
    qsizetype indexOfItem(const QUuid& id) const;
    static void sortItems(QList<VeskItem>& items);
    // Whether items are in the order sortItems gives them already.
    static bool isSortedNewestFirst(const QList<VeskItem>& items);
    void waitForStartup();
    bool startupIsFinished() const;
    void holdStartupReading();
    void releaseStartupReading();

    // The face data held in memory: see FaceLibrary.h.
    const QList<VeskFaceRecord>& faceRecordsCache() const;
    const QList<VeskFaceClusterRecord>& faceClustersCache() const;
    const QList<VeskFaceRejectionRecord>& faceRejectionsCache() const;
    const QSet<QUuid>& ignoredFaceIDsCache() const;

    // --- Saving and updating items: see LibraryItems.h ---
    [[nodiscard]] bool saveItemToDatabase(const VeskItem& item);
    [[nodiscard]] bool updateItem(const VeskItem& item);
    void adoptSavedItem(const VeskItem& item);
    bool moveItemToGroup(const QUuid& itemID, const std::optional<QUuid>& groupID, const QString& targetName);
    bool renameItem(const QUuid& id, const QString& title);
    void postCapturedNotice(const QString& title, const std::optional<QString>& detail,
                            const std::optional<QUuid>& relatedID = std::nullopt);
    void clearIntakeNotice(const QUuid& noticeID);
    void clearBringBackNotice(const QUuid& noticeID);
    void removeManagedFile(const VeskItem& item);

    // --- Paths of the library folder: see LibraryFile.h ---
    QString legacyArchiveURL() const;
    QString migratedArchivePath() const;
    QString managedItemsDirectory() const;
    void migrateLegacyArchive();

    // Selection operations: see LibrarySelection.h (select, toggle, extend, selectItems).
    void select(const QUuid& id);
    void toggleSelection(const QUuid& id);
    void extendSelection(const QUuid& id, const QList<VeskItem>& visible);
    void selectItems(const QList<VeskItem>& items);

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
    QHash<QUuid, QSet<QString>> personNamesByItem() const;
    double usageScore(const QUuid& id, const QDateTime& now) const;
    void saveUsageSignals();
    QSet<QString> manualTags(const VeskItem& item) const;
    QStringList tags(const VeskItem& item) const;
    bool addManualTag(const QString& text, const VeskItem& item);
    void removeManualTag(const QString& text, const VeskItem& item);
    void searchForTag(const QString& text);
    void saveManualTags();
    std::optional<QDateTime> scheduledBringBackDate(const QUuid& id) const;
    void setBringBack(const VeskItem& item, const QDateTime& date);
    void cancelBringBack(const VeskItem& item);
    void deliverDueBringBacks();
    void clearBroughtBack(const QUuid& id);
    void saveBringBackDates();
    void embedItems(const QList<VeskItem>& items);
    void embedItem(const VeskItem& item);
    const SemanticVectors& semanticVectors() const;

    // Library operations (StoreGroups.cpp, StoreDeletion.cpp, StoreFilenameCleanup.cpp)
    // Groups: see LibraryGroups.h (create, rename, sort).
    [[nodiscard]] std::optional<VeskGroup> createGroup(const QString& name);
    [[nodiscard]] bool renameGroup(const QUuid& id, const QString& name);
    static void sortGroups(QList<VeskGroup>& groups);
    // Deletes, clear and group delete after a recovery snapshot: see DestructiveChanges.h.
    [[nodiscard]] bool deleteGroup(const QUuid& id);
    void deleteItems();
    void clearLibrary();
    bool destructiveChangeRunning() const;
    // Readable titles for machine-made file names: see LibraryItems.h.
    QList<VeskFilenameCleanupCandidate> filenameCleanupCandidates() const;
    int applyFilenameCleanup(const QList<VeskFilenameCleanupCandidate>& candidates);

    // Intake operations (new items: see LibraryItems.h; CaptureQueue.h, FileIntake.h)
    [[nodiscard]] bool commitNewItem(const VeskItem& item);
    // True while an item a capture or a drop brought in is taken in and selected, not by the
    // user's choice: a view may show it a frame later rather than in the arrival's own turn.
    bool selectingNewItem() const { return m_selectingNewItem; }
    // Hears whether a new item's row is in the library file, waiting as wait says (see
    // RowWait.h and LibraryHealth.h).
    void whenRowWritten(const QUuid& id, RowWait wait, std::function<void(bool written)> heard);
    // Posts a notice that announces a new item once whenRowWritten hears it written, and never
    // when it is not: a refused or unsaved item is said by the failure notice alone.
    void announceWhenRowWritten(const QUuid& id, RowWait wait, const VeskIntakeNotice& notice);
    // Why a new item would be refused now (the library is read-only or cannot be read, a delete
    // is finishing), in plain words; none while new items are taken.
    std::optional<QString> newItemRefusal() const;
    // Captures: see CaptureQueue.h. `kept` hears whether the capture's item was kept.
    void addText(const QString& text, const std::optional<QString>& title = std::nullopt,
                 std::function<void(bool kept)> kept = {});
    void addRichTextNote(const std::optional<QString>& title, const QString& plainText,
                         const std::optional<QByteArray>& rtf, std::function<void(bool kept)> kept = {});
    void addHTML(const QByteArray& data, std::function<void(bool kept)> kept = {});
    void addLink(const QUrl& url, std::function<void(bool kept)> kept = {});
    std::optional<VeskItem> findSimilarText(const QString& text) const;
    // File imports: see FileIntake.h.
    [[nodiscard]] QFuture<bool> importFile(const QString& path, const QString& subject = {});
    [[nodiscard]] QFuture<bool> importNativeFile(const QByteArray& nativePath);
    void cancelImport(const QUuid& importID);
    void cancelAllImports();
    QStringList importsUnderWay() const;
    const std::optional<VeskImportProgress>& importProgress() const;
    void setImportProgress(const std::optional<VeskImportProgress>& value);

    // Phone packages and inboxes: see FileIntake.h.
    [[nodiscard]] std::optional<QFuture<bool>> importIfPackage(const QString& path);
    [[nodiscard]] QFuture<bool> importMobileNotePackage(const QString& package);
    [[nodiscard]] QFuture<bool> importActivityPackage(const QString& package);
    static bool isActivityPackage(const QString& path, bool isFolder);
    void rerouteStoredPackages();
    void importInboxFiles(const QStringList& paths);
    void importInboxNativeFiles(const QList<QByteArray>& nativePaths);
    // The same with each file's stamp as the Inbox's watcher read it (FileIntake).
    void importInboxNativeFiles(const QList<QByteArray>& nativePaths, const QList<QByteArray>& stamps);
    void importCloudInboxPackages(const QStringList& paths);
    // The same with each entry's stamp, and whether it is a folder, as the synced inbox's watcher
    // read them (FileIntake).
    void importCloudInboxPackages(const QStringList& paths, const QList<QByteArray>& stamps,
                                  const QList<bool>& folders = {});

    // Rich text operations: see RichTextBodies.h (update, saveEdits).
    void updateRichText(const QUuid& id, const QByteArray& rtf);
    [[nodiscard]] bool saveItemEdits(const QUuid& id, const QString& title, const QString& plainText,
                                     const std::optional<QByteArray>& rtf);

    // Secure items: see SecureItems.h.
    SecureItemSave addSecureItem(const QString& name, const QString& details, const QString& secret, const QString& note);
    SecureItemSave addCreditCard(const QString& name, const QString& details, const QString& number,
                                 const QString& expiration, const QString& code, const QString& note);
    SecureItemSave updateSecureItem(const VeskItem& item, const QString& title, const QString& details,
                                    const QString& newSecret, const QString& note);
    SecureItemSave updateCreditCard(const VeskItem& item, const QString& title, const QString& details,
                                    const QString& digits, const QString& expiration, const QString& cvv,
                                    const QString& note);

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
    // The People window lets go of the face previews it had shown when it closes.
    void releaseFacePreviews();
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

    // Presentation operations (VeskStoreSelection.cpp): see LibrarySelection.h.
    void selectWithoutRecordingUse(const QUuid& id);

    // Derived and related items (see LibrarySearch.h)
    VeskItem sourceItem(const VeskItem& item) const;
    QList<VeskItem> relatedVersions(const VeskItem& item, qsizetype limit) const;
    CancellationToken findRelatedVersionsLater(const VeskItem& item, qsizetype limit, QObject* receiver,
        std::function<void(const QList<VeskItem>&)> done) const;
    QList<VeskItem> relatedItems(const VeskItem& item, qsizetype limit);
    std::optional<QList<VeskItem>> knownRelatedItems(const VeskItem& item, qsizetype limit);
    void rankRelatedItemsLater(const VeskItem& item, qsizetype limit, QObject* receiver,
        std::function<void(const QList<VeskItem>&)> done);

    // Edited pictures and video moments: see EditedVersions.h.
    std::optional<VeskItem> saveEditedImage(const QByteArray& data, const VeskItem& item, const QString& extension);
    void saveEditedImageLater(const QByteArray& data, const VeskItem& item, const QString& extension,
                              std::function<void(const std::optional<VeskItem>&)> done);
    Expected<VeskItem, QString> saveVideoMoment(const QString& clipPath, const VeskItem& previewed, double centreSeconds);

    // Library health operations: see LibraryHealth.h; itemsFolderSweep below.
    const std::optional<VeskFailureNotice>& failureNotice() const;
    void setFailureNotice(const std::optional<VeskFailureNotice>& value);
    // subject: see LibraryHealth::reportFailure.
    void reportFailure(const QString& title, const QString& detail, const QString& subject = {});
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
    void assertMainThread() const;

    // Tests and benchmarks reach the internals through store/StoreInternals.h.
    friend class StoreInternals;

    // The areas are made first of all (VeskStoreAreas.cpp; each make function beside its adapter).
    void makeAreas();
    void makeLibraryItems();
    void makeHealthAreas();
    void makeLibrarySearch();
    void makeBringBackSchedule();
    void makeLibraryGroups();
    void makeLibrarySelection();
    void makeDestructiveChanges();
    void makeLibraryStartup();
    void makeCaptureQueue();
    void makeFileIntake();
    void makeFaceLibrary();

    // The store's own rules, shared by the adapters: see LibraryItems.h.
    bool refuseWhileReadOnly(const QString& title, const QString& whatDidNotHappen);
    // Why the library takes no changes now (read-only, or a delete being finished); none when it does.
    std::optional<QString> whyChangesAreRefused() const;
    bool refuseNewItemWhileBlocked(const QString& title);
    // commitNewItem with its rich text, or of a row already written; the failure says why the row
    // was not written, in plain words, and is empty while it waits for the check of the library file.
    Expected<void, QString> commitNewItemWithRichText(const VeskItem& item, const std::optional<QByteArray>& rtf,
                                                      bool alreadyWritten);
    // The same for an item a capture or an import brought in (selectingNewItem holds meanwhile).
    Expected<void, QString> commitArrivedItem(const VeskItem& item, const std::optional<QByteArray>& rtf,
                                              bool alreadyWritten);
    bool updateItemFromWork(const VeskItem& item);
    // What a destructive change asks of every area: see DestructiveChangesHost.h.
    void forgetDeletedItems(const QSet<QUuid>& ids);
    void releaseGroupMembers(const QUuid& groupID);
    void forgetWholeLibrary();

    // The adapters through which the areas reach the store, each in its own file.
    class AreaItemAccess;
    class SearchHost;
    class AreaDestructiveChangesHost;
    class CaptureQueueStoreHost;
    class FileIntakeStoreHost;
    class HealthAreaHost;
    class FaceLibraryAccess;
    class StartupLoading;

    VeskServices m_services;
    // The library file outlives every area: its workers are waited for after all that queue
    // work on them is gone.
    std::unique_ptr<LibraryFile> m_file;
    std::unique_ptr<LibraryItems> m_library;
    std::unique_ptr<AreaItemAccess> m_itemAccess;
    std::unique_ptr<LibraryStartup> m_startup;
    std::unique_ptr<LibrarySearch> m_search;
    std::unique_ptr<LibraryGroups> m_groups;
    std::unique_ptr<LibrarySelection> m_selection;
    std::unique_ptr<AreaDestructiveChangesHost> m_destructiveHost;
    std::unique_ptr<DestructiveChanges> m_destructive;
    std::unique_ptr<CaptureQueue> m_captureQueue;
    std::unique_ptr<FileIntake> m_fileIntake;
    std::unique_ptr<HealthAreaHost> m_healthHost;
    std::unique_ptr<LibraryHealth> m_health;
    std::unique_ptr<RichTextBodies> m_richText;
    std::unique_ptr<SecureItems> m_secure;
    std::unique_ptr<EditedVersions> m_editedVersions;
    std::unique_ptr<FaceLibraryAccess> m_faceAccess;
    std::unique_ptr<FaceLibrary> m_faces;
    std::unique_ptr<BringBackSchedule> m_bringBack;
    std::unique_ptr<StartupLoading> m_loading;
    bool m_selectingNewItem = false;
};

} // namespace vesk
