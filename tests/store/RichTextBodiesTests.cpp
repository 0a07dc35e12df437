// The rich-text bodies on their own: a library file in a temporary folder and a host that stands
// for the rest of the store.
#include "store/RichTextBodies.h"
#include "store/RichTextHost.h"
#include "store/StoreTestSupport.h"

namespace vesk::test {
namespace {

class FakeRichTextHost final : public RichTextHost {
public:
    std::optional<VeskItem> currentItem(const QUuid& id) const override
    {
        const auto it = items.constFind(id);
        return it == items.cend() ? std::nullopt : std::optional<VeskItem>(*it);
    }
    SQLiteDatabase* database() const override { return db.get(); }
    bool rowWaitsForLibraryCheck(const QUuid& id) const override { return waiting.contains(id); }
    void adoptSavedItem(const VeskItem& item) override { items.insert(item.id, item); }
    void reportFailure(const QString& title, const QString&) override { failures.append(title); }
    QString refusalReason(const DatabaseError& error) const override { return error.plainReason(); }

    std::unique_ptr<SQLiteDatabase> db;
    QHash<QUuid, VeskItem> items;
    QSet<QUuid> waiting;
    QStringList failures;
};

using RichTextBodiesTest = StoreTest;

// An edit of a new note whose row still waits for the check of the library file is not written
// ahead of that row: it is taken in memory, and the row written later carries it.
TEST_F(RichTextBodiesTest, AnEditOfANoteWhoseRowWaitsIsKeptInMemoryAndNotWrittenAheadOfItsRow)
{
    FakeRichTextHost host;
    host.db = openDatabase();
    RichTextBodies bodies(snapshots, host);
    const VeskItem written = makeItem(QStringLiteral("written"), 1000);
    const VeskItem waiting = makeItem(QStringLiteral("waiting"), 2000);
    seed({written});
    host.items.insert(written.id, written);
    host.items.insert(waiting.id, waiting);
    host.waiting.insert(waiting.id);

    const QByteArray body = QByteArrayLiteral("{\\rtf1 new words}");
    for (const VeskItem& item : {written, waiting}) {
        SCOPED_TRACE(item.title.toStdString());
        ASSERT_TRUE(bodies.saveEdits(item.id, QStringLiteral("edited"), QStringLiteral("new words"), body));
        EXPECT_EQ(host.items.value(item.id).title, QStringLiteral("edited"));
        EXPECT_EQ(bodies.body(item.id), std::optional<QByteArray>(body));
    }
    const QList<VeskItem> stored = storedItems();
    ASSERT_EQ(stored.size(), 1) << "the waiting row is not written ahead of the check";
    EXPECT_EQ(stored.first().id, written.id);
    EXPECT_EQ(stored.first().title, QStringLiteral("edited"));
    EXPECT_TRUE(host.failures.isEmpty());
}

} // namespace
} // namespace vesk::test
