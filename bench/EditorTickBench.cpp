// The editor's idle work without a display: a host calls effEditIdle every 40 ms, the form runs
// its 60 ms timer, and whatever it marks changed is painted into a frame and converted into a
// display image as the X11 layer does before it sends it. Three states: nothing changing, an
// effect engaged with the LFO trace moving (the audio in between is not timed), and the host
// automating "Del Fbck" on every idle. Beside them, a repaint of the whole form on every tick.
//
// Time is the thread's CPU time of the idle calls. Counters: tick_median_us and tick_max_us
// (CPU per idle call that ran a timer tick), px_per_s (pixels sent per second of host time) and
// rects_per_s (separate images sent per second).
#include "editor/PluginEditorWindow.h"
#include "plugin/uPlugin.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr int kIdleMs = 40;
constexpr int32_t kIdleFrames = int32_t(kRate * kIdleMs / 1000);
constexpr int kIdles = 1500;   // a minute of host time

VstTimeInfo Time{};

VstIntPtr VSTCALL HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetTime: return reinterpret_cast<VstIntPtr>(&Time);
    default: return 0;
    }
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Paints what the form marks changed into a frame of the window's size and converts it into the
// opaque pixels a 24-bit visual takes, counting what would be sent.
struct BenchPlatform final : TFormPlatform {
    int64_t Now = 0;
    int Width = TPluginEditorWindow::kDesignWidth, Height = TPluginEditorWindow::kDesignHeight;
    std::vector<uint32_t> Frame = std::vector<uint32_t>(size_t(Width) * size_t(Height));
    std::vector<uint32_t> Image = Frame;
    bool Everything = false;   // repaint and send the whole window every time
    int64_t Pixels = 0, Rects = 0;

    bool KeyHeld(THeldKey) override { return false; }
    int64_t NowMs() override { return Now; }
    void Sleep(int) override {}
    int Random(int range) override { return range / 2; }
    void SizeChanged(int w, int h) override {
        Width = w;
        Height = h;
        Frame.assign(size_t(w) * size_t(h), 0u);
        Image = Frame;
    }
    void Send(TPluginEditorWindow& form, const TRect& r) {
        form.PaintArea({Frame.data(), Width, Height, Width}, r);
        for (int y = r.Top; y < r.Bottom(); ++y)
            for (int x = r.Left; x < r.Right(); ++x) {
                const size_t i = size_t(y) * size_t(Width) + size_t(x);
                Image[i] = Frame[i] | 0xFF000000u;
            }
        Pixels += int64_t(r.Width) * r.Height;
        ++Rects;
    }
    void Present(TPluginEditorWindow& form) override {
        const TRect all{0, 0, Width, Height};
        form.TakeDamage(Damage);
        if (Everything) {
            Send(form, all);
            return;
        }
        for (const TRect& r : Damage)
            if (const TRect c = r.Intersect(all); !c.Empty()) Send(form, c);
    }
    std::vector<TRect> Damage;
};

enum class TState { Static, Engaged, Automated, FullRepaint };

void Run(benchmark::State& state, TState what) {
    Time = VstTimeInfo{};
    Time.sampleRate = kRate;
    Time.tempo = 120.0;
    Time.flags = kVstTempoValid | kVstPpqPosValid;
    AEffect* e = CreateEffect(&HostCallback, nullptr);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, float(kRate));
    e->dispatcher(e, effSetBlockSize, 0, kIdleFrames, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    auto* plugin = static_cast<APlugin*>(e->object);
    auto owned = std::make_unique<BenchPlatform>();
    BenchPlatform& platform = *owned;
    platform.Everything = what == TState::FullRepaint;
    TPluginEditorWindow form(std::move(owned));
    form.Attach(plugin);

    const size_t frames = size_t(kIdleFrames);
    std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
    for (int32_t i = 0; i < kIdleFrames; ++i) {
        inL[size_t(i)] = float(0.3 * std::sin(i * 0.05));
        inR[size_t(i)] = float(0.3 * std::sin(i * 0.031));
    }
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    if (what == TState::Engaged) {
        // the Flanger chosen and the fourth synced value held (it sets the LFO's rate and
        // opens the mix), the LFO at full amplification, the transport running
        Time.flags |= kVstTransportPlaying;
        e->setParameter(e, kLfoAmp, 1.0f);
        e->setParameter(e, kTrgFx1 + 2, 0.75f);
        e->setParameter(e, kTrgSv1 + 3, 1.0f);
    }
    auto idle = [&](int n) {
        if (what == TState::Engaged) {
            e->processReplacing(e, ins, outs, kIdleFrames);
            Time.samplePos += kIdleFrames;
            Time.ppqPos += kIdleFrames * Time.tempo / (60.0 * kRate);
        } else if (what == TState::Automated) {
            // a slow triangle: the slider moves a step or two on every idle
            const int phase = n % 100;
            e->setParameter(e, kDelFbck, float(phase < 50 ? phase : 100 - phase) / 50.0f);
        }
        platform.Now += kIdleMs;
        const double t0 = ThreadCpuSeconds();
        // as the framework's idle: the form first, then the effect's exchange with it
        form.Idle();
        plugin->EditorIdle(&form);
        return ThreadCpuSeconds() - t0;
    };
    // the first refresh and a settled trace are not what is measured
    for (int n = 0; n < 50; ++n) idle(n);
    platform.Pixels = platform.Rects = 0;

    std::vector<double> ticks;
    ticks.reserve(kIdles);
    int n = 50;
    int64_t lastTick = platform.Now / TPluginEditorWindow::kTimerInterval;
    for (auto _ : state) {
        const double cpu = idle(n++);
        state.SetIterationTime(cpu);
        const int64_t tick = platform.Now / TPluginEditorWindow::kTimerInterval;
        if (tick != lastTick) ticks.push_back(cpu);
        lastTick = tick;
    }
    std::sort(ticks.begin(), ticks.end());
    const double hostSeconds = double(state.iterations()) * kIdleMs / 1000.0;
    if (!ticks.empty()) {
        state.counters["tick_median_us"] = ticks[ticks.size() / 2] * 1e6;
        state.counters["tick_max_us"] = ticks.back() * 1e6;
    }
    state.counters["px_per_s"] = double(platform.Pixels) / hostSeconds;
    state.counters["rects_per_s"] = double(platform.Rects) / hostSeconds;
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

void BM_EditorIdleStatic(benchmark::State& s) { Run(s, TState::Static); }
void BM_EditorIdleEngaged(benchmark::State& s) { Run(s, TState::Engaged); }
void BM_EditorIdleAutomated(benchmark::State& s) { Run(s, TState::Automated); }
void BM_EditorIdleFullRepaint(benchmark::State& s) { Run(s, TState::FullRepaint); }
constexpr auto kUs = benchmark::kMicrosecond;
BENCHMARK(BM_EditorIdleStatic)->UseManualTime()->Iterations(kIdles)->Unit(kUs);
BENCHMARK(BM_EditorIdleEngaged)->UseManualTime()->Iterations(kIdles)->Unit(kUs);
BENCHMARK(BM_EditorIdleAutomated)->UseManualTime()->Iterations(kIdles)->Unit(kUs);
BENCHMARK(BM_EditorIdleFullRepaint)->UseManualTime()->Iterations(kIdles)->Unit(kUs);

}  // namespace

BENCHMARK_MAIN();
