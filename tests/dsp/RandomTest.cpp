#include "dsp/Random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(TRandom, MatchesThePublishedPcg32Sequence) {
    TRandom rng;
    rng.Seed(42u, 54u);
    const uint32_t expected[] = {0xa15c02b7, 0x7b47f409, 0xba1d3330,
                                 0x83d2f293, 0xbfa4784b, 0xcbed606e};
    for (uint32_t e : expected) EXPECT_EQ(rng.Next(), e);
}

TEST(TRandom, SameSeedRepeatsAndAnotherSeedDiffers) {
    TRandom a(7), b(7), c(8);
    std::vector<uint32_t> sa, sb, sc;
    for (int i = 0; i < 16; ++i) {
        sa.push_back(a.Next());
        sb.push_back(b.Next());
        sc.push_back(c.Next());
    }
    EXPECT_EQ(sa, sb);
    EXPECT_NE(sa, sc);
    a.Seed(7);
    EXPECT_EQ(a.Next(), sa[0]);
}

TEST(TRandom, Uniform01StaysInsideTheHalfOpenUnitInterval) {
    TRandom rng(3);
    double sum = 0.0;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        const float u = rng.Uniform01();
        ASSERT_GE(u, 0.0f);
        ASSERT_LT(u, 1.0f);
        sum += u;
    }
    EXPECT_NEAR(sum / n, 0.5, 0.005);
}

TEST(TRandom, BelowCoversZeroToNMinusOneEvenly) {
    TRandom rng(5);
    for (int32_t n : {1, 2, 3, 7, 1000}) {
        SCOPED_TRACE(n);
        std::vector<int> hits(static_cast<size_t>(n), 0);
        const int draws = 2000 * n;
        for (int i = 0; i < draws; ++i) {
            const int32_t r = rng.Below(n);
            ASSERT_GE(r, 0);
            ASSERT_LT(r, n);
            ++hits[static_cast<size_t>(r)];
        }
        for (int h : hits) EXPECT_NEAR(h, 2000, 300);
    }
    EXPECT_EQ(rng.Below(0), 0);
    EXPECT_EQ(rng.Below(-5), 0);
}
