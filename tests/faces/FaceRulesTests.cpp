// The rules around the models: the padded face crop, the label line and which recognised lines
// are kept. No model is needed.
#include "faces/FaceGeometry.h"
#include "faces/ObjectLabels.h"
#include "faces/TextRecognizer.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace vesk;

TEST(PaddedFaceRect, GrowsByTheLongerSideClipsAndRoundsOutward)
{
    // A 128 x 64 face at (256, 256) from the top left of a 1024 x 1024 picture (values exact in
    // binary): lower-left origin y = 1 - 320 / 1024. pad = 0.18 * 128 = 23.04, so the edges
    // 232.96 .. 407.04 across and 232.96 .. 343.04 down widen to whole pixels.
    const QRectF box(0.25, 0.6875, 0.125, 0.0625);
    EXPECT_EQ(paddedFaceRect(box, QSize(1024, 1024)), QRect(232, 232, 176, 112));
    // Touching the left and top edges: the growth on those sides is cut away.
    EXPECT_EQ(paddedFaceRect(QRectF(0.0, 0.9375, 0.125, 0.0625), QSize(1024, 1024)), QRect(0, 0, 152, 88));
    // Fractional edges widen to whole pixels: 82.5 .. 218.5 across, 382.25 .. 518.25 down.
    EXPECT_EQ(paddedFaceRect(QRectF(0.1005, 1.0 - 0.50025, 0.1, 0.1), QSize(1000, 1000)), QRect(82, 382, 137, 137));
}

TEST(PaddedFaceRect, SmallFacesAndUnusableBoxesGiveNothing)
{
    // 10 x 10 pixels grows by 1.8 per side to 13.6 (14 once whole): under 20.
    EXPECT_FALSE(paddedFaceRect(QRectF(0.5, 0.5, 0.01, 0.01), QSize(1000, 1000)).has_value());
    // 15 x 15 grows to 20.4 -> 21 or 22 pixels: usable.
    EXPECT_TRUE(paddedFaceRect(QRectF(0.5, 0.5, 0.015, 0.015), QSize(1000, 1000)).has_value());
    // A face that passes in the middle can fail in a corner, where the growth is cut away.
    EXPECT_FALSE(paddedFaceRect(QRectF(0.0, 0.985, 0.015, 0.015), QSize(1000, 1000)).has_value());
    EXPECT_FALSE(paddedFaceRect(QRectF(2.0, 2.0, 0.1, 0.1), QSize(1000, 1000)).has_value());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(paddedFaceRect(QRectF(nan, 0.5, 0.1, 0.1), QSize(1000, 1000)).has_value());
    EXPECT_FALSE(paddedFaceRect(QRectF(0.1, 0.1, 0.5, 0.5), QSize()).has_value());
}

TEST(PaddedFaceRect, LowerLeftBoxesRoundTrip)
{
    const QRectF pixels(100, 50, 40, 60);
    const QRectF normalised = normalisedLowerLeftBox(pixels, QSize(400, 200));
    EXPECT_DOUBLE_EQ(normalised.x(), 0.25);
    EXPECT_DOUBLE_EQ(normalised.y(), 1.0 - 110.0 / 200.0);
    EXPECT_DOUBLE_EQ(normalised.width(), 0.1);
    EXPECT_DOUBLE_EQ(normalised.height(), 0.3);
}

TEST(LabelLine, ThresholdLimitAndSpelling)
{
    EXPECT_EQ(labelLine({}), QString());
    EXPECT_EQ(labelLine({{"traffic_light", 0.9f}, {"wine,glass", 0.5f}, {"cat", 0.06f}, {"dog", 0.0599f}}),
              "traffic light wine glass cat");
    EXPECT_EQ(labelLine({{"cat", std::numeric_limits<float>::quiet_NaN()}, {"dog", 0.2f}}), "dog");
    QList<LabelObservation> many;
    for (int k = 0; k < 25; ++k)
        many.append({QStringLiteral("c%1").arg(k), k == 3 ? 0.01f : 0.5f});
    const QStringList words = labelLine(many).split(' ');
    ASSERT_EQ(words.size(), 18);
    EXPECT_EQ(words.first(), "c0");
    EXPECT_EQ(words[3], "c4") << "a failing observation does not count toward the 18";
    EXPECT_EQ(words.last(), "c18");
    EXPECT_EQ(objectClassIdentifiers().size(), 80);
}

TEST(RecognisedLines, EveryReadableLineIsKeptHoweverUnsureTheReaderIs)
{
    EXPECT_EQ(keptTextLines({"Main Street\n", "~~ -- ..", "blurred", "Exit 12\n"}),
              (QStringList{"Main Street", "blurred", "Exit 12"}));
}
