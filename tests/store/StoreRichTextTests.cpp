#include "store/StoreTestSupport.h"

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
    ASSERT_EQ(sqlite3_exec(store->database()->nativeHandleForTesting(), "DROP TABLE vesks;", nullptr,
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
