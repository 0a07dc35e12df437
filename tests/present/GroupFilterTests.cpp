#include "present/VeskGroupFilter.h"

#include "common/TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>

namespace vesk {
namespace {

VeskItem fileItem(const std::optional<QString>& path, VeskKind kind = VeskKind::File, const QString& title = {})
{
    VeskItem item;
    item.id = QUuid::createUuid();
    item.kind = kind;
    item.title = title;
    item.filePath = path;
    item.createdAt = QDateTime::currentDateTimeUtc();
    return item;
}

QList<VeskItem> library(int count, const std::optional<QUuid>& group = std::nullopt)
{
    QList<VeskItem> items;
    for (int i = 0; i < count; ++i) {
        VeskItem item = fileItem(std::nullopt, VeskKind::Text, QString::number(i));
        item.groupID = group;
        items.append(item);
    }
    return items;
}

TEST(GroupFilter, EqualityOfCases)
{
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    EXPECT_EQ(VeskGroupFilter::group(a), VeskGroupFilter::group(a));
    EXPECT_NE(VeskGroupFilter::group(a), VeskGroupFilter::group(b));
    EXPECT_NE(VeskGroupFilter::all(), VeskGroupFilter::ungrouped());
    EXPECT_NE(VeskGroupFilter::group(QUuid()), VeskGroupFilter::all());
    EXPECT_NE(VeskGroupFilter::group(QUuid()), VeskGroupFilter::ungrouped());
}

TEST(GroupFilter, BrowseNarrowsAndCutsSearchDoesNot)
{
    const QUuid a = QUuid::createUuid();
    QList<VeskItem> items = library(121);
    EXPECT_EQ(visibleItems(QString(), items, VeskGroupFilter::all(), false).size(), 120);
    EXPECT_EQ(visibleItems(QString(), items, VeskGroupFilter::all(), false).last().title, QStringLiteral("119"));
    EXPECT_EQ(visibleItems(QStringLiteral(" \t\n"), items, VeskGroupFilter::all(), false).size(), 120);
    EXPECT_EQ(visibleItems(QString(), items, VeskGroupFilter::all(), true).size(), 121);
    EXPECT_TRUE(recentCutApplies(QString(), items.size(), VeskGroupFilter::all(), false));
    EXPECT_FALSE(recentCutApplies(QString(), 120, VeskGroupFilter::all(), false));
    EXPECT_FALSE(recentCutApplies(QStringLiteral("x"), items.size(), VeskGroupFilter::all(), false));
    EXPECT_FALSE(recentCutApplies(QString(), items.size(), VeskGroupFilter::all(), true));

    QList<VeskItem> grouped = library(500, a);
    grouped.append(library(3));
    EXPECT_EQ(visibleItems(QString(), grouped, VeskGroupFilter::group(a), false).size(), 500);
    EXPECT_EQ(visibleItems(QString(), grouped, VeskGroupFilter::ungrouped(), false).size(), 3);
    EXPECT_TRUE(visibleItems(QString(), grouped, VeskGroupFilter::group(QUuid::createUuid()), false).isEmpty());
    EXPECT_FALSE(recentCutApplies(QString(), grouped.size(), VeskGroupFilter::ungrouped(), false));

    // A search shows every result in the store's order, whatever the filter.
    const QList<VeskItem> shown = visibleItems(QStringLiteral("q"), grouped, VeskGroupFilter::group(QUuid::createUuid()), false);
    EXPECT_EQ(shown, grouped);
}

TEST(GroupFilter, SearchReactionPicksTheCurrentTopOrResetsThePulse)
{
    const QList<VeskItem> items = library(3);
    const SearchReaction typing = searchReactionFor(QStringLiteral("a"), items);
    ASSERT_TRUE(typing.selectID.has_value());
    EXPECT_EQ(*typing.selectID, items.first().id);
    EXPECT_TRUE(typing.togglePulse);
    EXPECT_FALSE(typing.resetPulse);

    const SearchReaction nothing = searchReactionFor(QStringLiteral("a"), {});
    EXPECT_FALSE(nothing.selectID.has_value());
    EXPECT_FALSE(nothing.togglePulse);

    const SearchReaction cleared = searchReactionFor(QStringLiteral("  "), items);
    EXPECT_FALSE(cleared.selectID.has_value());
    EXPECT_TRUE(cleared.resetPulse);
}

TEST(GroupFilter, PublishedResultsBringTheFocusToTheirTop)
{
    const QList<VeskItem> items = library(3);
    const QUuid outside = QUuid::createUuid();
    struct Case {
        QString searchText;
        QList<VeskItem> results;
        std::optional<QUuid> focused;
        std::optional<QUuid> expected;
    };
    const Case cases[] = {
        {QStringLiteral("a"), items, outside, items.first().id},
        {QStringLiteral("a"), items, std::nullopt, items.first().id},
        {QStringLiteral("a"), items, items[2].id, items.first().id},
        {QStringLiteral("a"), items, items.first().id, std::nullopt},
        {QStringLiteral("a"), {}, outside, std::nullopt},
        {QStringLiteral(" \n"), items, outside, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(focusForPublishedResults(c.searchText, c.results, c.focused), c.expected);
}

} // namespace
} // namespace vesk
