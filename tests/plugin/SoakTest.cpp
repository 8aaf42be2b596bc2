// Long randomised runs through the record: random triggers, MIDI, parameter values (NaN, infinite
// and out of range among them), tempi, transport jumps, block sizes and input material. After every
// block the outputs must be finite, free of subnormal numbers and within kOutputBound; the feedback
// state of every effect (filter memories, loop returns, delay-line contents) must be finite and
// free of subnormal numbers too, or a later block would pay for it in denormal arithmetic.
//
// The bound: the input here stays within +-1, "OUT Mix" and "OUT Amp" are at most 1, so the output
// is at most the larger of the input and the wet signal. The loudest wet path is TriCombs: three
// combs summed at 0.29 each, with feedback up to 0.999999 through a 6.5 kHz low-pass; on noise and
// tones that resonance stays far below 64, while a loop that grew without limit passes it quickly.
#include "tests/support/PluginFixture.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#ifndef QBFX_SOAK_SECONDS
#define QBFX_SOAK_SECONDS 60
#endif

namespace {

constexpr double kSoakSeconds = QBFX_SOAK_SECONDS;
constexpr float kOutputBound = 64.0f;
constexpr int32_t kMaxBlock = 4096;

bool Subnormal(float x) { return std::fpclassify(x) == FP_SUBNORMAL; }

struct Soak : PluginFixture {
    TRandom Rng{0x5EED};
    std::vector<float> InL = std::vector<float>(kMaxBlock), InR = std::vector<float>(kMaxBlock);
    std::vector<float> OutL = std::vector<float>(kMaxBlock), OutR = std::vector<float>(kMaxBlock);
    double TonePhase = 0.0, ToneStep = 0.01;
    int64_t Frames = 0;
    float Peak = 0.0f;
    std::string Context;   // what the run was doing, for failure messages
    std::string Fault;     // the first thing found wrong in the state

    float Uniform(float lo, float hi) { return lo + (hi - lo) * Rng.Uniform01(); }
    bool Chance(float p) { return Rng.Uniform01() < p; }

    // A parameter value: mostly inside 0..1, sometimes one a careless host might send.
    float ParameterValue() {
        if (!Chance(0.1f)) return Rng.Uniform01();
        const float odd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity(), -1.0f, 2.0f, 1e30f, -0.0f, 1.0f, 0.0f,
                             std::numeric_limits<float>::denorm_min(), 1e-40f};
        return odd[Rng.Below(int32_t(std::size(odd)))];
    }

    void RandomHostActions() {
        if (Chance(0.3f)) Host.SetParameter(Rng.Below(kNumParams), ParameterValue());
        if (Chance(0.15f)) {   // a trigger button pressed or released
            const int32_t base = Chance(0.5f) ? kTrgFx1 : kTrgSv1;
            Host.SetParameter(base + Rng.Below(8), Chance(0.6f) ? 1.0f : 0.0f);
        }
        if (Chance(0.3f)) {
            std::vector<std::vector<uint8_t>> midi;
            const int32_t count = 1 + Rng.Below(4);
            for (int32_t i = 0; i < count; ++i) {
                const int32_t kind = Rng.Below(10);
                const auto channel = uint8_t(Rng.Below(16));
                if (kind < 5) {
                    const auto note = uint8_t(35 + Rng.Below(26));
                    const auto velocity = uint8_t(Chance(0.4f) ? 0 : 1 + Rng.Below(127));
                    midi.push_back({uint8_t((Chance(0.2f) ? 0x80 : 0x90) | channel), note, velocity});
                } else if (kind < 7) {
                    midi.push_back({uint8_t(0xB0 | channel), 64, uint8_t(Chance(0.5f) ? 0 : 127)});
                } else if (kind < 9) {
                    midi.push_back({uint8_t(0xB0 | channel), uint8_t(Rng.Below(128)), uint8_t(Rng.Below(128))});
                } else {   // anything at all, running status and stray data bytes included
                    midi.push_back({uint8_t(Rng.Next()), uint8_t(Rng.Next()), uint8_t(Rng.Next())});
                }
            }
            Host.SendMidi(midi, Rng.Below(512));
        }
        if (Chance(0.005f)) Host.Dispatch(effSetProgram, 0, Rng.Below(kNumPrograms));
    }

    // Music-like material in spans of one block: silence, tones, noise, clicks, full-scale squares,
    // and now and then a sample that is not a number.
    void FillInput(int32_t n) {
        const int32_t kind = Rng.Below(6);
        const float level = Uniform(0.0f, 1.0f);
        if (Chance(0.1f)) ToneStep = Uniform(0.0001f, 0.2f);
        for (int32_t i = 0; i < n; ++i) {
            float l = 0.0f, r = 0.0f;
            switch (kind) {
            case 0: break;   // silence, where tails decay
            case 1:
            case 2:
                TonePhase += ToneStep;
                l = float(level * std::sin(TonePhase));
                r = float(level * std::sin(TonePhase * 1.01));
                break;
            case 3:
                l = level * Uniform(-1.0f, 1.0f);
                r = level * Uniform(-1.0f, 1.0f);
                break;
            case 4: l = r = (i % 997 == 0) ? level : 0.0f; break;
            default: l = r = (i / 50) % 2 ? level : -level; break;
            }
            InL[size_t(i)] = l;
            InR[size_t(i)] = r;
        }
        if (n > 0 && Chance(0.02f)) {
            const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity()};
            InL[size_t(Rng.Below(n))] = bad[Rng.Below(3)];
            InR[size_t(Rng.Below(n))] = bad[Rng.Below(3)];
        }
    }

    void Note(const char* what, float v) {
        if (!Fault.empty()) return;
        if (!std::isfinite(v)) Fault = std::string(what) + " is not finite: " + std::to_string(v);
        else if (Subnormal(v)) Fault = std::string(what) + " is subnormal";
    }
    void Note(const char* what, const TLp1& f) {
        Note(what, f.X1);
        Note(what, f.Y1);
        Note(what, f.Output);
    }
    void Note(const char* what, const THp1& f) {
        Note(what, f.X1);
        Note(what, f.Y1);
        Note(what, f.Output);
    }
    // The line's output, the few samples just written and a scattering of others (or all of it).
    void Note(const char* what, const TDelayMono& line, int32_t pos, bool whole) {
        Note(what, line.Output);
        const TSampleBuffer& b = line.Buffer;
        const int32_t n = int32_t(b.size());
        if (n == 0) return;
        if (whole) {
            for (float x : b) Note(what, x);
            return;
        }
        for (int32_t j = 0; j < 32; ++j) Note(what, b[size_t(((pos - j) % n + n) % n)]);
        for (int32_t j = 0; j < 32; ++j) Note(what, b[size_t(Rng.Below(n))]);
    }

    void CheckState(bool whole) {
        const TFxEngine& e = Plugin->Engine;
        Note("wet L", e.WetL);
        Note("wet R", e.WetR);
        Note("LFO L", e.Frame.LfoRawL);
        Note("LFO R", e.Frame.LfoRawR);
        Note("synced delay line L", e.Delay.DelLineL, e.Frame.PosLong, whole);
        Note("synced delay line R", e.Delay.DelLineR, e.Frame.PosLong, whole);
        Note("synced delay low-pass L", e.Delay.DelLowL);
        Note("synced delay low-pass R", e.Delay.DelLowR);
        Note("synced delay high-pass L", e.Delay.DelHighL);
        Note("synced delay high-pass R", e.Delay.DelHighR);
        Note("glide line L", e.Glide.GliLineL, e.Frame.PosSecond, whole);
        Note("glide line R", e.Glide.GliLineR, e.Frame.PosSecond, whole);
        Note("flanger line L", e.Flanger.FlaLineL, e.Frame.PosFlanger, whole);
        Note("flanger line R", e.Flanger.FlaLineR, e.Frame.PosFlanger, whole);
        Note("flanger low-pass L", e.Flanger.FlaLowL);
        Note("flanger low-pass R", e.Flanger.FlaLowR);
        Note("flanger return L", e.Flanger.FlaBackL);
        Note("flanger return R", e.Flanger.FlaBackR);
        for (size_t s = 0; s < size_t(kPhaserStages); ++s) {
            Note("phaser stage L", e.Phaser.PhaStagesL[s].State);
            Note("phaser stage L", e.Phaser.PhaStagesL[s].Output);
            Note("phaser stage R", e.Phaser.PhaStagesR[s].State);
            Note("phaser stage R", e.Phaser.PhaStagesR[s].Output);
        }
        Note("phaser output L", e.Phaser.PhaOutL);
        Note("phaser output R", e.Phaser.PhaOutR);
        Note("decimator L", e.Decimator.DecOutL);
        Note("decimator R", e.Decimator.DecOutR);
        Note("slicer L", e.Slicer.SliOutL);
        Note("slicer R", e.Slicer.SliOutR);
        Note("ringer carrier", e.Ringer.RngOsc.Value);
        Note("ringer line L", e.Ringer.RngLineL, e.Frame.PosLong, whole);
        Note("ringer line R", e.Ringer.RngLineR, e.Frame.PosLong, whole);
        Note("ringer low-pass L", e.Ringer.RngLowL);
        Note("ringer low-pass R", e.Ringer.RngLowR);
        Note("ringer output L", e.Ringer.RngOutL);
        Note("ringer output R", e.Ringer.RngOutR);
        for (size_t k = 0; k < size_t(kCombs); ++k) {
            Note("comb line L", e.TriCombs.ChdLinesL[k], e.Frame.PosTenth, whole);
            Note("comb line R", e.TriCombs.ChdLinesR[k], e.Frame.PosTenth, whole);
            Note("comb glide", e.TriCombs.ChdGlide[k]);
            Note("comb low-pass L", e.TriCombs.ChdLowL[k]);
            Note("comb low-pass R", e.TriCombs.ChdLowR[k]);
            Note("comb return L", e.TriCombs.ChdBackL[k]);
            Note("comb return R", e.TriCombs.ChdBackR[k]);
        }
        Note("combs L", e.TriCombs.ChdOutL);
        Note("combs R", e.TriCombs.ChdOutR);
        ASSERT_TRUE(Fault.empty()) << Fault << " (" << Context << ", frame " << Frames << ")";
        // The shared write positions stay inside their rings, and the rings inside their lines.
        ASSERT_TRUE(e.Frame.PosLong >= 0 && e.Frame.PosLong < e.Frame.RingLong && e.Frame.RingLong <= kLongLineLength) << Context;
        ASSERT_TRUE(e.Frame.PosSecond >= 0 && e.Frame.PosSecond < e.Frame.RingSecond && e.Frame.RingSecond <= kSecondLineLength) << Context;
        ASSERT_TRUE(e.Frame.PosFlanger >= 0 && e.Frame.PosFlanger < e.Frame.RingFlanger && e.Frame.RingFlanger <= kFlangerLineLength)
            << Context;
        ASSERT_TRUE(e.Frame.PosTenth >= 0 && e.Frame.PosTenth < e.Frame.RingTenth && e.Frame.RingTenth <= kCombLineLength) << Context;
    }

    void RunBlock(int32_t n) {
        FillInput(n);
        const bool replacing = !Chance(0.05f);
        std::fill(OutL.begin(), OutL.begin() + n, 0.0f);
        std::fill(OutR.begin(), OutR.begin() + n, 0.0f);
        Host.Process(InL.data(), InR.data(), OutL.data(), OutR.data(), n, replacing);
        for (int32_t i = 0; i < n; ++i) {
            for (float y : {OutL[size_t(i)], OutR[size_t(i)]}) {
                ASSERT_TRUE(std::isfinite(y)) << "output " << y << " at frame " << Frames + i << " (" << Context << ")";
                ASSERT_FALSE(Subnormal(y)) << "subnormal output at frame " << Frames + i << " (" << Context << ")"
;
                ASSERT_LE(std::fabs(y), kOutputBound) << "at frame " << Frames + i << " (" << Context << ")";
                Peak = std::max(Peak, std::fabs(y));
            }
        }
        Frames += n;
    }

    int32_t BlockSize() {
        if (Chance(0.01f)) return 0;
        if (Chance(0.5f)) return 1 + Rng.Below(kMaxBlock);
        const int32_t usual[] = {32, 64, 128, 256, 441, 512, 1024, 2048, 4096};
        return usual[Rng.Below(int32_t(std::size(usual)))];
    }

    // Runs `total` frames told to be at `rate`, with a fresh tempo and transport every 24,000 to
    // 144,000 frames; `spoil` may then spoil the time information before each block.
    template <class Spoil>
    void RunFor(double rate, int64_t total, Spoil&& spoil) {
        int64_t done = 0, nextTempo = 0;
        int32_t blocks = 0;
        while (done < total) {
            if (done >= nextTempo) {
                const double tempo = Uniform(20.0f, 300.0f);
                const double ppq = Chance(0.2f) ? Uniform(0.0f, 10000.0f) : Host.Time.ppqPos;
                SetTime(rate, tempo, !Chance(0.15f), ppq);
                Context = "rate " + std::to_string(rate) + ", tempo " + std::to_string(tempo);
                nextTempo = done + int64_t(48000.0f * Uniform(0.5f, 3.0f));
            }
            spoil();
            RandomHostActions();
            const int32_t n = int32_t(std::min<int64_t>(BlockSize(), total - done));
            RunBlock(n);
            if (HasFatalFailure()) return;
            done += n;
            if (++blocks % 16 == 0) {
                CheckState(false);
                if (HasFatalFailure()) return;
            }
        }
        CheckState(true);
    }
};

struct SoakAtRate : Soak, ::testing::WithParamInterface<double> {};

TEST_P(SoakAtRate, RandomHostActionsKeepOutputAndStateFiniteBoundedAndNormal) {
    Rng.Seed(uint64_t(GetParam()));
    Plugin->Engine.SeedRandom(uint64_t(GetParam()) + 1);
    RunFor(GetParam(), int64_t(GetParam() * kSoakSeconds), [] {});
    RecordProperty("peak", std::to_string(Peak));
}

// Regression: a subnormal "OUT Amp" made every output sample subnormal, and a subnormal "Rng Fbck"
// filled the ringer's echo lines with subnormal numbers.
TEST_F(Soak, SubnormalParameterValuesLeaveNoSubnormalOutputOrLineContents) {
    Prime();
    Host.SetParameter(kTrgFx1 + 6, 1.0f);
    Host.SetParameter(kOutMix, 0.5f);
    Host.SetParameter(kOutAmp, 1e-40f);
    Host.SetParameter(kRngFbck, 1e-40f);
    for (int32_t b = 0; b < 100; ++b) {
        FillInput(512);
        Host.Process(InL.data(), InR.data(), OutL.data(), OutR.data(), 512);
        for (int32_t i = 0; i < 512; ++i) ASSERT_FALSE(Subnormal(OutL[size_t(i)]) || Subnormal(OutR[size_t(i)]));
    }
    CheckState(true);
}

INSTANTIATE_TEST_SUITE_P(Rates, SoakAtRate, ::testing::Values(44100.0, 48000.0, 96000.0, 192000.0));

// Rates, tempi and time information no host should send, each for a stretch of random actions.
TEST_F(Soak, AbsurdRatesTempiAndTimeInformationKeepOutputAndStateSane) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // Two seconds' worth at 48 kHz for each case (a fifth of that under the sanitizers).
    const auto frames = int64_t(48000.0 * kSoakSeconds / 30.0);
    for (double rate : {0.0, -1.0, nan, inf, 1e9, 384000.0, 1.0, 22050.0}) {
        RunFor(rate, frames, [] {});
        if (HasFatalFailure()) return;
    }
    const double tempi[] = {0.0, nan, -120.0, inf, 1e9, 1e-9, 20.0, 300.0};
    for (double tempo : tempi) {
        RunFor(48000.0, frames, [&] { Host.Time.tempo = tempo; });
        if (HasFatalFailure()) return;
    }
    RunFor(44100.0, frames, [&] { Host.ServeTime = Chance(0.5f); });
    if (HasFatalFailure()) return;
    Host.ServeTime = true;
    RunFor(96000.0, frames, [&] {
        if (Chance(0.3f)) Host.Time.flags = int32_t(Rng.Next());
        const double positions[] = {nan, inf, -inf, 1e300, -1e9, 0.0};
        if (Chance(0.3f)) Host.Time.ppqPos = positions[Rng.Below(6)];
    });
    if (HasFatalFailure()) return;
    // The rate changes under a running block stream, tail and all.
    for (int32_t i = 0; i < 20; ++i) {
        const double rates[] = {0.0, -1.0, nan, 1e9, 384000.0, 44100.0, 192000.0, 8000.0};
        RunFor(rates[Rng.Below(8)], frames / 10, [] {});
        if (HasFatalFailure()) return;
    }
}

}  // namespace
