#include "store/SQLiteDatabase.h"

#include "store/SQLiteStatement.h"

namespace vesk {

namespace {

std::optional<VeskFaceRecord> faceFromRow(const SQLiteStatement& row)
{
    const std::optional<QUuid> id = row.uuid(0);
    if (!id)
        return std::nullopt;
    const std::optional<QUuid> veskID = row.uuid(1);
    if (!veskID)
        return std::nullopt;
    const std::optional<QString> featureModel = row.text(9);
    if (!featureModel)
        return std::nullopt;

    VeskFaceRecord face;
    face.id = *id;
    face.veskID = *veskID;
    face.clusterID = row.uuid(2);
    face.faceIndex = row.int64(3);
    face.x = row.real(4);
    face.y = row.real(5);
    face.width = row.real(6);
    face.height = row.real(7);
    face.confidence = row.real(8);
    face.featureModel = *featureModel;
    face.featureVector = row.vector(10);
    face.createdAt = row.date(11);
    return face;
}

// Adds every parsable identifier of the statement's first column to the set.
Expected<void, DatabaseError> collectIdentifiers(sqlite3* db, const char* sql, QSet<QUuid>& into)
{
    auto statement = SQLiteStatement::prepare(db, sql);
    if (!statement)
        return unexpected(statement.error());
    return statement->forEachRow([&](const SQLiteStatement& row) {
        if (const std::optional<QUuid> id = row.uuid(0))
            into.insert(*id);
    });
}

} // namespace

Expected<QList<VeskFaceRecord>, DatabaseError> SQLiteDatabase::fetchFaces()
{
    auto statement = SQLiteStatement::prepare(
        m_db,
        "SELECT id, vesk_id, cluster_id, face_index, x, y, width, height, confidence, "
        "feature_model, feature_blob, created_at FROM vesk_faces "
        "ORDER BY created_at ASC, face_index ASC;");
    if (!statement)
        return unexpected(statement.error());
    QList<VeskFaceRecord> faces;
    auto read = statement->forEachRow([&](const SQLiteStatement& row) {
        if (std::optional<VeskFaceRecord> face = faceFromRow(row))
            faces.append(std::move(*face));
    });
    if (!read)
        return unexpected(read.error());
    return faces;
}

SQLiteDatabase::VoidResult SQLiteDatabase::upsertFace(const VeskFaceRecord& face)
{
    auto statement = SQLiteStatement::prepare(
        m_db,
        "INSERT INTO vesk_faces (id, vesk_id, cluster_id, face_index, x, y, width, height, "
        "confidence, feature_model, feature_blob, created_at) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT(id) DO UPDATE SET "
        "cluster_id = excluded.cluster_id, face_index = excluded.face_index, x = excluded.x, "
        "y = excluded.y, width = excluded.width, height = excluded.height, "
        "confidence = excluded.confidence, feature_model = excluded.feature_model, "
        "feature_blob = excluded.feature_blob;");
    if (!statement)
        return unexpected(statement.error());
    statement->bindUuid(1, face.id);
    statement->bindUuid(2, face.veskID);
    statement->bindUuid(3, face.clusterID);
    statement->bindInt64(4, face.faceIndex);
    statement->bindDouble(5, face.x);
    statement->bindDouble(6, face.y);
    statement->bindDouble(7, face.width);
    statement->bindDouble(8, face.height);
    statement->bindDouble(9, face.confidence);
    statement->bindText(10, face.featureModel);
    statement->bindVector(11, face.featureVector);
    statement->bindDate(12, face.createdAt);
    return statement->stepDone();
}

SQLiteDatabase::VoidResult SQLiteDatabase::replaceFaceRows(const QUuid& itemID, const QList<VeskFaceRecord>& faces)
{
    auto statement = SQLiteStatement::prepare(m_db, "DELETE FROM vesk_faces WHERE vesk_id = ?;");
    if (!statement)
        return unexpected(statement.error());
    statement->bindUuid(1, itemID);
    if (auto done = statement->stepDone(); !done)
        return done;
    for (const VeskFaceRecord& face : faces) {
        if (auto done = upsertFace(face); !done)
            return done;
    }
    return {};
}

SQLiteDatabase::VoidResult SQLiteDatabase::replaceFaces(const QUuid& itemID, const QList<VeskFaceRecord>& faces)
{
    return runInTransaction([&] { return replaceFaceRows(itemID, faces); });
}

SQLiteDatabase::VoidResult SQLiteDatabase::saveFaceAnalysis(const QUuid& itemID, const QList<VeskFaceRecord>& faces)
{
    return runInTransaction([&]() -> VoidResult {
        if (auto replaced = replaceFaceRows(itemID, faces); !replaced)
            return replaced;
        return markFaceAnalyzed(itemID);
    });
}

Expected<QList<VeskFaceClusterRecord>, DatabaseError> SQLiteDatabase::fetchFaceClusters()
{
    auto statement = SQLiteStatement::prepare(
        m_db, "SELECT id, name, created_at, modified_at FROM vesk_face_clusters ORDER BY created_at ASC;");
    if (!statement)
        return unexpected(statement.error());
    QList<VeskFaceClusterRecord> clusters;
    auto read = statement->forEachRow([&](const SQLiteStatement& row) {
        const std::optional<QUuid> id = row.uuid(0);
        if (!id)
            return;
        clusters.append(VeskFaceClusterRecord{*id, row.text(1), row.date(2), row.date(3)});
    });
    if (!read)
        return unexpected(read.error());
    return clusters;
}

SQLiteDatabase::VoidResult SQLiteDatabase::upsertFaceCluster(const VeskFaceClusterRecord& cluster)
{
    auto statement = SQLiteStatement::prepare(
        m_db,
        "INSERT INTO vesk_face_clusters (id, name, created_at, modified_at) VALUES (?, ?, ?, ?) "
        "ON CONFLICT(id) DO UPDATE SET name = excluded.name, modified_at = excluded.modified_at;");
    if (!statement)
        return unexpected(statement.error());
    statement->bindUuid(1, cluster.id);
    statement->bindText(2, cluster.name);
    statement->bindDate(3, cluster.createdAt);
    statement->bindDate(4, cluster.modifiedAt);
    return statement->stepDone();
}

SQLiteDatabase::VoidResult SQLiteDatabase::mergeFaceCluster(const QUuid& sourceID, const QUuid& targetID)
{
    if (sourceID == targetID)
        return {};
    return runInTransaction([&]() -> VoidResult {
        // A face moving into the target must not stay rejected by it.
        {
            auto statement = SQLiteStatement::prepare(
                m_db,
                "DELETE FROM vesk_face_rejections WHERE cluster_id = ?1 AND face_id IN "
                "(SELECT id FROM vesk_faces WHERE cluster_id = ?2);");
            if (!statement)
                return unexpected(statement.error());
            statement->bindUuid(1, targetID);
            statement->bindUuid(2, sourceID);
            if (auto done = statement->stepDone(); !done)
                return done;
        }
        {
            auto statement = SQLiteStatement::prepare(
                m_db, "UPDATE vesk_faces SET cluster_id = ?1 WHERE cluster_id = ?2;");
            if (!statement)
                return unexpected(statement.error());
            statement->bindUuid(1, targetID);
            statement->bindUuid(2, sourceID);
            if (auto done = statement->stepDone(); !done)
                return done;
        }
        // The source's own rejections go with it by cascade.
        auto statement = SQLiteStatement::prepare(m_db, "DELETE FROM vesk_face_clusters WHERE id = ?;");
        if (!statement)
            return unexpected(statement.error());
        statement->bindUuid(1, sourceID);
        return statement->stepDone();
    });
}

SQLiteDatabase::VoidResult SQLiteDatabase::setFaceCluster(const QUuid& faceID, const std::optional<QUuid>& clusterID)
{
    auto statement = SQLiteStatement::prepare(m_db, "UPDATE vesk_faces SET cluster_id = ? WHERE id = ?;");
    if (!statement)
        return unexpected(statement.error());
    statement->bindUuid(1, clusterID);
    statement->bindUuid(2, faceID);
    return statement->stepDone();
}

SQLiteDatabase::VoidResult SQLiteDatabase::assignFaceToCluster(const QUuid& faceID, const QUuid& clusterID,
                                                               const std::optional<VeskFaceClusterRecord>& newCluster)
{
    return runInTransaction([&]() -> VoidResult {
        if (newCluster) {
            if (auto created = upsertFaceCluster(*newCluster); !created)
                return created;
        }
        if (auto removed = removeFaceRejection(faceID, clusterID); !removed)
            return removed;
        return setFaceCluster(faceID, clusterID);
    });
}

SQLiteDatabase::VoidResult SQLiteDatabase::runIDTimestampStatement(const QUuid& id, const char* sql)
{
    auto statement = SQLiteStatement::prepare(m_db, sql);
    if (!statement)
        return unexpected(statement.error());
    statement->bindUuid(1, id);
    statement->bindDate(2, QDateTime::currentDateTimeUtc());
    return statement->stepDone();
}

SQLiteDatabase::VoidResult SQLiteDatabase::ignoreFace(const QUuid& faceID)
{
    return runIDTimestampStatement(faceID, "INSERT OR IGNORE INTO vesk_face_ignores (face_id, created_at) VALUES (?, ?);");
}

Expected<QSet<QUuid>, DatabaseError> SQLiteDatabase::fetchIgnoredFaceIDs()
{
    QSet<QUuid> ids;
    if (auto read = collectIdentifiers(m_db, "SELECT face_id FROM vesk_face_ignores;", ids); !read)
        return unexpected(read.error());
    return ids;
}

SQLiteDatabase::VoidResult SQLiteDatabase::rejectFace(const QUuid& faceID, const QUuid& clusterID)
{
    auto statement = SQLiteStatement::prepare(
        m_db, "INSERT OR IGNORE INTO vesk_face_rejections (face_id, cluster_id, created_at) VALUES (?, ?, ?);");
    if (!statement)
        return unexpected(statement.error());
    statement->bindUuid(1, faceID);
    statement->bindUuid(2, clusterID);
    statement->bindDate(3, QDateTime::currentDateTimeUtc());
    return statement->stepDone();
}

SQLiteDatabase::VoidResult SQLiteDatabase::removeFaceRejection(const QUuid& faceID, const QUuid& clusterID)
{
    auto statement = SQLiteStatement::prepare(
        m_db, "DELETE FROM vesk_face_rejections WHERE face_id = ? AND cluster_id = ?;");
    if (!statement)
        return unexpected(statement.error());
    statement->bindUuid(1, faceID);
    statement->bindUuid(2, clusterID);
    return statement->stepDone();
}

Expected<QList<VeskFaceRejectionRecord>, DatabaseError> SQLiteDatabase::fetchFaceRejections()
{
    auto statement = SQLiteStatement::prepare(m_db, "SELECT face_id, cluster_id FROM vesk_face_rejections;");
    if (!statement)
        return unexpected(statement.error());
    QList<VeskFaceRejectionRecord> rejections;
    auto read = statement->forEachRow([&](const SQLiteStatement& row) {
        const std::optional<QUuid> faceID = row.uuid(0);
        const std::optional<QUuid> clusterID = row.uuid(1);
        if (faceID && clusterID)
            rejections.append(VeskFaceRejectionRecord{*faceID, *clusterID});
    });
    if (!read)
        return unexpected(read.error());
    return rejections;
}

Expected<QSet<QUuid>, DatabaseError> SQLiteDatabase::fetchFaceAnalyzedItemIDs()
{
    // An item with stored faces counts as analysed even without a mark.
    QSet<QUuid> ids;
    for (const char* sql : {"SELECT vesk_id FROM vesk_face_analysis;", "SELECT DISTINCT vesk_id FROM vesk_faces;"}) {
        if (auto read = collectIdentifiers(m_db, sql, ids); !read)
            return unexpected(read.error());
    }
    return ids;
}

SQLiteDatabase::VoidResult SQLiteDatabase::markFaceAnalyzed(const QUuid& itemID)
{
    return runIDTimestampStatement(
        itemID,
        "INSERT INTO vesk_face_analysis (vesk_id, analyzed_at) VALUES (?, ?) "
        "ON CONFLICT(vesk_id) DO UPDATE SET analyzed_at = excluded.analyzed_at;");
}

} // namespace vesk
