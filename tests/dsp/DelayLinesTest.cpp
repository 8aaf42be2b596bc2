#include "dsp/BuffersClass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "dsp/Random.h"

namespace {

// Writes 1, 2, 3, ... one per sample as an owner does, and leaves pos at the newest sample.
template <class Delay>
int32_t WriteRamp(Delay& delay, int32_t length, int32_t samples) {
    int32_t pos = -1;
    for (int32_t i = 1; i <= samples; ++i) {
        pos = (pos + 1 == length) ? 0 : pos + 1;
        delay.Write(pos, float(i));
    }
    return pos;
}

// The taps written the slow way: every index reduced with % in 64 bits.
float NaiveRead(const std::vector<float>& buf, int32_t pos, int32_t length, float d, int points) {
    const int64_t n = TruncInt(d);
    const Wide f = float(Wide(d) - Wide(n));
    auto at = [&](int64_t back) {
        return Wide(buf[static_cast<size_t>(((pos - n - back) % length + length) % length)]);
    };
    if (points == 1) return float(at(0));
    if (points == 2) return float((1.0 - f) * at(0) + f * at(1));
    const Wide ym1 = at(-1), y0 = at(0), y1 = at(1), y2 = at(2);
    const Wide a = 3.0 * (y0 - y1) - ym1 + y2;
    const Wide b = 4.0 * y1 + 2.0 * ym1 - 5.0 * y0 - y2;
    return float(y0 + 0.5 * f * ((y1 - ym1) + f * (b + f * a)));
}

}  // namespace

TEST(Tdelay1p, FractionalDelayIsTruncated) {
    Tdelay1p delay(16);
    const int32_t pos = WriteRamp(delay, 16, 10);  // newest sample is 10
    delay.Read(pos, 16, 2.9f);
    EXPECT_EQ(delay.Output, 8.0f);
}

TEST(Tdelay2p, QuarterSampleDelayMixesCurrentAndPrevious) {
    Tdelay2p delay(16);
    delay.Write(3, 4.0f);
    delay.Write(4, 8.0f);
    delay.Read(4, 16, 0.25f);
    EXPECT_EQ(delay.Output, 0.75f * 8.0f + 0.25f * 4.0f);
}

TEST(Tdelay4p, ZeroDelayIsExactlyTheCurrentSample) {
    Tdelay4p delay(8);
    const float taps[] = {-3.0f, 1e6f, 0.1234567f, -7.5f, 250.0f, 1e-7f, 0.0f, -1e6f};
    for (int32_t i = 0; i < 8; ++i) delay.Write(i, taps[i]);
    for (int32_t pos = 0; pos < 8; ++pos) {
        delay.Read(pos, 8, 0.0f);
        EXPECT_EQ(delay.Output, taps[pos]) << pos;
    }
}

TEST(Tdelay4p, NewestTapWrapsToIndexZeroAtTheEndOfTheRing) {
    // Only the tap one sample newer than y0 is non-zero; at pos = length - 1 it sits at index 0.
    Tdelay4p delay(8);
    delay.Write(0, 16.0f);
    delay.Read(5, 6, 0.5f);
    EXPECT_EQ(delay.Output, -1.0f);  // y0 + f/2 (-ym1 + f (2 ym1 - f ym1)) with ym1 = 16, f = 1/2
}

TEST(TDelayMono, OneSampleDelayAtPositionZeroReadsTheEndOfTheRing) {
    Tdelay1p d1(10);
    Tdelay2p d2(10);
    Tdelay4p d4(10);
    TDelayMono* lines[] = {&d1, &d2, &d4};
    for (TDelayMono* line : lines) {
        line->Write(5, 7.0f);  // last index of a ring of 6
        line->Write(0, 1.0f);
        line->Read(0, 6, 1.0f);
        EXPECT_EQ(line->Output, 7.0f);
    }
}

TEST(TDelayMono, InterpolatingReadsFollowALinearRamp) {
    Tdelay2p d2(32);
    Tdelay4p d4(32);
    const int32_t pos2 = WriteRamp(d2, 20, 50);  // wrapped twice: the ramp crosses the ring's end
    const int32_t pos4 = WriteRamp(d4, 20, 50);
    for (float d : {0.25f, 0.5f, 0.75f, 1.0f, 2.5f, 9.125f, 16.875f}) {
        SCOPED_TRACE(d);
        d2.Read(pos2, 20, d);
        d4.Read(pos4, 20, d);
        EXPECT_EQ(d2.Output, 50.0f - d);
        // Below one sample the newest Hermite tap is the oldest sample of the ring, off the ramp.
        if (d >= 1.0f) {
            EXPECT_EQ(d4.Output, 50.0f - d);
        }
    }
}

TEST(TDelayMono, DelaysOfAnyLengthMatchANaiveModuloRead) {
    TRandom rng(2024);
    for (int trial = 0; trial < 20000; ++trial) {
        const int32_t length = trial < 300 ? 1 + trial % 4 : 1 + rng.Below(3000);
        const int32_t pos = rng.Below(length);
        // Half inside the ring, half up to a hundred rings long, some whole numbers.
        float d = rng.Uniform01() * float(length) * (trial % 2 == 0 ? 1.0f : 100.0f);
        if (trial % 7 == 0) d = std::floor(d);
        std::vector<float> buf(static_cast<size_t>(length));
        for (float& s : buf) s = rng.Uniform01() * 2.0f - 1.0f;
        SCOPED_TRACE(::testing::Message() << "length " << length << " pos " << pos << " d " << d);
        ASSERT_EQ(ReadLinear(buf.data(), pos, length, d), NaiveRead(buf, pos, length, d, 2));
        ASSERT_EQ(ReadHermite(buf.data(), pos, length, d), NaiveRead(buf, pos, length, d, 4));
        Tdelay1p d1(length);
        std::copy(buf.begin(), buf.end(), d1.Buffer.begin());
        d1.Read(pos, length, d);
        ASSERT_EQ(d1.Output, NaiveRead(buf, pos, length, d, 1));
    }
}

TEST(TDelayMono, InvalidAndHugeDelaysStayInsideTheRing) {
    constexpr float Inf = std::numeric_limits<float>::infinity();
    struct Case {
        float d;
        int32_t length, expectBack;
    };
    const Case cases[] = {
        {-1.0f, 1000, 0},
        {-0.25f, 1000, 0},
        {-Inf, 1000, 0},
        {std::numeric_limits<float>::quiet_NaN(), 1000, 0},
        {Inf, 1000, 0},
        {2147483904.0f, 1000, 904},  // 2^31 + 256: past the int32 range, reduced exactly
        {1e12f, 1000, 904},         // the float is 999999995904
        {std::numeric_limits<float>::max(), 1024, 0},  // 2^128 - 2^104 is a multiple of 1024
        {2147483520.0f, 1000, 520},                    // largest float below 2^31
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.d);
        Tdelay1p d1(c.length);
        Tdelay2p d2(c.length);
        Tdelay4p d4(c.length);
        const int32_t pos = WriteRamp(d1, c.length, 1500);
        WriteRamp(d2, c.length, 1500);
        WriteRamp(d4, c.length, 1500);
        const float expected = 1500.0f - float(c.expectBack);
        d1.Read(pos, c.length, c.d);
        d2.Read(pos, c.length, c.d);
        d4.Read(pos, c.length, c.d);
        EXPECT_EQ(d1.Output, expected);
        EXPECT_EQ(d2.Output, expected);
        EXPECT_EQ(d4.Output, expected);
    }
}

TEST(TDelayMono, StartsSilentAndANegativeCapacityGivesAnEmptyRing) {
    TDelayMono base(5);
    EXPECT_EQ(base.Capacity(), 5);
    EXPECT_EQ(std::vector<float>(base.Buffer.begin(), base.Buffer.end()), std::vector<float>(5, 0.0f));
    base.Write(0, 1.0f);
    base.Read(0, 5, 0.0f);
    EXPECT_EQ(base.Output, 0.0f);  // the base class reads nothing
    EXPECT_EQ(TDelayMono(-3).Capacity(), 0);
}

// The stereo read gives each line what its own read gives, to the bit, with taps anywhere in
// short rings (so near their ends, where the neighbours wrap, as often as not).
TEST(Tdelay4p, StereoReadMatchesTheTwoMonoReads) {
    TRandom rng(77);
    for (int trial = 0; trial < 20000; ++trial) {
        const int32_t length = 1 + rng.Below(12);
        Tdelay4p l(length), r(length), monoL(length), monoR(length);
        for (int32_t i = 0; i < length; ++i) {
            l.Buffer[size_t(i)] = monoL.Buffer[size_t(i)] = rng.Uniform01() * 2.0f - 1.0f;
            r.Buffer[size_t(i)] = monoR.Buffer[size_t(i)] = rng.Uniform01() * 2.0f - 1.0f;
        }
        const int32_t pos = rng.Below(length);
        const TDelayTap tapL = SplitDelay(pos, length, rng.Uniform01() * float(length));
        const TDelayTap tapR = trial % 2 ? tapL : SplitDelay(pos, length, rng.Uniform01() * float(length));
        Tdelay4p::ReadPair(l, tapL, r, tapR);
        monoL.Read(tapL);
        monoR.Read(tapR);
        ASSERT_EQ(l.Output, monoL.Output) << trial;
        ASSERT_EQ(r.Output, monoR.Output) << trial;
    }
}

TEST(TDelayMono, SplittingARunOfDelaysMatchesSplittingEachFrame) {
    // Runs across the ring's end, with delays inside the ring, on its edges and outside it
    // (negative, past it, huge, infinite, NaN) scattered among them.
    TRandom rng(77);
    const float odd[] = {-1.0f, -0.0f, 0.0f, 1e-30f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(), 3e9f};
    for (int trial = 0; trial < 2000; ++trial) {
        const int32_t length = trial < 40 ? 1 + trial % 6 : 1 + rng.Below(600);
        const int32_t pos = rng.Below(length), n = 1 + rng.Below(64);
        std::vector<float> d(static_cast<size_t>(n));
        for (size_t j = 0; j < d.size(); ++j) {
            const int32_t pick = rng.Below(10);
            d[j] = pick < 6    ? rng.Uniform01() * float(length)
                   : pick == 6 ? float(length)
                   : pick == 7 ? float(length) * (1.0f + rng.Uniform01())
                               : odd[size_t(rng.Below(7))];
        }
        std::vector<int32_t> index(d.size());
        std::vector<float> frac(d.size());
        SplitDelays(pos, length, d.data(), n, index.data(), frac.data());
        int32_t p = pos;
        for (size_t j = 0; j < d.size(); ++j) {
            const TDelayTap tap = SplitDelay(p, length, d[j]);
            ASSERT_EQ(index[j], tap.Index) << "trial " << trial << " frame " << j << " d " << d[j];
            ASSERT_EQ(std::bit_cast<uint32_t>(frac[j]), std::bit_cast<uint32_t>(tap.Frac)) << "trial " << trial;
            if (++p >= length) p = 0;
        }
    }
}
