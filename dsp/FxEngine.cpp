#include "dsp/FxEngine.h"

#include "dsp/ConvertersClass.h"

#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <initializer_list>
#include <limits>

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

// The inputs of n frames, taken as silence past the bound (and where not finite).
static void TakeInputs(const float* in, float* out, int32_t n) {
    int32_t k = 0;
#if defined(__SSE2__)
    // The same test four at a time: NaN compares false and is masked to 0 as well.
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)), bound = _mm_set1_ps(kInputBound);
    for (; k + 4 <= n; k += 4) {
        const __m128 x = _mm_loadu_ps(in + k);
        _mm_storeu_ps(out + k, _mm_and_ps(x, _mm_cmple_ps(_mm_and_ps(x, magnitude), bound)));
    }
#endif
    for (; k < n; ++k) out[k] = InputOrSilence(in[k]);
}

void TFxEngine::PrepareChunk(const float* inL, const float* inR, int32_t m) {
    // The inputs are taken before any output is written: the host may pass the same buffers.
    TakeInputs(inL, ChunkInL.data(), m);
    TakeInputs(inR, ChunkInR.data(), m);

    // Each frame's LFO is ticked before it; every ninth frame is followed by the cycle check,
    // which may restart it. The oscillator is worked on as a local, which the stores into the
    // chunk's arrays cannot reach, so its phases stay in registers; the frames between two checks
    // run as one loop. The ringer's carrier steps in the same loop: each chain of additions waits
    // on its own last result, and side by side they wait together.
    const int32_t wave = LfoWave;
    const float phaseOffset = LfoPhase;
    TmultiDualSingle osc = LfoOsc;
    osc.SetIncrement(LfoRate, HostSampleRate);
    float* phaseL = ChunkPhaseL.data();
    float* phaseR = ChunkPhaseR.data();
    TRinger::TCarrierSteps carrier = Ringer.BeginCarrier(float(Frame.SrInt));
    float* carriers = Ringer.Carriers.data();
    auto phases = [&](int32_t from, int32_t to) {
        if (wave == 5) {
            for (int32_t k = from; k < to; ++k) {
                osc.StepPhases(phaseOffset);
                osc.Centre();
                osc.Hold();
                phaseL[k] = osc.OutA;
                phaseR[k] = osc.OutB;
                carriers[k] = carrier.Next();
            }
        } else {
            for (int32_t k = from; k < to; ++k) {
                osc.StepPhases(phaseOffset);
                phaseL[k] = osc.PhaseA;
                phaseR[k] = osc.PhaseB;
                carriers[k] = carrier.Next();
            }
        }
    };
    // The flag is mostly the same for the whole chunk: set for all of it, and again from where
    // a check changes it.
    float restart = Frame.CycleRestart;
    auto flag = [&](int32_t from) {
        for (int32_t j = from; j <= m; ++j) ChunkRestart[size_t(j)] = restart;
        for (int32_t j = from; j < m; ++j) ChunkCycleStart[size_t(j)] = restart == 0.0f ? 1 : 0;
    };
    flag(0);
    // The check follows the frame that takes the divider from 8 over; one past 8 acts at once.
    int32_t divider = SyncDivider > 8 ? 8 : SyncDivider;
    for (int32_t k = 0; k < m;) {
        const int32_t check = k + 8 - divider;
        const int32_t end = check < m ? check + 1 : m;
        phases(k, end);
        divider += end - k;
        if (divider > 8) {   // cycles 1..8, 0: the check acts every ninth frame
            divider = 0;
            const float was = restart;
            restart = CheckCycle();
            if (restart != was) flag(end);
            if (!Playing) osc.Restart(phaseOffset);
        }
        k = end;
    }
    SyncDivider = divider;
    Ringer.EndCarrier(carrier, m);
    osc.Centre();
    ChunkWave = wave;
    ChunkShapedFrom = m;
    // The oscillator's outputs are the last frame's, as ticking it would leave them.
    ShapeLfo(m - 1, m);
    osc.OutA = ChunkLfoL[size_t(m - 1)];
    osc.OutB = ChunkLfoR[size_t(m - 1)];
    LfoOsc = osc;
    RecordScope(m);
}

void TFxEngine::ShapeLfo(int32_t from, int32_t to) {
    const int32_t n = to - from;
    float *lfoL = ChunkLfoL.data() + from, *lfoR = ChunkLfoR.data() + from;
    const float *phaseL = ChunkPhaseL.data() + from, *phaseR = ChunkPhaseR.data() + from;
    if (ChunkWave == 5) {
        for (int32_t k = 0; k < n; ++k) lfoL[k] = phaseL[k];
        for (int32_t k = 0; k < n; ++k) lfoR[k] = phaseR[k];
    } else {
        TmultiDualSingle::Shapes(ChunkWave, 0.5f, phaseL, lfoL, n);
        TmultiDualSingle::Shapes(ChunkWave, 0.5f, phaseR, lfoR, n);
    }
    float *modL = ChunkModL.data() + from, *modR = ChunkModR.data() + from;
    for (int32_t k = 0; k < n; ++k) modL[k] = TFxFrame::LfoMod(lfoL[k]);
    for (int32_t k = 0; k < n; ++k) modR[k] = TFxFrame::LfoMod(lfoR[k]);
}

float TFxEngine::CheckCycle() {
    PrevCycleTick = CycleTick;
    CycleTick = SongTicks % 288;
    // While the transport stands the LFO is held at its start, and no cycle starts.
    if (!Playing) return 1.0f;
    return (CycleTick != PrevCycleTick && CycleTick == 0) ? 0.0f : 1.0f;
}

void TFxEngine::RecordScope(int32_t m) {
    // The history steps on the frame after ScopeInterval frames without a step.
    int32_t counter = ScopeCounter;
    const int32_t first = ScopeInterval - counter;   // below 0 if the interval has just shrunk
    for (int32_t k = first > 0 ? first : 0; k < m; k += ScopeInterval + 2) {
        ShapeLfo(k, k + 1);
        ScopeL[kScopeLength - 1] = ChunkModL[size_t(k)];
        ScopeR[kScopeLength - 1] = ChunkModR[size_t(k)];
        for (int32_t j = 0; j < kScopeLength - 1; ++j) {
            ScopeL[size_t(j)] = float(ScopeL[size_t(j) + 1]);
            ScopeR[size_t(j)] = float(ScopeR[size_t(j) + 1]);
        }
        counter = -1 - (k + 1);   // -1 at frame k, counted up by the frames after it
    }
    ScopeCounter = counter + m;
}

// A tiny gain or a dying tail must not hand the host subnormal samples. OUT Mix and OUT Amp are
// read once for the span.
void TFxEngine::WriteOutputs(float* outL, float* outR, int32_t k, int32_t n) {
    const Wide mix = OutMix, amp = OutAmp, dry = 1.0 - mix;
    auto write = [&](const float* in, const float* wet, float* out) {
        int32_t j = 0;
#if defined(__SSE2__)
        // Two frames to a register, the same operations in the same order; the flush as a mask
        // (a subnormal becomes +0, a zero keeps its sign).
        const __m128d dryV = _mm_set1_pd(dry), mixV = _mm_set1_pd(mix), ampV = _mm_set1_pd(amp);
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
        const __m128 smallest = _mm_set1_ps(std::numeric_limits<float>::min()), zero = _mm_setzero_ps();
        auto load2 = [](const float* p) {
            return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
        };
        for (; j + 2 <= n; j += 2) {
            const __m128d y =
                _mm_mul_pd(_mm_add_pd(_mm_mul_pd(dryV, load2(in + j)), _mm_mul_pd(load2(wet + j), mixV)), ampV);
            const __m128 x = _mm_cvtpd_ps(y);
            const __m128 tiny = _mm_and_ps(_mm_cmplt_ps(_mm_and_ps(x, magnitude), smallest), _mm_cmpneq_ps(x, zero));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_castps_si128(_mm_andnot_ps(tiny, x)));
        }
#endif
        for (; j < n; ++j) out[j] = FlushSubnormal(float((dry * Wide(in[j]) + Wide(wet[j]) * mix) * amp));
    };
    write(ChunkInL.data() + k, ChunkWetL.data() + k, outL + k);
    write(ChunkInR.data() + k, ChunkWetR.data() + k, outR + k);
}

template <int32_t Fx>
int32_t TFxEngine::PlanAhead(int32_t k, int32_t m) {
    TFxPlan plan;
    plan.First = Frame;
    plan.First.AdvanceRings<kRingsRead<Fx>>();
    plan.First.LfoAmp = LfoAmp;
    plan.Count = m - k < kPlanLength ? m - k : kPlanLength;
    plan.LfoRawL = ChunkLfoL.data() + k;
    plan.LfoRawR = ChunkLfoR.data() + k;
    plan.LfoModL = ChunkModL.data() + k;
    plan.LfoModR = ChunkModR.data() + k;
    if constexpr (Fx == 1) Glide.Plan(plan);
    if constexpr (Fx == 2) Flanger.Plan(plan);
    return plan.Count;
}

// Flattened: every step is inlined, so the tests of the selection against the constant Fx fold away.
template <int32_t Fx>
[[gnu::flatten]] int32_t TFxEngine::RunSpan(float* outL, float* outR, int32_t i, int32_t m, int32_t& selected) {
    if constexpr (kReadsLfo<Fx>) {
        if (i < ChunkShapedFrom) {
            ShapeLfo(i, ChunkShapedFrom);
            ChunkShapedFrom = i;
        }
    }
    TFxSpan span;
    int32_t j = 0, planned = 0;
    // The selected effect's frame-to-frame state, for those that hold it, as a local over the span
    // where it can stay in registers; it goes back into the effect before anything else reads it.
    [[maybe_unused]] THeldBy<Fx> held;
    if constexpr (Fx == 2) held = Flanger.Hold();
    if constexpr (Fx == 3) held = Phaser.Hold();
    do {
        if constexpr (kPlansAhead<Fx>) {
            if (j == planned) planned += PlanAhead<Fx>(i + j, m);
        }
        ReadInputFrame<Fx>(i + j);
        AdvanceWritePositions<Fx>(j);
        if (j == 0) span.First = Frame;
        if constexpr (Fx == 0) Delay.Step(Frame);
        if constexpr (Fx == 1) Glide.StepPlanned(Frame);
        if constexpr (Fx == 2) Flanger.StepHeld(Frame, held);
        if constexpr (Fx == 3) Phaser.StepHeld(Frame, held);
        if constexpr (Fx == 4) Decimator.Step(Frame);
        if constexpr (Fx == 5) Slicer.Step(Frame);
        if constexpr (Fx == 6) Ringer.Step(Frame);
        if constexpr (Fx == 7) TriCombs.Step(Frame);
        if constexpr (Fx == 3) SetWetPair(Phaser.Wet(held));   // its output pair stays held
        else PickWetPair(Fx);
        ChunkWetL[size_t(i + j)] = WetL;
        ChunkWetR[size_t(i + j)] = WetR;
        ++j;
        selected = SelectedFx;
    } while (i + j < m && StillSelected<Fx>(selected));
    if constexpr (Fx == 2) Flanger.Release(held);
    if constexpr (Fx == 3) Phaser.Release(held);
    EndSpanWritePositions<Fx>(j);
    Frame.CycleRestart = ChunkRestart[size_t(i + j)];   // as the last frame's check left it
    WriteOutputs(outL, outR, i, j);

    // What the deselected effects do over those frames (the phaser and the decimator keep no
    // history, so nothing). They share nothing with the selected one or each other, so running
    // them after it leaves every line and counter as the frame order would.
    span.InL = ChunkInL.data() + i;
    span.InR = ChunkInR.data() + i;
    span.CycleStart = ChunkCycleStart.data() + i;
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
    for (int32_t c = 0; c < n; c += kSpanLength) {
        const int32_t m = n - c < kSpanLength ? n - c : kSpanLength;
        PrepareChunk(inL + c, inR + c, m);
        float *chunkOutL = outL + c, *chunkOutR = outR + c;
        for (int32_t i = 0; i < m;) {
            switch (EffectCase(selected)) {
            case 0: i = RunSpan<0>(chunkOutL, chunkOutR, i, m, selected); break;
            case 1: i = RunSpan<1>(chunkOutL, chunkOutR, i, m, selected); break;
            case 2: i = RunSpan<2>(chunkOutL, chunkOutR, i, m, selected); break;
            case 3: i = RunSpan<3>(chunkOutL, chunkOutR, i, m, selected); break;
            case 4: i = RunSpan<4>(chunkOutL, chunkOutR, i, m, selected); break;
            case 5: i = RunSpan<5>(chunkOutL, chunkOutR, i, m, selected); break;
            case 6: i = RunSpan<6>(chunkOutL, chunkOutR, i, m, selected); break;
            case 7: i = RunSpan<7>(chunkOutL, chunkOutR, i, m, selected); break;
            default: i = RunSpan<kNoEffect>(chunkOutL, chunkOutR, i, m, selected); break;
            }
        }
        SetFrameFully(m - 1);
    }
}
