#include "dsp/ConvertersClass.h"
#include "dsp/Numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>

#include "dsp/Random.h"

namespace {

constexpr float Inf = std::numeric_limits<float>::infinity();
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

struct Case {
    float x;
    int32_t floor, trunc, round;
};

int32_t Saturate(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace

TEST(Converters, EdgeCasesGiveFloorTruncationAndTiesToEven) {
    const Case cases[] = {
        {2.5f, 2, 2, 2},        {3.5f, 3, 3, 4},       {-0.5f, -1, 0, 0},
        {-0.25f, -1, 0, 0},     {0.75f, 0, 0, 1},      {1.5f, 1, 1, 2},
        {-1.5f, -2, -1, -2},    {2.0f, 2, 2, 2},       {-2.0f, -2, -2, -2},
        {0.0f, 0, 0, 0},        {-0.0f, 0, 0, 0},      {-1e-30f, -1, 0, 0},
        {0.49999997f, 0, 0, 0}, {-2.5f, -3, -2, -2},   {1e-45f, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(FloorInt(c.x), c.floor);
        EXPECT_EQ(TruncInt(c.x), c.trunc);
        EXPECT_EQ(RoundInt(c.x), c.round);
    }
}

TEST(Converters, OutOfRangeSaturatesAndNaNGivesZero) {
    const float big = 2147483648.0f;  // 2^31, the first float above INT32_MAX
    const Case cases[] = {
        {big, INT32_MAX, INT32_MAX, INT32_MAX},
        {-big, INT32_MIN, INT32_MIN, INT32_MIN},
        {2147483520.0f, 2147483520, 2147483520, 2147483520},  // largest float below 2^31
        {-2147483904.0f, INT32_MIN, INT32_MIN, INT32_MIN},    // next float below -2^31
        {1e30f, INT32_MAX, INT32_MAX, INT32_MAX},
        {-1e30f, INT32_MIN, INT32_MIN, INT32_MIN},
        {Inf, INT32_MAX, INT32_MAX, INT32_MAX},
        {-Inf, INT32_MIN, INT32_MIN, INT32_MIN},
        {NaN, 0, 0, 0},
        {-NaN, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(FloorInt(c.x), c.floor);
        EXPECT_EQ(TruncInt(c.x), c.trunc);
        EXPECT_EQ(RoundInt(c.x), c.round);
    }
}

// Every float was checked once against the library functions; this keeps a random sample of
// bit patterns (all exponents, both signs, NaNs included) in the suite.
TEST(Converters, RandomBitPatternsMatchLibraryRounding) {
    TRandom rng(12345);
    for (int i = 0; i < 1000000; ++i) {
        const float x = std::bit_cast<float>(rng.Next());
        const double v = x;
        ASSERT_EQ(FloorInt(x), Saturate(std::floor(v))) << x;
        ASSERT_EQ(TruncInt(x), Saturate(std::trunc(v))) << x;
        ASSERT_EQ(RoundInt(x), Saturate(std::nearbyint(v))) << x;
    }
}

TEST(Numbers, SubnormalsAreFlushedToZeroAndNothingElseChanges) {
    const float tiny = std::numeric_limits<float>::denorm_min(), least = std::numeric_limits<float>::min();
    const float cases[] = {0.0f, -0.0f, tiny, -tiny, std::nextafter(least, 0.0f), -std::nextafter(least, 0.0f),
                           least, -least, 1.0f, -3.0e38f, std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN()};
    const float expected[] = {0.0f, -0.0f, 0.0f, 0.0f, 0.0f, 0.0f, least, -least, 1.0f, -3.0e38f,
                              std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(std::bit_cast<uint32_t>(FlushSubnormal(cases[i])), std::bit_cast<uint32_t>(expected[i])) << i;
    }
}
