// One effect and the frame it reads, driven as the engine drives it: each frame the write positions
// move on and the effect's selected step runs; Deselected runs frames in spans as while another
// effect plays. The wet pair is what the engine would mix.
#pragma once

#include "dsp/FxFrame.h"
#include "dsp/OscillosClass.h"
#include "tests/support/Signals.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <tuple>
#include <utility>
#include <vector>

template <class Fx>
struct EffectRig {
    std::unique_ptr<Fx> E = std::make_unique<Fx>();
    TFxFrame F;
    std::vector<float> OutL, OutR;

    // At 120 beats per minute unless a beat length is given; the LFO at rest (no sweep) until
    // RunLfo.
    explicit EffectRig(int32_t rate = 44100, float samplesPerBeat = 0.0f) {
        F.SetRate(rate, samplesPerBeat > 0.0f ? samplesPerBeat : float(rate) * 0.5f);
        F.LfoModL = F.LfoModR = 1.0f;
    }
    // From now on each frame's LFO comes from an oscillator run as the engine runs it (transport
    // playing, phase offset 0): `wave` at `rate` Hz, on the frame's sample rate.
    void RunLfo(int32_t wave, float rate) {
        LfoOn = true;
        LfoWave = wave;
        LfoRate = rate;
    }
    std::pair<float, float> Frame(float l, float r) {
        TickLfo();
        F.InL = l;
        F.InR = r;
        F.Advance();
        E->Step(F);
        const TWetPair wet = E->Wet();
        return {wet.L, wet.R};
    }
    float Frame(float x) { return Frame(x, x).first; }
    void Run(int32_t frames, float x = 0.0f) {
        for (int32_t i = 0; i < frames; ++i) Frame(x);
    }
    // The frames of l and r, selected; the wet pairs land in OutL, OutR.
    const std::vector<float>& Run(const std::vector<float>& l, const std::vector<float>& r) {
        OutL.resize(l.size());
        OutR.resize(l.size());
        for (size_t i = 0; i < l.size(); ++i) std::tie(OutL[i], OutR[i]) = Frame(l[i], r[i]);
        return OutL;
    }
    const std::vector<float>& Run(const std::vector<float>& in) { return Run(in, in); }
    // The same frames with the effect's sweep planned kPlanLength frames ahead, as the engine
    // plans it.
    const std::vector<float>& RunPlanned(const std::vector<float>& l, const std::vector<float>& r) {
        OutL.resize(l.size());
        OutR.resize(l.size());
        std::array<float, kPlanLength> rawL{}, rawR{}, modL{}, modR{};
        for (size_t done = 0; done < l.size();) {
            TFxPlan plan = TFxPlan::Of(F);
            plan.First.Advance();
            plan.Count = int32_t(std::min(l.size() - done, size_t(kPlanLength)));
            for (size_t j = 0; j < size_t(plan.Count); ++j) {
                TickLfo();
                std::tie(rawL[j], rawR[j], modL[j], modR[j]) = std::tuple(F.LfoRawL, F.LfoRawR, F.LfoModL, F.LfoModR);
            }
            std::tie(plan.LfoRawL, plan.LfoRawR, plan.LfoModL, plan.LfoModR) =
                std::tuple(rawL.data(), rawR.data(), modL.data(), modR.data());
            E->Plan(plan);
            // What an effect holds over a run of frames (in registers) it holds over the batch.
            auto steps = [&](auto& held) {
                for (int32_t j = 0; j < plan.Count; ++j, ++done) {
                    F.InL = l[done];
                    F.InR = r[done];
                    F.Advance();
                    if constexpr (requires { E->StepHeld(F, held); })
                        E->StepHeld(F, held);
                    else
                        E->StepPlanned(F);
                    const TWetPair wet = E->Wet();
                    std::tie(OutL[done], OutR[done]) = std::pair(wet.L, wet.R);
                }
            };
            if constexpr (requires { E->Hold(); }) {
                auto held = E->Hold();
                steps(held);
                E->Release(held);
            } else {
                int nothing = 0;
                steps(nothing);
            }
        }
        return OutL;
    }
    // The same frames with the effect's frame-to-frame state held over all of them, as the
    // engine holds it over a span (for effects that hold state and plan nothing).
    const std::vector<float>& RunHeld(const std::vector<float>& l, const std::vector<float>& r) {
        OutL.resize(l.size());
        OutR.resize(l.size());
        auto held = E->Hold();
        for (size_t i = 0; i < l.size(); ++i) {
            TickLfo();
            F.InL = l[i];
            F.InR = r[i];
            F.Advance();
            E->StepHeld(F, held);
            const TWetPair wet = E->Wet(held);
            std::tie(OutL[i], OutR[i]) = std::pair(wet.L, wet.R);
        }
        E->Release(held);
        return OutL;
    }
    // Frames of x on both channels while another effect is selected.
    void Deselected(int32_t frames, float x = 0.0f) {
        const std::vector<float> in(size_t(frames), x);
        Deselected(in, in);
    }
    // The frames of l and r while another effect is selected, in spans as long as the engine's.
    void Deselected(const std::vector<float>& l, const std::vector<float>& r) {
        const std::vector<uint8_t> cycle(size_t(kSpanLength), 0);
        const int32_t frames = int32_t(l.size());
        for (int32_t done = 0; done < frames;) {
            TFxSpan s;
            s.InL = l.data() + done;
            s.InR = r.data() + done;
            s.CycleStart = cycle.data();
            s.Count = frames - done < kSpanLength ? frames - done : kSpanLength;
            TickLfo();
            F.Advance();
            s.First = F;
            for (int32_t j = 1; j < s.Count; ++j) {
                TickLfo();
                F.Advance();
            }
            E->Deselected(s);
            done += s.Count;
        }
    }

    TmultiDualSingle Lfo;
    bool LfoOn = false;
    int32_t LfoWave = 0;
    float LfoRate = 0.0f;

private:
    void TickLfo() {
        if (!LfoOn) return;
        Lfo.Tick(LfoWave, LfoRate, 0.5f, 0.0f, float(F.SrInt));
        F.LfoRawL = Lfo.OutA;
        F.LfoRawR = Lfo.OutB;
        F.LfoModL = TFxFrame::LfoMod(Lfo.OutA);
        F.LfoModR = TFxFrame::LfoMod(Lfo.OutB);
    }
};

// Two rigs made alike run the same frames, one frame by frame and one with its sweep planned ahead
// (for effects that plan): {by frame, planned}.
template <class Make>
auto RunByFrameAndPlanned(Make make, const std::vector<float>& l, const std::vector<float>& r) {
    auto byFrame = make(), planned = make();
    byFrame.Run(l, r);
    planned.RunPlanned(l, r);
    return std::pair(std::move(byFrame), std::move(planned));
}
