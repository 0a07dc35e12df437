// The library's items on their own: finding an item by identifier stays right through every kind
// of change of the list.
#include "store/LibraryItems.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace vesk::test {
namespace {

VeskItem item(const QString& title)
{
    VeskItem made;
    made.id = QUuid::createUuid();
    made.title = title;
    return made;
}

// Where a plain scan of the list finds each identifier, the index must find it too.
void expectIndexMatchesScan(const LibraryItems& library)
{
    for (qsizetype i = 0; i < library.items().size(); ++i) {
        const QUuid& id = library.items().at(i).id;
        qsizetype first = 0;
        while (library.items().at(first).id != id)
            ++first;
        EXPECT_EQ(library.indexOf(id), first) << "item at " << i;
    }
    EXPECT_EQ(library.indexOf(QUuid::createUuid()), -1);
}

struct Change {
    const char* name;
    std::function<void(LibraryItems&, const QList<VeskItem>& start)> apply;
};

TEST(LibraryItemsTest, FindsEveryItemByIdentifierAfterEachKindOfChange)
{
    const Change changes[] = {
        {"several new items at the front", [](LibraryItems& library, const QList<VeskItem>&) {
             for (int i = 0; i < 5; ++i)
                 library.prepend(item(QStringLiteral("new %1").arg(i)));
         }},
        {"a new item at the front after the list was replaced", [](LibraryItems& library, const QList<VeskItem>& start) {
             library.prepend(item(QStringLiteral("new")));
             library.setItems(start.mid(1));
             library.prepend(item(QStringLiteral("newer")));
         }},
        {"an item replaced by one with another identifier", [](LibraryItems& library, const QList<VeskItem>&) {
             library.prepend(item(QStringLiteral("new")));
             library.replaceAt(2, item(QStringLiteral("other")));
         }},
        {"an item removed from the middle", [](LibraryItems& library, const QList<VeskItem>& start) {
             library.prepend(item(QStringLiteral("new")));
             QList<VeskItem> fewer = library.items();
             fewer.removeAt(3);
             library.setItems(fewer);
             EXPECT_EQ(library.indexOf(start.at(2).id), -1);
         }},
        {"items taken out where they lie", [](LibraryItems& library, const QList<VeskItem>& start) {
             library.prepend(item(QStringLiteral("new")));
             const VeskItem* front = library.items().constData();
             library.removeItems({start.at(1).id, start.at(4).id});
             EXPECT_EQ(library.items().constData(), front);
             EXPECT_EQ(library.items().size(), 5);
             EXPECT_EQ(library.indexOf(start.at(4).id), -1);
         }},
        {"removals spread over a list that grows in front, past a new table", [](LibraryItems& library, const QList<VeskItem>&) {
             for (int round = 0; round < 30; ++round) {
                 for (int i = 0; i < 8; ++i)
                     library.prepend(item(QStringLiteral("new %1 %2").arg(round).arg(i)));
                 // The first, the last, and a few between.
                 const QList<VeskItem>& items = library.items();
                 QSet<QUuid> gone{items.first().id, items.last().id, QUuid::createUuid()};
                 for (qsizetype at = round % 3 + 1; at < items.size() - 1 && gone.size() < 7; at += 5)
                     gone.insert(items.at(at).id);
                 library.removeItems(gone);
                 for (const QUuid& id : std::as_const(gone))
                     EXPECT_EQ(library.indexOf(id), -1);
                 expectIndexMatchesScan(library);
             }
         }},
        {"a removal from a list that holds an identifier twice", [](LibraryItems& library, const QList<VeskItem>& start) {
             QList<VeskItem> repeated = start;
             repeated.insert(4, start.at(1));
             library.setItems(repeated);
             library.removeItems({start.at(1).id, start.at(3).id});
             EXPECT_EQ(library.items().size(), 4);
             EXPECT_EQ(library.indexOf(start.at(1).id), -1);
         }},
        {"a list adopted whole", [](LibraryItems& library, const QList<VeskItem>& start) {
             library.prepend(item(QStringLiteral("new")));
             QList<VeskItem> reversed(start.rbegin(), start.rend());
             library.adoptItems(reversed);
         }},
        {"a repeated identifier: the first is found", [](LibraryItems& library, const QList<VeskItem>& start) {
             library.prepend(start.at(3));
             EXPECT_EQ(library.indexOf(start.at(3).id), 0);
             QList<VeskItem> repeated = start;
             repeated.append(start.at(0));
             library.setItems(repeated);
             EXPECT_EQ(library.indexOf(start.at(0).id), 0);
         }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        QList<VeskItem> start;
        for (int i = 0; i < 6; ++i)
            start.append(item(QStringLiteral("item %1").arg(i)));
        LibraryItems library;
        library.setItems(start);
        change.apply(library, start);
        expectIndexMatchesScan(library);
    }
}

// A replacement that changes nothing is not published; a new item is published as a change of
// the list, then as the item added.
TEST(LibraryItemsTest, PublishesOnlyRealChangesAndANewItemAfterTheListChange)
{
    LibraryItems library;
    const VeskItem first = item(QStringLiteral("first"));
    library.setItems({first});
    QStringList heard;
    QObject::connect(&library, &LibraryItems::itemsChanged, [&] { heard.append(QStringLiteral("items")); });
    QObject::connect(&library, &LibraryItems::itemAdded, [&](const QUuid&) { heard.append(QStringLiteral("added")); });

    EXPECT_FALSE(library.replaceAt(0, first));
    library.setItems({first});
    EXPECT_TRUE(heard.isEmpty());

    library.prepend(item(QStringLiteral("second")));
    EXPECT_EQ(heard, (QStringList{QStringLiteral("items"), QStringLiteral("added")}));
}

// While the published list is the items themselves (an empty search over a library in its own
// order), a change of the items copies none of the others, and the list shown holds the change and
// is said to have changed once.
TEST(LibraryItemsTest, AChangeOfItemsThatAreShownAsTheyAreCopiesNoOtherItem)
{
    const Change changes[] = {
        {"a new item at the front", [](LibraryItems& library, const QList<VeskItem>&) {
             library.prepend(item(QStringLiteral("new")));
         }},
        {"an item replaced", [](LibraryItems& library, const QList<VeskItem>& start) {
             VeskItem renamed = start.at(2);
             renamed.title = QStringLiteral("renamed");
             EXPECT_TRUE(library.replaceAt(2, renamed));
         }},
        {"items changed in place, then published", [](LibraryItems& library, const QList<VeskItem>&) {
             EXPECT_TRUE(library.changeEach([](VeskItem& each) {
                 each.note = QStringLiteral("noted");
                 return true;
             }));
             library.publishItems();
         }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        QList<VeskItem> start;
        for (int i = 0; i < 6; ++i)
            start.append(item(QStringLiteral("item %1").arg(i)));
        makeRoomAtFront(start);
        LibraryItems library;
        library.adoptItems(start);
        start = QList<VeskItem>(start.cbegin(), start.cend());
        library.replaceFilteredItems(library.items());
        const VeskItem* last = &library.items().constLast();
        int said = 0;
        QObject::connect(&library, &LibraryItems::filteredItemsChanged, [&] { ++said; });

        change.apply(library, start);
        EXPECT_EQ(&library.items().constLast(), last);
        EXPECT_TRUE(library.filteredItems().isSharedWith(library.items()));
        EXPECT_NE(library.items(), start);
        EXPECT_EQ(said, 1);
    }
}

// A worker walks the list in turns while the main thread changes it between them: it visits each
// item that was there when it began once, as it is at its turn, and none that came in after.
TEST(LibraryItemsTest, AWalkInTurnsVisitsTheListItBeganWithThroughChangesBetweenTurns)
{
    struct Case {
        const char* name;
        std::function<void(LibraryItems&)> between;
        QStringList visited; // in the order visited, from the end
        bool restarted = false;
        // Before the first turn: the walk covers the list as it was when it was made.
        std::function<void(LibraryItems&)> beforeFirstTurn = [](LibraryItems&) {};
    };
    const QList<Case> cases = {
        {"nothing changes", [](LibraryItems&) {}, {"e", "d", "c", "b", "a"}},
        {"a new item at the front before the worker starts", [](LibraryItems&) {}, {"e", "d", "c", "b", "a"}, false,
            [](LibraryItems& library) { library.prepend(item(QStringLiteral("new"))); }},
        {"new items at the front", [](LibraryItems& library) {
             library.prepend(item(QStringLiteral("new")));
             library.prepend(item(QStringLiteral("newer")));
         }, {"e", "d", "c", "b", "a"}},
        {"an item not yet visited changed in place", [](LibraryItems& library) {
             VeskItem changed = library.items().at(1);
             changed.title = QStringLiteral("b2");
             library.replaceAt(1, changed);
         }, {"e", "d", "c", "b2", "a"}},
        {"an item taken out", [](LibraryItems& library) {
             QList<VeskItem> fewer = library.items();
             fewer.removeAt(0);
             library.setItems(fewer);
         }, {"e", "d", "c", "b"}, true},
        {"an item taken out where it lies", [](LibraryItems& library) {
             library.removeItems({library.items().at(1).id});
         }, {"e", "d", "c", "a"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LibraryItems library;
        QList<VeskItem> start;
        for (const char* title : {"a", "b", "c", "d", "e"})
            start.append(item(QString::fromLatin1(title)));
        library.adoptItems(start);
        ItemsWalk walk(library.reading());
        c.beforeFirstTurn(library);
        QStringList visited;
        const auto visit = [&](const VeskItem& seen) { visited.append(seen.title); };
        EXPECT_EQ(walk.next(2, visit), ItemsWalk::Turn::More);
        c.between(library);
        ItemsWalk::Turn turn = walk.next(2, visit);
        if (c.restarted) {
            EXPECT_EQ(turn, ItemsWalk::Turn::Restarted);
            visited.clear();
        }
        while (turn != ItemsWalk::Turn::Done && turn != ItemsWalk::Turn::Closed)
            turn = walk.next(2, visit);
        EXPECT_EQ(turn, ItemsWalk::Turn::Done);
        EXPECT_EQ(visited, c.visited);
    }

    // Once the gate is closed (the list is going away), no turn reads it.
    LibraryItems library;
    library.adoptItems({item(QStringLiteral("a"))});
    ItemsWalk walk(library.reading());
    library.readGate()->close();
    EXPECT_EQ(walk.next(2, [](const VeskItem&) { ADD_FAILURE() << "read after the gate closed"; }),
        ItemsWalk::Turn::Closed);
}

// What a worker gathers over several turns is the list as it is at its last turn, each item once
// and in list order: a list replaced between two turns drops what was picked from the one before,
// so that no item gone meanwhile is kept and none is named twice.
TEST(LibraryItemsTest, GatheringAcrossAListReplacedBetweenTurnsGivesTheNewListOnce)
{
    struct Case {
        const char* name;
        std::function<QList<VeskItem>(QList<VeskItem>)> replace; // none: the list stays as it is
        const char* gathered;
    };
    const QList<Case> cases = {
        {"nothing replaced", nullptr, "a b c d e"},
        {"sorted anew", [](QList<VeskItem> items) {
             std::reverse(items.begin(), items.end());
             return items;
         }, "e d c b a"},
        {"an item already picked taken out", [](QList<VeskItem> items) {
             items.removeLast();
             return items;
         }, "a b c d"},
        {"an item not yet picked taken out", [](QList<VeskItem> items) {
             items.removeFirst();
             return items;
         }, "b c d e"},
        {"read anew with other items", [](QList<VeskItem>) {
             return QList<VeskItem>{item(QStringLiteral("x")), item(QStringLiteral("y"))};
         }, "x y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QList<VeskItem> items;
        for (const char* title : {"a", "b", "c", "d", "e"})
            items.append(item(QString::fromLatin1(title)));
        quint64 replacements = 0;
        quint64 changes = 0;
        ItemsWalk walk(ItemsReading{std::make_shared<ReadGate>(), &items, &replacements, &changes});
        int visits = 0;
        const auto gathered = walk.gather<QString>(2, [&](const VeskItem& seen, QStringList& picked) {
            picked.append(seen.title);
            // The last item of the first turn: the turn reads nothing after it, so the list is
            // replaced as the main thread would replace it before the next turn.
            if (++visits == 2 && c.replace) {
                items = c.replace(items);
                ++replacements;
                ++changes;
            }
        });
        ASSERT_TRUE(gathered.has_value());
        EXPECT_EQ(gathered->join(QLatin1Char(' ')).toStdString(), c.gathered);
    }
}

} // namespace
} // namespace vesk::test
