#include "common/Eventually.h"
#include "app/AboutViews.h"
#include "app/AppearanceSwitchFace.h"
#include "app/VeskGuardedAppearanceSwitch.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace vesk;
namespace Rules = vesk::AppearanceSwitchRules;

TEST(AppearanceSwitchRules, OnlyExactlyDarkIsDark)
{
    EXPECT_EQ(Rules::modeFromRawValue(QStringLiteral("dark")), AppearanceMode::Dark);
    for (const char* other : {"light", "Dark", "system", ""})
        EXPECT_EQ(Rules::modeFromRawValue(QString::fromLatin1(other)), AppearanceMode::Light) << other;
}

TEST(AppearanceSwitchRules, TapsAreJudgedByWhereTheyEndAndFlipsByTheUnclampedTravel)
{
    const auto light = AppearanceMode::Light;
    const auto dark = AppearanceMode::Dark;
    // A press that moves less than 4 points is a tap on the upper or lower half.
    EXPECT_EQ(Rules::modeAtEnd(dark, {0, 3.9}, {20, 36.9}), light);
    EXPECT_EQ(Rules::modeAtEnd(light, {0, 0}, {20, 37}), dark);
    EXPECT_EQ(Rules::modeAtEnd(light, {2.5, 2.5}, {20, 10}), light); // 3.54 points: still a tap
    // From light, 26 points down reaches exactly 0, which is dark; 25 stays light.
    EXPECT_EQ(Rules::modeAtEnd(light, {0, 26}, {20, 70}), dark);
    EXPECT_EQ(Rules::modeAtEnd(light, {0, 25}, {20, 70}), light);
    // From dark, exactly 26 up ends at 0 and stays dark; more selects light.
    EXPECT_EQ(Rules::modeAtEnd(dark, {0, -26}, {20, 0}), dark);
    EXPECT_EQ(Rules::modeAtEnd(dark, {0, -26.5}, {20, 0}), light);
    // A drag far past the travel is clamped while it lasts, and judged the same way at its end.
    EXPECT_DOUBLE_EQ(Rules::dragPosition(light, 400), 1.0);
    EXPECT_DOUBLE_EQ(Rules::dragPosition(dark, -400), -1.0);
    EXPECT_DOUBLE_EQ(Rules::dragPosition(light, 13), -0.5);
    EXPECT_EQ(Rules::modeAtEnd(light, {0, 400}, {20, 400}), dark);
    // A sideways drag is no tap, and without vertical travel the lever stays.
    EXPECT_EQ(Rules::modeAtEnd(dark, {30, 0}, {50, 10}), dark);
    EXPECT_EQ(Rules::leverDirection(0.0), 1);
    EXPECT_EQ(Rules::leverDirection(-0.01), -1);
}

TEST(AppearanceSwitchFace, HexNutHasSteepSidesAndPointedEnds)
{
    const QPainterPath nut = aircraftHexNutPath(QRectF(0, 0, 31, 27));
    ASSERT_EQ(nut.elementCount(), 7);
    const QList<QPointF> expected{{6.82, 0}, {24.18, 0}, {31, 13.5}, {24.18, 27}, {6.82, 27}, {0, 13.5}};
    for (int i = 0; i < expected.size(); ++i) {
        const QPainterPath::Element element = nut.elementAt(i);
        EXPECT_NEAR(element.x, expected[i].x(), 1e-9) << i;
        EXPECT_NEAR(element.y, expected[i].y(), 1e-9) << i;
    }
}

TEST(AboutViews, VersionLineFallsBackForMissingOrNonTextValues)
{
    EXPECT_EQ(aboutVersionLine(QStringLiteral("2.3"), QStringLiteral("41")),
              QStringLiteral("Version 2.3  \u2022  Build 41"));
    EXPECT_EQ(aboutVersionLine(QVariant(), QVariant()), QStringLiteral("Version 1.0  \u2022  Build 1"));
    EXPECT_EQ(aboutVersionLine(QVariant(7), QVariant(3.5)), QStringLiteral("Version 1.0  \u2022  Build 1"));
    // This build's line names its own version, never the fallbacks' empty pattern.
    EXPECT_TRUE(aboutVersionLine().startsWith(QStringLiteral("Version ")));
}

TEST(AboutViews, TheAboutWindowIsOneWindowInTheAppearanceTheSettingNames)
{
    QString stored = QStringLiteral("Dark");
    AboutWindowController controller([&] { return stored; });
    VeskMenuAboutView* first = controller.open();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isDark());
    EXPECT_EQ(first->size(), QSize(680, 690));
    EXPECT_EQ(first->windowTitle(), QStringLiteral("About Vesk"));
    // A second "About Vesk" brings the same window forward.
    EXPECT_EQ(controller.open(), first);
    first->closeButton()->click();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(controller.window(), nullptr);
    stored = QStringLiteral("system");
    EXPECT_FALSE(controller.open()->isDark());
}

namespace {

struct SwitchHarness {
    QString stored = QStringLiteral("light");
    int writes = 0;
    VeskGuardedAppearanceSwitch widget{[this] { return stored; }, [this](const QString& value) {
                                           stored = value;
                                           ++writes;
                                       }};

    void press(QPointF at) { QTest::mousePress(&widget, Qt::LeftButton, {}, at.toPoint()); }
    void release(QPointF at) { QTest::mouseRelease(&widget, Qt::LeftButton, {}, at.toPoint()); }
    void drag(QPointF from, QPointF to)
    {
        press(from);
        QMouseEvent move(QEvent::MouseMove, to, widget.mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&widget, &move);
    }
};

} // namespace

TEST(AppearanceSwitch, ASelectionIsWrittenOnlyAfterFiftyMilliseconds)
{
    SwitchHarness h;
    h.widget.show();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(&h.widget, Qt::LeftButton, {}, h.widget.buttonRect(AppearanceMode::Dark).center().toPoint());
    EXPECT_EQ(h.stored, QStringLiteral("light"));
    EXPECT_EQ(h.widget.livePosition(), std::optional<double>(1.0));
    ASSERT_EVENTUALLY_EQ(h.stored, QStringLiteral("dark"), 2000);
    EXPECT_GE(clock.elapsed(), 45);
    EXPECT_FALSE(h.widget.livePosition().has_value());

    // Choosing the mode that is already current writes it again.
    QTest::mouseClick(&h.widget, Qt::LeftButton, {}, h.widget.buttonRect(AppearanceMode::Dark).center().toPoint());
    ASSERT_EVENTUALLY_EQ(h.writes, 2, 2000);
}

TEST(AppearanceSwitch, ARepaintCopiesTheSwitchUntilItsLookChanges)
{
    SwitchHarness h;
    h.widget.resize(h.widget.sizeHint());
    const QImage first = h.widget.grab().toImage();
    const qint64 kept = h.widget.keptPicture().cacheKey();
    EXPECT_EQ(h.widget.grab().toImage(), first);
    EXPECT_EQ(h.widget.keptPicture().cacheKey(), kept);

    // A lever taken hold of, and a mode chosen elsewhere, each show at the next repaint.
    const QPointF start = h.widget.leverArea().center() + QPointF(0, -20);
    h.drag(start, start + QPointF(0, 5));
    ASSERT_TRUE(h.widget.isDragging());
    const QImage held = h.widget.grab().toImage();
    EXPECT_NE(held, first);
    h.stored = QStringLiteral("dark");
    h.widget.valueChanged();
    const QImage dark = h.widget.grab().toImage();
    EXPECT_NE(dark, held);
    EXPECT_NE(dark, first);
}

TEST(AppearanceSwitch, TheLeverFollowsADragAndFlipsWhereItIsLetGo)
{
    SwitchHarness h;
    h.widget.show();
    const QRectF area = h.widget.leverArea();
    const QPointF start = area.center() + QPointF(0, -20);
    h.drag(start, start + QPointF(0, 20));
    EXPECT_TRUE(h.widget.isDragging());
    EXPECT_NEAR(*h.widget.livePosition(), -1.0 + 20.0 / 26.0, 1e-9);
    EXPECT_EQ(h.widget.drawnLeverOffset(), -1.0); // still above 0: the lever stays up
    h.release(start + QPointF(0, 30));
    EXPECT_FALSE(h.widget.isDragging());
    ASSERT_EVENTUALLY_EQ(h.stored, QStringLiteral("dark"), 2000);

    // A tap on the upper half picks light again.
    QTest::mouseClick(&h.widget, Qt::LeftButton, {}, (area.topLeft() + QPointF(27, 10)).toPoint());
    ASSERT_EVENTUALLY_EQ(h.stored, QStringLiteral("light"), 2000);
}
