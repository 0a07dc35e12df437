#include "store/StoreTestSupport.h"
#include "store/StoreInternals.h"

#include <sqlite3.h>

using namespace vesk;
using namespace vesk::test;

namespace {

class StoreRichTextTest : public StoreTest {};

} // namespace

TEST_F(StoreRichTextTest, AToggledBodyIsStoredAloneAndSurvivesARestart)
{
    QUuid id;
    {
        auto store = makeStore();
        store->addRichTextNote(QStringLiteral("Packing"), QStringLiteral("\u2610 tent"),
                               QByteArrayLiteral("{\\rtf1 \\u9744? tent}"));
        ASSERT_EQ(store->items().size(), 1);
        id = store->items().first().id;
        const VeskItem before = store->items().first();
        const int changesBefore = snapshots->changes;

        store->updateRichText(id, QByteArrayLiteral("{\\rtf1 \\u9745? tent}"));

        EXPECT_EQ(store->richTextByID().value(id), QByteArrayLiteral("{\\rtf1 \\u9745? tent}"));
        EXPECT_EQ(store->items().first(), before) << "only the body changes, never the item";
        EXPECT_EQ(snapshots->changes, changesBefore + 1);
    }
    auto reopened = makeStore();
    EXPECT_EQ(reopened->richTextByID().value(id), QByteArrayLiteral("{\\rtf1 \\u9745? tent}"));
}

TEST_F(StoreRichTextTest, AFailedWriteKeepsTheOldBodyAndNotesNoChange)
{
    auto store = makeStore();
    store->addRichTextNote(std::nullopt, QStringLiteral("note"), QByteArrayLiteral("{\\rtf1 old}"));
    const QUuid id = store->items().first().id;
    ASSERT_EQ(sqlite3_exec(StoreInternals::database(*store)->nativeHandleForTesting(), "DROP TABLE vesks;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    const int changesBefore = snapshots->changes;
    logLines.clear();

    store->updateRichText(id, QByteArrayLiteral("{\\rtf1 new}"));

    EXPECT_EQ(store->richTextByID().value(id), QByteArrayLiteral("{\\rtf1 old}"));
    EXPECT_EQ(snapshots->changes, changesBefore);
    ASSERT_EQ(logLines.size(), 1);
    EXPECT_TRUE(logLines.first().startsWith(QStringLiteral("Vesk rich-text update error: ")));
}

TEST_F(StoreRichTextTest, EditsReplaceTitleTextAndBodyOfTheSameItem)
{
    QUuid id;
    VeskItem before;
    const QByteArray newBody = QByteArrayLiteral("{\\rtf1 {\\b zebra} crossing at noon}");
    {
        auto store = makeStore();
        store->addRichTextNote(QStringLiteral("Errands"), QStringLiteral("buy milk"), QByteArrayLiteral("{\\rtf1 buy milk}"));
        id = store->items().first().id;
        VeskItem grouped = store->items().first();
        grouped.groupID = QUuid::createUuid();
        ASSERT_TRUE(store->updateItem(grouped));
        before = store->items().first();
        const int changesBefore = snapshots->changes;

        ASSERT_TRUE(store->saveItemEdits(id, QStringLiteral("  Zoo trip "), QStringLiteral("\n zebra crossing at noon \n"), newBody));

        ASSERT_EQ(store->items().size(), 1) << "no new item";
        const VeskItem& after = store->items().first();
        EXPECT_EQ(after.id, id);
        EXPECT_EQ(after.createdAt, before.createdAt);
        EXPECT_EQ(after.groupID, before.groupID);
        EXPECT_EQ(after.title, QStringLiteral("Zoo trip"));
        EXPECT_EQ(after.text, QStringLiteral("zebra crossing at noon"));
        EXPECT_EQ(after.searchableText, QStringLiteral("zebra crossing at noon"));
        EXPECT_EQ(store->richTextByID().value(id), newBody);
        EXPECT_GT(snapshots->changes, changesBefore);

        store->refreshFilteredItems(QStringLiteral("zebra"));
        ASSERT_EQ(store->filteredItems().size(), 1) << "search finds the new words";
        store->refreshFilteredItems(QStringLiteral("milk"));
        EXPECT_TRUE(store->filteredItems().isEmpty()) << "and no longer the old ones";

        // A blank name comes from the text; without a body the stored one stays.
        ASSERT_TRUE(store->saveItemEdits(id, QStringLiteral("   "), QStringLiteral("\n\n") + QString(80, QLatin1Char('x')), std::nullopt));
        EXPECT_EQ(store->items().first().title, QString(72, QLatin1Char('x')) + QStringLiteral("\u2026"));
        EXPECT_EQ(store->richTextByID().value(id), newBody);
    }
    auto reopened = makeStore();
    ASSERT_EQ(reopened->items().size(), 1);
    EXPECT_EQ(reopened->items().first().text, QString(80, QLatin1Char('x')));
    EXPECT_EQ(reopened->items().first().groupID, before.groupID);
    EXPECT_EQ(reopened->richTextByID().value(id), newBody);
}

TEST_F(StoreRichTextTest, EditsOfItemsTheSheetDoesNotEditAreRefused)
{
    auto store = makeStore();
    store->addLink(QUrl(QStringLiteral("https://example.org")));
    VeskItem secure = makeItem(QStringLiteral("Bank"), 100);
    secure.searchableText = QStringLiteral("Bank __vesk_secure__");
    VeskItem page = makeItem(QStringLiteral("Page"), 200);
    page.searchableText = QStringLiteral("__vesk_source_html__ words");
    VeskItem note = makeItem(QStringLiteral("Note"), 300);
    note.text = QStringLiteral("words");
    for (const VeskItem& item : {secure, page, note})
        ASSERT_TRUE(store->commitNewItem(item));
    const QList<VeskItem> before = store->items();
    const VeskItem link = before.last();
    ASSERT_EQ(link.kind, VeskKind::Url);
    logLines.clear();

    EXPECT_FALSE(store->saveItemEdits(QUuid::createUuid(), QStringLiteral("x"), QStringLiteral("y"), std::nullopt));
    for (const VeskItem& item : {link, secure, page})
        EXPECT_FALSE(store->saveItemEdits(item.id, QStringLiteral("x"), QStringLiteral("y"), QByteArrayLiteral("{\\rtf1 y}")))
            << item.title.toStdString();
    EXPECT_FALSE(store->saveItemEdits(note.id, QStringLiteral("x"), QStringLiteral(" \n\t\n "), std::nullopt));
    EXPECT_EQ(store->items(), before);
    EXPECT_TRUE(store->richTextByID().isEmpty());
    EXPECT_TRUE(logLines.isEmpty()) << "refusals are not failures";
}

TEST_F(StoreRichTextTest, AFailedBodyWriteLeavesTheEditedItemAsItWas)
{
    auto store = makeStore();
    store->addRichTextNote(QStringLiteral("Errands"), QStringLiteral("buy milk"), QByteArrayLiteral("{\\rtf1 buy milk}"));
    const VeskItem before = store->items().first();
    // The body's column refuses to change; the item's row alone would be written.
    ASSERT_EQ(sqlite3_exec(StoreInternals::database(*store)->nativeHandleForTesting(),
                           "CREATE TRIGGER refuse_body BEFORE UPDATE OF rich_text_rtf ON vesks "
                           "BEGIN SELECT RAISE(ABORT, 'refused'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    const int changesBefore = snapshots->changes;
    logLines.clear();

    EXPECT_FALSE(store->saveItemEdits(before.id, QStringLiteral("Renamed"), QStringLiteral("zebra"),
                                      QByteArrayLiteral("{\\rtf1 zebra}")));

    EXPECT_EQ(store->items().first(), before);
    EXPECT_EQ(store->richTextByID().value(before.id), QByteArrayLiteral("{\\rtf1 buy milk}"));
    EXPECT_EQ(snapshots->changes, changesBefore);
    store->refreshFilteredItems(QStringLiteral("zebra"));
    EXPECT_TRUE(store->filteredItems().isEmpty());
    ASSERT_EQ(logLines.size(), 1);
    EXPECT_TRUE(logLines.first().startsWith(QStringLiteral("Vesk rich-text edit save error: "))) << logLines.first().toStdString();
    ASSERT_EQ(storedItems().size(), 1);
    EXPECT_EQ(storedItems().first(), before) << "the row was rolled back with the body";
}

TEST_F(StoreRichTextTest, ABodyLongerThanTheReaderTakesIsNeverReplacedByItsBeginning)
{
    auto store = makeStore();
    const QByteArray deep = "{\\rtf1 \\u9744 ? milk\\par " + QByteArray(300, '{') + "deep" + QByteArray(300, '}') + "}";
    store->addRichTextNote(QStringLiteral("Deep"), QStringLiteral("milk"), deep);
    const QUuid id = store->items().first().id;
    const VeskItem before = store->items().first();
    logLines.clear();

    store->updateRichText(id, QByteArrayLiteral("{\\rtf1 \\u9745 ? milk}"));
    EXPECT_FALSE(store->saveItemEdits(id, QStringLiteral("Deep"), QStringLiteral("milk"), QByteArrayLiteral("{\\rtf1 milk}")));

    EXPECT_EQ(store->richTextByID().value(id), deep);
    EXPECT_EQ(store->items().first(), before);
    EXPECT_EQ(countLines(QStringLiteral("Vesk rich-text update error: ")), 1);
    EXPECT_EQ(countLines(QStringLiteral("Vesk rich-text edit save error: ")), 1);
}
