// The searching backdrop behind the split, painted from kept pictures: what a fresh paint of its
// gradients shows, at every size and appearance, and a glow that changes only its corner.
#include "pane/SearchBackdrop.h"
#include "platform/ui/Theme.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

using namespace vesk;

namespace {

QImage shotOf(const std::function<void(QPainter&)>& paint, QSize size)
{
    QImage shot(size, QImage::Format_RGB32);
    shot.fill(QColor(236, 236, 238));
    QPainter painter(&shot);
    paint(painter);
    return shot;
}

int largestDifference(const QImage& a, const QImage& b, const QRect& within)
{
    int worst = 0;
    for (int y = within.top(); y <= within.bottom(); ++y) {
        for (int x = within.left(); x <= within.right(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

TEST(SearchBackdrop, KeptPicturesFollowSizeAppearanceAndGlow)
{
    const QString originalAppearance = Theme::current().appearanceRawValue();
    SearchBackdrop backdrop;
    struct Step {
        Appearance appearance;
        QSize size;
        qreal opacity;
        qreal glow;
    };
    // One backdrop through changes of each: never a picture kept from before.
    for (const Step& step : {Step{Appearance::Light, {900, 600}, 1.0, 0.035}, Step{Appearance::Light, {900, 600}, 1.0, 0.07},
                             Step{Appearance::Dark, {900, 600}, 1.0, 0.07}, Step{Appearance::Dark, {700, 650}, 0.5, 0.05},
                             Step{Appearance::Light, {400, 300}, 1.0, 0.035}}) {
        Theme::current().setAppearance(step.appearance);
        const QRect all(QPoint(0, 0), step.size);
        const QImage kept = shotOf([&](QPainter& p) { backdrop.paint(p, all, step.size, step.opacity, step.glow); },
                                   step.size);
        const QImage fresh = shotOf(
            [&](QPainter& p) { SearchBackdrop::paintFresh(p, step.size, step.opacity, step.glow, Theme::current()); },
            step.size);
        // Blended from pictures instead of filled: the same, give or take two levels of rounding.
        EXPECT_LE(largestDifference(kept, fresh, all), 2)
            << step.size.width() << "x" << step.size.height() << " glow " << step.glow;
    }
    Theme::current().setAppearanceRawValue(originalAppearance);
}

TEST(SearchBackdrop, ThePulsingGlowIsBlendedFromOnePicture)
{
    SearchBackdrop backdrop;
    const QSize size(900, 600);
    const QRect all(QPoint(0, 0), size);
    (void)shotOf([&](QPainter& p) { backdrop.paint(p, all, size, 1.0, 0.035); }, size);
    const qint64 kept = backdrop.glowPicture().cacheKey();
    // Each step of a pulse, as every key typed starts one: the same picture, at another opacity.
    for (qreal glow : {0.04, 0.055, 0.07, 0.035}) {
        const QImage shown = shotOf([&](QPainter& p) { backdrop.paint(p, all, size, 1.0, glow); }, size);
        const QImage fresh = shotOf(
            [&](QPainter& p) { SearchBackdrop::paintFresh(p, size, 1.0, glow, Theme::current()); }, size);
        EXPECT_LE(largestDifference(shown, fresh, SearchBackdrop::glowSquare(size)), 2) << glow;
        EXPECT_EQ(backdrop.glowPicture().cacheKey(), kept) << glow;
    }
}

TEST(SearchBackdrop, TheGlowChangesNothingOutsideItsSquare)
{
    const QSize size(1000, 700);
    const auto fresh = [size](qreal glow) {
        return shotOf([&](QPainter& p) { SearchBackdrop::paintFresh(p, size, 1.0, glow, Theme::current()); }, size);
    };
    const QImage dim = fresh(0.035);
    const QImage bright = fresh(0.07);
    const QRect square = SearchBackdrop::glowSquare(size);
    EXPECT_GT(largestDifference(dim, bright, square), 0);
    for (const QRect& outside : QRegion(QRect(QPoint(0, 0), size)) - square)
        EXPECT_EQ(largestDifference(dim, bright, outside), 0);
}

} // namespace
