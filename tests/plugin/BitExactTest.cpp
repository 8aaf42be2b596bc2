// Speed work on the per-frame path must not change a single output bit. These renders hash every
// output sample, the editor's scope history and the LFO outputs after each block; the expected
// hashes were taken from the code before any of that work, so a faster path that rounds one value
// differently fails here.
#include "tests/support/PluginFixture.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

struct Fnv {
    uint64_t Value = 1469598103934665603ULL;
    void Add(float x) {
        const uint32_t bits = std::bit_cast<uint32_t>(x);
        for (int b = 0; b < 4; ++b) {
            Value ^= (bits >> (8 * b)) & 0xFFu;
            Value *= 1099511628211ULL;
        }
    }
};

struct BitExact : PluginFixture {
    // Renders two seconds at `rate`: a chirp plus a click train, the effect selected and fully
    // wet, every LFO wave in turn and a change of tempo and of a few sound parameters midway.
    uint64_t Render(int32_t effect, double rate) {
        SetTime(rate, 120.0, true);
        Prime();
        Host.SetParameter(kOutMix, 1.0f);
        Host.SetParameter(kSyncedValue, 0.5f);
        Host.SetParameter(kOutSel, float(effect) / 7.0f);
        Fnv hash;
        const int32_t block = 517;
        std::vector<float> inL(block), inR(block), outL(block), outR(block);
        double phase = 0.0;
        int64_t frame = 0;
        for (int32_t b = 0; frame < int64_t(2.0 * rate); ++b) {
            if (b % 40 == 0) Host.SetParameter(kLfoWav, float((b / 40) % 6) / 5.0f);
            if (b == 90) {
                Host.Time.tempo = 97.3;
                Host.SetParameter(kLfoPha, 0.3f);
                Host.SetParameter(kDecBd, 0.4f);
                Host.SetParameter(kDecSr, 0.37f);
                Host.SetParameter(kRngTon, 0.71f);
                Host.SetParameter(kChdSel, 0.5f);
                Host.SetParameter(kSliVar, 0.8f);
                Host.SetParameter(kSyncedValue, 0.25f);
            }
            for (int32_t i = 0; i < block; ++i, ++frame) {
                phase += 0.0005 + 1e-8 * double(frame % 100000);
                inL[size_t(i)] = float(0.6 * std::sin(phase));
                inR[size_t(i)] = frame % 3001 < 3 ? 0.9f : float(0.3 * std::cos(phase * 1.5));
            }
            Host.Process(inL.data(), inR.data(), outL.data(), outR.data(), block);
            for (int32_t i = 0; i < block; ++i) {
                hash.Add(outL[size_t(i)]);
                hash.Add(outR[size_t(i)]);
            }
            for (int32_t j = 0; j < kScopeLength; ++j) {
                hash.Add(Plugin->Engine.ScopeL[size_t(j)]);
                hash.Add(Plugin->Engine.ScopeR[size_t(j)]);
            }
            hash.Add(Plugin->Engine.LfoRawL);
            hash.Add(Plugin->Engine.LfoRawR);
        }
        return hash.Value;
    }
};

struct Golden {
    int32_t Effect;
    double Rate;
    uint64_t Hash;
};

}  // namespace

TEST_F(BitExact, RendersOfTheFinishedEffectsMatchTheirHashesBitForBit) {
    const Golden golden[] = {
        {4, 44100.0, 0xa0b041fc736de749ULL}, {4, 96000.0, 0xe7df312710ff4faeULL}, {5, 44100.0, 0x86e08ccc7fb1edd1ULL}, {5, 96000.0, 0x628654fa90f8babdULL},
        {6, 44100.0, 0x9e336f2893835e1aULL}, {6, 96000.0, 0x1841322259c8c2fbULL}, {7, 44100.0, 0x5baae8a3ec9b273cULL}, {7, 96000.0, 0x656cc66d89d53e12ULL},
    };
    for (const Golden& g : golden) {
        SCOPED_TRACE(::testing::Message() << "effect " << g.Effect << " at " << g.Rate);
        Host.Close();   // a fresh instance for each render
        SetUp();
        const uint64_t hash = Render(g.Effect, g.Rate);
        EXPECT_EQ(hash, g.Hash) << std::hex << "0x" << hash;
    }
}
