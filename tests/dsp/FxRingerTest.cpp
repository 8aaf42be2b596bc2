#include "dsp/FiltresClass.h"
#include "dsp/FxRinger.h"
#include "dsp/OscillosClass.h"
#include "dsp/Random.h"
#include "tests/dsp/EffectRig.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <iterator>

#include <cmath>
#include <vector>

namespace {

constexpr int32_t kDelay = 100;

using RingerRig = EffectRig<TRinger>;

// At 44.1 kHz, a 440 Hz carrier and an echo line of kDelay samples.
void Tune(RingerRig& rig, float feedback, float damp = 12000.0f) {
    rig.E->RngTone = 440.0f;
    rig.E->RngFeedback = feedback;
    rig.E->RngDamp = damp;
    rig.F.SyncDelayLength = kDelay;
}

// The carrier as the ringer runs it: a free TPara at SrInt.
struct Carrier {
    TPara Osc;
    float Tick(float tone) {
        float flag = 0.0f;
        Osc.Tick(flag, tone, 44100.0f, 0.0f);
        return Osc.Value;
    }
};

}  // namespace

TEST(Ringer, MultipliesTheInputByTheParabolicCarrier) {
    RingerRig rig;
    Tune(rig, 0.0f);
    Carrier ref;
    for (int32_t i = 0; i < 5000; ++i) {
        const float x = float(0.4 * std::sin(0.01 * i)) + 0.5f;
        const auto [l, r] = rig.Frame(x, -x);
        const float c = ref.Tick(440.0f);
        ASSERT_FLOAT_EQ(l, float(Wide(c) * Wide(x))) << i;
        ASSERT_FLOAT_EQ(r, float(Wide(c) * -Wide(x))) << i;
    }
}

TEST(Ringer, WithoutFeedbackAnImpulseLeavesNoEcho) {
    RingerRig rig;
    Tune(rig, 0.0f);
    rig.Frame(1.0f);
    for (int32_t i = 1; i < 3 * kDelay; ++i) ASSERT_LT(std::fabs(rig.Frame(0.0f)), 1e-12f) << i;
}

TEST(Ringer, EchoReturnsAfterTheDelayPlusOneAndIsModulatedAgain) {
    RingerRig rig;
    Tune(rig, 1.0f);
    Carrier ref;
    const float first = rig.Frame(1.0f);
    const float c0 = ref.Tick(440.0f);
    ASSERT_EQ(first, c0);
    // The echo line's low-pass sees silence until the impulse comes out of the line at kDelay.
    TLp1 low;
    for (int32_t i = 1; i <= kDelay; ++i) {
        ASSERT_LT(std::fabs(rig.Frame(0.0f)), 1e-12f) << i;
        ref.Tick(440.0f);
        low.Tick(i == kDelay ? c0 : 0.0f, 12000.0f, 44100.0f);
    }
    const float echo = rig.Frame(0.0f);
    const float c = ref.Tick(440.0f);
    EXPECT_FLOAT_EQ(echo, float(Wide(c) * Wide(low.Output)));
    EXPECT_GT(std::fabs(echo), 0.01f);
}

TEST(Ringer, InputPlusFeedbackIsClampedBeforeModulation) {
    struct Case { float In, Sign; };
    const Case cases[] = {{4.0f, 1.0f}, {-4.0f, -1.0f}, {1.0f, 0.0f}, {-1.0f, 0.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "input " << c.In);
        RingerRig rig;
        Tune(rig, 1.0f);
        Carrier ref;
        for (int32_t i = 0; i < 44100; ++i) {
            const float y = rig.Frame(c.In);
            const float carrier = ref.Tick(440.0f);
            ASSERT_LE(std::fabs(y), std::fabs(carrier)) << i;
            // Far beyond full scale the echo cannot pull the sum back inside: the carrier itself.
            if (c.Sign != 0.0f) {
                ASSERT_EQ(y, c.Sign * carrier) << i;
            }
        }
    }
}

TEST(Ringer, DeselectedCutsTheReturnButKeepsRecording) {
    RingerRig rig;
    Tune(rig, 0.37f);
    TRinger& e = *rig.E;
    rig.Run(3 * kDelay, 0.3f);   // some echo state in the filters
    const float y1 = e.RngLowL.Y1, back = e.RngLowL.Output;
    ASSERT_NE(back, 0.0f);
    Carrier ref;
    ref.Osc = e.RngOsc;
    // Spans of the engine's length and a part of one; inputs beyond the clamp, a negative zero
    // and a tiny value among them.
    const int32_t frames = 2 * kSpanLength + 77;
    const float pattern[] = {0.3f, -0.0f, -1.7f, 2.3f, 1e-30f, -0.45f, 0.999f, 0.05f, -1.0f, 0.7f, 0.0f};
    std::vector<float> in(static_cast<size_t>(frames));
    for (int32_t i = 0; i < frames; ++i) in[size_t(i)] = pattern[size_t(i) % std::size(pattern)] * (1.0f + float(i) * 1e-4f);
    const int32_t first = rig.F.PosLong + 1;
    rig.Deselected(in, in);
    EXPECT_EQ(e.RngLowL.Output, 0.0f);
    const Wide feedback = 0.37f;
    auto clamp = [](Wide x) { return x > 1.0 ? 1.0 : (x >= -1.0 ? x : -1.0); };
    for (int32_t i = 0; i < frames; ++i) {
        const float c = ref.Tick(440.0f);
        // The last selected frame's return is used once; then the dry input alone.
        const float out = float(Wide(c) * clamp(Wide(in[size_t(i)]) + (i == 0 ? Wide(back) : 0.0)));
        const float recorded = e.RngLineL.Buffer[size_t((first + i) % rig.F.RingLong)];
        ASSERT_EQ(std::bit_cast<uint32_t>(recorded), std::bit_cast<uint32_t>(float(Wide(out) * feedback))) << i;
        if (i == frames - 1) {
            EXPECT_EQ(std::bit_cast<uint32_t>(e.RngOutL), std::bit_cast<uint32_t>(out));
        }
    }
    EXPECT_EQ(e.RngOsc.Phase, ref.Osc.Phase);
    EXPECT_EQ(e.RngLowL.Y1, y1);   // memories kept for the next selection
}

TEST(Ringer, ReselectionBringsBackEchoesAtOnce) {
    RingerRig rig;
    Tune(rig, 1.0f);
    std::vector<float> in(11, 0.0f);
    in[0] = 1.0f;
    rig.Deselected(in, in);
    std::vector<float> out;
    for (int32_t i = 11; i <= kDelay + 1; ++i) out.push_back(rig.Frame(0.0f));
    for (size_t i = 0; i + 1 < out.size(); ++i) ASSERT_LT(std::fabs(out[i]), 1e-12f) << i;
    EXPECT_GT(std::fabs(out.back()), 0.01f);   // the impulse recorded while deselected
}

TEST(Ringer, NoSubnormalsBuildUpAfterNoiseThenSilence) {
    for (float rate : {44100.0f, 96000.0f, 192000.0f}) {
        for (float damp : {12000.0f, 30.0f}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, damp " << damp);
            RingerRig rig(static_cast<int32_t>(rate));
            Tune(rig, 0.9f, damp);
            TRinger& e = *rig.E;
            e.RngTone = 1000.0f;
            rig.F.SyncDelayLength = int32_t(rate) / 8;
            TRandom noise(3);
            for (int32_t i = 0; i < int32_t(rate); ++i) rig.Frame(noise.Uniform01() * 2.0f - 1.0f);
            int32_t subnormal = 0;
            for (int32_t i = 0; i < 10 * int32_t(rate); ++i) {
                const auto [l, r] = rig.Frame(0.0f, 0.0f);
                subnormal += IsSubnormal(l) + IsSubnormal(r) + IsSubnormal(e.RngLowL.Y1) +
                             IsSubnormal(e.RngLowR.Y1) + IsSubnormal(e.RngLowL.X1) + IsSubnormal(e.RngLowR.X1);
            }
            for (float v : e.RngLineL.Buffer) subnormal += IsSubnormal(v);
            for (float v : e.RngLineR.Buffer) subnormal += IsSubnormal(v);
            EXPECT_EQ(subnormal, 0);
        }
    }
}
