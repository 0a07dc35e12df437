#include "grid/ResultStates.h"
#include "grid/BusyBar.h"
#include "grid/ResultStatesWidgets.h"

#include <QHash>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(ResultStates, BrowseHeaderFollowsFilterAndRecentCut)
{
    const QList<VeskGroup> groups{{QUuid::createUuid(), QStringLiteral("Trips"), {}}};
    BrowseHeaderTexts recent = browseHeaderTexts(VeskGroupFilter::all(), false, 121, groups);
    EXPECT_EQ(recent.title, QStringLiteral("Recent Vesks"));
    EXPECT_EQ(recent.subtitle, QStringLiteral("Search still reaches every Vesk."));
    EXPECT_EQ(recent.toggleButton, QStringLiteral("Show All"));
    BrowseHeaderTexts all = browseHeaderTexts(VeskGroupFilter::all(), true, 121, groups);
    EXPECT_EQ(all.title, QStringLiteral("All Vesks"));
    EXPECT_EQ(all.subtitle, QStringLiteral("Browsing the full library."));
    EXPECT_EQ(all.toggleButton, QStringLiteral("Show Recent"));
    BrowseHeaderTexts small = browseHeaderTexts(VeskGroupFilter::all(), false, 120, groups);
    EXPECT_EQ(small.title, QStringLiteral("Recent Vesks"));
    EXPECT_FALSE(small.subtitle.has_value());
    EXPECT_FALSE(small.toggleButton.has_value());

    BrowseHeaderTexts ungrouped = browseHeaderTexts(VeskGroupFilter::ungrouped(), false, 500, groups);
    EXPECT_EQ(ungrouped.title, QStringLiteral("No Group"));
    EXPECT_EQ(ungrouped.subtitle, QStringLiteral("Search still reaches every Vesk."));
    EXPECT_FALSE(ungrouped.toggleButton.has_value());
    EXPECT_EQ(groupFilterTitle(VeskGroupFilter::group(groups[0].id), groups), QStringLiteral("Trips"));
    EXPECT_EQ(groupFilterTitle(VeskGroupFilter::group(QUuid::createUuid()), groups), QStringLiteral("Group"));

    EXPECT_EQ(recentLimitBannerText(120), QStringLiteral("Showing the 120 most recent Vesks"));
    EXPECT_EQ(showAllCountText(121), QStringLiteral("Show All 121"));
    EXPECT_EQ(totalCountText(0), QStringLiteral("0 total"));
    EXPECT_EQ(importingCountText(2), QStringLiteral("Importing 2"));
    EXPECT_EQ(selectionCountText(3), QStringLiteral("3 selected"));
}

TEST(ResultStates, DetailPaneLooksInTheWholeLibrary)
{
    VeskItem a;
    a.id = QUuid::createUuid();
    const QList<VeskItem> items{a};
    EXPECT_EQ(detailPaneItem(items, a.id)->id, a.id);
    EXPECT_FALSE(detailPaneItem(items, QUuid::createUuid()).has_value());
    EXPECT_FALSE(detailPaneItem(items, std::nullopt).has_value());
}

TEST(ResultStates, AdaptiveColumns)
{
    struct Case {
        double width;
        int count;
        double columnWidth;
    };
    const Case cases[] = {
        {100, 1, 170},  // narrower than one column: one column at its minimum
        {170, 1, 170},
        {353, 1, 220},  // one short of two columns: one, capped at the maximum
        {354, 2, 170},
        {1000, 5, 188.8},
        {2000, 10, 187.4},
    };
    for (const Case& c : cases) {
        const GridColumns columns = gridColumnsFor(c.width);
        EXPECT_EQ(columns.count, c.count) << c.width;
        EXPECT_NEAR(columns.width, c.columnWidth, 1e-9) << c.width;
    }
}

QStringList titles(const QList<CardMenuEntry>& entries)
{
    QStringList out;
    for (const CardMenuEntry& e : entries) {
        switch (e.type) {
        case CardMenuEntry::Type::Divider: out << QStringLiteral("--"); break;
        case CardMenuEntry::Type::SubmenuBegin: out << e.title + QStringLiteral(" >"); break;
        case CardMenuEntry::Type::SubmenuEnd: out << QStringLiteral("<"); break;
        case CardMenuEntry::Type::Action: out << (e.checked ? QStringLiteral("*") : QString()) + e.title; break;
        }
    }
    return out;
}

TEST(ResultStates, CardMenuForEachState)
{
    VeskItem item;
    item.id = QUuid::createUuid();
    const QStringList withoutGroups = titles(cardContextMenuEntries(item, {}, {}, VeskGroupFilter::all()));
    EXPECT_EQ(withoutGroups, (QStringList{
        "Select", "Select All Visible", "--", "Rename\u2026", "--",
        "Open Group >", "*All Vesks", "No Group", "<",
        "Move Vesk to Group >", "*No Group", "--", "New Group\u2026", "<",
        "--", "Delete Vesk"}));

    const VeskGroup b{QUuid::createUuid(), QStringLiteral("B"), {}};
    const VeskGroup a{QUuid::createUuid(), QStringLiteral("a"), {}};
    item.groupID = b.id;
    const QUuid other = QUuid::createUuid();
    const QStringList grouped =
        titles(cardContextMenuEntries(item, {item.id, other}, {a, b}, VeskGroupFilter::group(a.id)));
    EXPECT_EQ(grouped, (QStringList{
        "Deselect", "Select All Visible", "--", "Rename\u2026", "--",
        "Open Group >", "All Vesks", "No Group", "--", "*a", "B", "<",
        "Move Vesk to Group >", "No Group", "--", "a", "*B", "--", "New Group\u2026", "<",
        "--", "Delete Selected\u2026"}));

    // Two others selected: this card offers to delete them, not itself.
    const QList<CardMenuEntry> notAmong = cardContextMenuEntries(item, {other, QUuid::createUuid()}, {}, VeskGroupFilter::all());
    EXPECT_EQ(notAmong.last().action, CardMenuAction::DeleteSelected);
    EXPECT_EQ(notAmong.first().title, QStringLiteral("Select"));
}


} // namespace
} // namespace vesk

#include "grid/ResultStatesWidgets.h"
#include "platform/ui/Theme.h"

#include <QApplication>
#include <QLabel>

namespace vesk {
namespace {

// The darkest pixel of a label's rendered text: the colour the user actually sees.
QColor renderedTextColour(QLabel* label)
{
    const QImage image = label->grab().toImage();
    QColor darkest = Qt::white;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() > 200 && c.lightness() < darkest.lightness())
                darkest = c;
        }
    return darkest;
}

TEST(ResultStateWidgets, SecondaryLinesKeepTheirColourWhenMovedIntoTheGrid)
{
    Theme::current().setAppearance(Appearance::Light);
    // Made without a parent and moved under one later, as the grid does.
    auto* empty = new EmptyResultsStateWidget;
    QWidget grid;
    empty->setParent(&grid);
    // The application's palette is set again whenever the appearance changes.
    QApplication::setPalette(Theme::current().palette());
    grid.resize(500, 300);
    empty->resize(500, 200);
    grid.show();
    QLabel* secondary = nullptr;
    for (QLabel* label : empty->findChildren<QLabel*>())
        if (label->text().startsWith(QStringLiteral("Try another scrap")))
            secondary = label;
    ASSERT_NE(secondary, nullptr);
    // Drawn in the secondary colour, visibly lighter than the headline's near-black.
    EXPECT_GT(renderedTextColour(secondary).lightness(), 60);
}

TEST(ResultStateWidgets, TheNoSelectionBadgeIsDrawnOncePerAppearance)
{
    Theme::current().setAppearance(Appearance::Light);
    NoSelectionPlaceholder placeholder;
    placeholder.resize(340, 400);
    QWidget* badge = placeholder.badge();
    // Each step paints the badge; the picture is drawn again only for another appearance, and
    // shows that appearance's colours.
    struct Step {
        Appearance appearance;
        int draws;
    };
    const Step steps[] = {
        {Appearance::Light, 1}, {Appearance::Light, 1}, {Appearance::Dark, 2}, {Appearance::Dark, 2}, {Appearance::Light, 3},
    };
    QHash<int, QImage> shown;
    for (const Step& step : steps) {
        Theme::current().setAppearance(step.appearance);
        const QImage painted = badge->grab().toImage();
        EXPECT_EQ(placeholder.badgeDrawCount(), step.draws);
        if (shown.contains(int(step.appearance)))
            EXPECT_EQ(painted, shown.value(int(step.appearance)));
        shown.insert(int(step.appearance), painted);
    }
    EXPECT_NE(shown.value(int(Appearance::Light)), shown.value(int(Appearance::Dark)));
    Theme::current().setAppearance(Appearance::Light);
}

TEST(ResultStateWidgets, TheImportIndicatorMovesOnlyWhileShown)
{
    ResultsHeaderWidget header;
    header.resize(600, 40);
    header.show();
    auto* bar = header.findChild<BusyBar*>();
    ASSERT_NE(bar, nullptr);
    qint64 nowMs = 0;
    bar->setMotionClock([&] { return nowMs; });
    ResultsHeaderContent importing;
    importing.importCount = 1;
    header.setContent(importing);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(bar->isMoving());
    const double first = bar->phase();
    nowMs += 3 * 1000 / BusyBar::framesPerSecond;
    EXPECT_NE(bar->phase(), first);

    // Nothing is imported any more: hidden, and no frame is asked for while hidden.
    header.setContent(ResultsHeaderContent{});
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(bar->isMoving());
    header.setContent(importing);
    EXPECT_TRUE(bar->isMoving());
    header.hide();
    EXPECT_FALSE(bar->isMoving());
}

} // namespace
} // namespace vesk
