#include "platform/HalfFloat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace vesk {
namespace {

TEST(HalfFloat, EveryHalfSurvivesTheRoundTripAndRoundingGoesToTheNearestEven)
{
    for (uint32_t bits = 0; bits <= 0xFFFFu; ++bits) {
        const float value = halfToFloat(uint16_t(bits));
        if (std::isnan(value)) {
            EXPECT_TRUE(std::isnan(halfToFloat(floatToHalf(value))));
            continue;
        }
        ASSERT_EQ(floatToHalf(value), bits) << "half " << bits;
    }
    // Halfway between two halves goes to the one with an even last bit; just beside it, to the
    // nearer one. Between 1 and 2 the halves are 2^-10 apart.
    const float step = std::ldexp(1.0f, -10);
    EXPECT_EQ(floatToHalf(1.0f + step / 2), 0x3C00u);                          // to 1 (even)
    EXPECT_EQ(floatToHalf(1.0f + step + step / 2), 0x3C02u);                   // to 1 + 2 steps
    EXPECT_EQ(floatToHalf(std::nextafter(1.0f + step / 2, 2.0f)), 0x3C01u);
    EXPECT_EQ(floatToHalf(-(1.0f + step / 2)), 0xBC00u);
    // The edges of the range: the largest half, rounding past it, the smallest subnormal.
    EXPECT_EQ(floatToHalf(65504.0f), 0x7BFFu);
    EXPECT_EQ(floatToHalf(65519.0f), 0x7BFFu);
    EXPECT_EQ(floatToHalf(65520.0f), 0x7C00u);
    EXPECT_EQ(floatToHalf(-1e10f), 0xFC00u);
    EXPECT_EQ(floatToHalf(std::numeric_limits<float>::infinity()), 0x7C00u);
    EXPECT_EQ(floatToHalf(std::ldexp(1.0f, -24)), 0x0001u);
    EXPECT_EQ(floatToHalf(std::ldexp(1.0f, -25)), 0x0000u);                    // a tie, to even
    EXPECT_EQ(floatToHalf(std::nextafter(std::ldexp(1.0f, -25), 1.0f)), 0x0001u);
    EXPECT_EQ(floatToHalf(std::ldexp(1023.5f, -24)), 0x0400u);                 // subnormal rounds up to normal
    EXPECT_EQ(floatToHalf(-0.0f), 0x8000u);
    EXPECT_TRUE(std::isnan(halfToFloat(floatToHalf(std::numeric_limits<float>::quiet_NaN()))));
}

TEST(HalfFloat, RandomValuesRoundToTheNearestHalf)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<uint32_t> anyBits;
    for (int i = 0; i < 200000; ++i) {
        uint32_t bits = anyBits(random);
        // Mostly values within the half range.
        bits = (bits & 0x807FFFFFu) | ((100u + (bits >> 23) % 45u) << 23);
        float value;
        std::memcpy(&value, &bits, 4);
        const uint16_t half = floatToHalf(value);
        const double kept = halfToFloat(half);
        const double below = halfToFloat(uint16_t(half - ((half & 0x7FFFu) ? 1 : 0)));
        const double above = halfToFloat(uint16_t(half + 1));
        // No neighbour is nearer than the chosen half.
        if ((half & 0x7C00u) != 0x7C00u) {
            EXPECT_LE(std::fabs(kept - value), std::fabs(above - value)) << value;
            EXPECT_LE(std::fabs(kept - value), std::fabs(below - value)) << value;
        }
    }
}

TEST(HalfFloat, SumsOfProductsMatchTheConvertedValues)
{
    std::mt19937 random(3);
    std::normal_distribution<float> normal;
    for (const size_t length : {0u, 1u, 7u, 8u, 9u, 512u, 515u}) {
        std::vector<double> a(length);
        std::vector<uint16_t> b(length);
        std::vector<uint16_t> c(length);
        double expectedAB = 0;
        double expectedBC = 0;
        for (size_t i = 0; i < length; ++i) {
            a[i] = normal(random);
            b[i] = floatToHalf(normal(random));
            c[i] = floatToHalf(normal(random));
            expectedAB += a[i] * halfToFloat(b[i]);
            expectedBC += double(halfToFloat(b[i])) * halfToFloat(c[i]);
        }
        EXPECT_NEAR(sumProductsWithHalves(a.data(), b.data(), length), expectedAB, 1e-9) << length;
        EXPECT_NEAR(sumProductsOfHalves(b.data(), c.data(), length), expectedBC, 1e-9) << length;
    }
}

} // namespace
} // namespace vesk
