#include "timelineview/TimelineDragDrop.h"
#include "timelineview/VeskTimelineEdgeScroller.h"

#include "platform/Uuid.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include "common/Fakes.h"
#include <gtest/gtest.h>

namespace vesk {
namespace {

TEST(TimelineEdgeScroll, StepGrowsTowardsTheEdge)
{
    EXPECT_NEAR(edgeScrollStep(87.9), 5.0, 0.01);
    EXPECT_DOUBLE_EQ(edgeScrollStep(0), 24.0);
    EXPECT_DOUBLE_EQ(edgeScrollStep(-3), 24.0);
    EXPECT_NEAR(edgeScrollStep(44), 0.25 * 19 + 5, 1e-9);
}

TEST(TimelineEdgeScroll, OffsetFollowsTheZoneTheListAndItsEnds)
{
    const QRectF list(100, 200, 400, 600); // top 200, bottom 800
    // Upper zone: moves up; the very edge moves 24, the inner border about 5.
    EXPECT_NEAR(*edgeScrollOffset(list, {300, 200 + 87.9}, 500, 2000), 495, 0.01);
    EXPECT_DOUBLE_EQ(*edgeScrollOffset(list, {300, 200}, 500, 2000), 476);
    // Lower zone: moves down.
    EXPECT_DOUBLE_EQ(*edgeScrollOffset(list, {300, 800}, 500, 2000), 524);
    // 88 points or more from both edges: nothing.
    EXPECT_FALSE(edgeScrollOffset(list, {300, 288}, 500, 2000).has_value());
    EXPECT_FALSE(edgeScrollOffset(list, {300, 712}, 500, 2000).has_value());
    // Outside the list: nothing.
    EXPECT_FALSE(edgeScrollOffset(list, {50, 210}, 500, 2000).has_value());
    EXPECT_FALSE(edgeScrollOffset(list, {300, 820}, 500, 2000).has_value());
    // Already at an end: not nudged again; near it: clamped.
    EXPECT_FALSE(edgeScrollOffset(list, {300, 790}, 2000, 2000).has_value());
    EXPECT_FALSE(edgeScrollOffset(list, {300, 210}, 0, 2000).has_value());
    EXPECT_DOUBLE_EQ(*edgeScrollOffset(list, {300, 200}, 10, 2000), 0);
    // A list shorter than its view never scrolls.
    EXPECT_FALSE(edgeScrollOffset(list, {300, 200}, 0, 0).has_value());
}

TEST(TimelineEdgeScroll, ScrollerTicksWhileTheButtonIsDown)
{
    QScrollArea area;
    auto* tall = new QLabel(QStringLiteral("tall"));
    tall->setFixedSize(300, 3000);
    area.setWidget(tall);
    area.resize(320, 400);
    area.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));

    VeskTimelineEdgeScroller::Pointer pointer;
    auto timers = std::make_shared<test::FakeTimers>();
    VeskTimelineEdgeScroller scroller(nullptr, [&] { return pointer; }, timers);
    scroller.setScrollArea(&area);
    QWidget* viewport = area.viewport();
    const QPoint bottom = viewport->mapToGlobal(QPoint(100, viewport->height() - 1));

    pointer = {true, bottom};
    scroller.start();
    scroller.start();
    EXPECT_EQ(timers->pendingCount(), 1);
    EXPECT_TRUE(scroller.isRunning());
    scroller.tick();
    const int afterOne = area.verticalScrollBar()->value();
    EXPECT_GE(afterOne, 23);
    EXPECT_LE(afterOne, 24);
    timers->advance(VeskTimelineEdgeScroller::kIntervalMs - 1);
    EXPECT_EQ(area.verticalScrollBar()->value(), afterOne);
    timers->advance(1);
    EXPECT_GT(area.verticalScrollBar()->value(), afterOne);

    // Releasing the button, wherever the pointer is, stops it at the next tick.
    pointer = {false, QPoint(-500, -500)};
    scroller.tick();
    EXPECT_FALSE(scroller.isRunning());
    const int rest = area.verticalScrollBar()->value();
    timers->advance(VeskTimelineEdgeScroller::kIntervalMs * 3);
    EXPECT_EQ(area.verticalScrollBar()->value(), rest);
    EXPECT_EQ(timers->pendingCount(), 0);

    // A list that went away is let go.
    pointer = {true, bottom};
    scroller.start();
    scroller.setScrollArea(nullptr);
    scroller.tick();
    EXPECT_EQ(area.verticalScrollBar()->value(), rest);
    scroller.stop();
}

TEST(TimelineDrop, DecisionTable)
{
    const QUuid recorded = QUuid::createUuid();
    const QUuid other = QUuid::createUuid();
    struct Row {
        const char* name;
        std::optional<QUuid> recorded;
        bool person;
        std::optional<QString> text;
        TimelineDrop::Outcome outcome;
        QUuid entry;
    };
    const QList<Row> rows{
        {"no person shown", recorded, false, uuidString(other), TimelineDrop::Outcome::Refused, {}},
        {"own drag wins over the text", recorded, true, uuidString(other), TimelineDrop::Outcome::Move, recorded},
        {"own drag without text", recorded, true, std::nullopt, TimelineDrop::Outcome::Move, recorded},
        {"identity from elsewhere", std::nullopt, true, uuidString(other), TimelineDrop::Outcome::Move, other},
        {"lower-case identity", std::nullopt, true, uuidString(other).toLower(), TimelineDrop::Outcome::Move, other},
        {"text that is no identity", std::nullopt, true, QStringLiteral("holiday"), TimelineDrop::Outcome::Ignored, {}},
        {"nothing to read", std::nullopt, true, std::nullopt, TimelineDrop::Outcome::Refused, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TimelineDrop drop = decideTimelineDrop(row.recorded, row.person, row.text);
        EXPECT_EQ(drop.outcome, row.outcome);
        if (row.outcome == TimelineDrop::Outcome::Move) {
            EXPECT_EQ(drop.entry, row.entry);
        }
    }
    EXPECT_EQ(timelineDragPayload(other)->text(), uuidString(other));
}

TEST(TimelineDrop, HoverMarksOtherEntriesOnly)
{
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    const QUuid c = QUuid::createUuid();
    TimelineDragState state;
    state.begin(a);
    state.hover(a, true);
    EXPECT_FALSE(state.showsMarker(a));
    EXPECT_FALSE(state.insertionTarget.has_value());
    state.hover(b, true);
    EXPECT_TRUE(state.showsMarker(b));
    // Entering c before b's leave arrives: b's late leave does not take c's marker away.
    state.hover(c, true);
    state.hover(b, false);
    EXPECT_TRUE(state.showsMarker(c));
    state.hover(c, false);
    EXPECT_FALSE(state.insertionTarget.has_value());
    state.hover(b, true);
    state.end();
    EXPECT_FALSE(state.dragging.has_value());
    EXPECT_FALSE(state.insertionTarget.has_value());
}

} // namespace
} // namespace vesk
