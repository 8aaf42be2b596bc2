#include "dsp/FxEngine.h"

#include "dsp/ConvertersClass.h"

#include <algorithm>
#include <cmath>

const std::array<int32_t, 24> kDecLevelTable = {
    1,     2,     4,      8,      16,     32,     64,      128,     256,     512,     1024,    2048,
    4096,  16384, 32768,  65536,  131072, 262144, 524288,  1048576, 2097152, 4194304, 8388608, 16777216};

const std::array<std::array<int32_t, 3>, 15> kChordTable = {{{-5, 0, 3},
                                                             {0, 3, 7},
                                                             {-5, 0, 4},
                                                             {0, 4, 7},
                                                             {-3, 0, 5},
                                                             {0, 5, 9},
                                                             {-4, 0, 3},
                                                             {0, 3, 8},
                                                             {-4, 0, 5},
                                                             {0, 5, 8},
                                                             {-3, 0, 4},
                                                             {0, 4, 9},
                                                             {-7, 0, 3},
                                                             {-3, 0, 3},
                                                             {0, 3, 9}}};

TFxEngine::TFxEngine()
    : SliceBufferL(size_t(kSliceBufferLength)),
      SliceBufferR(size_t(kSliceBufferLength)),
      SliEnvelope(size_t(kSlicerMaxBeat) + 1) {}

void TFxEngine::SeedRandom(uint64_t seed) {
    LfoOsc.Rng.Seed(seed);
    SliRng.Seed(seed ^ 0x9E3779B97F4A7C15ULL);
}

namespace {
int32_t Ring(int32_t length, int32_t capacity) {
    return length < 1 ? 1 : (length > capacity ? capacity : length);
}
}  // namespace

void TFxEngine::PrepareLines(float sampleRate) {
    if (Started) return;
    const int32_t sr = std::isfinite(sampleRate) && sampleRate > 0.0f ? RoundInt(sampleRate) : 0;
    auto prepare = [](TSampleBuffer& b, int64_t used) { PrepareBuffer(b, used); };
    Delay.PrepareLines(8 * int64_t(sr));
    for (TSampleBuffer* b : {&RngLineL.Buffer, &RngLineR.Buffer}) prepare(*b, 8 * int64_t(sr));
    Glide.PrepareLines(sr);
    Flanger.PrepareLines(sr / 100 + 1);
    for (size_t k = 0; k < size_t(kCombs); ++k) {
        prepare(ChdLinesL[k].Buffer, sr / 10 + 1);
        prepare(ChdLinesR[k].Buffer, sr / 10 + 1);
    }
    for (TSampleBuffer* b : {&SliceBufferL, &SliceBufferR}) prepare(*b, 4 * int64_t(sr) + 1);
}

void TFxEngine::BeginBlock(const TBlockTime& time) {
    Started = 1;
    Playing = time.Playing;
    SongTicks = RoundInt(float(time.PpqPos * 24.0));
    Tempo = float(time.Tempo);
    HostSampleRate = time.SampleRate;
    const int32_t sr = RoundInt(time.SampleRate);
    SrInt = sr;
    SrTimes8 = 8 * sr;
    ScopeInterval = RoundInt(float(Wide(sr) / 228.0));
    SrHundredth = RoundInt(float(Wide(sr) / 100.0));
    SrTenth = RoundInt(float(Wide(sr) / 10.0));
    const float bps = float(Wide(float(Tempo)) / 60.0);
    BeatsPerSecond = bps;
    const float spb = float(1.0 / Wide(bps));
    SecondsPerBeat = spb;
    SamplesPerBeat = float(Wide(sr) * Wide(spb));
    Frame.SrInt = sr;
    Frame.SamplesPerBeat = SamplesPerBeat;
    Frame.RingLong = Ring(SrTimes8, kLongLineLength);
    Frame.RingSecond = Ring(SrInt, kSecondLineLength);
    Frame.RingFlanger = Ring(SrHundredth, kFlangerLineLength);
    Frame.RingTenth = Ring(SrTenth, kCombLineLength);
}

// Flattened: every step is inlined, so the tests of the selection against the constant Fx fold away.
template <int32_t Fx>
[[gnu::flatten]] int32_t TFxEngine::RunSpan(const float* inL, const float* inR, float* outL, float* outR,
                                            int32_t i, int32_t n, int32_t& selected) {
    // The inputs are taken before any output is written: the host may pass the same buffers.
    const int32_t most = n - i < kSpanLength ? n - i : kSpanLength;
    for (int32_t j = 0; j < most; ++j) {
        SpanInL[size_t(j)] = FiniteOrSilence(inL[i + j]);
        SpanInR[size_t(j)] = FiniteOrSilence(inR[i + j]);
    }
    TFxSpan span;
    int32_t j = 0;
    do {
        ReadInputFrame(SpanInL[size_t(j)], SpanInR[size_t(j)]);
        AdvanceWritePositions();
        if (j == 0) span.First = Frame;
        SpanCycleStart[size_t(j)] = Frame.CycleRestart == 0.0f ? 1 : 0;
        RecordScope();
        if constexpr (Fx == 0) Delay.Step(Frame);
        if constexpr (Fx == 1) Glide.Step(Frame);
        if constexpr (Fx == 2) Flanger.Step(Frame);
        ProcessPhaser(Fx);
        ProcessDecimator(Fx);
        ProcessSlicer(Fx);
        ProcessRinger(Fx);
        ProcessTriCombs(Fx);
        PickWetPair(Fx);
        CheckCycle();
        // The next frame's LFO, ticked now (after the cycle check that may restart it): the sweeps
        // of the next frame wait on a long chain of roundings from its phase, which this starts
        // early. Nothing of this frame reads it.
        if (i + j + 1 < n) ProcessLfo(LfoWave);
        WriteOutputFrame(outL[i + j], outR[i + j]);
        ++j;
        selected = SelectedFx;
    } while (j < most && EffectCase(selected) == Fx);

    // What the deselected effects do over those frames. They share nothing with the selected one
    // or each other, so running them after it leaves every line as the frame order would.
    span.InL = SpanInL.data();
    span.InR = SpanInR.data();
    span.CycleStart = SpanCycleStart.data();
    span.Count = j;
    if constexpr (Fx != 0) Delay.Deselected(span);
    if constexpr (Fx != 1) Glide.Deselected(span);
    if constexpr (Fx != 2) Flanger.Deselected(span);
    return i + j;
}

void TFxEngine::ProcessFrames(const float* inL, const float* inR, float* outL, float* outR, int32_t n) {
    // The selection is read once per frame: a change made on another thread during the block takes
    // over between two frames, and each frame runs the loop compiled for its effect.
    int32_t selected = SelectedFx;
    if (n > 0) ProcessLfo(LfoWave);   // the first frame's; each frame ticks the next one's
    for (int32_t i = 0; i < n;) {
        switch (EffectCase(selected)) {
        case 0: i = RunSpan<0>(inL, inR, outL, outR, i, n, selected); break;
        case 1: i = RunSpan<1>(inL, inR, outL, outR, i, n, selected); break;
        case 2: i = RunSpan<2>(inL, inR, outL, outR, i, n, selected); break;
        case 3: i = RunSpan<3>(inL, inR, outL, outR, i, n, selected); break;
        case 4: i = RunSpan<4>(inL, inR, outL, outR, i, n, selected); break;
        case 5: i = RunSpan<5>(inL, inR, outL, outR, i, n, selected); break;
        case 6: i = RunSpan<6>(inL, inR, outL, outR, i, n, selected); break;
        case 7: i = RunSpan<7>(inL, inR, outL, outR, i, n, selected); break;
        default: i = RunSpan<kNoEffect>(inL, inR, outL, outR, i, n, selected); break;
        }
    }
}
