#include "platform/Uuid.h"
#include "store/SearchState.h"
#include "store/StoreTestSupport.h"
#include "store/StoreInternals.h"

#include <QSignalSpy>

#include <functional>

using namespace vesk;
using namespace vesk::test;

namespace {

class StoreSelection : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        for (int i = 0; i < 9; ++i)
            grid.append(makeItem(QStringLiteral("item %1").arg(i), 1000 - i));
        seed(grid);
        store = makeStore();
    }

    QSet<QUuid> ids(std::initializer_list<int> positions) const
    {
        QSet<QUuid> out;
        for (int p : positions)
            out.insert(grid[p].id);
        return out;
    }

    // How many uses of the item at this position the store has recorded.
    int uses(int position) const
    {
        return StoreInternals::searchState(*store).usageSignals.value(uuidString(grid[position].id)).selectionCount;
    }

    QList<VeskItem> grid;
    std::unique_ptr<VeskStore> store;
};

} // namespace

TEST_F(StoreSelection, PlainAndCommandClicks)
{
    store->select(grid[1].id);
    EXPECT_EQ(store->selectedIDs(), ids({1}));
    EXPECT_EQ(store->selectedID(), grid[1].id);

    store->toggleSelection(grid[3].id);
    EXPECT_EQ(store->selectedIDs(), ids({1, 3}));
    EXPECT_EQ(store->selectedID(), grid[3].id);

    // Removing the focused item keeps the focus on it.
    store->toggleSelection(grid[3].id);
    EXPECT_EQ(store->selectedIDs(), ids({1}));
    EXPECT_EQ(store->selectedID(), grid[3].id);

    store->select(grid[4].id);
    EXPECT_EQ(store->selectedIDs(), ids({4}));
}

TEST_F(StoreSelection, ShiftClickAddsTheRangeFromTheAnchor)
{
    store->select(grid[7].id);
    store->toggleSelection(grid[0].id);
    store->setSelectedID(grid[7].id);

    store->extendSelection(grid[2].id, grid);
    EXPECT_EQ(store->selectedIDs(), ids({0, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(store->selectedID(), grid[2].id);

    // The clicked item is the new anchor.
    store->extendSelection(grid[8].id, grid);
    EXPECT_EQ(store->selectedIDs(), ids({0, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(StoreSelection, ShiftClickWithoutAUsableAnchorOrTarget)
{
    QSignalSpy changes(store.get(), &VeskStore::selectedIDsChanged);
    store->extendSelection(grid[2].id, {});
    store->extendSelection(QUuid::createUuid(), grid);
    EXPECT_EQ(changes.count(), 0);

    // Nothing focused or selected: a plain click.
    store->extendSelection(grid[2].id, grid);
    EXPECT_EQ(store->selectedIDs(), ids({2}));

    // The focused item has been filtered out of the grid: a plain click too.
    const QList<VeskItem> filtered = grid.mid(4);
    store->extendSelection(grid[6].id, filtered);
    EXPECT_EQ(store->selectedIDs(), ids({6}));
    EXPECT_EQ(store->selectedID(), grid[6].id);

    // With no focus the anchor is a selected item.
    store->setSelectedID(std::nullopt);
    store->extendSelection(grid[8].id, grid);
    EXPECT_EQ(store->selectedIDs(), ids({6, 7, 8}));
}

TEST_F(StoreSelection, SelectAllKeepsAnExistingFocus)
{
    store->selectItems(grid.mid(2, 3));
    EXPECT_EQ(store->selectedIDs(), ids({2, 3, 4}));
    EXPECT_EQ(store->selectedID(), grid[2].id);

    store->select(grid[8].id);
    store->selectItems(grid.mid(0, 2));
    EXPECT_EQ(store->selectedIDs(), ids({0, 1}));
    EXPECT_EQ(store->selectedID(), grid[8].id);

    store->selectItems({});
    EXPECT_TRUE(store->selectedIDs().isEmpty());
    EXPECT_EQ(store->selectedID(), grid[8].id);
}

TEST_F(StoreSelection, OnlyClicksThatFocusAnItemRecordAUse)
{
    store->select(grid[1].id);
    EXPECT_EQ(uses(1), 1);

    // The second Command-click only takes the item out again.
    store->toggleSelection(grid[3].id);
    store->toggleSelection(grid[3].id);
    EXPECT_EQ(uses(3), 1);

    // Shift-clicks that change nothing record nothing; a range records the clicked item only.
    store->extendSelection(grid[5].id, {});
    store->extendSelection(grid[5].id, grid.mid(6));
    EXPECT_EQ(uses(5), 0);
    store->setSelectedID(grid[1].id);
    store->extendSelection(grid[5].id, grid);
    EXPECT_EQ(uses(5), 1);
    EXPECT_EQ(uses(2) + uses(4), 0);

    // Select all records no use at all.
    store->selectItems(grid);
    for (int position = 0; position < grid.size(); ++position)
        EXPECT_EQ(uses(position), position == 1 || position == 3 || position == 5 ? 1 : 0) << position;
}

TEST_F(StoreSelection, ANewItemTakesOverASelectionOfOne)
{
    // Every capture road focuses its new item; a selection of one (a plain click) follows it, so
    // Delete acts on what the preview shows, while a set the user built stays as it was.
    int made = 0;
    const auto fresh = [&made] { return QStringLiteral("new%1").arg(++made); };
    const std::function<void(VeskStore&)> roads[] = {
        [&](VeskStore& s) { s.addText(QStringLiteral("a note ") + fresh()); },
        [&](VeskStore& s) { s.addHTML(QStringLiteral("<p>a page %1</p>").arg(fresh()).toUtf8()); },
        [&](VeskStore& s) { s.addLink(QUrl(QStringLiteral("https://example.com/") + fresh())); },
        [&](VeskStore& s) {
            const QString text = QStringLiteral("a rich note ") + fresh();
            s.addRichTextNote(std::nullopt, text, QStringLiteral("{\\rtf1 %1}").arg(text).toUtf8());
        },
    };
    int road = 0;
    for (const auto& capture : roads) {
        SCOPED_TRACE(road++);
        store->select(grid[1].id);
        capture(*store);
        const QUuid added = store->items().first().id;
        EXPECT_EQ(store->selectedID(), added);
        EXPECT_EQ(store->selectedIDs(), QSet<QUuid>{added});

        store->select(grid[1].id);
        store->toggleSelection(grid[2].id);
        capture(*store);
        EXPECT_EQ(store->selectedID(), store->items().first().id);
        EXPECT_EQ(store->selectedIDs(), ids({1, 2}));

        store->selectItems({});
        capture(*store);
        EXPECT_EQ(store->selectedID(), store->items().first().id);
        EXPECT_TRUE(store->selectedIDs().isEmpty());
    }
}
