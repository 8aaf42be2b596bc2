// The effect's audio engine: the eight effects, what they share (the frame: input pair, write
// positions, rates and tempo, LFO, cycle check), the scope and the per-frame loop. Audio thread
// only, except the Shared words: working values written by parameter changes on any thread, and
// the tempo and scope values that the parameter handler and the editor read.
#pragma once

#include "dsp/FxDecimator.h"
#include "dsp/FxFlanger.h"
#include "dsp/FxFrame.h"
#include "dsp/FxGlide.h"
#include "dsp/FxPhaser.h"
#include "dsp/FxRinger.h"
#include "dsp/FxSlicer.h"
#include "dsp/FxSyncedDelay.h"
#include "dsp/FxTriCombs.h"
#include "dsp/Numbers.h"
#include "dsp/OscillosClass.h"
#include "dsp/Shared.h"

#include <array>
#include <type_traits>
#include <cmath>
#include <cstdint>

constexpr int32_t kScopeLength = 113;   // entries 0..111 are shown
constexpr int32_t kEffectCount = 8;     // effect indices 0..7
constexpr int32_t kNoEffect = -1;       // what a selection outside them runs: every effect deselected
// The largest input sample the engine takes, +60 dBFS, far above any real signal.
constexpr float kInputBound = 1000.0f;

// What the host told us about time for one block, already checked and defaulted.
struct TBlockTime {
    double PpqPos = 0.0;       // song position in quarter notes
    double Tempo = 120.0;      // beats per minute, finite and above 0
    bool Playing = false;      // transport flag
    float SampleRate = 44100.0f;  // finite, within the supported range
};

class TFxEngine {
public:
    // Per block, before the first frame: tempo and sample-rate values, stored as 32-bit floats.
    void BeginBlock(const TBlockTime& time);
    // Runs n frames; input samples beyond kInputBound, and non-finite ones, are taken as silence.
    void ProcessFrames(const float* inL, const float* inR, float* outL, float* outR, int32_t n);

    // Per-frame steps of the engine itself, in the order the loop runs them around the effects.
    // Frame k of the chunk: its input pair and working values, and what of the LFO and the cycle
    // check the effect `Fx` reads.
    template <int32_t Fx>
    void ReadInputFrame(int32_t k);
    // The first frame of a span moves every write position; the later ones only those the
    // selected effect `Fx` reads, and the span's end brings the others up to date.
    template <int32_t Fx>
    void AdvanceWritePositions(int32_t frameInSpan);
    template <int32_t Fx>
    void EndSpanWritePositions(int32_t frames);
    void PickWetPair(int32_t selectedFx);
    void SetWetPair(const TWetPair& wet) {
        WetL = wet.L;
        WetR = wet.R;
    }

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

    // ---- working values shared by more than one effect or with the editor ----
    Shared<int32_t> SelectedFx = 0;
    Shared<float> OutMix = 0.0f, OutAmp = 0.0f;
    Shared<int32_t> SyncDelayLength = 0;
    Shared<int32_t> LfoWave = 0;
    Shared<float> LfoAmp = 0.0f, LfoPhase = 0.0f, LfoRate = 0.0f;

    // ---- LFO ----
    TmultiDualSingle LfoOsc;

    // ---- scope history for the editor ----
    std::array<Shared<float>, kScopeLength> ScopeL{}, ScopeR{};
    int32_t ScopeCounter = 0;

    // ---- cycle check ----
    int32_t SyncDivider = 0, CycleTick = 0, PrevCycleTick = 0;

    // ---- the effects, in the order of their selection numbers ----
    TSyncedDelay Delay;
    TGlide Glide;
    TFlanger Flanger;
    TPhaser Phaser;
    TDecimator Decimator;
    TSlicer Slicer;
    TRinger Ringer;
    TTriCombs TriCombs;

private:
    // What no selection changes, for the next m frames (at most kSpanLength): their inputs, LFO
    // phases, scope and cycle checks. The LFO's wave, rate and phase offset are read once for
    // them: a change from another thread takes over at the next run of frames.
    void PrepareChunk(const float* inL, const float* inR, int32_t m);
    // The LFO outputs and modulation of the chunk's frames from..to-1, from their phases: worked
    // out only for the frames something reads (the sweeping effects, the scope, the last frame).
    void ShapeLfo(int32_t from, int32_t to);
    // The cycle check that follows every ninth frame: what the next frames read as the flag.
    float CheckCycle();
    // The frame as frame k of the chunk leaves it, in full.
    void SetFrameFully(int32_t k) {
        const size_t c = size_t(k);
        Frame.LfoRawL = ChunkLfoL[c];
        Frame.LfoRawR = ChunkLfoR[c];
        Frame.LfoModL = ChunkModL[c];
        Frame.LfoModR = ChunkModR[c];
        Frame.LfoAmp = LfoAmp;
        Frame.SyncDelayLength = SyncDelayLength;
    }
    void RecordScope(int32_t m);

    // A span of the chunk's frames from i on while the selection stays `Fx`: the selected effect
    // frame by frame, then the others' work over the whole span. Returns where it stopped, with
    // the selection read for that frame in `selected`.
    template <int32_t Fx>
    int32_t RunSpan(float* outL, float* outR, int32_t i, int32_t m, int32_t& selected);
    // Has the selected effect `Fx` plan the chunk's frames from k on, up to kPlanLength of them
    // (the LFO amount read once for them), before frame k runs. Returns how many it planned.
    template <int32_t Fx>
    int32_t PlanAhead(int32_t k, int32_t m);

    // The output mix of the span's frames from k on, from the chunk's inputs and the wet pairs.
    void WriteOutputs(float* outL, float* outR, int32_t k, int32_t n);

    // The chunk's inputs (taken as silence past the bound) and the wet pairs of its frames; its
    // LFO phases (for the sample and hold, its outputs), the wave they are on and the first frame
    // from which on they are shaped into LFO pairs, raw and as modulation; the cycle flag each
    // frame reads (one more: what follows the last) and whether it starts a cycle.
    std::array<float, kSpanLength> ChunkInL{}, ChunkInR{}, ChunkWetL{}, ChunkWetR{};
    std::array<float, kSpanLength> ChunkPhaseL{}, ChunkPhaseR{};
    int32_t ChunkWave = 0, ChunkShapedFrom = 0;
    std::array<float, kSpanLength> ChunkLfoL{}, ChunkLfoR{}, ChunkModL{}, ChunkModR{};
    std::array<float, kSpanLength + 1> ChunkRestart{};
    std::array<uint8_t, kSpanLength> ChunkCycleStart{};
};

// The effect index a selection runs as: itself, or kNoEffect outside 0..7.
constexpr int32_t EffectCase(int32_t selected) {
    return selected >= 0 && selected < kEffectCount ? selected : kNoEffect;
}

// A sample past the bound is no signal but an upstream fault (a filter that blew up, garbage
// memory). Taken into the feedback lines it would ring for seconds at its level, or for ever if
// not finite, so it is taken as silence like NaN and infinity: zeroed rather than clamped, since a
// clamp would still load every line with a +60 dBFS burst. The test is false for NaN.
inline float InputOrSilence(float x) { return std::fabs(x) <= kInputBound ? x : 0.0f; }

// What of the frame each effect's step reads besides its input pair, rates and write positions:
// the frame loop fills in only that (and all of it at the end of each chunk).
struct TFrameReads {
    bool LfoMod, LfoAmp, SyncDelay, Cycle;
};
template <int32_t Fx>
constexpr TFrameReads kFrameReads{Fx == 3, Fx == 3, Fx == 0 || Fx == 6, Fx == 5};
// The effects that read the LFO through plans: they work out their sweep's taps a batch of frames
// ahead, off the frame loop's chain of dependent steps. (The phaser's frame is bound by its
// feedback chain; planning its coefficients only adds to it.)
template <int32_t Fx>
constexpr bool kPlansAhead = Fx == 1 || Fx == 2;
// What the selected effect holds over a span (in registers): the flanger's and the phaser's
// frame-to-frame state; nothing for the others.
struct TNothingHeld {};
template <int32_t Fx>
using THeldBy = std::conditional_t<Fx == 2, TFlanger::THeld, std::conditional_t<Fx == 3, TPhaser::THeld, TNothingHeld>>;
template <int32_t Fx>
constexpr bool kReadsLfo = kPlansAhead<Fx> || kFrameReads<Fx>.LfoMod;

// Whether a selection read after a frame of a span of `Fx` keeps the span going.
template <int32_t Fx>
constexpr bool StillSelected(int32_t selected) {
    if constexpr (Fx >= 0) return selected == Fx;
    return EffectCase(selected) == kNoEffect;
}

template <int32_t Fx>
inline void TFxEngine::ReadInputFrame(int32_t k) {
    const size_t c = size_t(k);
    constexpr TFrameReads reads = kFrameReads<Fx>;
    Frame.InL = ChunkInL[c];
    Frame.InR = ChunkInR[c];
    if constexpr (reads.LfoMod) {
        Frame.LfoModL = ChunkModL[c];
        Frame.LfoModR = ChunkModR[c];
    }
    if constexpr (reads.Cycle) Frame.CycleRestart = ChunkRestart[c];
    // The working values more than one effect reads, for this frame.
    if constexpr (reads.LfoAmp) Frame.LfoAmp = LfoAmp;
    if constexpr (reads.SyncDelay) Frame.SyncDelayLength = SyncDelayLength;
}

// The rings each effect's selected step reads.
template <int32_t Fx>
constexpr int32_t kRingsRead = Fx == 0 || Fx == 6 ? TFxFrame::kRingLong
                               : Fx == 1          ? TFxFrame::kRingSecond
                               : Fx == 2          ? TFxFrame::kRingFlanger
                               : Fx == 7          ? TFxFrame::kRingTenth
                                                  : 0;

template <int32_t Fx>
inline void TFxEngine::AdvanceWritePositions(int32_t frameInSpan) {
    if (frameInSpan == 0) {
        Frame.Advance();
    } else {
        Frame.AdvanceRings<kRingsRead<Fx>>();
    }
}

template <int32_t Fx>
inline void TFxEngine::EndSpanWritePositions(int32_t frames) {
    if (frames > 1) Frame.CatchUp<kRingsRead<Fx>>(frames - 1);
}

inline void TFxEngine::PickWetPair(int32_t selectedFx) {
    TWetPair wet{0.0f, 0.0f};
    switch (selectedFx) {
    case 0: wet = Delay.Wet(); break;
    case 1: wet = Glide.Wet(); break;
    case 2: wet = Flanger.Wet(); break;
    case 3: wet = Phaser.Wet(); break;
    case 4: wet = Decimator.Wet(); break;
    case 5: wet = Slicer.Wet(); break;
    case 6: wet = Ringer.Wet(); break;
    case 7: wet = TriCombs.Wet(); break;
    default: break;
    }
    SetWetPair(wet);
}
