#include "dsp/FxEngine.h"

#include "dsp/ConvertersClass.h"

#include <cmath>
#include <initializer_list>

void TFxEngine::SeedRandom(uint64_t seed) {
    LfoOsc.Rng.Seed(seed);
    Slicer.SliRng.Seed(seed ^ 0x9E3779B97F4A7C15ULL);
}

void TFxEngine::PrepareLines(float sampleRate) {
    if (Started) return;
    const int32_t sr = std::isfinite(sampleRate) && sampleRate > 0.0f ? RoundInt(sampleRate) : 0;
    auto prepare = [](std::initializer_list<TDelayMono*> lines, int64_t used) {
        for (TDelayMono* line : lines) PrepareBuffer(line->Buffer, used);
    };
    prepare({&Delay.DelLineL, &Delay.DelLineR, &Ringer.RngLineL, &Ringer.RngLineR}, 8 * int64_t(sr));
    prepare({&Glide.GliLineL, &Glide.GliLineR}, sr);
    prepare({&Flanger.FlaLineL, &Flanger.FlaLineR}, sr / 100 + 1);
    for (size_t k = 0; k < size_t(kCombs); ++k)
        prepare({&TriCombs.ChdLinesL[k], &TriCombs.ChdLinesR[k]}, sr / 10 + 1);
    for (TSampleBuffer* b : {&Slicer.SliceBufferL, &Slicer.SliceBufferR}) PrepareBuffer(*b, 4 * int64_t(sr) + 1);
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
    SrHundredth = SamplesIn(sr, 100.0);
    SrTenth = SamplesIn(sr, 10.0);
    const float bps = float(Wide(float(Tempo)) / 60.0);
    BeatsPerSecond = bps;
    const float spb = float(1.0 / Wide(bps));
    SecondsPerBeat = spb;
    SamplesPerBeat = float(Wide(sr) * Wide(spb));
    Frame.SetRate(sr, SamplesPerBeat);
}

// Flattened: every step is inlined, so the tests of the selection against the constant Fx fold away.
template <int32_t Fx>
[[gnu::flatten]] int32_t TFxEngine::RunSpan(const float* inL, const float* inR, float* outL, float* outR,
                                            int32_t i, int32_t n, int32_t& selected) {
    // The inputs are taken before any output is written: the host may pass the same buffers.
    const int32_t most = n - i < kSpanLength ? n - i : kSpanLength;
    for (int32_t j = 0; j < most; ++j) {
        SpanInL[size_t(j)] = InputOrSilence(inL[i + j]);
        SpanInR[size_t(j)] = InputOrSilence(inR[i + j]);
    }
    TFxSpan span;
    int32_t j = 0;
    do {
        ReadInputFrame(SpanInL[size_t(j)], SpanInR[size_t(j)]);
        AdvanceWritePositions<Fx>(j);
        if (j == 0) span.First = Frame;
        SpanCycleStart[size_t(j)] = Frame.CycleRestart == 0.0f ? 1 : 0;
        RecordScope();
        if constexpr (Fx == 0) Delay.Step(Frame);
        if constexpr (Fx == 1) Glide.Step(Frame);
        if constexpr (Fx == 2) Flanger.Step(Frame);
        if constexpr (Fx == 3) Phaser.Step(Frame);
        if constexpr (Fx == 4) Decimator.Step(Frame);
        if constexpr (Fx == 5) Slicer.Step(Frame);
        if constexpr (Fx == 6) Ringer.Step(Frame);
        if constexpr (Fx == 7) TriCombs.Step(Frame);
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
    EndSpanWritePositions<Fx>(j);

    // What the deselected effects do over those frames (the phaser and the decimator keep no
    // history, so nothing). They share nothing with the selected one or each other, so running
    // them after it leaves every line and counter as the frame order would.
    span.InL = SpanInL.data();
    span.InR = SpanInR.data();
    span.CycleStart = SpanCycleStart.data();
    span.Count = j;
    if constexpr (Fx != 0) Delay.Deselected(span);
    if constexpr (Fx != 1) Glide.Deselected(span);
    if constexpr (Fx != 2) Flanger.Deselected(span);
    if constexpr (Fx != 5) Slicer.Deselected(span);
    if constexpr (Fx != 6) Ringer.Deselected(span);
    if constexpr (Fx != 7) TriCombs.Deselected(span);
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
