// Whole-plug-in benchmarks: processReplacing through the record in 512-frame blocks at 48 kHz and
// 120 BPM with the transport playing, one run per effect on a minute of music-like stereo, one on
// the minute of silence that follows it, and the cost and footprint of building an instance.
// A peer runs the same two minutes in the same run: the stereo chorus/flanger of the LADSPA TAP
// collection at a 2 ms delay, loaded from the system's LADSPA folder. Each effect's cost is then
// given as a ratio to the peer's, which holds across machines far better than nanoseconds do.
//
// Counters: frame_time (CPU time per stereo frame, shown in ns) and realtime (seconds of audio per
// CPU second). Without arguments: 7 repetitions in random interleaving, the ratios of the medians.
#include "plugin/uPlugin.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <ladspa.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <malloc.h>
#include <string>
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

// The peer: one LADSPA instance at 48 kHz, every control at its default but the delay.
class Peer {
public:
    static constexpr const char* kLibrary = "/usr/lib/ladspa/tap_chorusflanger.so";
    static constexpr const char* kLabel = "tap_chorusflanger";
    static constexpr float kDelayMs = 2.0f;

    Peer() {
        Library = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!Library) return;
        auto descriptor = reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(Library, "ladspa_descriptor"));
        for (unsigned long i = 0; descriptor && !Plugin; ++i) {
            const LADSPA_Descriptor* d = descriptor(i);
            if (!d) break;
            if (std::strcmp(d->Label, kLabel) == 0) Plugin = d;
        }
        if (!Plugin) return;
        Handle = Plugin->instantiate(Plugin, static_cast<unsigned long>(kRate));
        if (!Handle) return;
        Controls.resize(Plugin->PortCount, 0.0f);
        int32_t audioIn = 0, audioOut = 0;
        for (unsigned long p = 0; p < Plugin->PortCount; ++p) {
            const LADSPA_PortDescriptor pd = Plugin->PortDescriptors[p];
            if (LADSPA_IS_PORT_CONTROL(pd)) {
                Controls[p] = DefaultOf(Plugin->PortRangeHints[p]);
                if (std::strncmp(Plugin->PortNames[p], "Delay", 5) == 0) Controls[p] = kDelayMs;
                Plugin->connect_port(Handle, p, &Controls[p]);
            } else if (LADSPA_IS_PORT_INPUT(pd)) {
                Inputs[audioIn++ & 1] = p;
            } else {
                Plugin->connect_port(Handle, p, audioOut++ == 0 ? OutL : OutR);
            }
        }
        if (Plugin->activate) Plugin->activate(Handle);
    }
    ~Peer() {
        if (Handle) Plugin->cleanup(Handle);
        if (Library) dlclose(Library);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool Ready() const { return Handle != nullptr; }

    void Run(const std::vector<float>& l, const std::vector<float>& r, int32_t frames) {
        for (int32_t at = 0; at < frames; at += kBlock) {
            const int32_t n = frames - at < kBlock ? frames - at : kBlock;
            Plugin->connect_port(Handle, Inputs[0], const_cast<float*>(&l[size_t(at)]));
            Plugin->connect_port(Handle, Inputs[1], const_cast<float*>(&r[size_t(at)]));
            Plugin->run(Handle, static_cast<unsigned long>(n));
            benchmark::DoNotOptimize(OutL[0]);
            benchmark::DoNotOptimize(OutR[n - 1]);
        }
    }

private:
    static float DefaultOf(const LADSPA_PortRangeHint& h) {
        const LADSPA_PortRangeHintDescriptor d = h.HintDescriptor;
        const float lo = h.LowerBound, hi = h.UpperBound;
        const bool log = LADSPA_IS_HINT_LOGARITHMIC(d);
        auto between = [&](float w) {
            return log ? std::exp(std::log(lo) * (1.0f - w) + std::log(hi) * w) : lo * (1.0f - w) + hi * w;
        };
        if (LADSPA_IS_HINT_DEFAULT_MINIMUM(d)) return lo;
        if (LADSPA_IS_HINT_DEFAULT_LOW(d)) return between(0.25f);
        if (LADSPA_IS_HINT_DEFAULT_MIDDLE(d)) return between(0.5f);
        if (LADSPA_IS_HINT_DEFAULT_HIGH(d)) return between(0.75f);
        if (LADSPA_IS_HINT_DEFAULT_MAXIMUM(d)) return hi;
        if (LADSPA_IS_HINT_DEFAULT_1(d)) return 1.0f;
        if (LADSPA_IS_HINT_DEFAULT_100(d)) return 100.0f;
        if (LADSPA_IS_HINT_DEFAULT_440(d)) return 440.0f;
        return 0.0f;
    }

    void* Library = nullptr;
    const LADSPA_Descriptor* Plugin = nullptr;
    LADSPA_Handle Handle = nullptr;
    std::vector<float> Controls;
    unsigned long Inputs[2] = {0, 0};
    float OutL[kBlock] = {}, OutR[kBlock] = {};
};

void SetFrameCounters(benchmark::State& state, double frames) {
    state.counters["frame_time"] =
        benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["realtime"] = benchmark::Counter(frames / kRate, benchmark::Counter::kIsRate);
}

// The minute of signal, timed; or, with `silence`, the minute of silence after it, timed alone.
template <class Runner>
void TimeMinute(benchmark::State& state, Runner& runner, bool silence) {
    const Signal& music = Music();
    double frames = 0;
    for (auto _ : state) {
        if (silence) {
            state.PauseTiming();
            runner.Run(music.L, music.R, kSignalFrames);
            state.ResumeTiming();
            runner.Run(music.Silence, music.Silence, kSignalFrames);
        } else {
            runner.Run(music.L, music.R, kSignalFrames);
        }
        frames += kSignalFrames;
    }
    SetFrameCounters(state, frames);
}

void BM_Signal(benchmark::State& state) {
    Instance fx(int32_t(state.range(0)));
    TimeMinute(state, fx, false);
}

void BM_SilenceAfterSignal(benchmark::State& state) {
    Instance fx(int32_t(state.range(0)));
    TimeMinute(state, fx, true);
}

void BM_Peer(benchmark::State& state, bool silence) {
    Peer peer;
    if (!peer.Ready()) {
        state.SkipWithError("the peer is not installed");
        return;
    }
    TimeMinute(state, peer, silence);
}
void BM_PeerSignal(benchmark::State& state) { BM_Peer(state, false); }
void BM_PeerSilenceAfterSignal(benchmark::State& state) { BM_Peer(state, true); }

constexpr const char* kPeerName = "TapChorusFlanger";

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
    benchmark::RegisterBenchmark((std::string("Signal/") + kPeerName).c_str(), BM_PeerSignal)
        ->Iterations(3)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("SilenceAfterSignal/") + kPeerName).c_str(), BM_PeerSilenceAfterSignal)
        ->Iterations(3)->Unit(benchmark::kMillisecond);
}

// The console report, then each effect's frame time over the peer's: the medians where the runs
// were repeated, else the single runs.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const auto it = run.counters.find("frame_time");
            if (it == run.counters.end()) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            Entry& e = Times[run.run_name.function_name];
            if (median) {
                e.Median = it->second.value;
            } else {
                e.Sum += it->second.value;
                e.Count += 1;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const double signal = TimeOf("Signal/" + std::string(kPeerName));
        const double silence = TimeOf("SilenceAfterSignal/" + std::string(kPeerName));
        if (!(signal > 0.0) || !(silence > 0.0)) return;
        std::printf("\ncost per stereo frame as a ratio to %s (%.1f ns on signal, %.1f ns on silence)\n",
                    kPeerName, signal * 1e9, silence * 1e9);
        // The last column: the effect's own cost on silence over its cost on signal.
        std::printf("%-16s %8s %8s %15s\n", "effect", "signal", "silence", "silence/signal");
        for (int32_t k = 0; k < kNumEffects; ++k) {
            const double a = TimeOf("Signal/" + std::string(kEffectNames[k]));
            const double b = TimeOf("SilenceAfterSignal/" + std::string(kEffectNames[k]));
            if (a > 0.0 && b > 0.0)
                std::printf("%-16s %7.2fx %7.2fx %14.2fx\n", kEffectNames[k], a / signal, b / silence, b / a);
        }
        std::fflush(stdout);
    }

private:
    struct Entry {
        double Median = 0.0, Sum = 0.0;
        int32_t Count = 0;
    };
    double TimeOf(const std::string& name) const {
        const auto it = Times.find(name);
        if (it == Times.end()) return 0.0;
        return it->second.Median > 0.0 ? it->second.Median : (it->second.Count ? it->second.Sum / it->second.Count : 0.0);
    }
    std::map<std::string, Entry> Times;
};

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
    // Rounds of every benchmark in random order, so that a busy spell of the machine falls on the
    // plug-in and the peer alike.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=7", interleave = "--benchmark_enable_random_interleaving=true";
    bool repeated = false;
    for (int i = 1; i < argc; ++i) repeated |= std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0;
    if (!repeated) {
        args.push_back(repetitions.data());
        args.push_back(interleave.data());
    }
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
