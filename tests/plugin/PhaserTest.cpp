#include "tests/support/PluginFixture.h"

#include "dsp/Random.h"

#include <cmath>

namespace {

struct PhaserHost : PluginFixture {
    void SetUp() override {
        PluginFixture::SetUp();
        Prime();
        Host.SetParameter(kOutSel, 3.0f / 7.0f);
        Host.SetParameter(kOutAmp, 1.0f);
        Host.SetParameter(kPhaFbck, 0.0f);
        Host.SetParameter(kPhaDpt, 1.0f);
        Host.SetParameter(kPhaFrq, 0.2f);
        Host.SetParameter(kSyncedValue, 0.5f);
    }
    static std::vector<float> Noise(size_t n, uint64_t seed) {
        TRandom rng(seed);
        std::vector<float> x(n);
        for (float& v : x) v = 2.0f * rng.Uniform01() - 1.0f;
        return x;
    }
    static double Rms(const std::vector<float>& x, size_t from) {
        double s = 0.0;
        for (size_t i = from; i < x.size(); ++i) s += double(x[i]) * x[i];
        return std::sqrt(s / double(x.size() - from));
    }
};

}  // namespace

TEST_F(PhaserHost, FullyWetWithoutFeedbackKeepsTheEnergyOfNoise) {
    for (float lfoAmp : {0.0f, 0.8f}) {
        SCOPED_TRACE(lfoAmp);
        Host.SetParameter(kLfoAmp, lfoAmp);
        Host.SetParameter(kOutMix, 1.0f);
        const auto inL = Noise(88200, 1), inR = Noise(88200, 2);
        std::vector<float> outL, outR;
        Run(inL, inR, outL, outR);
        EXPECT_NEAR(Rms(outL, 4410) / Rms(inL, 4410), 1.0, 0.02);
        EXPECT_NEAR(Rms(outR, 4410) / Rms(inR, 4410), 1.0, 0.02);
        EXPECT_NE(outL, inL);   // only the phase differs
    }
}

TEST_F(PhaserHost, HalfWetCarvesNotchesOutOfNoise) {
    Host.SetParameter(kLfoAmp, 0.0f);
    Host.SetParameter(kOutMix, 0.5f);
    const auto in = Noise(88200, 3);
    std::vector<float> outL, outR;
    Run(in, in, outL, outR);
    // Dry plus all-pass halves: unit gain where in phase, silence where opposite, so power drops.
    const double ratio = Rms(outL, 4410) / Rms(in, 4410);
    EXPECT_LT(ratio, 0.9);
    EXPECT_GT(ratio, 0.3);
}
