// What the engine shares with its effects: the frame being processed (input pair, write positions,
// rates, LFO, cycle check) for the selected effect's per-frame step, and a span of frames for the
// work of the deselected ones. Audio thread only.
#pragma once

#include "dsp/Numbers.h"

#include <cstdint>

// Line capacities; up to 192 kHz every write position stays inside its line.
constexpr int32_t kLongLineLength = 1536000;     // 8 s at 192 kHz: synced delay, ringer
constexpr int32_t kSecondLineLength = 192000;    // 1 s at 192 kHz: glide & drift
constexpr int32_t kFlangerLineLength = 2000;     // 10 ms at 192 kHz, with room
constexpr int32_t kCombLineLength = 25000;       // 0.1 s at 192 kHz, with room

// The most frames one span of deselected work covers.
constexpr int32_t kSpanLength = 512;

// Samples in 1/divisor of a second at `sr`, rounded: the rate-derived lengths of a block.
int32_t SamplesIn(int32_t sr, Wide divisor);

struct TFxFrame {
    // The block's rate and beat, and the rings they give.
    void SetRate(int32_t sr, float samplesPerBeat);
    // One frame on: every write position one step round its ring.
    void Advance() { AdvanceRings<kAllRings>(); }
    // One frame on for the rings in `Rings` only: those a selected effect reads on every frame.
    template <int32_t Rings>
    void AdvanceRings() {
        if constexpr ((Rings & kRingLong) != 0) Step(PosLong, RingLong);
        if constexpr ((Rings & kRingFlanger) != 0) Step(PosFlanger, RingFlanger);
        if constexpr ((Rings & kRingSecond) != 0) Step(PosSecond, RingSecond);
        if constexpr ((Rings & kRingTenth) != 0) Step(PosTenth, RingTenth);
    }
    // The rings not in `Rings` k steps on at once, where they would be had each frame stepped
    // them. Every position must already be inside its ring (true after one Advance at this rate).
    template <int32_t Rings>
    void CatchUp(int32_t k) {
        if constexpr ((Rings & kRingLong) == 0) Skip(PosLong, RingLong, k);
        if constexpr ((Rings & kRingFlanger) == 0) Skip(PosFlanger, RingFlanger, k);
        if constexpr ((Rings & kRingSecond) == 0) Skip(PosSecond, RingSecond, k);
        if constexpr ((Rings & kRingTenth) == 0) Skip(PosTenth, RingTenth, k);
    }
    static constexpr int32_t kRingLong = 1, kRingFlanger = 2, kRingSecond = 4, kRingTenth = 8, kAllRings = 15;

    // The modulation the sweeps take (0..1, 1 at the oscillator's bottom) for a raw LFO value
    // (-1..1): 1 - (raw + 1) / 2. In float it rounds once, from a product that is exact: for every
    // raw value from -1 to 1 this is the float the double expression rounds to (checked for all
    // of them), and it vectorises four to a register.
    static float LfoMod(float raw) { return 0.5f - 0.5f * raw; }

    float InL = 0, InR = 0;
    // Shared delay write positions, and their ring lengths: SrTimes8, SrInt, SrHundredth and SrTenth
    // cut to the line capacities above 192 kHz and kept at least 1, so no position or tap leaves its
    // line.
    int32_t PosLong = -1, PosFlanger = -1, PosSecond = -1, PosTenth = 0;
    int32_t RingLong = 1, RingSecond = 1, RingFlanger = 1, RingTenth = 1;
    // The block's rate and beat.
    int32_t SrInt = 0;
    float SamplesPerBeat = 0.0f;
    // The LFO pair of this frame, raw and as modulation, and the working values more than one
    // effect reads.
    float LfoRawL = 0, LfoRawR = 0, LfoModL = 0, LfoModR = 0;
    float LfoAmp = 0.0f;
    int32_t SyncDelayLength = 0;
    // 0 on the frames after the cycle check found the song at a cycle start, else 1.
    float CycleRestart = 1.0f;

private:
    static void Step(int32_t& pos, int32_t ring) {
        if (++pos >= ring) pos = 0;
    }
    static void Skip(int32_t& pos, int32_t ring, int32_t k) { pos = int32_t((int64_t(pos) + k) % ring); }
};

// What an effect hands the output mix.
struct TWetPair {
    float L, R;
};

// Frames the selection stayed the same for: their inputs (already taken as silence where not
// finite), whether each started a cycle, and the frame values of the first of them. Positions of
// later frames follow from the first: one step round their ring each.
struct TFxSpan {
    const float* InL = nullptr;
    const float* InR = nullptr;
    const uint8_t* CycleStart = nullptr;
    int32_t Count = 0;
    TFxFrame First;
};

// The most frames a selected effect works out ahead at once (its sweep's taps or coefficients).
constexpr int32_t kPlanLength = 64;

// What a selected effect works out ahead from, for the next Count frames (1..kPlanLength): the
// first of them as it will read the write positions of the rings its effect reads, the rates and
// the LFO amount, and the LFO pair of each.
struct TFxPlan {
    TFxFrame First;
    int32_t Count = 0;
    const float *LfoRawL = nullptr, *LfoRawR = nullptr, *LfoModL = nullptr, *LfoModR = nullptr;

    // The plan of one frame on its own.
    static TFxPlan Of(const TFxFrame& f) { return {f, 1, &f.LfoRawL, &f.LfoRawR, &f.LfoModL, &f.LfoModR}; }
};

// Writes value(j) for the span's frames j = 0..n-1 into a ring line from `pos` on, wrapping at
// `length`: in runs of consecutive samples the compiler can vectorise.
template <class Value>
inline void RecordRing(float* line, int32_t pos, int32_t length, int32_t n, Value value) {
    for (int32_t done = 0; done < n;) {
        const int32_t run = n - done < length - pos ? n - done : length - pos;
        float* out = line + pos;
        for (int32_t j = 0; j < run; ++j) out[j] = value(done + j);
        done += run;
        pos += run;
        if (pos >= length) pos = 0;
    }
}

// A line's input: the frame's input plus the feedback held for it.
inline constexpr auto PlusBack = [](float in, Wide back) { return float(Wide(in) + back); };

// Records the span's input pair into a pair of ring lines from `pos` on: each sample as
// record(input, back), with the channel's `back` held over the span.
template <class Record>
inline void RecordPair(float* lineL, float* lineR, int32_t pos, int32_t length, const TFxSpan& s, Wide backL,
                       Wide backR, Record record) {
    const float *inL = s.InL, *inR = s.InR;
    RecordRing(lineL, pos, length, s.Count, [=](int32_t j) { return record(inL[j], backL); });
    RecordRing(lineR, pos, length, s.Count, [=](int32_t j) { return record(inR[j], backR); });
}
