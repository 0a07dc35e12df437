#include "DatabaseTestSupport.h"

#include <QFileInfo>

using namespace vesk;
using namespace vesk::test;

namespace {

class DatabaseItems : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = freshDatabasePath();
        db = openOrFail(path);
        ASSERT_TRUE(db);
        raw = std::make_unique<RawConnection>(path);
    }

    QList<VeskItem> fetchAll()
    {
        auto items = db->fetchItems();
        EXPECT_TRUE(items.hasValue());
        return items ? *items : QList<VeskItem>{};
    }

    QString path;
    std::unique_ptr<SQLiteDatabase> db;
    std::unique_ptr<RawConnection> raw;
};

VeskItem fullItem()
{
    VeskItem item = makeItem(QStringLiteral("Ünïcødé 🎉 title"), 1'700'000'000, VeskKind::File);
    item.createdAt = item.createdAt.addMSecs(250);
    item.text = QString();                       // empty, not none
    item.urlString = QStringLiteral("https://example.org/a?b=c");
    item.filePath = QStringLiteral("/data/Vesk/Items/X/report.pdf");
    item.searchableText = QStringLiteral("report __vesk_source_html__ page");
    item.note = QStringLiteral("line one\nline two");
    item.groupID = QUuid::createUuid();
    item.sourceItemID = QUuid::createUuid();
    return item;
}

} // namespace

TEST_F(DatabaseItems, RoundTripKeepsEveryFieldAndOrdersNewestFirst)
{
    const VeskItem full = fullItem();
    const VeskItem older = makeItem("older", 1'500'000'000, VeskKind::Activity);
    const VeskItem newest = makeItem("newest", 1'800'000'000, VeskKind::Url);
    ASSERT_TRUE(db->upsertItems({older, full, newest}));

    EXPECT_EQ(fetchAll(), (QList<VeskItem>{newest, full, older}));
    EXPECT_EQ(db->isEmpty().valueOr(true), false);
    // Identifiers are stored upper case; none is stored as NULL.
    EXPECT_EQ(raw->value("SELECT id FROM vesks WHERE title = 'older';"), uuidString(older.id));
    EXPECT_EQ(raw->value("SELECT typeof(text_content) FROM vesks WHERE title = 'older';"), QStringLiteral("null"));
    EXPECT_EQ(raw->value("SELECT typeof(text_content) FROM vesks WHERE kind = 'file';"), QStringLiteral("text"));
}

// Texts come from SQLite as UTF-8 and are kept so: a note and its searchable copy share one
// buffer, and a loaded item written back stores the very bytes it was read from.
TEST_F(DatabaseItems, TextsLoadAsSharedUtf8AndWriteBackUnchanged)
{
    VeskItem note = makeItem(QStringLiteral("note"), 1'600'000'000);
    note.text = QChar(0xFEFF) + QString::fromUtf8("Ünïcødé 🎉 日本語\nsecond line");
    note.searchableText = *note.text;
    VeskItem lone = makeItem(QStringLiteral("lone"), 1'600'000'100);
    lone.text = QStringLiteral("half ") + QChar(0xD83C) + QStringLiteral(" pair");
    lone.searchableText = QStringLiteral("different");
    ASSERT_TRUE(db->upsertItems({note, lone}));
    // Bytes another program wrote, not valid UTF-8.
    raw->exec("INSERT INTO vesks (id, title, kind, created_at, modified_at, text_content, searchable_text, note) "
              "VALUES ('CCCCCCCC-0000-4000-8000-000000000001', 'raw', 'text', 5, 0, CAST(X'61FF62' AS TEXT), "
              "CAST(X'61FF62' AS TEXT), '');");

    const QList<VeskItem> items = fetchAll();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[1], note);
    EXPECT_TRUE(items[1].text->isSharedWith(items[1].searchableText));
    // A leading U+FEFF is the text's own, not a byte order mark to drop.
    EXPECT_EQ(items[1].text->toString(), QChar(0xFEFF) + QString::fromUtf8("Ünïcødé 🎉 日本語\nsecond line"));
    // A lone surrogate is stored, and read back, as "?", as it always was.
    EXPECT_EQ(items[0].text->toString(), QStringLiteral("half ? pair"));
    EXPECT_EQ(raw->value("SELECT hex(text_content) FROM vesks WHERE title = 'lone';"),
              QString::fromLatin1(lone.text->utf8().toHex().toUpper()));
    // Invalid bytes mean what a decode makes of them, and the two equal columns still share.
    EXPECT_EQ(items[2].text->toString(), QString::fromUtf8("a\xFF" "b"));
    EXPECT_TRUE(items[2].text->isSharedWith(items[2].searchableText));

    const QString noteBytes = raw->value("SELECT hex(text_content) FROM vesks WHERE title = 'note';");
    ASSERT_TRUE(db->upsertItems(items));
    EXPECT_EQ(raw->value("SELECT hex(text_content) FROM vesks WHERE title = 'note';"), noteBytes);
    EXPECT_EQ(raw->value("SELECT hex(searchable_text) FROM vesks WHERE title = 'note';"), noteBytes);
    EXPECT_EQ(fetchAll(), items);
}

TEST_F(DatabaseItems, UpsertChangesEverythingButTheCreationDate)
{
    VeskItem item = fullItem();
    const VeskItem middle = makeItem("middle", 1'750'000'000);
    ASSERT_TRUE(db->upsertItems({item, middle}));
    ASSERT_TRUE(db->updateRichText(item.id, QByteArray("{\\rtf1 x}")));
    ASSERT_TRUE(db->updateEmbedding(item.id, "m", {1.0}));

    VeskItem changed = item;
    changed.title = "renamed";
    changed.kind = VeskKind::Image;
    changed.createdAt = QDateTime::fromSecsSinceEpoch(1'900'000'000, Qt::UTC);
    changed.text.reset();
    changed.note = QString();
    changed.groupID.reset();
    ASSERT_TRUE(db->upsertItem(changed));

    VeskItem expected = changed;
    expected.createdAt = item.createdAt;
    // The stored (older) date still decides the order.
    EXPECT_EQ(fetchAll(), (QList<VeskItem>{middle, expected}));
    // Rich text and embedding are not part of an item write.
    EXPECT_TRUE(db->fetchRichText()->contains(item.id));
    EXPECT_TRUE(db->fetchEmbeddings()->contains(item.id));
}

TEST_F(DatabaseItems, RowsThatCannotBeMappedAreSkipped)
{
    const VeskItem good = makeItem("good", 100);
    ASSERT_TRUE(db->upsertItem(good));
    raw->exec("INSERT INTO vesks (id, title, kind, created_at, modified_at) VALUES "
              "('AAAAAAAA-0000-4000-8000-000000000001', 'capital', 'Image', 5, 0), "
              "('AAAAAAAA-0000-4000-8000-000000000002', 'unknown', 'note', 5, 0), "
              "('not-a-uuid', 'bad id', 'text', 5, 0), "
              "('{AAAAAAAA-0000-4000-8000-000000000003}', 'braces', 'text', 5, 0);");
    raw->exec("INSERT INTO vesks (id, title, kind, created_at, modified_at, searchable_text, note, group_id, "
              "source_item_id) VALUES ('bbbbbbbb-0000-4000-8000-000000000004', 'lower', 'image', 50, 0, "
              "'s', 'n', 'garbage', NULL);");

    const QList<VeskItem> items = fetchAll();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0], good);
    EXPECT_EQ(items[1].id, QUuid::fromString(QStringLiteral("BBBBBBBB-0000-4000-8000-000000000004")));
    EXPECT_EQ(items[1].kind, VeskKind::Image);
    EXPECT_EQ(items[1].searchableText, QStringLiteral("s"));
    EXPECT_FALSE(items[1].groupID.has_value());
}

TEST_F(DatabaseItems, DeletesAndTheirTransaction)
{
    const VeskItem a = makeItem("a", 1), b = makeItem("b", 2), c = makeItem("c", 3);
    ASSERT_TRUE(db->upsertItems({a, b, c}));
    ASSERT_TRUE(db->deleteItem(QUuid::createUuid())); // not there: no error
    ASSERT_TRUE(db->deleteItem(a.id));
    EXPECT_EQ(fetchAll(), (QList<VeskItem>{c, b}));

    raw->exec("CREATE TRIGGER keep_c BEFORE DELETE ON vesks WHEN OLD.title = 'c' "
              "BEGIN SELECT RAISE(ABORT, 'c stays'); END;");
    auto refused = db->deleteItems({b.id, c.id});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), DatabaseError::stepFailed("c stays"));
    EXPECT_EQ(fetchAll().size(), 2);

    raw->exec("DROP TRIGGER keep_c;");
    ASSERT_TRUE(db->deleteItems({b.id, c.id}));
    EXPECT_TRUE(db->isEmpty().valueOr(false));
}

// Deleting a long note frees the pages its text ran over without writing over them first: the
// log takes a few pages, not the text again, which the window would wait for.
TEST_F(DatabaseItems, DeletingALongNoteWritesLittleMoreThanItsRow)
{
    VeskItem note = makeItem("long", 1);
    note.text = QString(2'000'000, QLatin1Char('w'));
    note.searchableText = *note.text;
    ASSERT_TRUE(db->upsertItems({note}));
    ASSERT_TRUE(db->execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE);")));
    const QString log = path + QStringLiteral("-wal");
    ASSERT_EQ(QFileInfo(log).size(), 0);
    ASSERT_TRUE(db->deleteItems({note.id}));
    EXPECT_TRUE(fetchAll().isEmpty());
    EXPECT_LT(QFileInfo(log).size(), 256 * 1024);
}

TEST_F(DatabaseItems, GroupsRenameKeepCreationAndDeleteClearsMembers)
{
    const VeskGroup older{QUuid::createUuid(), "Zebra", QDateTime::fromSecsSinceEpoch(10, Qt::UTC)};
    VeskGroup newer{QUuid::createUuid(), "apple", QDateTime::fromSecsSinceEpoch(20, Qt::UTC)};
    ASSERT_TRUE(db->upsertGroup(newer));
    ASSERT_TRUE(db->upsertGroup(older));
    EXPECT_EQ(*db->fetchGroups(), (QList<VeskGroup>{older, newer}));

    VeskGroup renamed = newer;
    renamed.name = "Apples";
    renamed.createdAt = QDateTime::fromSecsSinceEpoch(5, Qt::UTC);
    ASSERT_TRUE(db->upsertGroup(renamed));
    renamed.createdAt = newer.createdAt;
    EXPECT_EQ(*db->fetchGroups(), (QList<VeskGroup>{older, renamed}));

    VeskItem member = makeItem("member", 1);
    member.groupID = newer.id;
    VeskItem other = makeItem("other", 2);
    other.groupID = older.id;
    ASSERT_TRUE(db->upsertItems({member, other}));
    ASSERT_TRUE(db->deleteGroup(newer.id));

    EXPECT_EQ(*db->fetchGroups(), QList<VeskGroup>{older});
    const QList<VeskItem> items = fetchAll();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].groupID, older.id);
    EXPECT_FALSE(items[1].groupID.has_value());

    raw->exec("INSERT INTO vesk_groups VALUES ('nope', 'bad', 1, 1), ('cccccccc-0000-4000-8000-000000000000', 'low', 30, 1);");
    const QList<VeskGroup> planted = *db->fetchGroups();
    ASSERT_EQ(planted.size(), 2);
    EXPECT_EQ(planted[1].id, QUuid::fromString(QStringLiteral("CCCCCCCC-0000-4000-8000-000000000000")));
}

TEST_F(DatabaseItems, RichTextEmptyOrNoneIsLeftOut)
{
    const VeskItem a = makeItem("a", 1), b = makeItem("b", 2), c = makeItem("c", 3);
    ASSERT_TRUE(db->upsertItems({a, b, c}));
    const QByteArray rtf("{\\rtf1\\ansi caf\\'e9 \\u128512?}\0tail", 35);
    ASSERT_TRUE(db->updateRichText(a.id, rtf));
    ASSERT_TRUE(db->updateRichText(b.id, QByteArray()));
    ASSERT_TRUE(db->updateRichText(c.id, std::nullopt));
    ASSERT_TRUE(db->updateRichText(QUuid::createUuid(), rtf)); // no such row: nothing happens

    const auto richText = db->fetchRichText();
    ASSERT_TRUE(richText);
    EXPECT_EQ(*richText, (QHash<QUuid, QByteArray>{{a.id, rtf}}));
    EXPECT_EQ(raw->value(QStringLiteral("SELECT typeof(rich_text_rtf) || length(rich_text_rtf) FROM vesks WHERE id = '%1';")
                             .arg(uuidString(b.id)).toUtf8().constData()),
              QStringLiteral("blob0"));
    EXPECT_EQ(raw->value(QStringLiteral("SELECT typeof(rich_text_rtf) FROM vesks WHERE id = '%1';")
                             .arg(uuidString(c.id)).toUtf8().constData()),
              QStringLiteral("null"));
}

TEST_F(DatabaseItems, EmbeddingsStoreSinglePrecisionAndSkipEmptyBlobs)
{
    const VeskItem a = makeItem("a", 1), b = makeItem("b", 2), c = makeItem("c", 3), d = makeItem("d", 4);
    ASSERT_TRUE(db->upsertItems({a, b, c, d}));
    ASSERT_TRUE(db->updateEmbedding(a.id, "wordnet-hash-v1", {0.1, -0.2, 0.3}));
    ASSERT_TRUE(db->updateEmbedding(b.id, "wordnet-hash-v1", {}));
    raw->exec(QStringLiteral("UPDATE vesks SET embedding_blob = x'0000803F0000' WHERE id = '%1';")
                  .arg(uuidString(c.id)).toUtf8().constData());
    raw->exec(QStringLiteral("UPDATE vesks SET embedding_blob = x'0000' WHERE id = '%1';")
                  .arg(uuidString(d.id)).toUtf8().constData());

    const auto embeddings = db->fetchEmbeddings();
    ASSERT_TRUE(embeddings);
    EXPECT_EQ(*embeddings, (QHash<QUuid, QList<double>>{
                               {a.id, {double(0.1f), double(-0.2f), double(0.3f)}},
                               {c.id, {1.0}},
                               {d.id, {}},
                           }));
    EXPECT_EQ(raw->value(QStringLiteral("SELECT typeof(embedding_blob) || length(embedding_blob) || embedding_model "
                                        "FROM vesks WHERE id = '%1';")
                             .arg(uuidString(b.id)).toUtf8().constData()),
              QStringLiteral("blob0wordnet-hash-v1"));
}

TEST_F(DatabaseItems, DeleteAllRecordsEmptiesEveryTable)
{
    const VeskItem a = makeItem("a", 1), b = makeItem("b", 2);
    ASSERT_TRUE(db->upsertItems({a, b}));
    ASSERT_TRUE(db->upsertGroup({QUuid::createUuid(), "g", QDateTime::fromSecsSinceEpoch(1, Qt::UTC)}));
    const VeskFaceClusterRecord pool{QUuid::createUuid(), "Ann", QDateTime::fromSecsSinceEpoch(1, Qt::UTC),
                                     QDateTime::fromSecsSinceEpoch(1, Qt::UTC)};
    ASSERT_TRUE(db->upsertFaceCluster(pool));
    VeskFaceRecord face;
    face.id = QUuid::createUuid();
    face.veskID = a.id;
    face.featureModel = "m";
    face.createdAt = QDateTime::fromSecsSinceEpoch(1, Qt::UTC);
    ASSERT_TRUE(db->upsertFace(face));
    ASSERT_TRUE(db->rejectFace(face.id, pool.id));
    ASSERT_TRUE(db->ignoreFace(face.id));
    ASSERT_TRUE(db->markFaceAnalyzed(b.id));
    raw->exec(QStringLiteral("INSERT INTO vesk_relationships (source_id, target_id, relation_type, created_at) "
                             "VALUES ('%1', '%2', 'version', 0);")
                  .arg(uuidString(a.id), uuidString(b.id)).toUtf8().constData());

    ASSERT_TRUE(db->deleteAllRecords());
    for (const char* table : {"vesks", "vesk_groups", "vesk_face_clusters", "vesk_faces", "vesk_face_rejections",
                              "vesk_face_ignores", "vesk_face_analysis", "vesk_relationships"})
        EXPECT_EQ(raw->count(table), 0) << table;
    EXPECT_TRUE(db->isEmpty().valueOr(false));
}

// Reading a library in parts of consecutive creation dates, each part on its own, gives back
// exactly the whole list: no item twice or missing where dates repeat at a split, and the order
// among items of one date as the whole reading gives it. The rich text read along with the parts
// is the library's, as its own query gives it.
TEST_F(DatabaseItems, ItemsReadInPartsJoinToTheWholeList)
{
    const qint64 dates[] = {100, 200, 200, 200, 300, 400, 400, 500, 600, 600, 600, 600, 700};
    QList<VeskItem> items;
    for (const qint64 date : dates)
        items.append(makeItem(QStringLiteral("at %1").arg(date), date, VeskKind::Text));
    ASSERT_TRUE(db->upsertItems(items));
    for (const qsizetype i : {1, 6, 12})
        ASSERT_TRUE(db->updateRichText(items[i].id, QByteArray("{\\rtf1 ") + QByteArray::number(i) + '}'));
    ASSERT_TRUE(db->updateRichText(items[7].id, QByteArray())); // stored as none
    const auto wholeRichText = db->fetchRichText();
    ASSERT_TRUE(wholeRichText);
    ASSERT_EQ(wholeRichText->size(), 3);
    const QList<VeskItem> whole = fetchAll();
    for (const int parts : {1, 2, 3, 5, 13, 40}) {
        SCOPED_TRACE(parts);
        const auto splits = db->itemCreationSplits(parts);
        ASSERT_TRUE(splits);
        EXPECT_LT(splits->size(), size_t(parts));
        EXPECT_TRUE(std::is_sorted(splits->rbegin(), splits->rend()));
        QList<VeskItem> joined;
        QList<VeskItem> joinedWithRichText;
        QHash<QUuid, QByteArray> richText;
        for (size_t part = 0; part <= splits->size(); ++part) {
            const std::optional<double> before = part == 0 ? std::nullopt : std::optional((*splits)[part - 1]);
            const std::optional<double> from = part == splits->size() ? std::nullopt : std::optional((*splits)[part]);
            const auto read = db->fetchItemsCreatedIn(before, from);
            ASSERT_TRUE(read);
            joined.append(*read);
            const auto readWithRichText = db->fetchItemsCreatedIn(before, from, -1, &richText);
            ASSERT_TRUE(readWithRichText);
            joinedWithRichText.append(*readWithRichText);
        }
        EXPECT_EQ(joined, whole);
        EXPECT_EQ(joinedWithRichText, whole);
        EXPECT_EQ(richText, *wholeRichText);
    }
}
