// Start-up loaders of the store, run in the constructor's order.
#include "store/VeskStore.h"

#include "model/ItemFileKinds.h"
#include "model/VectorBlob.h"
#include "model/VeskItemCoding.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "platform/Uuid.h"
#include "store/BringBackSchedule.h"
#include "store/FaceLibrary.h"
#include "store/LibraryGroups.h"
#include "store/LibraryItems.h"
#include "store/LibraryReading.h"
#include "store/LibrarySearch.h"
#include "store/LibraryStartup.h"
#include "store/SQLiteDatabase.h"
#include "intake/NearDuplicateIndex.h"
#include "search/DefaultOrder.h"
#include "search/SearchIndex.h"
#include "search/SemanticVectors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <QTimer>
#include <cmath>

namespace vesk {

namespace {

const QString kLoadMigrationError = QStringLiteral("Vesk SQLite load/migration error: ");

} // namespace

bool VeskStore::beginBackgroundLoading()
{
    // Without a database, with an empty one (nothing to read, or a legacy archive to migrate)
    // or with an archive still to be set aside, start-up loads at once as it always did.
    if (!m_database || QFileInfo::exists(legacyArchiveURL()))
        return false;
    const auto empty = m_database->isEmpty();
    if (!empty || *empty)
        return false;
    auto firstPage = m_database->fetchNewestItems(firstPageSize);
    if (!firstPage)
        return false;
    markLibraryHasHeldItems();

    m_library->setItems(firstPage.value());
    relocateManagedPaths();
    m_groups->load();
    loadUsageSignals();
    loadManualTags();
    loadBringBackDates();

    m_search->beginIndexingInBackground();
    m_library->setSearchReady(false);
    m_startup->beginReading(m_database->filePath(), managedItemsDirectory(), items());
    return true;
}

void VeskStore::makeLibraryStartup()
{
    LibraryStartup::Hooks hooks;
    hooks.startLibraryCheck = [this] { startLibraryCheck(); };
    hooks.libraryCheckWaiting = [this] { return libraryCheckWaiting(); };
    hooks.takeLibrary = [this](const std::shared_ptr<LibraryReading>& reading) { finishReadingLibrary(reading); };
    m_startup = std::make_unique<LibraryStartup>(std::move(hooks));
    connect(m_startup.get(), &LibraryStartup::finished, this, &VeskStore::startupFinished);
}

bool VeskStore::startupIsFinished() const
{
    // Gone only while the store is destroyed, when nothing reads any more.
    return !m_startup || m_startup->isFinished();
}

void VeskStore::holdStartupReading()
{
    m_startup->hold();
}

void VeskStore::releaseStartupReading()
{
    m_startup->release();
}

void VeskStore::finishReadingLibrary(const std::shared_ptr<LibraryReading>& reading)
{
    assertMainThread();
    const QList<VeskItem> firstPage = m_startup->takeFirstPage();

    // Damage found meanwhile: the library is not taken up.
    if (libraryProblem()) {
        finishStartupWithoutLibrary();
        return;
    }

    // A library whose items cannot be read is not written on, and not shown as holding only the
    // first page: the window says why.
    if (!reading->items) {
        veskLog(kLoadMigrationError + reading->items.error().logText());
        failItemsLoad(reading->items.error());
        m_search->resetToItems();
        finishStartupWithoutLibrary();
        return;
    }

    // Items added, changed or removed while the library was read are taken as they are now.
    const LoadedItemsMerge merge = mergeLoadedItems(std::move(*reading->items), firstPage, items());
    m_library->adoptItems(merge.items);
    m_library->setWhole(true);

    m_search->takeLoadedOrder(std::move(*reading->order), merge.removed, merge.changed, merge.added);

    // File items that are pictures become image items, each saved at once.
    if (!reading->pictureFileIDs.isEmpty()) {
        m_library->changeEach([&](VeskItem& item) {
            if (item.kind != VeskKind::File || !reading->pictureFileIDs.contains(item.id))
                return false;
            item.kind = VeskKind::Image;
            (void)saveItemToDatabase(item); // a failure is marked on the card, said and retried
            m_search->updateInDefaultOrder(item);
            return true;
        });
    }
    emit libraryLoaded();
    m_library->publishItems();
    // The items above are the ones the index is built from next.
    m_search->beginIndexBuild();

    if (!reading->richText) {
        veskLog(QStringLiteral("Vesk rich-text load error: ") + reading->richText.error().logText());
    } else {
        // Rich text stored while reading is newer than what was read.
        QHash<QUuid, QByteArray> richText = *reading->richText;
        for (auto it = richTextByID().cbegin(); it != richTextByID().cend(); ++it)
            richText.insert(it.key(), it.value());
        setRichTextByID(richText);
    }
    m_faces->adoptReading(*reading);

    // What an empty search shows is the whole library from now on.
    if (searchText().trimmed().isEmpty())
        publishDefaultOrder();

    // The index is built from the library as it stands now; what changes meanwhile is indexed
    // again when it arrives.
    m_search->beginIndexBuild();
    const QList<VeskItem> items = this->items();
    const QHash<QUuid, QSet<QString>> people = personNamesByItem();
    const QHash<QUuid, QStringList> tags = m_search->manualTagsByItem();
    QThreadPool* pool = m_startup->pool();
    const QString path = m_database->filePath();
    const QString indexFile = searchIndexFilePath(path);
    deliverResult(this,
        m_startup->worker().run([items, people, tags, pool, indexFile] {
            return buildSearchIndex(items, people, tags, pool, indexFile);
        }),
        [this, indexFile](const SearchIndexBuild& build) {
            finishBuildingSearch(build.index);
            // Written after everything start-up reads, for the next start; a library that
            // cannot be written keeps what it has.
            if (build.image && !readOnlyReason() && m_startup->readsInBackground()) {
                m_startup->worker().run([indexFile, image = build.image] {
                    if (!writeSearchIndexFile(indexFile, *image))
                        veskLog(QStringLiteral("Vesk search index save error for ") + indexFile);
                });
            }
        });
    buildNearDuplicatesAtStart();
    const QString model = m_services.embeddings->modelName();
    deliverResult(this,
        m_startup->worker().run([path, model] { return std::make_shared<EmbeddingReading>(readEmbeddings(path, model)); }),
        [this](const std::shared_ptr<EmbeddingReading>& vectors) { finishReadingEmbeddings(vectors); });
    startLibraryTasks();
}

void VeskStore::buildNearDuplicatesAtStart()
{
    // Built from the library as it stands now, after the search index. A capture checked
    // meanwhile is compared with what the index held before (the first page and what changed
    // since); an index built from a list that changed meanwhile is built again from the new one.
    const QList<VeskItem> items = this->items();
    QThreadPool* pool = m_startup->pool();
    deliverResult(this, m_startup->worker().run([items, pool] { return buildNearDuplicateIndex(items, pool); }),
        [this, items](const std::shared_ptr<NearDuplicateIndex>& index) {
            if (!this->items().isSharedWith(items)) {
                buildNearDuplicatesAtStart();
                return;
            }
            m_search->adoptNearDuplicates(std::move(*index));
        });
}

void VeskStore::finishStartupWithoutLibrary()
{
    m_search->finishWithoutIndex();
    m_library->setSearchReady(true);
    m_startup->finish();
}

void VeskStore::finishReadingEmbeddings(const std::shared_ptr<EmbeddingReading>& reading)
{
    assertMainThread();
    if (reading->error) {
        veskLog(QStringLiteral("Vesk embedding load error: ") + reading->error->logText());
    } else {
        m_search->adoptStoredVectors(std::move(reading->vectors));
    }
    m_startup->finish();
    if (libraryProblem())
        return; // damage found meanwhile: nothing more is analysed or written
    startFaceBackfill();
    startMissingEmbeddings();
}

void VeskStore::finishBuildingSearch(const std::shared_ptr<SearchIndex>& index)
{
    assertMainThread();
    m_search->adoptIndex(std::move(*index));

    m_library->setSearchReady(true);
    // Card thumbnails are made once search is ready: they would only compete with the build.
    startThumbnailPrewarm();
    // A search typed meanwhile is answered now.
    if (!searchText().trimmed().isEmpty()) {
        refreshFilteredItems(searchText());
        startDeepSearch(searchText());
    }
}

void VeskStore::waitForStartup()
{
    assertMainThread();
    m_startup->waitUntilFinished();
    waitForLibraryCheck();
}

void VeskStore::loadItemsFromDatabase()
{
    if (!m_database) {
        veskLog(QStringLiteral("Vesk database unavailable."));
        m_library->setItems({});
        return;
    }

    const auto empty = m_database->isEmpty();
    if (!empty) {
        veskLog(kLoadMigrationError + empty.error().logText());
        failItemsLoad(empty.error());
        return;
    }

    const bool archiveExists = QFileInfo::exists(legacyArchiveURL());
    if (!*empty)
        markLibraryHasHeldItems();
    if (archiveExists) {
        if (*empty && !libraryHasHeldItems()) {
            // A failed migration leaves the archive for the next start, so its items still
            // belong to the library even though none is shown.
            m_library->setWhole(migrateLegacyArchiveIntoDatabase());
            if (!itemsLoaded())
                m_library->setItems({});
            return;
        }
        // Already migrated (or superseded) but never set aside: set it aside now, so an emptied
        // library does not bring the old items back.
        migrateLegacyArchive();
    }

    auto fetched = m_database->fetchItems();
    if (!fetched) {
        veskLog(kLoadMigrationError + fetched.error().logText());
        failItemsLoad(fetched.error());
        return;
    }
    m_library->setItems(fetched.value());
    relocateManagedPaths();
    m_library->setWhole(true);
}

bool VeskStore::migrateLegacyArchiveIntoDatabase()
{
    QFile file(legacyArchiveURL());
    if (!file.open(QIODevice::ReadOnly)) {
        veskLog(kLoadMigrationError + file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        veskLog(kLoadMigrationError + file.errorString());
        return false;
    }
    file.close();

    // Record by record: one bad record must not keep every good one out.
    auto decoded = decodeItemArchiveRecords(bytes);
    if (!decoded) {
        veskLog(kLoadMigrationError + decoded.error());
        return false;
    }
    for (const auto& [position, reason] : decoded->badRecords)
        veskLog(QStringLiteral("Vesk legacy JSON archive error: record ") + QString::number(position)
                + QStringLiteral(": ") + reason);
    QList<VeskItem> migrated = decoded->items;
    if (migrated.isEmpty() && !decoded->badRecords.isEmpty()) {
        // Nothing could be read: the archive stays as it is for a later start.
        veskLog(kLoadMigrationError + QStringLiteral("no record of the archive could be read"));
        return false;
    }
    if (auto stored = m_database->upsertItems(migrated); !stored) {
        veskLog(kLoadMigrationError + stored.error().logText());
        return false;
    }
    if (!migrated.isEmpty())
        markLibraryHasHeldItems();
    sortItems(migrated);
    m_library->setItems(migrated);
    // The archive is kept whole under its migrated name, bad records and all.
    migrateLegacyArchive();
    if (!decoded->badRecords.isEmpty()) {
        reportFailure(QStringLiteral("Not everything was brought in"),
                      QString::number(decoded->badRecords.size())
                          + (decoded->badRecords.size() == 1 ? QStringLiteral(" record") : QStringLiteral(" records"))
                          + QStringLiteral(" of the old archive could not be read. The archive is kept as ")
                          + migratedArchivePath() + QLatin1Char('.'));
    }
    return true;
}

QString VeskStore::libraryUsedMarkerPath() const
{
    return QDir(m_services.dataDirectory).filePath(QStringLiteral(".vesk-library-has-held-items"));
}

bool VeskStore::libraryHasHeldItems() const
{
    return QFileInfo::exists(libraryUsedMarkerPath());
}

void VeskStore::markLibraryHasHeldItems()
{
    if (libraryHasHeldItems())
        return;
    QSaveFile marker(libraryUsedMarkerPath());
    if (!marker.open(QIODevice::WriteOnly) || marker.write("1\n") < 0 || !marker.commit())
        veskLog(QStringLiteral("Vesk legacy JSON archive error: ") + marker.errorString());
}

void VeskStore::reclassifyImageFiles()
{
    const bool changed = m_library->changeEach([this](VeskItem& item) {
        if (item.kind != VeskKind::File || !item.filePath || !hasImageFileExtension(*item.filePath))
            return false;
        item.kind = VeskKind::Image;
        // A row that cannot be written is marked unsaved and written again later.
        (void)saveItemToDatabase(item);
        return true;
    });
    if (changed)
        m_library->publishItems();
}

void VeskStore::loadRichText()
{
    if (!m_database) {
        setRichTextByID({});
        return;
    }
    auto richText = m_database->fetchRichText();
    if (!richText) {
        veskLog(QStringLiteral("Vesk rich-text load error: ") + richText.error().logText());
        setRichTextByID({});
        return;
    }
    setRichTextByID(richText.value());
}

void VeskStore::loadEmbeddings()
{
    m_search->replaceVectors(SemanticVectors());
    if (!m_database)
        return;
    // Vectors of another model are left out: their items are embedded again.
    SemanticVectors vectors;
    auto read = m_database->forEachEmbedding([&vectors](const QUuid& id, const QByteArray& blob) {
        vectors.insert(id, decodeVectorBlob(blob));
    }, m_services.embeddings->modelName());
    if (!read) {
        veskLog(QStringLiteral("Vesk embedding load error: ") + read.error().logText());
        return;
    }
    m_search->replaceVectors(std::move(vectors));
}

void VeskStore::loadBringBackDates()
{
    m_bringBack->load();
}

} // namespace vesk
