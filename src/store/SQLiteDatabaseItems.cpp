#include "store/SQLiteDatabase.h"

#include "store/SQLiteStatement.h"
#include "model/VectorBlob.h"

namespace vesk {

namespace {

QDateTime currentTime()
{
    return QDateTime::currentDateTimeUtc();
}

// The columns of the item query, which itemFromRow maps.
constexpr int kItemColumnCount = 11;

// Maps one row of the item query; none when a required value is missing or not understood.
std::optional<VeskItem> itemFromRow(const SQLiteStatement& row)
{
    const std::optional<QUuid> id = row.uuid(0);
    const std::optional<QString> title = row.text(1);
    const std::optional<QString> rawKind = row.text(2);
    if (!id || !title || !rawKind)
        return std::nullopt;
    const std::optional<VeskKind> kind = veskKindFromRawValue(*rawKind);
    if (!kind)
        return std::nullopt;

    VeskItem item;
    item.id = *id;
    item.title = *title;
    item.kind = *kind;
    item.createdAt = row.date(3);
    item.text = row.itemText(4);
    item.urlString = row.text(5);
    item.filePath = row.text(6);
    // A note's searchable text is its text: one buffer serves both.
    if (item.text && row.sameText(4, 7))
        item.searchableText = *item.text;
    else
        item.searchableText = row.itemText(7).value_or(ItemText());
    item.note = row.text(8).value_or(QString());
    item.groupID = row.uuid(9);
    item.sourceItemID = row.uuid(10);
    return item;
}

} // namespace

Expected<bool, DatabaseError> SQLiteDatabase::isEmpty()
{
    // Stops at the first row instead of counting them all.
    auto statement = SQLiteStatement::prepare(m_db, "SELECT EXISTS (SELECT 1 FROM vesks);");
    if (!statement)
        return unexpected(statement.error());
    auto row = statement->stepRow();
    if (!row)
        return unexpected(row.error());
    if (!*row)
        return unexpected(DatabaseError::stepFailed(lastErrorMessage()));
    return statement->int64(0) == 0;
}

Expected<QList<VeskItem>, DatabaseError> SQLiteDatabase::fetchItems()
{
    return fetchNewestItems(-1);
}

Expected<QList<VeskItem>, DatabaseError> SQLiteDatabase::fetchNewestItems(int limit)
{
    // A negative limit is no limit.
    auto statement = SQLiteStatement::prepare(
        m_db,
        "SELECT id, title, kind, created_at, text_content, url_string, file_path, searchable_text, "
        "note, group_id, source_item_id FROM vesks ORDER BY created_at DESC LIMIT ?;");
    if (!statement)
        return unexpected(statement.error());
    statement->bindInt64(1, limit);
    qsizetype room = -1;
    if (const auto rows = itemCount())
        room = qsizetype(limit < 0 ? *rows : std::min<qint64>(*rows, limit));
    return readItemRows(*statement, room);
}

Expected<QList<VeskItem>, DatabaseError> SQLiteDatabase::readItemRows(
    SQLiteStatement& statement, qsizetype room, QHash<QUuid, QByteArray>* richText)
{
    QList<VeskItem> items;
    // Room for every row at once: a list grown row by row holds up to half as much again of
    // unused room for as long as the library is open (tens of megabytes at 100,000 items).
    if (room > 0)
        items.reserve(room);
    auto read = statement.forEachRow([&](const SQLiteStatement& row) {
        std::optional<VeskItem> item = itemFromRow(row);
        // A row without rich text costs no more than its record header says.
        if (richText && !row.isNull(kItemColumnCount)) {
            const std::optional<QUuid> id = item ? std::optional(item->id) : row.uuid(0);
            QByteArray bytes = row.blob(kItemColumnCount);
            if (id && !bytes.isEmpty())
                richText->insert(*id, std::move(bytes));
        }
        if (item)
            items.append(std::move(*item));
    });
    if (!read)
        return unexpected(read.error());
    return items;
}

Expected<qint64, DatabaseError> SQLiteDatabase::itemCount()
{
    auto counted = SQLiteStatement::prepare(m_db, "SELECT COUNT(*) FROM vesks;");
    if (!counted)
        return unexpected(counted.error());
    auto row = counted->stepRow();
    if (!row)
        return unexpected(row.error());
    return *row ? counted->int64(0) : 0;
}

Expected<std::vector<double>, DatabaseError> SQLiteDatabase::itemCreationSplits(int parts)
{
    // Read from the creation-date index alone, which is a small fraction of the item table.
    const auto rows = itemCount();
    if (!rows)
        return unexpected(rows.error());
    std::vector<double> splits;
    for (int part = 1; part < parts; ++part) {
        auto statement = SQLiteStatement::prepare(
            m_db, "SELECT created_at FROM vesks ORDER BY created_at DESC LIMIT 1 OFFSET ?;");
        if (!statement)
            return unexpected(statement.error());
        statement->bindInt64(1, *rows * part / parts);
        auto found = statement->stepRow();
        if (!found)
            return unexpected(found.error());
        if (!*found)
            break;
        const double split = statement->real(0);
        // Equal dates (and so any items between them) stay in one part.
        if (splits.empty() || split < splits.back())
            splits.push_back(split);
    }
    return splits;
}

Expected<QList<VeskItem>, DatabaseError> SQLiteDatabase::fetchItemsCreatedIn(
    std::optional<double> before, std::optional<double> from, qsizetype room, QHash<QUuid, QByteArray>* richText)
{
    // The order is fetchItems' own: the same index is walked, only over part of its dates.
    QByteArray sql = "SELECT id, title, kind, created_at, text_content, url_string, file_path, searchable_text, "
                     "note, group_id, source_item_id";
    if (richText)
        sql += ", rich_text_rtf";
    sql += " FROM vesks WHERE 1";
    if (before)
        sql += " AND created_at < ?";
    if (from)
        sql += " AND created_at >= ?";
    sql += " ORDER BY created_at DESC;";
    auto statement = SQLiteStatement::prepare(m_db, sql.constData());
    if (!statement)
        return unexpected(statement.error());
    int bound = 0;
    if (before)
        statement->bindDouble(++bound, *before);
    if (from)
        statement->bindDouble(++bound, *from);
    return readItemRows(*statement, room, richText);
}

SQLiteDatabase::VoidResult SQLiteDatabase::upsertItem(const VeskItem& item)
{
    auto statement = SQLiteStatement::prepare(
        m_db,
        "INSERT INTO vesks (id, title, kind, created_at, modified_at, text_content, url_string, "
        "file_path, searchable_text, note, group_id, source_item_id) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT(id) DO UPDATE SET "
        "title = excluded.title, kind = excluded.kind, modified_at = excluded.modified_at, "
        "text_content = excluded.text_content, url_string = excluded.url_string, "
        "file_path = excluded.file_path, searchable_text = excluded.searchable_text, "
        "note = excluded.note, group_id = excluded.group_id, "
        "source_item_id = excluded.source_item_id;");
    if (!statement)
        return unexpected(statement.error());
    statement->bindUuid(1, item.id);
    statement->bindText(2, item.title);
    statement->bindText(3, veskKindRawValue(item.kind));
    statement->bindDate(4, item.createdAt);
    statement->bindDate(5, currentTime());
    statement->bindText(6, item.text);
    statement->bindText(7, item.urlString);
    statement->bindText(8, item.filePath);
    statement->bindText(9, item.searchableText);
    statement->bindText(10, item.note);
    statement->bindUuid(11, item.groupID);
    statement->bindUuid(12, item.sourceItemID);
    return statement->stepDone();
}

SQLiteDatabase::VoidResult SQLiteDatabase::upsertItems(const QList<VeskItem>& items)
{
    return runInTransaction([&]() -> VoidResult {
        for (const VeskItem& item : items) {
            if (auto done = upsertItem(item); !done)
                return done;
        }
        return {};
    });
}

SQLiteDatabase::VoidResult SQLiteDatabase::deleteItem(const QUuid& id)
{
    auto statement = SQLiteStatement::prepare(m_db, "DELETE FROM vesks WHERE id = ?;");
    if (!statement)
        return unexpected(statement.error());
    statement->bindUuid(1, id);
    return statement->stepDone();
}

SQLiteDatabase::VoidResult SQLiteDatabase::deleteItems(const QSet<QUuid>& ids)
{
    if (ids.isEmpty())
        return {};
    return runInTransaction([&]() -> VoidResult {
        for (const QUuid& id : ids) {
            if (auto done = deleteItem(id); !done)
                return done;
        }
        return {};
    });
}

SQLiteDatabase::VoidResult SQLiteDatabase::deleteAllRecords()
{
    // Dependent tables first, so no foreign key is ever left dangling mid-way.
    static constexpr const char* kStatements[] = {
        "DELETE FROM vesk_relationships;", "DELETE FROM vesk_face_rejections;",
        "DELETE FROM vesk_face_ignores;",  "DELETE FROM vesk_face_analysis;",
        "DELETE FROM vesk_faces;",         "DELETE FROM vesk_face_clusters;",
        "DELETE FROM vesks;",              "DELETE FROM vesk_groups;",
    };
    return runInTransaction([&]() -> VoidResult {
        for (const char* sql : kStatements) {
            if (auto done = execute(QString::fromLatin1(sql)); !done)
                return done;
        }
        return {};
    });
}

Expected<QList<VeskGroup>, DatabaseError> SQLiteDatabase::fetchGroups()
{
    auto statement = SQLiteStatement::prepare(
        m_db, "SELECT id, name, created_at FROM vesk_groups ORDER BY created_at ASC;");
    if (!statement)
        return unexpected(statement.error());
    QList<VeskGroup> groups;
    auto read = statement->forEachRow([&](const SQLiteStatement& row) {
        const std::optional<QUuid> id = row.uuid(0);
        const std::optional<QString> name = row.text(1);
        if (!id || !name)
            return;
        groups.append(VeskGroup{*id, *name, row.date(2)});
    });
    if (!read)
        return unexpected(read.error());
    return groups;
}

SQLiteDatabase::VoidResult SQLiteDatabase::upsertGroup(const VeskGroup& group)
{
    auto statement = SQLiteStatement::prepare(
        m_db,
        "INSERT INTO vesk_groups (id, name, created_at, modified_at) VALUES (?, ?, ?, ?) "
        "ON CONFLICT(id) DO UPDATE SET name = excluded.name, modified_at = excluded.modified_at;");
    if (!statement)
        return unexpected(statement.error());
    statement->bindUuid(1, group.id);
    statement->bindText(2, group.name);
    statement->bindDate(3, group.createdAt);
    statement->bindDate(4, currentTime());
    return statement->stepDone();
}

SQLiteDatabase::VoidResult SQLiteDatabase::deleteGroup(const QUuid& id, const QList<VeskItem>& members)
{
    // group_id carries no foreign key, so the members are cleared explicitly.
    return runInTransaction([&]() -> VoidResult {
        for (const char* sql : {"UPDATE vesks SET group_id = NULL WHERE group_id = ?;",
                                "DELETE FROM vesk_groups WHERE id = ?;"}) {
            auto statement = SQLiteStatement::prepare(m_db, sql);
            if (!statement)
                return unexpected(statement.error());
            statement->bindUuid(1, id);
            if (auto done = statement->stepDone(); !done)
                return done;
        }
        for (const VeskItem& member : members) {
            if (auto done = upsertItem(member); !done)
                return done;
        }
        return {};
    });
}

Expected<QHash<QUuid, QList<double>>, DatabaseError> SQLiteDatabase::fetchEmbeddings()
{
    QHash<QUuid, QList<double>> embeddings;
    auto read = forEachEmbedding(
        [&](const QUuid& id, const QByteArray& blob) { embeddings.insert(id, decodeVectorBlob(blob)); });
    if (!read)
        return unexpected(read.error());
    return embeddings;
}

Expected<std::pair<qint64, qint64>, DatabaseError> SQLiteDatabase::embeddingVolume()
{
    // The length of a blob is read from its row's header, without reading the blob.
    auto statement = SQLiteStatement::prepare(
        m_db, "SELECT COUNT(*), TOTAL(LENGTH(embedding_blob)) FROM vesks WHERE embedding_blob IS NOT NULL;");
    if (!statement)
        return unexpected(statement.error());
    auto row = statement->stepRow();
    if (!row)
        return unexpected(row.error());
    if (!*row)
        return unexpected(DatabaseError::stepFailed(lastErrorMessage()));
    return std::pair<qint64, qint64>(statement->int64(0), qint64(statement->real(1)));
}

SQLiteDatabase::VoidResult SQLiteDatabase::forEachEmbedding(
    const std::function<void(const QUuid& id, const QByteArray& blob)>& visit, const std::optional<QString>& model)
{
    auto statement = SQLiteStatement::prepare(m_db, model
            ? "SELECT id, embedding_blob FROM vesks WHERE embedding_blob IS NOT NULL AND embedding_model IS ?;"
            : "SELECT id, embedding_blob FROM vesks WHERE embedding_blob IS NOT NULL;");
    if (!statement)
        return unexpected(statement.error());
    if (model)
        statement->bindText(1, *model);
    return statement->forEachRow([&](const SQLiteStatement& row) {
        const std::optional<QUuid> id = row.uuid(0);
        const QByteArray blob = row.blob(1);
        if (id && !blob.isEmpty())
            visit(*id, blob);
    });
}

SQLiteDatabase::VoidResult SQLiteDatabase::updateEmbedding(const QUuid& id, const QString& model,
                                                           const QList<double>& vector)
{
    auto statement = SQLiteStatement::prepare(
        m_db, "UPDATE vesks SET embedding_model = ?, embedding_blob = ?, modified_at = ? WHERE id = ?;");
    if (!statement)
        return unexpected(statement.error());
    statement->bindText(1, model);
    statement->bindVector(2, vector);
    statement->bindDate(3, currentTime());
    statement->bindUuid(4, id);
    return statement->stepDone();
}

Expected<QHash<QUuid, QByteArray>, DatabaseError> SQLiteDatabase::fetchRichText()
{
    auto statement = SQLiteStatement::prepare(
        m_db, "SELECT id, rich_text_rtf FROM vesks WHERE rich_text_rtf IS NOT NULL;");
    if (!statement)
        return unexpected(statement.error());
    QHash<QUuid, QByteArray> richText;
    auto read = statement->forEachRow([&](const SQLiteStatement& row) {
        const std::optional<QUuid> id = row.uuid(0);
        QByteArray bytes = row.blob(1);
        if (!id || bytes.isEmpty())
            return;
        richText.insert(*id, std::move(bytes));
    });
    if (!read)
        return unexpected(read.error());
    return richText;
}

SQLiteDatabase::VoidResult SQLiteDatabase::updateRichText(const QUuid& id, const std::optional<QByteArray>& rtf)
{
    auto statement = SQLiteStatement::prepare(
        m_db, "UPDATE vesks SET rich_text_rtf = ?, modified_at = ? WHERE id = ?;");
    if (!statement)
        return unexpected(statement.error());
    if (rtf)
        statement->bindBlob(1, *rtf);
    else
        statement->bindNull(1);
    statement->bindDate(2, currentTime());
    statement->bindUuid(3, id);
    return statement->stepDone();
}

SQLiteDatabase::VoidResult SQLiteDatabase::updateItemWithRichText(const VeskItem& item,
                                                                  const std::optional<QByteArray>& rtf)
{
    return runInTransaction([&]() -> VoidResult {
        if (auto saved = upsertItem(item); !saved)
            return saved;
        if (!rtf)
            return {};
        return updateRichText(item.id, rtf);
    });
}

} // namespace vesk
