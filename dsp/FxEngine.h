// The effect's audio engine: the state every effect routine shares, the DSP objects of the eight
// effects and the LFO, and the per-frame loop that runs them. Audio thread only, except the
// Shared words: working values written by parameter changes on any thread, and the tempo and
// scope values that the parameter handler and the editor read.
#pragma once

#include "dsp/BuffersClass.h"
#include "dsp/FiltresClass.h"
#include "dsp/FxFrame.h"
#include "dsp/FxFlanger.h"
#include "dsp/FxGlide.h"
#include "dsp/FxSyncedDelay.h"
#include "dsp/Numbers.h"
#include "dsp/OscillosClass.h"
#include "dsp/Random.h"
#include "dsp/Shared.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

constexpr int32_t kSliceBufferLength = 1536001;  // slicer record buffers, index 0..1,536,000
constexpr int32_t kSliceBufferLast = kSliceBufferLength - 1;
// The slicer's bar (four beats) must fit its record buffers: slower beats are cut to this length.
constexpr int32_t kSlicerMaxBeat = kSliceBufferLast / 4;
constexpr int32_t kScopeLength = 113;            // entries 0..111 are shown
constexpr int32_t kPhaserStages = 6;
constexpr int32_t kCombs = 3;
constexpr int32_t kEffectCount = 8;     // effect indices 0..7
constexpr int32_t kNoEffect = -1;       // what a selection outside them runs: every effect deselected

extern const std::array<int32_t, 24> kDecLevelTable;
extern const std::array<std::array<int32_t, 3>, 15> kChordTable;

// The largest whole number k for which k > q is false: floor(q), with NaN and very large q above
// every counter and very negative q below every counter.
int64_t WholeNotAbove(Wide q);

// The slicer's limits for its three counters at one beat length (already cut to the buffers),
// speed and quantisation: the bar 4 x beat, the slice beat / speed, the random change beat / quant.
struct TSlicerLimits {
    TSlicerLimits() = default;
    TSlicerLimits(float beat, int32_t speed, int32_t quant);
    float Beat = -1.0f;
    int32_t Speed = 0, Quant = 0;
    int64_t Bar = 0, Slice = 0, Change = 0;
};

// What the host told us about time for one block, already checked and defaulted.
struct TBlockTime {
    double PpqPos = 0.0;       // song position in quarter notes
    double Tempo = 120.0;      // beats per minute, finite and above 0
    bool Playing = false;      // transport flag
    float SampleRate = 44100.0f;  // finite, within the supported range
};

class TFxEngine {
public:
    TFxEngine();

    // Per block, before the first frame: tempo and sample-rate values, stored as 32-bit floats.
    void BeginBlock(const TBlockTime& time);
    // Runs n frames; non-finite input samples are taken as silence.
    void ProcessFrames(const float* inL, const float* inR, float* outL, float* outR, int32_t n);

    // Per-frame steps, in the order the loop runs them; defined inline (the effects in their own
    // headers) so that the loop compiled for one selected effect keeps only what that effect runs.
    void ReadInputFrame(float left, float right);
    void AdvanceWritePositions();
    void ProcessLfo(int32_t wave);
    void RecordScope();
    void ProcessPhaser(int32_t selectedFx);
    void ProcessDecimator(int32_t selectedFx);
    void ProcessSlicer(int32_t selectedFx);
    void ProcessRinger(int32_t selectedFx);
    void ProcessTriCombs(int32_t selectedFx);
    void PickWetPair(int32_t selectedFx);
    void CheckCycle();
    void WriteOutputFrame(float& left, float& right);

    void SeedRandom(uint64_t seed);

    // Before the first block only, while every line still holds nothing but silence: writes that
    // silence over the part of the lines a rate of `sampleRate` goes round (for the slicer, a bar
    // down to 60 beats per minute), so that their memory is in place before the audio thread
    // reaches it instead of being faulted in page by page while it plays. Not on the audio thread.
    void PrepareLines(float sampleRate);

    // ---- the frame the effects read ----
    TFxFrame Frame;
    float WetL = 0, WetR = 0;
    Shared<int32_t> Started = 0;   // set by the first block

    // ---- host time and rate (audio thread writes, the parameter handler and editor read) ----
    int32_t SongTicks = 0;
    bool Playing = false;
    float HostSampleRate = 44100.0f;   // the LFO runs on the host's float rate
    Shared<float> Tempo = 0.0f, BeatsPerSecond = 0.0f, SecondsPerBeat = 0.0f, SamplesPerBeat = 0.0f;
    Shared<int32_t> SrInt = 0, SrTimes8 = 0, SrHundredth = 0, SrTenth = 0;
    int32_t ScopeInterval = 0;

    // ---- working values of the parameters (written by parameter changes on any thread) ----
    Shared<int32_t> SelectedFx = 0;
    Shared<float> OutMix = 0.0f, OutAmp = 0.0f;
    Shared<int32_t> SyncStep = 0, SyncStepCombs = 0, SyncDelayLength = 0;
    Shared<float> SyncSlice = 0.0f;
    Shared<int32_t> LfoWave = 0;
    Shared<float> LfoAmp = 0.0f, LfoPhase = 0.0f, LfoRate = 0.0f;
    Shared<float> PhaFreq = 0.0f, PhaFeedback = 0.0f;
    Shared<int32_t> PhaDepth = 0;
    Shared<int32_t> DecHold = 0;
    Shared<float> DecLevels = 0.0f, DecSat = 0.0f;
    Shared<int32_t> SliSpeed = 0, SliQuant = 0, SliVar = 0;
    Shared<int32_t> SliRestart = 1;   // raised by a speed change, taken by the slicer
    Shared<float> RngTone = 0.0f, RngFeedback = 0.0f, RngDamp = 0.0f;
    Shared<int32_t> ChdSel = 0, ChdRoot = 0;
    Shared<float> ChdFeedback = 0.0f;

    // ---- LFO ----
    TmultiDualSingle LfoOsc;

    // ---- scope history for the editor ----
    std::array<Shared<float>, kScopeLength> ScopeL{}, ScopeR{};
    int32_t ScopeCounter = 0;

    // ---- cycle check ----
    int32_t SyncDivider = 0, CycleTick = 0, PrevCycleTick = 0;

    // ---- the effects ----
    TSyncedDelay Delay;
    TGlide Glide;
    TFlanger Flanger;

    // ---- Phaser ----
    std::array<TAp11, kPhaserStages> PhaStagesL{}, PhaStagesR{};
    float PhaFreqL = 0, PhaFreqR = 0, PhaOutL = 0, PhaOutR = 0;
    float PhaOmega = 0;          // 6.2831853071795 / SrInt, rounded, for the rate below
    int32_t PhaOmegaRate = 0;    // the SrInt PhaOmega was computed for

    // ---- Decimator ----
    float DecPhase = 0;
    int32_t DecLastStep = 0;
    float DecHeldL = 0, DecHeldR = 0, DecOutL = 0, DecOutR = 0;
    // The clock increment, kept for the hold, rate and divider it was computed from.
    Wide DecIncrement = 0.0;
    int32_t DecIncrementHold = 0, DecIncrementRate = 0, DecIncrementStep = 0;
    // The outputs depend on the held pair, the levels and the saturation alone: they are worked
    // out again only when one of these changes (bit for bit).
    std::array<uint32_t, 4> DecOutFor{};
    bool DecOutValid = false;

    // ---- Realtime slicer ----
    TSampleBuffer SliceBufferL, SliceBufferR;
    int32_t SliRecPos = 0, SliPos = -1, SliReadPos = -1, SliChangeCount = 0, SliChoice = 0;
    float SliChance = 0;
    uint8_t SliReverse = 0;
    TSampleBuffer SliEnvelope;        // room for the longest slice
    int32_t SliEnvelopeLength = 0;    // entries in use
    float SliOutL = 0, SliOutR = 0;
    TRandom SliRng;
    TSlicerLimits SliLimits;
    // The read position of the slice's first sample, for the choice, synced value, direction and
    // beat it was worked out for.
    int32_t SliStart = 0, SliStartChoice = -1;
    uint32_t SliStartSync = 0;
    uint8_t SliStartReverse = 0;
    float SliStartBeat = -1.0f;

    // ---- Ringer ----
    TPara RngOsc;
    Tdelay1p RngLineL{kLongLineLength}, RngLineR{kLongLineLength};
    TLp1 RngLowL, RngLowR;
    float RngOutL = 0, RngOutR = 0;

    // ---- TriCombs ----
    std::array<Tdelay2p, kCombs> ChdLinesL{Tdelay2p{kCombLineLength}, Tdelay2p{kCombLineLength},
                                           Tdelay2p{kCombLineLength}};
    std::array<Tdelay2p, kCombs> ChdLinesR{Tdelay2p{kCombLineLength}, Tdelay2p{kCombLineLength},
                                           Tdelay2p{kCombLineLength}};
    std::array<TLp1, kCombs> ChdGlide{}, ChdLowL{}, ChdLowR{};
    std::array<float, kCombs> ChdBackL{}, ChdBackR{};
    int32_t ChdNote = 0;
    float ChdOutL = 0, ChdOutR = 0;
    // The glides' targets (delays in samples) for the chord row, base note and rate they were
    // worked out for.
    std::array<float, kCombs> ChdTargets{};
    int32_t ChdTargetsRow = -1, ChdTargetsNote = 0, ChdTargetsRate = 0;

private:
    // A span of frames from i on while the selection stays `Fx`: the selected effect frame by
    // frame, then the others' work over the whole span. Returns where it stopped, with the
    // selection read for that frame in `selected`.
    template <int32_t Fx>
    int32_t RunSpan(const float* inL, const float* inR, float* outL, float* outR, int32_t i, int32_t n,
                    int32_t& selected);

    // The span's inputs, taken as silence where not finite, and its cycle starts.
    std::array<float, kSpanLength> SpanInL{}, SpanInR{};
    std::array<uint8_t, kSpanLength> SpanCycleStart{};
};

// The effect index a selection runs as: itself, or kNoEffect outside 0..7.
inline int32_t EffectCase(int32_t selected) {
    return selected >= 0 && selected < kEffectCount ? selected : kNoEffect;
}

// A non-finite sample would circulate in the feedback lines for ever: it is taken as silence.
inline float FiniteOrSilence(float x) { return std::fabs(x) <= std::numeric_limits<float>::max() ? x : 0.0f; }

inline void TFxEngine::ReadInputFrame(float left, float right) {
    Frame.InL = left;
    Frame.InR = right;
    // The working values more than one effect reads, for this frame.
    Frame.LfoAmp = LfoAmp;
    Frame.SyncDelayLength = SyncDelayLength;
}

inline void TFxEngine::AdvanceWritePositions() {
    TFxFrame& f = Frame;
    if (++f.PosLong >= f.RingLong) f.PosLong = 0;
    if (++f.PosFlanger >= f.RingFlanger) f.PosFlanger = 0;
    if (++f.PosSecond >= f.RingSecond) f.PosSecond = 0;
    if (++f.PosTenth >= f.RingTenth) f.PosTenth = 0;
}

inline void TFxEngine::ProcessLfo(int32_t wave) {
    LfoOsc.Tick(wave, LfoRate, 0.5f, LfoPhase, HostSampleRate);
    Frame.LfoRawL = LfoOsc.OutA;
    Frame.LfoRawR = LfoOsc.OutB;
    Frame.LfoModL = float(1.0 - (Wide(Frame.LfoRawL) + 1.0) * 0.5);
    Frame.LfoModR = float(1.0 - (Wide(Frame.LfoRawR) + 1.0) * 0.5);
}

inline void TFxEngine::RecordScope() {
    ScopeCounter += 1;
    if (ScopeCounter <= ScopeInterval) return;
    ScopeL[kScopeLength - 1] = Frame.LfoModL;
    ScopeR[kScopeLength - 1] = Frame.LfoModR;
    for (int32_t j = 0; j < kScopeLength - 1; ++j) {
        ScopeL[size_t(j)] = float(ScopeL[size_t(j) + 1]);
        ScopeR[size_t(j)] = float(ScopeR[size_t(j) + 1]);
    }
    ScopeCounter = -1;
}

inline void TFxEngine::PickWetPair(int32_t selectedFx) {
    switch (selectedFx) {
    case 0: WetL = Delay.WetL(); WetR = Delay.WetR(); break;
    case 1: WetL = Glide.WetL(); WetR = Glide.WetR(); break;
    case 2: WetL = Flanger.WetL(); WetR = Flanger.WetR(); break;
    case 3: WetL = PhaOutL; WetR = PhaOutR; break;
    case 4: WetL = DecOutL; WetR = DecOutR; break;
    case 5: WetL = SliOutL; WetR = SliOutR; break;
    case 6: WetL = RngOutL; WetR = RngOutR; break;
    case 7: WetL = ChdOutL; WetR = ChdOutR; break;
    default: WetL = 0.0f; WetR = 0.0f; break;
    }
}

inline void TFxEngine::CheckCycle() {
    SyncDivider += 1;
    if (SyncDivider > 8) SyncDivider = 0;   // cycles 1..8, 0: the check acts every ninth frame
    if (SyncDivider > 0) return;
    PrevCycleTick = CycleTick;
    CycleTick = SongTicks % 288;
    Frame.CycleRestart = (CycleTick != PrevCycleTick && CycleTick == 0) ? 0.0f : 1.0f;
    if (Playing) return;
    LfoOsc.Restart(LfoPhase);
    Frame.CycleRestart = 1.0f;
}

inline void TFxEngine::WriteOutputFrame(float& left, float& right) {
    const Wide mix = OutMix, amp = OutAmp;
    // A tiny gain or a dying tail must not hand the host subnormal samples.
    left = FlushSubnormal(float(((1.0 - mix) * Wide(Frame.InL) + Wide(WetL) * mix) * amp));
    right = FlushSubnormal(float(((1.0 - mix) * Wide(Frame.InR) + Wide(WetR) * mix) * amp));
}

#include "dsp/FxPhaser.h"
#include "dsp/FxDecimator.h"
#include "dsp/FxSlicer.h"
#include "dsp/FxRinger.h"
#include "dsp/FxTriCombs.h"
