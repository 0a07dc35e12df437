// What the store does at start-up with what it reads, and its operations on start-up.
#include "store/StartupLoading.h"

#include "model/ItemFileKinds.h"
#include "model/VectorBlob.h"
#include "model/VeskItemCoding.h"
#include "platform/FutureDelivery.h"
#include "platform/Log.h"
#include "platform/SerialExecutor.h"
#include "platform/SystemMemory.h"
#include "platform/Uuid.h"
#include "store/BringBackSchedule.h"
#include "store/FaceLibrary.h"
#include "store/FileIntake.h"
#include "store/LibraryFile.h"
#include "store/LibraryHealth.h"
#include "store/LibraryGroups.h"
#include "store/ItemsReading.h"
#include "store/LibraryItems.h"
#include "store/LibraryReading.h"
#include "store/LibrarySearch.h"
#include "store/LibraryStartup.h"
#include "store/SQLiteDatabase.h"
#include "store/SecureItems.h"
#include "intake/ManagedStorage.h"
#include "intake/NearDuplicate.h"
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

// Items a worker reads of the library's list per turn of its gate, a fraction of a millisecond
// that a change on the main thread may wait.
constexpr qsizetype kItemsPerTurn = 4096;

// What the near-duplicate build at start-up made, and the list's change count it read from.
struct NearDuplicateBuild {
    std::shared_ptr<NearDuplicateIndex> index;
    quint64 builtFrom = 0;
};

} // namespace

void VeskStore::StartupLoading::start()
{
    m_store.m_file->adopt(m_store.m_health->openLibrary());
    if (beginBackgroundLoading()) {
        // The newest items are on screen; search answers once the workers are done.
        startSearchPipelines();
        return;
    }
    loadAtOnce();
}

void VeskStore::StartupLoading::loadAtOnce()
{
    loadItemsFromDatabase();
    m_store.m_groups->load();
    reclassifyImageFiles();
    loadRichText();
    loadEmbeddings();
    m_store.m_search->loadUsageSignals();
    m_store.m_search->loadManualTags();
    m_store.m_bringBack->load();
    m_store.m_faces->loadCaches();

    m_store.m_search->rebuildIndex();

    // The first frame shows the whole library newest first; the first lexical refresh then
    // brings brought-back items to the front.
    m_store.m_search->showNewestFirst();

    startSearchPipelines();
    startLibraryTasks();
    m_store.m_search->startMissingEmbeddings();
    // The check starts on the first turn of the event loop, unless a window holds it until drawn.
    if (m_store.m_health->libraryCheckWaiting())
        m_store.m_startup->startOnFirstTurn();
}

void VeskStore::StartupLoading::startSearchPipelines()
{
    m_store.m_search->startPipelines();
    connect(&m_store, &VeskStore::searchTextChanged, &m_store,
            [this] { m_store.m_search->searchTextChanged(m_store.searchText()); });
}

void VeskStore::StartupLoading::startLibraryTasks(bool withFaceBackfill)
{
    // Only a library read whole can tell which items have no row.
    if (m_store.m_library->isWhole() && !m_store.libraryProblem())
        m_store.m_secure->removeSecretsOfUnfinishedAdds();
    m_store.deliverDueBringBacks();
    startThumbnailPrewarm();
    // Nothing may be taken in, analysed or moved in a library that cannot be written: the inboxes
    // keep their files until a start that can.
    if (m_store.readOnlyReason())
        return;
    m_store.m_fileIntake->startInboxWatchers();
    // Face analysis (models, decoding, a row written per picture) waits until start-up has taken
    // everything it reads: it would only compete with reading and indexing the library.
    if (withFaceBackfill && m_store.startupIsFinished())
        m_store.m_faces->startFaceBackfill();
    m_store.m_fileIntake->startItemsFolderSweep();
}

void VeskStore::StartupLoading::startThumbnailPrewarm()
{
    // The files are picked out when the cache's worker gets to them, in turns of the list's gate:
    // the list itself, held until then, would make a capture meanwhile copy the whole library.
    // Not kept: the cache works through its own queue and the result is not needed here.
    m_store.m_services.thumbnails->prewarmThumbnails([walk = ItemsWalk(m_store.m_library->reading())]() mutable {
        return walk
            .gather<ThumbnailSource>(kItemsPerTurn,
                [](const VeskItem& item, QList<ThumbnailSource>& files) {
                    if (auto file = thumbnailSourceOf(item))
                        files.append(*file);
                })
            .value_or(QList<ThumbnailSource>());
    });
}

void VeskStore::StartupLoading::failItemsLoad(const DatabaseError& error)
{
    // Writing on into a file whose items cannot be read could bury what is left in it: the
    // connection goes, and the window says why instead of showing an empty library.
    SQLiteDatabase* database = m_store.m_file->database();
    const QString path = database ? database->filePath() : m_store.m_health->libraryFilePath();
    m_store.m_file->close();
    m_store.m_library->setWhole(false);
    m_store.m_library->setItems({});
    m_store.m_health->reportUnreadable(path, error);
}

void VeskStore::StartupLoading::relocateManagedPaths()
{
    const QString items = m_store.managedItemsDirectory();
    const bool changed = m_store.m_library->changeEach([&](VeskItem& item) {
        if (!item.filePath)
            return false;
        auto moved = relocatedManagedPath(*item.filePath, item.id, items);
        if (!moved)
            return false;
        item.filePath = *moved;
        return true;
    });
    if (changed)
        m_store.m_library->publishItems();
}

bool VeskStore::StartupLoading::beginBackgroundLoading()
{
    // Without a database, with an empty one (nothing to read, or a legacy archive to migrate)
    // or with an archive still to be set aside, start-up loads at once as it always did.
    if (!m_store.m_file->database() || QFileInfo::exists(m_store.legacyArchiveURL()))
        return false;
    const auto empty = m_store.m_file->database()->isEmpty();
    if (!empty || *empty)
        return false;
    auto firstPage = m_store.m_file->database()->fetchNewestItems(VeskStore::firstPageSize);
    if (!firstPage)
        return false;
    m_store.m_file->markHasHeldItems();

    m_store.m_library->setItems(firstPage.value());
    relocateManagedPaths();
    m_store.m_groups->load();
    m_store.m_search->loadUsageSignals();
    m_store.m_search->loadManualTags();
    m_store.m_bringBack->load();

    m_store.m_search->beginIndexingInBackground();
    m_store.m_library->setSearchReady(false);
    // The launch snapshot copies the whole file: it waits until start-up has taken everything
    // it reads, so that search is ready first.
    m_store.m_health->holdLaunchSnapshot();
    QObject::connect(m_store.m_startup.get(), &LibraryStartup::finished, m_store.m_health.get(),
        &LibraryHealth::releaseLaunchSnapshot, Qt::SingleShotConnection);
    m_store.m_startup->beginReading(m_store.m_file->database()->filePath(), m_store.managedItemsDirectory(), m_store.items());
    return true;
}

void VeskStore::makeLibraryStartup()
{
    LibraryStartup::Hooks hooks;
    hooks.startLibraryCheck = [this] { m_health->startLibraryCheck(); };
    hooks.libraryCheckWaiting = [this] { return m_health->libraryCheckWaiting(); };
    hooks.takeLibrary = [this](const std::shared_ptr<LibraryReading>& reading) { m_loading->finishReadingLibrary(reading); };
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

void VeskStore::StartupLoading::finishReadingLibrary(const std::shared_ptr<LibraryReading>& reading)
{
    m_store.assertMainThread();
    const QList<VeskItem> firstPage = m_store.m_startup->takeFirstPage();

    // Damage found meanwhile: the library is not taken up.
    if (m_store.libraryProblem()) {
        finishStartupWithoutLibrary();
        return;
    }

    // A library whose items cannot be read is not written on, and not shown as holding only the
    // first page: the window says why.
    if (!reading->items) {
        veskLog(kLoadMigrationError + reading->items.error().logText());
        failItemsLoad(reading->items.error());
        m_store.m_search->resetToItems();
        finishStartupWithoutLibrary();
        return;
    }

    // Items added, changed or removed while the library was read are taken as they are now.
    const LoadedItemsMerge merge = mergeLoadedItems(std::move(*reading->items), firstPage, m_store.items());
    m_store.m_library->adoptItems(merge.items);
    m_store.m_library->setWhole(true);

    m_store.m_search->takeLoadedOrder(std::move(*reading->order), merge.removed, merge.changed, merge.added);

    // File items that are pictures become image items, each saved at once.
    if (!reading->pictureFileIDs.isEmpty()) {
        m_store.m_library->changeEach([&](VeskItem& item) {
            if (item.kind != VeskKind::File || !reading->pictureFileIDs.contains(item.id))
                return false;
            item.kind = VeskKind::Image;
            (void)m_store.saveItemToDatabase(item); // a failure is marked on the card, said and retried
            m_store.m_search->updateInDefaultOrder(item);
            return true;
        });
    }
    emit m_store.libraryLoaded();
    m_store.m_library->publishItems();
    // The items above are the ones the index is built from next.
    m_store.m_search->beginIndexBuild();

    if (!reading->richText) {
        veskLog(QStringLiteral("Vesk rich-text load error: ") + reading->richText.error().logText());
    } else {
        // Rich text stored while reading is newer than what was read.
        QHash<QUuid, QByteArray> richText = *reading->richText;
        for (auto it = m_store.richTextByID().cbegin(); it != m_store.richTextByID().cend(); ++it)
            richText.insert(it.key(), it.value());
        m_store.setRichTextByID(richText);
    }
    m_store.m_faces->adoptReading(*reading);

    // What an empty search shows is the whole library from now on.
    if (m_store.searchText().trimmed().isEmpty())
        m_store.m_search->publishDefaultOrder();

    // The index is built from the library as it stands now; what changes meanwhile is indexed
    // again when it arrives. The worker reads the items into a list of its own, in turns of the
    // list's gate: the list itself, held while the index is built, would make a capture meanwhile
    // copy the whole library.
    m_store.m_search->beginIndexBuild();
    const QHash<QUuid, QSet<QString>> people = m_store.personNamesByItem();
    const QHash<QUuid, QStringList> tags = m_store.m_search->manualTagsByItem();
    QThreadPool* pool = m_store.m_startup->pool();
    const QString path = m_store.m_file->database()->filePath();
    const QString indexFile = searchIndexFilePath(path);
    std::shared_ptr<const SearchIndexImage> kept = std::move(reading->indexImage);
    deliverResult(&m_store,
        m_store.m_startup->worker().run(
            [walk = ItemsWalk(m_store.m_library->reading()), people, tags, pool, kept]() mutable {
                const auto items = walk.gather<VeskItem>(kItemsPerTurn,
                    [](const VeskItem& item, QList<VeskItem>& all) { all.append(item); });
                return buildSearchIndex(items.value_or(QList<VeskItem>()), people, tags, pool, kept.get());
            }),
        [this, indexFile](const SearchIndexBuild& build) {
            finishBuildingSearch(build.index);
            // Nothing of these is needed to search, and the bring-back dates are saved with a
            // sync to disk, which a busy disk can make last seconds: they wait for search, and
            // for the turn of the event loop that answers a search waiting for it. Posted, they
            // still come before the results start-up delivers later.
            // The face backfill is started by the reading of the vectors, which may come first.
            QMetaObject::invokeMethod(&m_store, [this] { startLibraryTasks(false); }, Qt::QueuedConnection);
            // Written after everything start-up reads, for the next start; a library that
            // cannot be written keeps what it has.
            if (build.image && !m_store.readOnlyReason() && m_store.m_startup->readsInBackground()) {
                m_store.m_startup->worker().run([indexFile, image = build.image] {
                    if (!writeSearchIndexFile(indexFile, *image))
                        veskLog(QStringLiteral("Vesk search index save error for ") + indexFile);
                });
            }
        });
    // After the build has handed its index over, the file's image is let go, and with it what
    // the build's word tables and lists took on many threads, which the allocator would keep,
    // with the vectors read next on top. Apart from the build, so that search waits for neither.
    m_store.m_startup->worker().run([kept = std::move(kept)]() mutable {
        kept.reset();
        releaseFreeMemory();
    });
    buildNearDuplicatesAtStart();
    const QString model = m_store.m_services.embeddings->modelName();
    deliverResult(&m_store,
        m_store.m_startup->worker().run([path, model] {
            auto reading = std::make_shared<EmbeddingReading>(readEmbeddings(path, model));
            // The rows were freed as they were read: handed back before the dictionary, read
            // next, is laid on top of what the allocator would otherwise keep.
            releaseFreeMemory();
            return reading;
        }),
        [this](const std::shared_ptr<EmbeddingReading>& vectors) { finishReadingEmbeddings(vectors); });
}

void VeskStore::StartupLoading::buildNearDuplicatesAtStart()
{
    // Built from the library as it stands when the build begins, after the search index. A
    // capture checked meanwhile is compared with what the index held before (the first page and
    // what changed since); an index built from a list that changed meanwhile is built again from
    // the new one. The worker reads the items it compares into a list of its own, in turns of the
    // list's gate: the list itself, held while the indexes are built, would make a capture
    // meanwhile copy the whole library. Only the candidates are read; the build skips the rest.
    QThreadPool* pool = m_store.m_startup->pool();
    deliverResult(&m_store,
        m_store.m_startup->worker().run([reading = m_store.m_library->reading(), pool] {
            NearDuplicateBuild build;
            std::optional<ItemsWalk> walk;
            if (!reading.gate->readTurn([&] {
                    walk.emplace(reading);
                    build.builtFrom = *reading.changes;
                }))
                return build;
            const auto texts = walk->gather<VeskItem>(kItemsPerTurn, [](const VeskItem& item, QList<VeskItem>& picked) {
                if (isNearDuplicateCandidate(item))
                    picked.append(item);
            });
            if (texts)
                build.index = buildNearDuplicateIndex(*texts, pool);
            return build;
        }),
        [this](const NearDuplicateBuild& build) {
            if (!build.index)
                return;
            if (m_store.m_library->changeCount() != build.builtFrom) {
                buildNearDuplicatesAtStart();
                return;
            }
            m_store.m_search->adoptNearDuplicates(std::move(*build.index));
        });
}

void VeskStore::StartupLoading::finishStartupWithoutLibrary()
{
    m_store.m_search->finishWithoutIndex();
    m_store.m_library->setSearchReady(true);
    m_store.m_health->startLibraryCheck();
    m_store.m_startup->finish();
}

void VeskStore::StartupLoading::finishReadingEmbeddings(const std::shared_ptr<EmbeddingReading>& reading)
{
    m_store.assertMainThread();
    if (reading->error) {
        veskLog(QStringLiteral("Vesk embedding load error: ") + reading->error->logText());
    } else {
        m_store.m_search->adoptStoredVectors(std::move(reading->vectors));
    }
    if (m_store.libraryProblem()) {
        m_store.m_startup->finish();
        return; // damage found meanwhile: nothing more is analysed or written
    }
    // Searches compare meanings from the first one on: the dictionary is read now, in the
    // background, instead of holding up the first search's deeper pass. It is start-up's own
    // reading, and what it keeps is held from then on: start-up ends once it is read, and the
    // face backfill, which would compete with it, waits as it waits for the rest.
    deliverResult(&m_store, m_store.m_services.embeddings->prepare(), [this](bool) {
        m_store.m_startup->finish();
        if (m_store.libraryProblem())
            return;
        m_store.startFaceBackfill();
        m_store.m_search->startMissingEmbeddings();
    });
}

void VeskStore::StartupLoading::finishBuildingSearch(const std::shared_ptr<SearchIndex>& index)
{
    m_store.assertMainThread();
    m_store.m_search->adoptIndex(std::move(*index));

    m_store.m_library->setSearchReady(true);
    // The check of the library file waited for search too; new rows wait for it, so it goes first.
    m_store.m_health->startLibraryCheck();
    // A search typed meanwhile is answered now.
    if (!m_store.searchText().trimmed().isEmpty()) {
        m_store.refreshFilteredItems(m_store.searchText());
        m_store.startDeepSearch(m_store.searchText());
    }
}

void VeskStore::waitForStartup()
{
    assertMainThread();
    m_startup->waitUntilFinished();
    m_health->waitForLibraryCheck();
}

void VeskStore::StartupLoading::loadItemsFromDatabase()
{
    if (!m_store.m_file->database()) {
        veskLog(QStringLiteral("Vesk database unavailable."));
        m_store.m_library->setItems({});
        return;
    }

    const auto empty = m_store.m_file->database()->isEmpty();
    if (!empty) {
        veskLog(kLoadMigrationError + empty.error().logText());
        failItemsLoad(empty.error());
        return;
    }

    const bool archiveExists = QFileInfo::exists(m_store.legacyArchiveURL());
    if (!*empty)
        m_store.m_file->markHasHeldItems();
    if (archiveExists) {
        if (*empty && !m_store.m_file->hasHeldItems()) {
            // A failed migration leaves the archive for the next start, so its items still
            // belong to the library even though none is shown.
            m_store.m_library->setWhole(migrateLegacyArchiveIntoDatabase());
            if (!m_store.itemsLoaded())
                m_store.m_library->setItems({});
            return;
        }
        // Already migrated (or superseded) but never set aside: set it aside now, so an emptied
        // library does not bring the old items back.
        m_store.migrateLegacyArchive();
    }

    auto fetched = m_store.m_file->database()->fetchItems();
    if (!fetched) {
        veskLog(kLoadMigrationError + fetched.error().logText());
        failItemsLoad(fetched.error());
        return;
    }
    m_store.m_library->setItems(fetched.value());
    relocateManagedPaths();
    m_store.m_library->setWhole(true);
}

bool VeskStore::StartupLoading::migrateLegacyArchiveIntoDatabase()
{
    QFile file(m_store.legacyArchiveURL());
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
    if (auto stored = m_store.m_file->database()->upsertItems(migrated); !stored) {
        veskLog(kLoadMigrationError + stored.error().logText());
        return false;
    }
    if (!migrated.isEmpty())
        m_store.m_file->markHasHeldItems();
    m_store.sortItems(migrated);
    m_store.m_library->setItems(migrated);
    // The archive is kept whole under its migrated name, bad records and all.
    m_store.migrateLegacyArchive();
    if (!decoded->badRecords.isEmpty()) {
        m_store.reportFailure(QStringLiteral("Not everything was brought in"),
                      QString::number(decoded->badRecords.size())
                          + (decoded->badRecords.size() == 1 ? QStringLiteral(" record") : QStringLiteral(" records"))
                          + QStringLiteral(" of the old archive could not be read. The archive is kept as ")
                          + m_store.migratedArchivePath() + QLatin1Char('.'));
    }
    return true;
}

void VeskStore::StartupLoading::reclassifyImageFiles()
{
    const bool changed = m_store.m_library->changeEach([this](VeskItem& item) {
        if (item.kind != VeskKind::File || !item.filePath || !hasImageFileExtension(*item.filePath))
            return false;
        item.kind = VeskKind::Image;
        // A row that cannot be written is marked unsaved and written again later.
        (void)m_store.saveItemToDatabase(item);
        return true;
    });
    if (changed)
        m_store.m_library->publishItems();
}

void VeskStore::StartupLoading::loadRichText()
{
    if (!m_store.m_file->database()) {
        m_store.setRichTextByID({});
        return;
    }
    auto richText = m_store.m_file->database()->fetchRichText();
    if (!richText) {
        veskLog(QStringLiteral("Vesk rich-text load error: ") + richText.error().logText());
        m_store.setRichTextByID({});
        return;
    }
    m_store.setRichTextByID(richText.value());
}

void VeskStore::StartupLoading::loadEmbeddings()
{
    m_store.m_search->replaceVectors(SemanticVectors());
    if (!m_store.m_file->database())
        return;
    // Vectors of another model are left out: their items are embedded again.
    SemanticVectors vectors;
    auto read = m_store.m_file->database()->forEachEmbedding([&vectors](const QUuid& id, const QByteArray& blob) {
        vectors.insert(id, decodeVectorBlob(blob));
    }, m_store.m_services.embeddings->modelName());
    if (!read) {
        veskLog(QStringLiteral("Vesk embedding load error: ") + read.error().logText());
        return;
    }
    m_store.m_search->replaceVectors(std::move(vectors));
}

} // namespace vesk
