#pragma once

#include "intake/NearDuplicateIndex.h"
#include "model/VeskFaceRecords.h"
#include "model/VeskItem.h"
#include "platform/CancellationToken.h"
#include "platform/Expected.h"
#include "search/DefaultOrder.h"
#include "search/SearchIndex.h"
#include "search/SemanticVectors.h"
#include "store/DatabaseError.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>

class QThreadPool;

namespace vesk {

// Start-up reads the library on worker threads, so that the window and the newest items are on
// screen at once: first the whole library (items, rich text, face data, with the default order
// made from the items), then the search index, then the near-duplicate index, then the sentence
// vectors (last, so that the memory the index build needed for a while is given back before they
// take theirs). The store takes each part on the main thread and brings it up to what changed
// meanwhile.

// What the first worker reads, through its own read-only connection. Each part carries its own
// failure.
struct LibraryReading {
    Expected<QList<VeskItem>, DatabaseError> items = QList<VeskItem>();
    Expected<QHash<QUuid, QByteArray>, DatabaseError> richText = QHash<QUuid, QByteArray>();
    // The four face caches, or the first failure among their reads.
    std::optional<DatabaseError> faceError;
    QList<VeskFaceRecord> faces;
    QList<VeskFaceClusterRecord> faceClusters;
    QList<VeskFaceRejectionRecord> faceRejections;
    QSet<QUuid> ignoredFaceIDs;
    // File items whose managed file has a picture extension: start-up makes them image items.
    QSet<QUuid> pictureFileIDs;
    // Made from the items as read (brought-back marks are applied by the store).
    std::shared_ptr<DefaultOrder> order;
    // The search index file as read beside the items; none when there is none or it is unusable.
    std::shared_ptr<const SearchIndexImage> indexImage;
};

// Reads the library at databasePath, its managed paths brought to itemsDirectory, and the search
// index file at indexFilePath when one is named. Runs on a worker thread; a large library's items
// and the index file are read on the pool's threads as well, when one is given.
LibraryReading readLibrary(const QString& databasePath, const QString& itemsDirectory, QThreadPool* pool = nullptr,
    const QString& indexFilePath = {});

// The near-duplicate index of the items, built on the pool's threads. Runs on a worker thread,
// after the search index: a capture's check can wait a moment longer than a search.
std::shared_ptr<NearDuplicateIndex> buildNearDuplicateIndex(const QList<VeskItem>& items, QThreadPool* pool);

// What SQLite's check of the library file's structure found, made on a read-only connection of
// its own (SQLiteDatabase::quickCheck): damage, in SQLite's words, or an error that kept the
// check from being made.
struct LibraryCheckReading {
    QStringList damage;
    std::optional<DatabaseError> error;
};
LibraryCheckReading checkLibraryFile(const QString& databasePath, const CancellationToken& stop);

// The sentence vectors of a library, or the failure that left them unread.
struct EmbeddingReading {
    std::optional<DatabaseError> error;
    SemanticVectors vectors;
};
// Only the vectors written by the given model: another model's vectors cannot be compared with
// this one's, so their items count as having none until they are embedded again.
EmbeddingReading readEmbeddings(const QString& databasePath, const QString& model);

// The pool names (trimmed, in their own case) of the people whose faces each item holds; unnamed
// and blank pools give none.
QHash<QUuid, QSet<QString>> personNamesByItem(
    const QList<VeskFaceClusterRecord>& pools, const QList<VeskFaceRecord>& faces);

// The search index of the items, built on the pool's threads, taking the words of unchanged items
// from kept (the index file's image) when given. Runs on a worker thread.
struct SearchIndexBuild {
    std::shared_ptr<SearchIndex> index;
    // What the index file should hold from now on, when it did not hold that already.
    std::shared_ptr<SearchIndexImage> image;
};
SearchIndexBuild buildSearchIndex(const QList<VeskItem>& items,
    const QHash<QUuid, QSet<QString>>& peopleByItem, const QHash<QUuid, QStringList>& manualTagsByID,
    QThreadPool* pool, const SearchIndexImage* kept);

// The threads start-up builds on: every core, below the priority of the main thread, and apart
// from the global pool that Qt itself draws on while painting.
class StartupThreads {
public:
    StartupThreads();
    ~StartupThreads();
    QThreadPool* pool() { return m_pool.get(); }

private:
    std::unique_ptr<QThreadPool> m_pool;
};

// The items as the store holds them once the whole library is read: the items read, with what
// the store changed in memory since it put up the first page (the newest items, read before):
// items it added come first, in the store's order; items it changed are taken as they are in
// memory; items it removed are left out.
struct LoadedItemsMerge {
    QList<VeskItem> items;
    QList<VeskItem> added;       // in the store's order, newest first
    QList<VeskItem> changed;
    QList<QUuid> removed;
};
// The read list is taken over, not copied: when nothing happened meanwhile it is the result.
LoadedItemsMerge mergeLoadedItems(
    QList<VeskItem> read, const QList<VeskItem>& firstPage, const QList<VeskItem>& current);

} // namespace vesk
