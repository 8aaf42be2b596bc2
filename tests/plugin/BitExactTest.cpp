// Speed work on the per-frame path must not change a single output bit. These renders hash every
// output sample, the editor's scope history and the LFO outputs after each block (the scripted
// ones also the output pairs of all eight effects); the expected hashes were taken from the code
// before any of that work, so a faster path that rounds one value differently fails here.
#include "tests/support/PluginFixture.h"

#include "dsp/Random.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
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
    // wet, the LFO waves in turn and a change of tempo and of a few sound parameters midway.
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
            hash.Add(Plugin->Engine.Frame.LfoRawL);
            hash.Add(Plugin->Engine.Frame.LfoRawR);
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

TEST_F(BitExact, RendersOfEveryEffectMatchTheirHashesBitForBit) {
    const Golden golden[] = {
        {0, 44100.0, 0x3fd744baba898168ULL}, {0, 96000.0, 0xee04f959f4649731ULL}, {1, 44100.0, 0x3a2ed2abaf8c2221ULL}, {1, 96000.0, 0xf1d463b188b4706cULL},
        {2, 44100.0, 0xe900f0328d611a06ULL}, {2, 96000.0, 0xd890cd3decc07bfaULL}, {3, 44100.0, 0x96f5ce5d9ced0825ULL}, {3, 96000.0, 0x3bafa722bd3021eeULL},
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

// ---------------------------------------------------------------------------------------------
// Scripted renders that reach every path of the frame loop: each effect at several rates through
// every LFO wave, a deselection and reselection by MIDI note, synced-value notes and the hold
// controller, the effect's parameters moved to their ends, tempo changes down to delays longer
// than the rings and beats longer than the slicer's bar, a cycle start, a stopped transport, a
// program change, host blocks longer than the internal one, non-finite input and a silent tail.
// The input is made without library maths, so it is the same on every platform.

namespace {

// A parabolic-sine chirp, a click train and noise bursts, on two channels that differ.
class ScriptSignal {
public:
    std::pair<float, float> Next(bool silent) {
        const int64_t n = Frame++;
        if (silent) return {0.0f, 0.0f};
        Phase += 0.003 + 1e-9 * double(n % 400000);
        if (Phase >= 1.0) Phase -= 1.0;
        const double x = Phase - 0.5;
        const double sine = 4.0 * x * (1.0 - 2.0 * (x < 0.0 ? -x : x));   // -1..1 parabola pair
        const double white = 2.0 * double(Rng.Uniform01()) - 1.0;
        if (n % 6007 == 0) Burst = 1.0;
        Burst *= 0.9995;
        const float l = float(0.5 * sine + 0.3 * Burst * white);
        const float r = n % 2999 < 2 ? 0.95f : float(0.35 * sine * sine - 0.2 + 0.25 * Burst * white);
        return {l, r};
    }

private:
    TRandom Rng{0xC0FFEEULL};
    int64_t Frame = 0;
    double Phase = 0.0, Burst = 0.0;
};

struct ParamMove {
    int32_t Index;
    float Value;
};

// Two sets of moves per effect: its three parameters to telling values, ends included.
const std::vector<ParamMove> kMovesA[kNumEffects] = {
    {{kDelFbck, 0.15f}, {kDelDmpLow, 0.3f}, {kDelDmpHigh, 0.2f}},
    {{kGliAmp, 1.0f}, {kGliCtrl1, 0.5f}, {kGliCtrl2, 1.0f}},
    {{kFlaDel, 1.0f}, {kFlaFbck, 1.0f}, {kFlaDmp, 0.3f}},
    {{kPhaDpt, 0.0f}, {kPhaFrq, 1.0f}, {kLfoAmp, 1.0f}},
    {{kDecSr, 0.37f}, {kDecBd, 0.4f}, {kDecSat, 1.0f}},
    {{kSliSp, 0.6f}, {kSliVar, 1.0f}, {kSliQtz, 0.7f}},
    {{kRngTon, 0.71f}, {kRngFbck, 1.0f}, {kRngDmp, 0.2f}},
    {{kChdSel, 0.5f}, {kChdRoot, 0.0f}, {kChdFbck, 1.0f}},
};
const std::vector<ParamMove> kMovesB[kNumEffects] = {
    {{kDelFbck, 0.0f}, {kDelDmpLow, 1.0f}, {kDelDmpHigh, 0.0f}},
    {{kGliAmp, 0.4f}, {kGliCtrl1, 0.9f}, {kGliCtrl2, 0.1f}},
    {{kFlaDel, 0.05f}, {kFlaFbck, 0.3f}, {kFlaDmp, 0.0f}},
    {{kPhaDpt, 1.0f}, {kPhaFbck, 0.0f}, {kPhaFrq, 0.2f}},
    {{kDecSr, 0.0f}, {kDecBd, 0.0f}, {kDecSat, 0.6f}},
    {{kSliSp, 0.0f}, {kSliVar, 0.5f}, {kSliQtz, 0.0f}},
    {{kRngTon, 0.0f}, {kRngFbck, 0.5f}, {kRngDmp, 0.0f}},
    {{kChdSel, 12.0f / 14.0f}, {kChdRoot, 0.3f}, {kChdFbck, 0.0f}},
};

constexpr uint8_t kSelectNote[kNumEffects] = {35, 36, 38, 40, 41, 43, 45, 47};
constexpr uint8_t kSyncNote[kNumEffects] = {48, 50, 52, 53, 55, 57, 59, 60};
constexpr int32_t kBlockSizes[] = {517, 64, 1, 333, 2048, 5000, 128, 777, 2049};

struct ScriptedRender : PluginFixture {
    Fnv Hash;
    std::array<Fnv, kNumEffects> EffectHash{};
    ScriptSignal Input;
    bool Silent = false;
    int64_t Frame = 0;
    double Rate = 44100.0;

    void Begin(double rate) {
        Rate = rate;
        SetTime(rate, 120.0, true, 11.5);   // the song reaches a cycle start (12 quarter notes) early
        Prime();
        Host.Time.ppqPos = 11.5;
        Host.SetParameter(kOutMix, 1.0f);
        Host.SetParameter(kSyncedValue, 1.0f);
    }
    void Note(uint8_t note, bool on) {
        Host.SendMidi({{uint8_t(on ? 0x90 : 0x80), note, uint8_t(on ? 100 : 0)}});
    }
    void Controller(uint8_t number, uint8_t value) { Host.SendMidi({{0xB0, number, value}}); }
    void Tempo(double bpm, float syncedValue) {
        Host.Time.tempo = bpm;
        Block(64);   // the engine takes the tempo with the next block; a parameter change derives from it
        Host.SetParameter(kSyncedValue, syncedValue);
    }
    void Block(int32_t n) {
        std::vector<float> inL(size_t(n), 0.0f), inR(size_t(n), 0.0f), outL(size_t(n), 0.25f), outR(size_t(n), -0.25f);
        for (int32_t i = 0; i < n; ++i, ++Frame) {
            const auto [l, r] = Input.Next(Silent);
            inL[size_t(i)] = l;
            inR[size_t(i)] = r;
            if (Frame % 50021 == 777) inL[size_t(i)] = std::numeric_limits<float>::quiet_NaN();
            if (Frame % 70001 == 999) inR[size_t(i)] = std::numeric_limits<float>::infinity();
        }
        // Now and then the accumulating entry, onto what the buffers held.
        const bool replacing = (Frame / 7919) % 5 != 3;
        Host.Process(inL.data(), inR.data(), outL.data(), outR.data(), n, replacing);
        for (int32_t i = 0; i < n; ++i) {
            Hash.Add(outL[size_t(i)]);
            Hash.Add(outR[size_t(i)]);
        }
        const TFxEngine& e = Plugin->Engine;
        for (int32_t j = 0; j < kScopeLength; ++j) {
            Hash.Add(e.ScopeL[size_t(j)]);
            Hash.Add(e.ScopeR[size_t(j)]);
        }
        for (float v : {e.Frame.LfoRawL, e.Frame.LfoRawR, e.Delay.DelLineL.Output, e.Delay.DelLineR.Output, e.Glide.GliLineL.Output,
                        e.Glide.GliLineR.Output, e.Flanger.FlaLineL.Output, e.Flanger.FlaLineR.Output, e.Phaser.PhaOutL, e.Phaser.PhaOutR,
                        e.Decimator.DecOutL, e.Decimator.DecOutR, e.Slicer.SliOutL, e.Slicer.SliOutR, e.Ringer.RngOutL, e.Ringer.RngOutR, e.TriCombs.ChdOutL,
                        e.TriCombs.ChdOutR})
            Hash.Add(v);
        // Each effect's pair again on its own, so that a failing render names the effect that went astray.
        const std::pair<float, float> pairs[kNumEffects] = {
            {e.Delay.DelLineL.Output, e.Delay.DelLineR.Output}, {e.Glide.GliLineL.Output, e.Glide.GliLineR.Output},
            {e.Flanger.FlaLineL.Output, e.Flanger.FlaLineR.Output}, {e.Phaser.PhaOutL, e.Phaser.PhaOutR}, {e.Decimator.DecOutL, e.Decimator.DecOutR},
            {e.Slicer.SliOutL, e.Slicer.SliOutR}, {e.Ringer.RngOutL, e.Ringer.RngOutR}, {e.TriCombs.ChdOutL, e.TriCombs.ChdOutR}};
        for (int32_t k = 0; k < kNumEffects; ++k) {
            EffectHash[size_t(k)].Add(pairs[k].first);
            EffectHash[size_t(k)].Add(pairs[k].second);
        }
    }

    // One effect for `seconds`: the events at fixed shares of the render, blocks of changing size.
    uint64_t RenderEffect(int32_t fx, double rate, double seconds) {
        Begin(rate);
        Host.SetParameter(kOutSel, float(fx) / 7.0f);
        const int64_t total = int64_t(seconds * rate);
        struct Event { double At; std::function<void()> Do; };
        std::vector<Event> events;
        for (int32_t k = 0; k < 12; ++k)
            events.push_back({0.05 * k, [this, k] { Host.SetParameter(kLfoWav, float(k % 6) / 5.0f); }});
        events.push_back({0.10, [this] { Tempo(97.3, 0.75f); }});
        events.push_back({0.20, [this, fx] { Note(kSelectNote[(fx + 3) % kNumEffects], true); }});
        events.push_back({0.21, [this, fx] { Note(kSelectNote[(fx + 3) % kNumEffects], false); }});
        events.push_back({0.26, [this, fx] { Note(kSelectNote[fx], true); }});
        events.push_back({0.30, [this, fx] { for (const ParamMove& m : kMovesA[fx]) Host.SetParameter(m.Index, m.Value); }});
        events.push_back({0.35, [this] { Note(kSyncNote[2], true); }});
        events.push_back({0.40, [this] { Note(kSyncNote[2], false); }});
        events.push_back({0.42, [this] { Controller(64, 127); }});
        events.push_back({0.45, [this] { Host.SetParameter(kLfoPha, 0.3f); Host.SetParameter(kLfoAmp, 1.0f); }});
        events.push_back({0.48, [this] { Controller(64, 0); }});
        events.push_back({0.50, [this] { Host.SetParameter(kOutMix, 1.0f); Host.Time.flags &= ~kVstTransportPlaying; }});
        events.push_back({0.55, [this] { Host.Time.flags |= kVstTransportPlaying; }});
        events.push_back({0.60, [this, fx] { for (const ParamMove& m : kMovesB[fx]) Host.SetParameter(m.Index, m.Value); }});
        events.push_back({0.62, [this] { Tempo(10.0, 1.0f); }});
        events.push_back({0.66, [this, fx] {
            Host.Dispatch(effSetProgram, 0, 1);
            Host.SetParameter(kOutSel, float(fx) / 7.0f);
            Host.SetParameter(kOutMix, 0.9f);
            Host.SetParameter(kOutAmp, 0.8f);
        }});
        events.push_back({0.70, [this] { Tempo(180.0, 0.25f); }});
        events.push_back({0.72, [this, fx] { for (const ParamMove& m : kMovesA[fx]) Host.SetParameter(m.Index, m.Value); }});
        events.push_back({0.75, [this] { Controller(0, 100); }});   // unmapped controllers are all 0
        events.push_back({0.80, [this] { Silent = true; }});
        events.push_back({0.85, [this] { Host.SetParameter(kSyncedValue, 0.0f); }});
        events.push_back({0.90, [this] { Host.SetParameter(kSyncedValue, 0.125f); }});
        size_t next = 0, size = 0;
        while (Frame < total) {
            while (next < events.size() && Frame >= int64_t(events[next].At * double(total))) events[next++].Do();
            Block(kBlockSizes[size++ % std::size(kBlockSizes)]);
        }
        return Hash.Value;
    }

    // A performance: effects, parameters, tempo, transport and rate changed at random between blocks.
    uint64_t RenderPerformance(double rate, double otherRate, double seconds) {
        Begin(rate);
        TRandom rng(4242);
        const int64_t total = int64_t(seconds * rate);
        const double tempi[] = {120.0, 97.3, 60.0, 180.0, 10.0, 6.0, 240.0, 133.0};
        const int32_t params[] = {kLfoWav, kLfoAmp, kLfoPha, kSyncedValue, kDelFbck, kDelDmpLow, kDelDmpHigh,
                                  kGliAmp, kGliCtrl1, kGliCtrl2, kFlaDel, kFlaFbck, kFlaDmp, kPhaFrq, kPhaDpt,
                                  kPhaFbck, kDecSr, kDecBd, kDecSat, kSliSp, kSliQtz, kSliVar, kRngTon, kRngFbck,
                                  kRngDmp, kChdSel, kChdRoot, kChdFbck};
        bool rateChanged = false;
        while (Frame < total) {
            if (!rateChanged && Frame > total / 2) {
                rateChanged = true;
                Host.Dispatch(effSetSampleRate, 0, 0, nullptr, float(otherRate));
                Host.Time.sampleRate = otherRate;
            }
            const uint32_t roll = rng.Next() % 1000;
            if (roll < 150) {
                const int32_t fx = rng.Below(kNumEffects);
                if (roll < 75) Note(kSelectNote[fx], true); else Host.SetParameter(kOutSel, float(fx) / 7.0f);
            } else if (roll < 450) {
                const int32_t p = params[rng.Below(int32_t(std::size(params)))];
                const uint32_t kind = rng.Next() % 4;
                Host.SetParameter(p, kind == 0 ? 0.0f : (kind == 1 ? 1.0f : rng.Uniform01()));
            } else if (roll < 480) {
                Tempo(tempi[rng.Below(int32_t(std::size(tempi)))], float(rng.Below(9)) / 8.0f);
            } else if (roll < 500) {
                Host.Time.flags ^= kVstTransportPlaying;
            } else if (roll < 550) {
                Note(kSyncNote[rng.Below(kNumEffects)], rng.Below(2) == 0);
            } else if (roll < 600) {
                Host.SetParameter(kOutMix, roll < 590 ? 1.0f : 0.5f);
            } else if (roll < 620) {
                Silent = !Silent;
            }
            Block(1 + rng.Below(3000));
        }
        return Hash.Value;
    }
};

struct GoldenScript {
    int32_t Effect;   // -1: the random performance
    double Rate;
    uint64_t Hash;
};

}  // namespace

// Per render above, the hash of each effect's output pair at every block end.
const uint64_t kEffectPairHashes[36][kNumEffects] = {
#include "tests/plugin/EffectPairHashes.inc"
};

TEST_F(ScriptedRender, EveryEffectThroughEveryPathMatchesItsHashBitForBit) {
    const GoldenScript golden[] = {
        {0, 44100.0, 0x21fb08595b394164ULL}, {0, 48000.0, 0xa9e560246cedac87ULL}, {0, 96000.0, 0x9c4552d548436d94ULL}, {0, 192000.0, 0x612c44453e199f19ULL},
        {1, 44100.0, 0x7a599e483ea90daaULL}, {1, 48000.0, 0x3b24dc55beb65c9cULL}, {1, 96000.0, 0xf9d1651ea3951167ULL}, {1, 192000.0, 0xde7a685ff792df9ULL},
        {2, 44100.0, 0x9c7bbde290e0a67fULL}, {2, 48000.0, 0x8e11b0bc95a00667ULL}, {2, 96000.0, 0x441b27ad89a718b3ULL}, {2, 192000.0, 0x683012eb60ee6821ULL},
        {3, 44100.0, 0xb89d781d61435b4cULL}, {3, 48000.0, 0x1662a63523dc8a18ULL}, {3, 96000.0, 0xc37166951288ef4ULL}, {3, 192000.0, 0xa503227d5a86d131ULL},
        {4, 44100.0, 0xc3fbb2d38c9e25bcULL}, {4, 48000.0, 0x61c3261925c688c9ULL}, {4, 96000.0, 0xaffc94f763dc6abcULL}, {4, 192000.0, 0xfc7f0498a9323cccULL},
        {5, 44100.0, 0xb88f13f2ab16e3fbULL}, {5, 48000.0, 0x83c622d84737d704ULL}, {5, 96000.0, 0x5d575cc9089019beULL}, {5, 192000.0, 0x5c72f2924d3c7b9eULL},
        {6, 44100.0, 0xea7851ab5ec4adb9ULL}, {6, 48000.0, 0xcd03bac267c85a7bULL}, {6, 96000.0, 0xbd9f8c8734e46c87ULL}, {6, 192000.0, 0xfe4922085fd61f18ULL},
        {7, 44100.0, 0x67a401fc96c87cc7ULL}, {7, 48000.0, 0xf4ab8c4aacb38f2ULL}, {7, 96000.0, 0x61debfcc437dad05ULL}, {7, 192000.0, 0x572450ddaf8643fbULL},
        {-1, 44100.0, 0x67aa6162e5e93809ULL}, {-1, 48000.0, 0x598c43127a27bcb4ULL}, {-1, 96000.0, 0xe815e521ae3f5824ULL}, {-1, 192000.0, 0x7c5ff46258d9571bULL},
    };
    for (const GoldenScript& g : golden) {
        SCOPED_TRACE(::testing::Message() << "effect " << g.Effect << " at " << g.Rate);
        Host.Close();   // a fresh instance for each render
        SetUp();
        Hash = Fnv{};
        EffectHash = {};
        Input = ScriptSignal{};
        Silent = false;
        Frame = 0;
        const uint64_t hash = g.Effect >= 0 ? RenderEffect(g.Effect, g.Rate, 2.5)
                                            : RenderPerformance(g.Rate, g.Rate == 44100.0 ? 96000.0 : 44100.0, 12.0);
        EXPECT_EQ(hash, g.Hash) << std::hex << "0x" << hash;
        const size_t row = size_t(&g - golden);
        for (size_t k = 0; k < size_t(kNumEffects); ++k)
            EXPECT_EQ(EffectHash[k].Value, kEffectPairHashes[row][k])
                << "the pair of effect " << k << std::hex << ": 0x" << EffectHash[k].Value;
    }
}
