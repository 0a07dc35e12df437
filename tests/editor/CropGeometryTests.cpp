#include "editor/CropGeometry.h"

#include <gtest/gtest.h>

using namespace vesk;

namespace {

void expectInsets(const CropInsets& actual, const CropInsets& expected)
{
    EXPECT_NEAR(actual.left, expected.left, 1e-9);
    EXPECT_NEAR(actual.right, expected.right, 1e-9);
    EXPECT_NEAR(actual.top, expected.top, 1e-9);
    EXPECT_NEAR(actual.bottom, expected.bottom, 1e-9);
}

} // namespace

TEST(CropGeometry, EdgesAndCornersKeepTheMinimumAndStopAtThePicture)
{
    const CropInsets none;
    expectInsets(updateCropInsets(CropHandle::Left, none, 5, 0), {0.92, 0, 0, 0});
    expectInsets(updateCropInsets(CropHandle::Left, {0.3, 0.1, 0, 0}, -2, 0), {0, 0.1, 0, 0});
    expectInsets(updateCropInsets(CropHandle::Right, {0.3, 0.1, 0, 0}, -5, 0), {0.3, 0.62, 0, 0});
    expectInsets(updateCropInsets(CropHandle::Bottom, {0, 0, 0.5, 0}, 0, -5), {0, 0, 0.5, 0.42});
    expectInsets(updateCropInsets(CropHandle::TopLeft, {0.1, 0.2, 0.1, 0.2}, 0.1, 0.15), {0.2, 0.2, 0.25, 0.2});
    expectInsets(updateCropInsets(CropHandle::BottomRight, {0.1, 0.2, 0.1, 0.2}, 0.1, 0.15), {0.1, 0.1, 0.1, 0.05});
    // A drag that comes back to where it started restores the start.
    expectInsets(updateCropInsets(CropHandle::TopRight, {0.1, 0.2, 0.3, 0.1}, 0, 0), {0.1, 0.2, 0.3, 0.1});
}

TEST(CropGeometry, MoveKeepsTheCropSizeWithinThePicture)
{
    expectInsets(updateCropInsets(CropHandle::Move, {0.25, 0.25, 0, 0}, 10, 0), {0.5, 0, 0, 0});
    expectInsets(updateCropInsets(CropHandle::Move, {0.25, 0.25, 0.1, 0.3}, -0.1, -1), {0.15, 0.35, 0, 0.4});
}

TEST(CropGeometry, HitPriorityFollowsTheLayers)
{
    const QRectF frame(0, 0, 400, 300);
    const CropInsets none;
    EXPECT_EQ(cropHandleAt({0, 0}, frame, none), CropHandle::TopLeft);
    EXPECT_EQ(cropHandleAt({200, 300}, frame, none), CropHandle::Bottom);
    EXPECT_EQ(cropHandleAt({200, 150}, frame, none), CropHandle::Move);
    // The band between the edges and the move area reacts to nothing away from the squares.
    EXPECT_FALSE(cropHandleAt({100, 10}, frame, none));
    EXPECT_FALSE(cropHandleAt({-30, 150}, frame, none));

    // 60 points wide: the top bar's square overlaps both corner squares, and the corners win;
    // the later corner wins where two overlap.
    const CropInsets narrow{0.4, 0.45, 0, 0};   // x 160...220
    EXPECT_EQ(cropHandleAt({176, 0}, frame, narrow), CropHandle::TopLeft);
    EXPECT_EQ(cropHandleAt({190, 0}, frame, narrow), CropHandle::Top);
    EXPECT_EQ(cropHandleAt({204, 0}, frame, narrow), CropHandle::TopRight);
    const CropInsets tiny{0.45, 0.475, 0.45, 0.45}; // 30 × 30 points
    EXPECT_FALSE(cropMoveArea(cropRect(frame, tiny)));
    EXPECT_EQ(cropHandleAt(cropRect(frame, tiny).center(), frame, tiny), CropHandle::BottomRight);
}
