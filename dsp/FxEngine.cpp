#include "dsp/FxEngine.h"

#include "dsp/ConvertersClass.h"

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
    : SliceBufferL(size_t(kSliceBufferLength), 0.0f),
      SliceBufferR(size_t(kSliceBufferLength), 0.0f),
      SliEnvelope(size_t(kSlicerMaxBeat) + 1, 0.0f) {}

void TFxEngine::SeedRandom(uint64_t seed) {
    LfoOsc.Rng.Seed(seed);
    SliRng.Seed(seed ^ 0x9E3779B97F4A7C15ULL);
}

namespace {
int32_t Ring(int32_t length, int32_t capacity) {
    return length < 1 ? 1 : (length > capacity ? capacity : length);
}
}  // namespace

void TFxEngine::BeginBlock(const TBlockTime& time) {
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
    RingLong = Ring(SrTimes8, kLongLineLength);
    RingSecond = Ring(SrInt, kSecondLineLength);
    RingFlanger = Ring(SrHundredth, kFlangerLineLength);
    RingTenth = Ring(SrTenth, kCombLineLength);
}

void TFxEngine::AdvanceWritePositions() {
    if (++PosLong >= RingLong) PosLong = 0;
    if (++PosFlanger >= RingFlanger) PosFlanger = 0;
    if (++PosSecond >= RingSecond) PosSecond = 0;
    if (++PosTenth >= RingTenth) PosTenth = 0;
}

void TFxEngine::ProcessLfo(int32_t wave) {
    LfoOsc.Tick(wave, LfoRate, 0.5f, LfoPhase, HostSampleRate);
    LfoRawL = LfoOsc.OutA;
    LfoRawR = LfoOsc.OutB;
    LfoModL = float(1.0 - (Wide(LfoRawL) + 1.0) * 0.5);
    LfoModR = float(1.0 - (Wide(LfoRawR) + 1.0) * 0.5);
}

void TFxEngine::RecordScope() {
    ScopeCounter += 1;
    if (ScopeCounter <= ScopeInterval) return;
    ScopeL[kScopeLength - 1] = LfoModL;
    ScopeR[kScopeLength - 1] = LfoModR;
    for (int32_t j = 0; j < kScopeLength - 1; ++j) {
        ScopeL[size_t(j)] = float(ScopeL[size_t(j) + 1]);
        ScopeR[size_t(j)] = float(ScopeR[size_t(j) + 1]);
    }
    ScopeCounter = -1;
}

void TFxEngine::PickWetPair() {
    switch (int32_t(SelectedFx)) {
    case 0: WetL = DelLineL.Output; WetR = DelLineR.Output; break;
    case 1: WetL = GliLineL.Output; WetR = GliLineR.Output; break;
    case 2: WetL = FlaLineL.Output; WetR = FlaLineR.Output; break;
    case 3: WetL = PhaOutL; WetR = PhaOutR; break;
    case 4: WetL = DecOutL; WetR = DecOutR; break;
    case 5: WetL = SliOutL; WetR = SliOutR; break;
    case 6: WetL = RngOutL; WetR = RngOutR; break;
    case 7: WetL = ChdOutL; WetR = ChdOutR; break;
    default: WetL = 0.0f; WetR = 0.0f; break;
    }
}

void TFxEngine::CheckCycle() {
    SyncDivider += 1;
    if (SyncDivider > 8) SyncDivider = 0;   // cycles 1..8, 0: the check acts every ninth frame
    if (SyncDivider > 0) return;
    PrevCycleTick = CycleTick;
    CycleTick = SongTicks % 288;
    CycleRestart = (CycleTick != PrevCycleTick && CycleTick == 0) ? 0.0f : 1.0f;
    if (Playing) return;
    LfoOsc.Restart(LfoPhase);
    CycleRestart = 1.0f;
}

void TFxEngine::ProcessFrames(const float* inL, const float* inR, float* outL, float* outR, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        // A non-finite sample would circulate in the feedback lines for ever.
        InL = std::isfinite(inL[i]) ? inL[i] : 0.0f;
        InR = std::isfinite(inR[i]) ? inR[i] : 0.0f;
        AdvanceWritePositions();
        ProcessLfo(LfoWave);
        RecordScope();
        ProcessSyncedDelay(SelectedFx);
        ProcessGlide(SelectedFx);
        ProcessFlanger(SelectedFx);
        ProcessPhaser(SelectedFx);
        ProcessDecimator(SelectedFx);
        ProcessSlicer(SelectedFx);
        ProcessRinger(SelectedFx);
        ProcessTriCombs(SelectedFx);
        PickWetPair();
        CheckCycle();
        const Wide mix = OutMix, amp = OutAmp;
        // A tiny gain or a dying tail must not hand the host subnormal samples.
        outL[i] = FlushSubnormal(float(((1.0 - mix) * Wide(InL) + Wide(WetL) * mix) * amp));
        outR[i] = FlushSubnormal(float(((1.0 - mix) * Wide(InR) + Wide(WetR) * mix) * amp));
    }
}
