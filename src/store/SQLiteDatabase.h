#pragma once

#include "model/VeskFaceRecords.h"
#include "model/VeskItem.h"
#include "platform/CancellationToken.h"
#include "platform/Expected.h"
#include "store/DatabaseError.h"
#include "store/RecoveryError.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;

namespace vesk {

class SQLiteStatement;

// The only gateway to the library database "vesk.sqlite3": one SQLite connection, owned by the
// store and used from the main thread only. Every statement is prepared afresh, bound by position
// and finalised before the call returns; every failure comes back as a DatabaseError.
// Releasing the object closes the connection.
// How a recovery copy paces itself: pages copied per step, the pause after a step that found the
// library busy, and the total pause after which it gives up rather than keep its caller waiting.
struct DatabaseBackupPacing {
    int pagesPerStep = 128;
    int busySleepMs = 25;
    int busyWaitLimitMs = 10'000;
};

class SQLiteDatabase {
public:
    using VoidResult = Expected<void, DatabaseError>;

    // Opens (creating when missing) the database file, sets a busy timeout, WAL journalling,
    // synchronous FULL and foreign keys, and creates or extends the schema. The parent folder is created when
    // missing. A connection that fails any of these steps is closed before the error is returned.
    static Expected<std::unique_ptr<SQLiteDatabase>, DatabaseError> open(const QString& filePath);
    // A second, read-only connection to an existing library, for reading it on a worker thread
    // while the store's own connection goes on writing; it sees the file as it stood when each
    // read began. Nothing is created or changed: a file made before some columns or tables
    // existed reads as if it had them, at their defaults and empty.
    static Expected<std::unique_ptr<SQLiteDatabase>, DatabaseError> openForReading(const QString& filePath);
    // The library's own file: "vesk.sqlite3" in the data folder.
    static QString defaultFilePath();
    // Whether an existing file holds the item table, read without changing the file (no schema
    // is created); an error when it cannot be read as a database.
    static Expected<bool, DatabaseError> fileHoldsItemTable(const QString& filePath);

    ~SQLiteDatabase();
    SQLiteDatabase(const SQLiteDatabase&) = delete;
    SQLiteDatabase& operator=(const SQLiteDatabase&) = delete;

    QString filePath() const { return m_filePath; }

    // --- Connection, schema and transactions ---

    // Runs SQL text without reading rows (executeFailed on failure).
    VoidResult execute(const QString& sql);
    // Creates every table and index that is missing and adds the columns older files lack.
    VoidResult createSchema();
    // Adds the column when the table lacks it (exact, case-sensitive name match).
    VoidResult ensureColumn(const QString& table, const QString& column, const QString& type);
    // Runs body between "BEGIN IMMEDIATE TRANSACTION;" and "COMMIT;". When body or the commit
    // fails, rolls back and returns that first error (a failing rollback is not reported).
    VoidResult runInTransaction(const std::function<VoidResult()>& body);

    // SQLite's own check of the file's structure ("PRAGMA quick_check"): every page of every
    // table and index is read and its structure checked. What it found, in SQLite's words; none
    // when the file passed. A file so damaged that the check cannot go on is such a finding. An
    // error only when the check could not be made, or stop was cancelled meanwhile.
    Expected<QStringList, DatabaseError> quickCheck(const CancellationToken& stop);

    // --- Items, groups, rich text and embeddings ---

    // True when "vesks" has no row.
    Expected<bool, DatabaseError> isEmpty();
    // Newest first; rows that cannot be mapped to an item are left out. An item whose searchable
    // text equals its text holds one buffer for both.
    Expected<QList<VeskItem>, DatabaseError> fetchItems();
    // The newest `limit` items, as fetchItems gives them.
    Expected<QList<VeskItem>, DatabaseError> fetchNewestItems(int limit);
    Expected<qint64, DatabaseError> itemCount();
    // Creation dates (descending) that split the items, newest first, into about `parts` runs of
    // equal length; fewer when many items share a date. With fetchItemsCreatedIn, several
    // connections read one library's items side by side.
    Expected<std::vector<double>, DatabaseError> itemCreationSplits(int parts);
    // The items created before `before` and from `from` on (stored seconds; none: no bound), in
    // fetchItems' order; room: the items expected, when known. With richText, the rich text of
    // those rows goes there as fetchRichText gives it, read in the same pass: a pass of its own
    // would visit every row of the library again to find the few that have any.
    Expected<QList<VeskItem>, DatabaseError> fetchItemsCreatedIn(std::optional<double> before,
        std::optional<double> from, qsizetype room = -1, QHash<QUuid, QByteArray>* richText = nullptr);
    // Inserts or updates every field but the stored creation date; rich text and embedding stay.
    VoidResult upsertItem(const VeskItem& item);
    // One transaction for the whole list (an empty list commits an empty transaction).
    VoidResult upsertItems(const QList<VeskItem>& items);
    // The item's faces, face-analysis mark and relationships go with it.
    VoidResult deleteItem(const QUuid& id);
    // One transaction; an empty set touches nothing.
    VoidResult deleteItems(const QSet<QUuid>& ids);
    // Empties every table, in one transaction.
    VoidResult deleteAllRecords();
    // Oldest first.
    Expected<QList<VeskGroup>, DatabaseError> fetchGroups();
    VoidResult upsertGroup(const VeskGroup& group);
    // Clears the group from its members, removes it, and writes each given member's whole row,
    // all in one transaction: either the group is gone and every row written, or nothing changed.
    VoidResult deleteGroup(const QUuid& id, const QList<VeskItem>& members = {});
    // Items with a non-empty embedding blob.
    Expected<QHash<QUuid, QList<double>>, DatabaseError> fetchEmbeddings();
    // The same one row at a time, the blob as stored, so that a large library's vectors need
    // not all be held twice while they are loaded.
    // How many items have an embedding, and how many bytes the embeddings take in all.
    Expected<std::pair<qint64, qint64>, DatabaseError> embeddingVolume();
    // Given a model, only vectors written by that model are visited.
    VoidResult forEachEmbedding(const std::function<void(const QUuid& id, const QByteArray& blob)>& visit,
        const std::optional<QString>& model = std::nullopt);
    VoidResult updateEmbedding(const QUuid& id, const QString& model, const QList<double>& vector);
    // Items with non-empty rich text.
    Expected<QHash<QUuid, QByteArray>, DatabaseError> fetchRichText();
    // No bytes stores NULL.
    VoidResult updateRichText(const QUuid& id, const std::optional<QByteArray>& rtf);
    // The item's row and, when given, its rich text, in one transaction: both are written or
    // neither is. No bytes leaves the stored rich text as it is.
    VoidResult updateItemWithRichText(const VeskItem& item, const std::optional<QByteArray>& rtf);

    // --- Faces, person pools, rejections, ignores and analysis marks ---

    // Oldest first, then by face index.
    Expected<QList<VeskFaceRecord>, DatabaseError> fetchFaces();
    // On conflict the stored item and creation date are kept.
    VoidResult upsertFace(const VeskFaceRecord& face);
    // Replaces the item's faces in one transaction; the old faces' rejections and ignores go too.
    VoidResult replaceFaces(const QUuid& itemID, const QList<VeskFaceRecord>& faces);
    // The result of looking for the item's faces: its faces replaced and its analysis mark
    // written, both or neither.
    VoidResult saveFaceAnalysis(const QUuid& itemID, const QList<VeskFaceRecord>& faces);
    // Oldest first.
    Expected<QList<VeskFaceClusterRecord>, DatabaseError> fetchFaceClusters();
    // On conflict only the name and modification date change.
    VoidResult upsertFaceCluster(const VeskFaceClusterRecord& cluster);
    // Moves every face of source into target and removes source, in one transaction; rejections
    // against target of the moved faces are dropped. Equal identifiers do nothing.
    VoidResult mergeFaceCluster(const QUuid& sourceID, const QUuid& targetID);
    // None unassigns the face.
    VoidResult setFaceCluster(const QUuid& faceID, const std::optional<QUuid>& clusterID);
    // Puts the face into the pool in one transaction: the new pool's row first when one is given,
    // then the face's rejection by the pool is dropped and its pool set. All or nothing.
    VoidResult assignFaceToCluster(const QUuid& faceID, const QUuid& clusterID,
                                   const std::optional<VeskFaceClusterRecord>& newCluster = std::nullopt);
    // Ignoring twice keeps the first time.
    VoidResult ignoreFace(const QUuid& faceID);
    Expected<QSet<QUuid>, DatabaseError> fetchIgnoredFaceIDs();
    // Rejecting the same pair twice keeps the first time.
    VoidResult rejectFace(const QUuid& faceID, const QUuid& clusterID);
    VoidResult removeFaceRejection(const QUuid& faceID, const QUuid& clusterID);
    Expected<QList<VeskFaceRejectionRecord>, DatabaseError> fetchFaceRejections();
    // Items with an analysis mark or with stored faces.
    Expected<QSet<QUuid>, DatabaseError> fetchFaceAnalyzedItemIDs();
    // Records (or moves forward) the time the item's image was searched for faces.
    VoidResult markFaceAnalyzed(const QUuid& itemID);

    // --- Recovery copies ---

    // Copies the database file at source into a new file at destination with SQLite's online
    // backup, over a read-only connection of its own (never the store's), so the library stays
    // usable while the copy runs. The copy holds one read transaction for its whole length: it is
    // one consistent state of the library, and writes made meanwhile neither block nor restart
    // it. Fails with sqliteOpen or sqliteBackup carrying SQLite's message; a library that stays
    // busy past the pacing's limit fails with sqliteBackup.
    static Expected<void, RecoveryError> backupDatabaseFile(const QString& source, const QString& destination,
                                                            const DatabaseBackupPacing& pacing = {});

    // Tests use the raw connection to provoke failures that a healthy file never shows
    // (interrupted reads, engine-level faults). Application code never calls it.
    sqlite3* nativeHandleForTesting() const { return m_db; }

private:
    explicit SQLiteDatabase(QString filePath);
    // On a read-only connection, shows a file of an older schema as the current one.
    VoidResult showOlderSchemaAsCurrent();

    VoidResult replaceFaceRows(const QUuid& itemID, const QList<VeskFaceRecord>& faces);
    // Runs a statement binding 1 the identifier and 2 the current time.
    VoidResult runIDTimestampStatement(const QUuid& id, const char* sql);
    QString lastErrorMessage() const;
    // The items of an item query's rows; room: how many rows it gives, when known.
    // With richText, the rows' rich text is read from the column after the item's.
    static Expected<QList<VeskItem>, DatabaseError> readItemRows(
        SQLiteStatement& statement, qsizetype room, QHash<QUuid, QByteArray>* richText = nullptr);

    sqlite3* m_db = nullptr;
    QString m_filePath;
};

} // namespace vesk
