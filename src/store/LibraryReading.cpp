#include "store/LibraryReading.h"

#include "intake/ManagedStorage.h"
#include "model/ItemFileKinds.h"
#include "model/VectorBlob.h"
#include "platform/ParallelWork.h"
#include "platform/ThreadPriority.h"
#include "store/SQLiteDatabase.h"

#include <QFileInfo>
#include <QThread>
#include <QThreadPool>

#include <iterator>
#include <vector>


namespace vesk {

StartupThreads::StartupThreads() : m_pool(std::make_unique<QThreadPool>())
{
    m_pool->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    m_pool->setThreadPriority(QThread::LowPriority);
    // The window is painted and answers while the library is read and indexed on every core.
    makePoolThreadsBackground(*m_pool);
}

StartupThreads::~StartupThreads()
{
    m_pool->waitForDone();
}

namespace {

// Items a connection reads at less cost than starting another for them.
constexpr qint64 kItemsPerConnection = 8'000;

// What the pass over the item rows gives besides the items.
struct AlongWithItems {
    QHash<QUuid, QByteArray> richText;
    QSet<QUuid> pictureFileIDs;
};

// Brings the managed paths of items read to itemsDirectory (a library whose data folder was
// moved finds its files where they are now), and notes the file items that are pictures.
void settleItems(QList<VeskItem>& items, const QString& itemsDirectory, QSet<QUuid>& pictureFileIDs)
{
    for (VeskItem& item : items) {
        if (!item.filePath)
            continue;
        if (auto moved = relocatedManagedPath(*item.filePath, item.id, itemsDirectory))
            item.filePath = *moved;
        if (item.kind == VeskKind::File && hasImageFileExtension(*item.filePath))
            pictureFileIDs.insert(item.id);
    }
}

// The items of the library, newest first, as fetchItems gives them, settled (settleItems), and
// their rich text, as fetchRichText gives it, read in the same pass over the rows. A large library
// is read in parts of consecutive creation dates, each on a read-only connection of its own on the
// pool's threads: decoding and settling the rows is most of the work, and the journal lets readers
// run side by side.
Expected<QList<VeskItem>, DatabaseError> readItems(SQLiteDatabase& database, const QString& databasePath,
    const QString& itemsDirectory, QThreadPool* pool, AlongWithItems& along)
{
    const int threads = pool ? pool->maxThreadCount() : 1;
    const auto count = database.itemCount();
    if (!count)
        return unexpected(count.error());
    const int parts = int(std::min<qint64>(threads, *count / kItemsPerConnection));
    if (parts <= 1) {
        auto items = database.fetchItemsCreatedIn(std::nullopt, std::nullopt, qsizetype(*count), &along.richText);
        if (items)
            settleItems(*items, itemsDirectory, along.pictureFileIDs);
        return items;
    }
    auto splits = database.itemCreationSplits(parts);
    if (!splits)
        return unexpected(splits.error());
    // Part i holds the dates below splits[i - 1] and from splits[i] on.
    const size_t partCount = splits->size() + 1;
    std::vector<Expected<QList<VeskItem>, DatabaseError>> read(partCount, QList<VeskItem>());
    std::vector<AlongWithItems> alongRead(partCount);
    forEachInParallel(partCount, [&](size_t part) {
        const std::optional<double> before = part == 0 ? std::nullopt : std::optional((*splits)[part - 1]);
        const std::optional<double> from = part + 1 == partCount ? std::nullopt : std::optional((*splits)[part]);
        const qsizetype room = qsizetype(*count / qint64(partCount) + 64);
        std::unique_ptr<SQLiteDatabase> own;
        if (part > 0) {
            auto connection = SQLiteDatabase::openForReading(databasePath);
            if (!connection) {
                read[part] = unexpected(connection.error());
                return;
            }
            own = std::move(connection.value());
        }
        read[part] = (own ? *own : database).fetchItemsCreatedIn(before, from, room, &alongRead[part].richText);
        if (read[part])
            settleItems(*read[part], itemsDirectory, alongRead[part].pictureFileIDs);
    }, pool);
    qsizetype total = 0;
    for (const auto& part : read) {
        if (!part)
            return unexpected(part.error());
        total += part->size();
    }
    // Made with its room at the front here: made afterwards, it would be one more copy of every
    // item while the rest of start-up is in memory.
    QList<VeskItem> items = emptyListWithRoomAtFront(total);
    for (size_t part = 0; part < partCount; ++part) {
        QList<VeskItem>& more = *read[part];
        std::move(more.begin(), more.end(), std::back_inserter(items));
        more = QList<VeskItem>();
    }
    for (AlongWithItems& part : alongRead) {
        along.richText.insert(part.richText);
        along.pictureFileIDs.unite(part.pictureFileIDs);
    }
    return items;
}

// Everything read from the database.
void readDatabase(LibraryReading& reading, const QString& databasePath, const QString& itemsDirectory, QThreadPool* pool);

} // namespace

LibraryReading readLibrary(const QString& databasePath, const QString& itemsDirectory, QThreadPool* pool,
    const QString& indexFilePath)
{
    LibraryReading reading;
    // The index file needs nothing from the database: it is read on a thread of its own while the
    // items are, instead of after them on the way to search.
    forEachInParallel(indexFilePath.isEmpty() ? 1 : 2, [&](size_t job) {
        if (job == 0) {
            readDatabase(reading, databasePath, itemsDirectory, pool);
            return;
        }
        if (auto image = readSearchIndexFile(indexFilePath))
            reading.indexImage = std::make_shared<const SearchIndexImage>(std::move(*image));
    }, pool);
    return reading;
}

namespace {

void readDatabase(LibraryReading& reading, const QString& databasePath, const QString& itemsDirectory, QThreadPool* pool)
{
    auto opened = SQLiteDatabase::openForReading(databasePath);
    if (!opened) {
        reading.items = unexpected(opened.error());
        reading.richText = unexpected(opened.error());
        reading.faceError = opened.error();
        return;
    }
    SQLiteDatabase& database = *opened.value();

    AlongWithItems along;
    reading.items = readItems(database, databasePath, itemsDirectory, pool, along);
    if (reading.items) {
        reading.richText = std::move(along.richText);
        reading.pictureFileIDs = std::move(along.pictureFileIDs);
        makeRoomAtFront(*reading.items);
    } else {
        reading.richText = unexpected(reading.items.error());
    }
    [&] {
        auto faces = database.fetchFaces();
        if (!faces)
            return void(reading.faceError = faces.error());
        auto clusters = database.fetchFaceClusters();
        if (!clusters)
            return void(reading.faceError = clusters.error());
        auto rejections = database.fetchFaceRejections();
        if (!rejections)
            return void(reading.faceError = rejections.error());
        auto ignored = database.fetchIgnoredFaceIDs();
        if (!ignored)
            return void(reading.faceError = ignored.error());
        reading.faces = std::move(faces.value());
        reading.faceClusters = std::move(clusters.value());
        reading.faceRejections = std::move(rejections.value());
        reading.ignoredFaceIDs = std::move(ignored.value());
    }();
    opened.value().reset();

    const QList<VeskItem> items = reading.items ? *reading.items : QList<VeskItem>();
    reading.order = std::make_shared<DefaultOrder>();
    reading.order->resetSharing(items, {});
}

} // namespace

std::shared_ptr<NearDuplicateIndex> buildNearDuplicateIndex(const QList<VeskItem>& items, QThreadPool* pool)
{
    auto index = std::make_shared<NearDuplicateIndex>();
    index->rebuild(items, pool);
    return index;
}

LibraryCheckReading checkLibraryFile(const QString& databasePath, const CancellationToken& stop)
{
    LibraryCheckReading reading;
    auto opened = SQLiteDatabase::openForReading(databasePath);
    if (!opened) {
        // A file whose first pages cannot be read is damaged before the check begins.
        const QString reason = opened.error().plainReason();
        if (reason == QLatin1String("the library file is damaged") || reason == QLatin1String("the disk reported an error"))
            reading.damage.append(opened.error().message);
        else
            reading.error = opened.error();
        return reading;
    }
    auto checked = opened.value()->quickCheck(stop);
    if (checked)
        reading.damage = std::move(*checked);
    else
        reading.error = checked.error();
    return reading;
}

EmbeddingReading readEmbeddings(const QString& databasePath, const QString& model)
{
    EmbeddingReading reading;
    auto opened = SQLiteDatabase::openForReading(databasePath);
    if (!opened) {
        reading.error = opened.error();
        return reading;
    }
    // Room for all of them at once (a value takes at most four bytes of its blob's): the block is
    // not copied as it fills, with the library and its index already in memory.
    if (const auto volume = opened.value()->embeddingVolume())
        reading.vectors.reserve(size_t(volume->first), size_t(volume->second / 4));
    auto read = opened.value()->forEachEmbedding(
        [&](const QUuid& id, const QByteArray& blob) { reading.vectors.insert(id, decodeVectorBlob(blob)); }, model);
    if (!read) {
        reading.error = read.error();
        reading.vectors.clear();
    }
    return reading;
}

QHash<QUuid, QSet<QString>> personNamesByItem(
    const QList<VeskFaceClusterRecord>& pools, const QList<VeskFaceRecord>& faces)
{
    QHash<QUuid, QString> names;
    for (const VeskFaceClusterRecord& pool : pools) {
        const QString name = pool.name.value_or(QString()).trimmed();
        if (!name.isEmpty())
            names.insert(pool.id, name);
    }
    QHash<QUuid, QSet<QString>> byItem;
    if (names.isEmpty())
        return byItem;
    for (const VeskFaceRecord& face : faces) {
        if (!face.clusterID)
            continue;
        if (auto name = names.constFind(*face.clusterID); name != names.cend())
            byItem[face.veskID].insert(*name);
    }
    return byItem;
}

SearchIndexBuild buildSearchIndex(const QList<VeskItem>& items,
    const QHash<QUuid, QSet<QString>>& peopleByItem, const QHash<QUuid, QStringList>& manualTagsByID,
    QThreadPool* pool, const SearchIndexImage* kept)
{
    SearchIndexBuild build;
    auto index = std::make_shared<SearchIndex>();
    index->setThreadPool(pool);
    {
        auto image = std::make_shared<SearchIndexImage>();
        if (index->rebuild(items, peopleByItem, manualTagsByID, kept, image.get()).imageMade)
            build.image = std::move(image);
    }
    // Later changes are small and made on the main thread, with the global pool.
    index->setThreadPool(nullptr);
    build.index = std::move(index);
    return build;
}

LoadedItemsMerge mergeLoadedItems(
    QList<VeskItem> read, const QList<VeskItem>& firstPage, const QList<VeskItem>& current)
{
    QHash<QUuid, const VeskItem*> shown;
    shown.reserve(firstPage.size());
    for (const VeskItem& item : firstPage)
        shown.insert(item.id, &item);

    LoadedItemsMerge merge;
    QHash<QUuid, const VeskItem*> inMemory;
    QSet<QUuid> addedIDs;
    for (const VeskItem& item : current) {
        const auto before = shown.constFind(item.id);
        if (before == shown.cend()) {
            merge.added.append(item);
            addedIDs.insert(item.id);
        } else if (!(**before == item)) {
            merge.changed.append(item);
            inMemory.insert(item.id, &item);
        }
    }
    QSet<QUuid> kept;
    for (const VeskItem& item : current)
        kept.insert(item.id);
    QSet<QUuid> removed;
    for (const VeskItem& item : firstPage) {
        if (!kept.contains(item.id)) {
            merge.removed.append(item.id);
            removed.insert(item.id);
        }
    }

    // A large library's list is changed in place, and only where something happened: copying
    // every item is a long stretch of the main thread.
    if (!removed.isEmpty() || !addedIDs.isEmpty()) {
        read.removeIf([&](const VeskItem& item) { return removed.contains(item.id) || addedIDs.contains(item.id); });
    }
    if (!inMemory.isEmpty()) {
        for (VeskItem& item : read) {
            if (const auto changed = inMemory.constFind(item.id); changed != inMemory.cend())
                item = **changed;
        }
    }
    if (merge.added.isEmpty()) {
        merge.items = std::move(read);
        return merge;
    }
    merge.items.reserve(read.size() + merge.added.size());
    merge.items.append(merge.added);
    merge.items.append(std::move(read));
    makeRoomAtFront(merge.items);
    return merge;
}

} // namespace vesk
