// The per-block and per-frame engine: rate and tempo values, the cycle check, the LFO while stopped,
// and what the engine does with time information it cannot use.
#include "tests/support/AllocationCounter.h"
#include "tests/support/PluginFixture.h"

#include "dsp/Random.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

namespace {

constexpr uint8_t kSelectNotes[kNumEffects] = {35, 36, 38, 40, 41, 43, 45, 47};

struct Engine : PluginFixture {
    const TFxEngine& E() const { return Plugin->Engine; }
    void Block(int32_t n) {
        std::vector<float> in(size_t(n), 0.0f), outL(in.size()), outR(in.size());
        Host.Process(in.data(), in.data(), outL.data(), outR.data(), n);
    }
};

}  // namespace

TEST_F(Engine, RateValuesAt441And48Kilohertz) {
    struct Case { double rate, tempo; int32_t times8, hundredth, tenth, scope; float bps, spb; } cases[] = {
        {44100.0, 120.0, 352800, 441, 4410, 193, 2.0f, 22050.0f},
        {48000.0, 120.0, 384000, 480, 4800, 211, 2.0f, 24000.0f},
        {96000.0, 90.0, 768000, 960, 9600, 421, 1.5f, 64000.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        SetTime(c.rate, c.tempo, true);
        Block(16);
        EXPECT_EQ(int32_t(E().SrTimes8), c.times8);
        EXPECT_EQ(int32_t(E().SrHundredth), c.hundredth);
        EXPECT_EQ(int32_t(E().SrTenth), c.tenth);
        EXPECT_EQ(E().ScopeInterval, c.scope);
        EXPECT_EQ(float(E().BeatsPerSecond), c.bps);
        EXPECT_EQ(float(E().SamplesPerBeat), c.spb);
        EXPECT_EQ(float(E().Tempo), float(c.tempo));
    }
}

TEST_F(Engine, WritePositionsCycleThroughTheirRings) {
    SetTime(44100.0, 120.0, true);
    Block(1);
    EXPECT_EQ(E().Frame.PosLong, 0);
    EXPECT_EQ(E().Frame.PosTenth, 1);   // starts at 0, so its first frame uses 1
    for (int32_t left = 352800 - 1; left > 0; left -= 4096) Block(left < 4096 ? left : 4096);
    EXPECT_EQ(E().Frame.PosLong, 352799);
    Block(1);
    EXPECT_EQ(E().Frame.PosLong, 0);
    EXPECT_EQ(E().Frame.PosSecond, 352800 % 44100);
}

TEST_F(Engine, ScopeHistoryStepsEvery195FramesAt441Kilohertz) {
    SetTime(44100.0, 120.0, true);
    Host.SetParameter(kLfoAmp, 1.0f);
    Block(16);
    Plugin->Engine.ScopeCounter = -1;
    Plugin->Engine.ScopeL[111] = -5.0f;   // a marker that moves down one entry per step
    Block(194);
    EXPECT_EQ(float(E().ScopeL[111]), -5.0f);
    Block(1);
    EXPECT_EQ(float(E().ScopeL[110]), -5.0f);
    EXPECT_EQ(float(E().ScopeL[111]), E().Frame.LfoModL);   // the newest value enters at the end
    Block(195);
    EXPECT_EQ(float(E().ScopeL[109]), -5.0f);
}

TEST_F(Engine, CycleRestartMarksTheBlockThatReachesA288TickBoundary) {
    SetTime(44100.0, 120.0, true, 11.5);
    Host.AdvanceTime = false;
    Block(18);
    EXPECT_EQ(E().Frame.CycleRestart, 1.0f);
    Host.Time.ppqPos = 12.0;   // 288 ticks
    Block(9);                  // the first check of this block sees the new cycle
    EXPECT_EQ(E().CycleTick, 0);
    EXPECT_EQ(E().Frame.CycleRestart, 0.0f);
    Block(8);
    EXPECT_EQ(E().Frame.CycleRestart, 0.0f);   // until the next check, nine frames on
    Block(1);
    EXPECT_EQ(E().Frame.CycleRestart, 1.0f);
    Host.Time.ppqPos = -0.5;   // a negative position gives a negative remainder, not a restart
    Block(18);
    EXPECT_EQ(E().CycleTick, -12);
    EXPECT_EQ(E().Frame.CycleRestart, 1.0f);
}

TEST_F(Engine, StoppedTransportHoldsTheLfoAtItsStartPhases) {
    SetTime(44100.0, 120.0, false);
    Prime();
    Host.SetParameter(kSyncedValue, 1.0f);   // 4 Hz
    Host.SetParameter(kLfoPha, 0.5f);
    for (int i = 0; i < 20; ++i) {
        Block(441);
        EXPECT_LT(E().LfoOsc.PhaseA, 10.0f * 4.0f / 44100.0f);
        EXPECT_EQ(E().Frame.CycleRestart, 1.0f);
    }
    SetTime(44100.0, 120.0, true);
    Block(4410);
    EXPECT_GT(E().LfoOsc.PhaseA, 0.3f);   // runs freely once playing
}

TEST_F(Engine, UnusableTimeInformationKeepsTheLastValidValues) {
    SetTime(48000.0, 140.0, true);
    Block(64);
    EXPECT_EQ(float(E().Tempo), 140.0f);
    struct Case { const char* what; double tempo; int32_t flags; bool serve; } cases[] = {
        {"no time info", 0.0, 0, false},
        {"tempo 0", 0.0, kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying, true},
        {"negative tempo", -20.0, kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying, true},
        {"NaN tempo", NAN, kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying, true},
        {"tempo not valid", 33.0, kVstPpqPosValid | kVstTransportPlaying, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Host.ServeTime = c.serve;
        Host.Time.tempo = c.tempo;
        Host.Time.flags = c.flags;
        Block(64);
        EXPECT_EQ(float(E().Tempo), 140.0f);
        EXPECT_TRUE(std::isfinite(float(E().SamplesPerBeat)));
    }
    Host.ServeTime = false;
    Block(64);
    EXPECT_FALSE(E().Playing);   // without information the transport counts as stopped
}

TEST_F(Engine, BeforeAnyTimeInformationTheTempoIs120AndTheTransportStopped) {
    TestHost host{&InProcessPlugin};
    host.ServeTime = false;
    ASSERT_NE(host.Open(), nullptr);
    std::vector<float> in(256, 0.5f), outL(256), outR(256);
    host.Process(in.data(), in.data(), outL.data(), outR.data(), 256);
    const TFxEngine& e = static_cast<APlugin*>(host.Effect()->object)->Engine;
    EXPECT_EQ(float(e.Tempo), 120.0f);
    EXPECT_FALSE(e.Playing);
    EXPECT_EQ(int32_t(e.SrInt), 44100);
}

TEST_F(Engine, AbsurdSampleRatesKeepEveryPositionInsideItsLine) {
    struct Case { float rate; int32_t srInt; } cases[] = {
        {0.0f, 44100}, {-1.0f, 44100}, {NAN, 44100}, {INFINITY, 44100}, {384000.0f, 384000},
        {1e9f, 768000}, {10.0f, 8000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        SetTime(44100.0, 120.0, true);
        Block(8);
        Host.Dispatch(effSetSampleRate, 0, 0, nullptr, c.rate);
        for (int32_t p : {kSyncedValue, kFlaDel, kDecSr, kOutMix}) Host.SetParameter(p, 1.0f);
        std::vector<float> in(3000), outL(3000), outR(3000);
        for (size_t i = 0; i < in.size(); ++i) in[i] = float(std::sin(double(i) * 0.05));
        for (int32_t fx = 0; fx < 8; ++fx) {
            Host.SetParameter(kOutSel, float(fx / 7.0));
            Host.Process(in.data(), in.data(), outL.data(), outR.data(), 3000);
            for (float v : outL) ASSERT_TRUE(std::isfinite(v)) << "effect " << fx;
        }
        EXPECT_EQ(int32_t(E().SrInt), c.srInt);
        EXPECT_LT(E().Frame.PosLong, kLongLineLength);
        EXPECT_LT(E().Frame.PosSecond, kSecondLineLength);
        EXPECT_LT(E().Frame.PosFlanger, kFlangerLineLength);
        EXPECT_LT(E().Frame.PosTenth, kCombLineLength);
    }
}

// Below 8 kHz the flanger's ring was a few samples long and its feedback diverged (at 1 kHz to
// 2e38 and then NaN). Every rate a host can set, every effect, its controls at their ends or at
// random: from noise at half scale the output stays finite and below the input bound.
TEST_F(Engine, NoRateAHostCanSetMakesAnyEffectDiverge) {
    const float rates[] = {1.0f, 1000.0f, 3000.0f, 7999.0f, 8000.0f, 8049.0f, 11025.0f, 44100.0f, 192000.0f, FLT_MAX};
    std::vector<std::vector<float>> settings = {std::vector<float>(kNumParams, 1.0f),
                                                std::vector<float>(kNumParams, 0.0f)};
    TRandom pick(2024);
    for (int32_t k = 0; k < 2; ++k) {
        std::vector<float> values(kNumParams);
        for (float& v : values) v = pick.Below(3) == 0 ? float(pick.Below(2)) : pick.Uniform01();
        settings.push_back(values);
    }
    const int32_t sound[] = {kLfoWav, kLfoAmp, kLfoPha, kDelFbck, kDelDmpLow, kDelDmpHigh, kGliAmp, kGliCtrl1,
                             kGliCtrl2, kFlaDel, kFlaFbck, kFlaDmp, kPhaFrq, kPhaDpt, kPhaFbck, kDecSr, kDecBd,
                             kDecSat, kSliSp, kSliQtz, kSliVar, kRngTon, kRngFbck, kRngDmp, kChdSel, kChdRoot,
                             kChdFbck};
    settings.push_back(std::vector<float>(kNumParams, -1.0f));   // the factory program with "Fla Del" 0.959
    settings.back()[kFlaDel] = 0.959f;
    const size_t block = 4096;
    std::vector<float> inL(block), inR(block), outL(block), outR(block);
    for (float rate : rates) {
        for (size_t set = 0; set < settings.size(); ++set) {
            Host.Close();
            SetUp();
            Host.ServeTime = false;
            Host.Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
            Block(64);   // the rate values the controls are worked out from
            for (int32_t p : sound)
                if (settings[set][size_t(p)] >= 0.0f) Host.SetParameter(p, settings[set][size_t(p)]);
            TRandom noise(uint64_t(set) + 1);
            for (int32_t fx = 0; fx < kNumEffects; ++fx) {
                SCOPED_TRACE(::testing::Message() << "rate " << rate << ", setting " << set << ", effect " << fx);
                Host.SendMidi({{0x90, kSelectNotes[fx], 100}, {0x90, 57, 100}});
                Host.SetParameter(kOutMix, 1.0f);
                Host.SetParameter(kOutAmp, 1.0f);
                float peak = 0.0f;
                for (int32_t b = 0; b < 4; ++b) {
                    for (size_t i = 0; i < block; ++i) {
                        inL[i] = noise.Uniform01() - 0.5f;
                        inR[i] = noise.Uniform01() - 0.5f;
                    }
                    Host.Process(inL.data(), inR.data(), outL.data(), outR.data(), int32_t(block));
                    for (size_t i = 0; i < block; ++i) {
                        ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i])) << "block " << b;
                        peak = std::max({peak, std::fabs(outL[i]), std::fabs(outR[i])});
                    }
                }
                EXPECT_LE(peak, kInputBound);
            }
        }
    }
}

TEST_F(Engine, NonFiniteInputIsTakenAsSilenceAndNeverReachesTheFeedback) {
    Host.SetParameter(kOutMix, 1.0f);
    Host.SetParameter(kOutSel, 0.0f);
    Host.SetParameter(kDelFbck, 1.0f);
    std::vector<float> in(2048, 0.25f), outL(2048), outR(2048);
    in[10] = NAN;
    in[11] = INFINITY;
    in[12] = -INFINITY;
    for (int i = 0; i < 100; ++i) {
        Host.Process(in.data(), in.data(), outL.data(), outR.data(), 2048);
        for (float v : outL) ASSERT_TRUE(std::isfinite(v));
    }
}

TEST_F(Engine, HugeFiniteInputIsTakenAsSilenceSoNoEffectRingsOnIt) {
    // The bound itself passes, the next float beyond it does not (seen through the dry path).
    Host.SetParameter(kOutMix, 0.0f);
    Host.SetParameter(kOutAmp, 1.0f);
    const float beyond = std::nextafter(kInputBound, INFINITY);
    std::vector<float> in = {kInputBound, -kInputBound, beyond, -beyond, 1e30f, -FLT_MAX, 0.001f};
    const std::vector<float> expected = {kInputBound, -kInputBound, 0.0f, 0.0f, 0.0f, 0.0f, 0.001f};
    std::vector<float> outL(in.size()), outR(in.size());
    Host.Process(in.data(), in.data(), outL.data(), outR.data(), int32_t(in.size()));
    EXPECT_EQ(outL, expected);
    EXPECT_EQ(outR, expected);

    // A burst of 1e30 once kept TriCombs loud for seconds, and stored in its lines while another
    // effect played. Now every effect plays after such a burst exactly what it plays after silence.
    auto render = [this, beyond](int32_t fx, bool burst) {
        Host.Close();   // a fresh instance for each render
        SetUp();
        SetTime(48000.0, 120.0, true);
        Prime();
        Host.SendMidi({{0x90, kSelectNotes[fx], 100}, {0x90, 53, 100}});
        TRandom rng(99);
        const size_t block = 512;
        std::vector<float> inL(block), inR(block), out(2 * 3 * 48000);
        for (size_t b = 0; b < out.size() / (2 * block); ++b) {
            if (b == 100) Host.SendMidi({{0x90, 47, 100}});   // TriCombs again, on what it stored
            if (b == 200) Host.SendMidi({{0x90, kSelectNotes[fx], 100}});
            for (size_t i = 0; i < block; ++i) {
                const size_t frame = block * b + i;
                const float noise = rng.Uniform01() - 0.5f;
                const bool huge = frame >= 4800 && frame < 5800;
                inL[i] = huge ? (burst ? 1e30f : 0.0f) : noise;
                inR[i] = huge ? (burst ? std::copysign(beyond + 1e6f * std::fabs(noise), noise) : 0.0f) : noise;
            }
            float* o = &out[2 * block * b];
            Host.Process(inL.data(), inR.data(), o, o + block, int32_t(block));
        }
        return out;
    };
    for (int32_t fx = 0; fx < kNumEffects; ++fx) {
        SCOPED_TRACE(fx);
        const std::vector<float> afterBurst = render(fx, true), afterSilence = render(fx, false);
        const auto differ = std::mismatch(afterBurst.begin(), afterBurst.end(), afterSilence.begin());
        if (differ.first != afterBurst.end()) {
            const size_t at = size_t(differ.first - afterBurst.begin());   // blocks of 512 left, 512 right
            ADD_FAILURE() << "frame " << at / 1024 * 512 + at % 512 << (at % 1024 < 512 ? " left: " : " right: ")
                          << *differ.first << " after the burst, " << *differ.second << " after silence";
        }
    }
}

TEST_F(Engine, WithTheWetSignalClosedTheOutputIsTheInputTimesTheGain) {
    Host.SetParameter(kOutSel, 4.0f / 7.0f);
    Host.SetParameter(kOutMix, 0.0f);
    Host.SetParameter(kOutAmp, 0.5f);
    std::vector<float> in(512), outL(512), outR(512);
    for (size_t i = 0; i < in.size(); ++i) in[i] = float(i) / 512.0f - 0.5f;
    Host.Process(in.data(), in.data(), outL.data(), outR.data(), 512);
    for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(outL[i], in[i] * 0.5f);
}

TEST_F(Engine, AudioEventsAndParameterCallsAllocateNothing) {
    std::vector<float> in(4096, 0.1f), outL(4096), outR(4096);
    Host.Process(in.data(), in.data(), outL.data(), outR.data(), 512);
    VstMidiEvent notes[2]{};
    notes[0].type = notes[1].type = kVstMidiType;
    notes[0].midiData[0] = char(0x90);
    notes[0].midiData[1] = 48;
    notes[0].midiData[2] = 100;
    notes[1].midiData[0] = char(0xB0);
    notes[1].midiData[2] = 64;
    struct { VstInt32 numEvents; VstIntPtr reserved; VstEvent* events[2]; } list{
        2, 0, {reinterpret_cast<VstEvent*>(&notes[0]), reinterpret_cast<VstEvent*>(&notes[1])}};
    alloc_count::Start();
    for (int fx = 0; fx < 8; ++fx) {
        Host.SetParameter(kOutSel, float(fx / 7.0));
        for (int32_t p = 0; p < 64; ++p) Host.SetParameter(p, 0.37f);
        Host.Dispatch(effProcessEvents, 0, 0, &list);
        Host.Process(in.data(), in.data(), outL.data(), outR.data(), 512);
        Host.Process(in.data(), in.data(), outL.data(), outR.data(), 4096);   // longer than the working buffers
        Host.Process(in.data(), in.data(), outL.data(), outR.data(), 512, false);
    }
    EXPECT_EQ(alloc_count::Stop(), 0);
}

TEST_F(Engine, ResumingLaysOutTheLinesWithoutChangingWhatTheyHold) {
    // Two seconds of the synced delay at 48 kHz after a click; the record resumed before the first
    // block, after the click went into the line (the echo comes a beat later), or never.
    auto render = [](int32_t resumeAtBlock) {
        TestHost host{&InProcessPlugin};
        EXPECT_NE(host.Open(), nullptr);
        static_cast<APlugin*>(host.Effect()->object)->Engine.SeedRandom(1234);
        host.Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        host.Time.sampleRate = 48000.0;
        host.Time.tempo = 120.0;
        host.Time.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
        host.AdvanceTime = true;
        std::vector<float> in(512, 0.0f), outL(512), outR(512), heard;
        for (int32_t b = 0; b < 188; ++b) {
            if (b == resumeAtBlock) host.Dispatch(effMainsChanged, 0, 1);
            if (b == 1) {
                host.SetParameter(kOutSel, 0.0f);
                host.SetParameter(kOutMix, 1.0f);
                host.SetParameter(kSyncedValue, 0.5f);
            }
            in[0] = b == 2 ? 1.0f : 0.0f;
            host.Process(in.data(), in.data(), outL.data(), outR.data(), 512);
            heard.insert(heard.end(), outL.begin(), outL.end());
        }
        return heard;
    };
    const std::vector<float> never = render(-1);
    EXPECT_GT(*std::max_element(never.begin(), never.end()), 0.5f);   // the echo is there
    EXPECT_EQ(render(0), never);
    EXPECT_EQ(render(20), never);
}
