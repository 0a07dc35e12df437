#include "search/DefaultOrder.h"
#include "search/Ranking.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace vesk {
namespace {

QList<QUuid> ids(const QList<VeskItem>& items)
{
    QList<QUuid> out;
    for (const VeskItem& item : items)
        out.append(item.id);
    return out;
}

// The store's list as the order follows it: items are read in list order, put at the front,
// changed in place (dates included) or removed; brought-back marks come and go.
class EditedLibrary {
public:
    explicit EditedLibrary(quint32 seed) : m_random(seed) {}

    VeskItem newItem()
    {
        VeskItem item;
        item.id = QUuid::createUuid();
        item.title = QStringLiteral("item %1").arg(m_counter++);
        // Few distinct dates, so that many items tie and list order decides.
        item.createdAt = QDateTime::fromSecsSinceEpoch(1'700'000'000 + m_random.bounded(12) * 60, Qt::UTC);
        if (m_random.bounded(20) == 0)
            item.createdAt = QDateTime();
        return item;
    }

    void step(QList<VeskItem>& items, QSet<QUuid>& broughtBack, DefaultOrder& order)
    {
        const int roll = int(m_random.bounded(10));
        if (items.isEmpty() || roll < 3) {
            const VeskItem item = newItem();
            items.prepend(item);
            order.prepend(item);
        } else if (roll < 6) {
            const qsizetype at = qsizetype(m_random.bounded(int(items.size())));
            items[at].title += QLatin1Char('!');
            if (m_random.bounded(2) == 0)
                items[at].createdAt = newItem().createdAt;
            order.update(items[at]);
        } else if (roll < 7) {
            const qsizetype at = qsizetype(m_random.bounded(int(items.size())));
            EXPECT_TRUE(order.remove(items[at].id));
            items.removeAt(at);
        } else if (roll < 8) {
            removeSeveral(items, order);
        } else {
            const QUuid id = items[qsizetype(m_random.bounded(int(items.size())))].id;
            if (broughtBack.contains(id))
                broughtBack.remove(id);
            else
                broughtBack.insert(id);
            order.setBroughtBackIDs(broughtBack);
        }
    }

    // A bulk delete: a few items anywhere, a run of neighbours, or all of them, taken out of the
    // list first and then out of the order at once.
    void removeSeveral(QList<VeskItem>& items, DefaultOrder& order)
    {
        QSet<QUuid> gone;
        const int form = int(m_random.bounded(4));
        if (form == 0) {
            for (const VeskItem& item : std::as_const(items))
                gone.insert(item.id);
        } else if (form == 1) {
            const qsizetype first = qsizetype(m_random.bounded(int(items.size())));
            for (qsizetype i = first; i < std::min(items.size(), first + 5); ++i)
                gone.insert(items[i].id);
        } else {
            for (int n = 0; n < 6; ++n)
                gone.insert(items[qsizetype(m_random.bounded(int(items.size())))].id);
        }
        // One the order never held is passed over.
        gone.insert(QUuid::createUuid());
        items.removeIf([&](const VeskItem& item) { return gone.contains(item.id); });
        order.removeAll(gone);
    }

private:
    QRandomGenerator m_random;
    int m_counter = 0;
};

TEST(DefaultOrder, KeptItemByItemEqualsAFullSortAfterRandomEdits)
{
    for (quint32 seed = 1; seed <= 40; ++seed) {
        EditedLibrary library(seed);
        QList<VeskItem> items;
        for (int i = 0; i < 30; ++i)
            items.append(library.newItem());
        QSet<QUuid> broughtBack{items[3].id, items[17].id};
        DefaultOrder order;
        order.reset(items, broughtBack);
        ASSERT_EQ(ids(order.items()), ids(defaultOrder(items, broughtBack))) << "seed " << seed;
        for (int step = 0; step < 200; ++step) {
            library.step(items, broughtBack, order);
            // Whole items, not only their places: an edit must show its new content.
            ASSERT_EQ(order.items(), defaultOrder(items, broughtBack)) << "seed " << seed << " step " << step;
        }
    }
}

// Following the store's list, which changes first and then tells the order: the order is always
// the full sort of the list, and it is the list itself (no copy of an item) whenever the list is
// in that order.
TEST(DefaultOrder, FollowingAListEqualsAFullSortAndSharesItWhileInOrder)
{
    for (quint32 seed = 1; seed <= 40; ++seed) {
        EditedLibrary library(seed);
        QList<VeskItem> items;
        for (int i = 0; i < 30; ++i)
            items.append(library.newItem());
        items = defaultOrder(items, {});
        QSet<QUuid> broughtBack;
        DefaultOrder order;
        order.follow(items, broughtBack);
        ASSERT_TRUE(order.sharesList()) << "seed " << seed;
        QRandomGenerator random(seed);
        for (int step = 0; step < 200; ++step) {
            const int roll = int(random.bounded(12));
            if (items.isEmpty() || roll < 4) {
                // Mostly the newest, as captures are; now and then an older date.
                VeskItem item = library.newItem();
                if (roll != 0)
                    item.createdAt = QDateTime::fromSecsSinceEpoch(1'800'000'000 + step, Qt::UTC);
                items.prepend(item);
                order.prepend(item);
            } else if (roll < 7) {
                const qsizetype at = qsizetype(random.bounded(int(items.size())));
                items[at].title += QLatin1Char('!');
                if (roll == 6)
                    items[at].createdAt = library.newItem().createdAt;
                order.update(items[at]);
            } else if (roll < 8) {
                const qsizetype at = qsizetype(random.bounded(int(items.size())));
                const QUuid id = items[at].id;
                items.removeAt(at);
                EXPECT_TRUE(order.remove(id));
            } else if (roll < 9) {
                library.removeSeveral(items, order);
            } else if (roll < 10) {
                const QUuid id = items[qsizetype(random.bounded(int(items.size())))].id;
                if (broughtBack.contains(id))
                    broughtBack.remove(id);
                else
                    broughtBack.insert(id);
                order.setBroughtBackIDs(broughtBack);
            } else {
                // The store brings its list back into order (a sort, the marks cleared).
                broughtBack.clear();
                order.setBroughtBackIDs(broughtBack);
                items = defaultOrder(items, {});
                order.follow(items, broughtBack);
            }
            order.rejoin();
            const QList<VeskItem> expected = defaultOrder(items, broughtBack);
            ASSERT_EQ(order.items(), expected) << "seed " << seed << " step " << step;
            ASSERT_EQ(order.sharesList(), ids(items) == ids(expected)) << "seed " << seed << " step " << step;
            if (order.sharesList())
                ASSERT_TRUE(order.items().isSharedWith(items));
        }
    }
}

// An order made apart from the list (on a worker, from the list as read) follows it once bound,
// when it holds the same items in the same order.
TEST(DefaultOrder, BoundToTheListItWasMadeFromItSharesIt)
{
    QList<VeskItem> items;
    for (int i = 0; i < 5; ++i) {
        VeskItem item;
        item.id = QUuid::createUuid();
        item.createdAt = QDateTime::fromSecsSinceEpoch(1'700'000'000 - i, Qt::UTC);
        items.append(item);
    }
    DefaultOrder order;
    order.resetSharing(items, {});
    EXPECT_TRUE(order.items().isSharedWith(items));
    QList<VeskItem> shown = items;
    order.bind(shown);
    EXPECT_TRUE(order.sharesList());

    // Brought-back marks make an order of its own, which the list never shares.
    DefaultOrder marked;
    marked.resetSharing(items, {items[3].id});
    marked.bind(items);
    EXPECT_FALSE(marked.sharesList());
    EXPECT_EQ(ids(marked.items()), ids(defaultOrder(items, {items[3].id})));
}

TEST(DefaultOrder, ChangesThatAreNotItsOwnLeaveItAlone)
{
    VeskItem a;
    a.id = QUuid::createUuid();
    a.createdAt = QDateTime::fromSecsSinceEpoch(100, Qt::UTC);
    DefaultOrder order;
    order.reset({a}, {});
    VeskItem stranger = a;
    stranger.id = QUuid::createUuid();
    order.update(stranger);
    EXPECT_FALSE(order.remove(stranger.id));
    EXPECT_EQ(ids(order.items()), QList<QUuid>{a.id});
    // An item put at the front again is moved, not held twice.
    order.prepend(a);
    EXPECT_EQ(order.size(), 1);
}

// A library of thousands takes a new item, or loses one near its newest, without moving the items
// further back: the cost of a capture must not grow with the library.
TEST(DefaultOrder, ChangesNearTheFrontLeaveTheRestOfTheLibraryInPlace)
{
    struct Case {
        const char* name;
        int broughtBack;  // items marked brought back, ahead of the newest
        int prepends;     // new items, each the newest
        int removedAt;    // position of an item removed afterwards, or -1
    };
    const Case cases[] = {
        {"one new item", 0, 1, -1},
        {"a run of new items", 0, 10, -1},
        {"new items behind brought-back ones", 3, 10, -1},
        {"an item removed near the front", 3, 0, 5},
        {"new items, then one removed", 0, 5, 2},
    };
    for (const Case& test : cases) {
        QList<VeskItem> items;
        for (int i = 0; i < 3000; ++i) {
            VeskItem item;
            item.id = QUuid::createUuid();
            item.createdAt = QDateTime::fromSecsSinceEpoch(1'700'000'000 - i * 60, Qt::UTC);
            items.append(item);
        }
        QSet<QUuid> broughtBack;
        for (int i = 0; i < test.broughtBack; ++i)
            broughtBack.insert(items[1000 + i].id);
        DefaultOrder order;
        order.reset(items, broughtBack);
        const VeskItem* last = &order.items().constLast();
        for (int i = 0; i < test.prepends; ++i) {
            VeskItem item;
            item.id = QUuid::createUuid();
            item.createdAt = QDateTime::fromSecsSinceEpoch(1'800'000'000 + i, Qt::UTC);
            items.prepend(item);
            order.prepend(item);
        }
        if (test.removedAt >= 0) {
            const QUuid id = order.items().at(test.removedAt).id;
            ASSERT_TRUE(order.remove(id)) << test.name;
            items.removeIf([&](const VeskItem& item) { return item.id == id; });
        }
        EXPECT_EQ(&order.items().constLast(), last) << test.name;
        EXPECT_EQ(ids(order.items()), ids(defaultOrder(items, broughtBack))) << test.name;
    }
}

// A library too large to copy on one thread: whenever a followed list leaves the default order
// (a new item older than the newest, a date changed, a brought-back mark, a list out of order),
// the order's own copy holds every item in place, keeps its room at the front, and goes on
// following the list.
TEST(DefaultOrder, ALargeLibraryLeavingItsListsOrderIsCopiedWhole)
{
    struct Case {
        const char* name;
        void (*change)(QList<VeskItem>& items, QSet<QUuid>& broughtBack, DefaultOrder& order);
    };
    const Case cases[] = {
        {"a new item older than the newest",
            [](QList<VeskItem>& items, QSet<QUuid>&, DefaultOrder& order) {
                VeskItem item;
                item.id = QUuid::createUuid();
                item.createdAt = items.constFirst().createdAt.addSecs(-30);
                items.prepend(item);
                order.prepend(item);
            }},
        {"an item dated anew",
            [](QList<VeskItem>& items, QSet<QUuid>&, DefaultOrder& order) {
                items[12'345].createdAt = items.constFirst().createdAt.addSecs(60);
                order.update(items[12'345]);
            }},
        {"an item brought back",
            [](QList<VeskItem>& items, QSet<QUuid>& broughtBack, DefaultOrder& order) {
                broughtBack.insert(items[19'999].id);
                order.setBroughtBackIDs(broughtBack);
            }},
        {"a list out of order followed",
            [](QList<VeskItem>& items, QSet<QUuid>& broughtBack, DefaultOrder& order) {
                std::swap(items[0], items[15'000]);
                order.follow(items, broughtBack);
            }},
    };
    for (const Case& test : cases) {
        QList<VeskItem> items;
        for (int i = 0; i < 20'000; ++i) {
            VeskItem item;
            item.id = QUuid::createUuid();
            item.title = QStringLiteral("item %1").arg(i);
            item.createdAt = QDateTime::fromSecsSinceEpoch(1'700'000'000 - i * 60, Qt::UTC);
            items.append(item);
        }
        QSet<QUuid> broughtBack;
        DefaultOrder order;
        order.follow(items, broughtBack);
        test.change(items, broughtBack, order);
        ASSERT_FALSE(order.sharesList()) << test.name;
        ASSERT_EQ(order.items(), defaultOrder(items, broughtBack)) << test.name;
        // New items go in at the front without moving the copy.
        const VeskItem* last = &order.items().constLast();
        for (int i = 0; i < 3; ++i) {
            VeskItem item;
            item.id = QUuid::createUuid();
            item.createdAt = QDateTime::fromSecsSinceEpoch(1'800'000'000 + i, Qt::UTC);
            items.prepend(item);
            order.prepend(item);
        }
        EXPECT_EQ(&order.items().constLast(), last) << test.name;
        EXPECT_EQ(order.items(), defaultOrder(items, broughtBack)) << test.name;
    }
}

} // namespace
} // namespace vesk
