// Whole-plug-in benchmarks: processReplacing through the record in 512-frame blocks at 48 kHz and
// 120 BPM with the transport playing, one run per effect on a minute of music-like stereo, one on
// the minute of silence that follows it, and the cost and footprint of building an instance.
//
// Counters: frame_time (CPU time per stereo frame, shown in ns) and realtime (seconds of audio per
// CPU second).
#include "plugin/uPlugin.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <malloc.h>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr double kTempo = 120.0;
constexpr int32_t kBlock = 512;
constexpr int32_t kSignalFrames = int32_t(60 * kRate);

// The host side: one time info, moved on by every processed block.
struct BenchHost {
    VstTimeInfo Time{};
    void Reset() {
        Time = VstTimeInfo{};
        Time.sampleRate = kRate;
        Time.tempo = kTempo;
        Time.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
    }
    void Advance(int32_t frames) {
        Time.samplePos += frames;
        Time.ppqPos += frames * kTempo / (60.0 * kRate);
    }
};
BenchHost Host;

VstIntPtr VSTCALL HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&Host.Time);
    case audioMasterWantMidi: return 1;
    default: return 0;
    }
}

// A minute of stereo "music": a bass line and a chord of partials changing every half bar, a
// repeating upward sweep, and enveloped noise bursts like a hi-hat and a snare.
struct Signal {
    std::vector<float> L, R, Silence;
    Signal() : L(size_t(kSignalFrames)), R(size_t(kSignalFrames)), Silence(size_t(kSignalFrames), 0.0f) {
        const double twoPi = 6.283185307179586;
        const double roots[8] = {55.0, 65.41, 73.42, 49.0, 55.0, 82.41, 73.42, 61.74};
        const double chord[3] = {1.0, 1.2599, 1.4983};
        uint64_t noise = 0x2545F4914F6CDD1DULL;
        double sweepPhase = 0.0, bassPhase = 0.0, chordPhase[3] = {0, 0, 0};
        const double beat = kRate * 60.0 / kTempo;
        for (int32_t i = 0; i < kSignalFrames; ++i) {
            const double t = i / kRate;
            const int32_t halfBar = int32_t(i / (2.0 * beat));
            const double root = roots[halfBar % 8];
            bassPhase += root / kRate;
            double pad = 0.0;
            for (int k = 0; k < 3; ++k) {
                chordPhase[k] += 4.0 * root * chord[k] / kRate;
                pad += std::sin(twoPi * chordPhase[k]);
            }
            const double sweepHz = 200.0 * std::pow(20.0, std::fmod(t, 4.0) / 4.0);
            sweepPhase += sweepHz / kRate;
            noise ^= noise << 13;
            noise ^= noise >> 7;
            noise ^= noise << 17;
            const double white = double(noise >> 11) / double(1ULL << 53) * 2.0 - 1.0;
            const double inBeat = std::fmod(i, beat) / kRate;
            const double inHalf = std::fmod(i + beat / 2.0, beat) / kRate;
            const double hat = white * 0.25 * std::exp(-inHalf * 60.0);
            const double snare = (int32_t(i / beat) % 2 == 1) ? white * 0.4 * std::exp(-inBeat * 18.0) : 0.0;
            const double bass = 0.3 * std::sin(twoPi * bassPhase) * std::exp(-inBeat * 3.0);
            const double sweep = 0.08 * std::sin(twoPi * sweepPhase);
            const double pan = 0.5 + 0.4 * std::sin(twoPi * 0.1 * t);
            L[size_t(i)] = float(bass + 0.06 * pad * (1.0 - pan) + sweep + hat * 0.7 + snare);
            R[size_t(i)] = float(bass + 0.06 * pad * pan - sweep + hat + snare * 0.9);
        }
    }
};
const Signal& Music() {
    static const Signal s;
    return s;
}

class Instance {
public:
    explicit Instance(int32_t effect) {
        Host.Reset();
        Effect = CreateEffect(&HostCallback, nullptr);
        Effect->dispatcher(Effect, effSetSampleRate, 0, 0, nullptr, float(kRate));
        Effect->dispatcher(Effect, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        Effect->dispatcher(Effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        Effect->dispatcher(Effect, effSetProgram, 0, 0, nullptr, 0.0f);
        // One block first, so tempo-derived values exist when the parameters are set.
        Run(Music().Silence, Music().Silence, kBlock);
        Effect->setParameter(Effect, kOutMix, 1.0f);
        Effect->setParameter(Effect, kSyncedValue, 0.5f);
        Effect->setParameter(Effect, kOutSel, float(effect) / 7.0f);
    }
    ~Instance() { Effect->dispatcher(Effect, effClose, 0, 0, nullptr, 0.0f); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void Run(const std::vector<float>& l, const std::vector<float>& r, int32_t frames) {
        for (int32_t at = 0; at < frames; at += kBlock) {
            const int32_t n = frames - at < kBlock ? frames - at : kBlock;
            float* in[2] = {const_cast<float*>(&l[size_t(at)]), const_cast<float*>(&r[size_t(at)])};
            float* out[2] = {OutL, OutR};
            Effect->processReplacing(Effect, in, out, n);
            benchmark::DoNotOptimize(OutL[0]);
            benchmark::DoNotOptimize(OutR[n - 1]);
            Host.Advance(n);
        }
    }

    AEffect* Effect = nullptr;
    float OutL[kBlock] = {}, OutR[kBlock] = {};
};

void SetFrameCounters(benchmark::State& state, double frames) {
    state.counters["frame_time"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

void BM_Signal(benchmark::State& state) {
    const Signal& music = Music();
    Instance fx(int32_t(state.range(0)));
    double frames = 0;
    for (auto _ : state) {
        fx.Run(music.L, music.R, kSignalFrames);
        frames += kSignalFrames;
    }
    SetFrameCounters(state, frames);
}

void BM_SilenceAfterSignal(benchmark::State& state) {
    const Signal& music = Music();
    Instance fx(int32_t(state.range(0)));
    double frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fx.Run(music.L, music.R, kSignalFrames);
        state.ResumeTiming();
        fx.Run(music.Silence, music.Silence, kSignalFrames);
        frames += kSignalFrames;
    }
    SetFrameCounters(state, frames);
}

const char* const kEffectNames[kNumEffects] = {"SyncedDelay", "GlideDrift", "Flanger", "Phaser",
                                               "Decimator", "RealtimeSlicer", "Ringer", "TriCombs"};

void RegisterEffects() {
    for (int32_t k = 0; k < kNumEffects; ++k) {
        const std::string name = kEffectNames[k];
        benchmark::RegisterBenchmark(("Signal/" + name).c_str(), BM_Signal)
            ->Arg(k)->Iterations(3)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("SilenceAfterSignal/" + name).c_str(), BM_SilenceAfterSignal)
            ->Arg(k)->Iterations(3)->Unit(benchmark::kMillisecond);
    }
}

// Heap in use, small blocks and mapped ones alike.
double HeapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks) + double(m.hblkhd);
}

void BM_Construct(benchmark::State& state) {
    Host.Reset();
    double bytes = 0;
    for (auto _ : state) {
        const double before = HeapBytes();
        AEffect* e = CreateEffect(&HostCallback, nullptr);
        benchmark::DoNotOptimize(e);
        state.PauseTiming();
        bytes = HeapBytes() - before;
        e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
        state.ResumeTiming();
    }
    state.counters["heap_MB"] = bytes / (1024.0 * 1024.0);
}
BENCHMARK(BM_Construct)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    RegisterEffects();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
