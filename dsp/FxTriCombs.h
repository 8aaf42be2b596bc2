// TriCombs: three feedback combs per channel tuned to a chord, their delays gliding through 2 Hz
// low-passes. Audio thread only, except the working values.
#pragma once

#include "dsp/BuffersClass.h"
#include "dsp/FiltresClass.h"
#include "dsp/FxFrame.h"
#include "dsp/Numbers.h"
#include "dsp/Shared.h"

#include <array>
#include <cstdint>

constexpr int32_t kCombs = 3;
constexpr int32_t kLowestNote = -7;    // row offset -7 on a root of 0
constexpr int32_t kHighestNote = 87;   // offset 9 on root 70 plus 8 synced steps
constexpr int32_t kNoteCount = kHighestNote - kLowestNote + 1;

// The chord rows: each comb's offset in semitones from the base note.
extern const std::array<std::array<int32_t, 3>, 15> kChordTable;

// Period in seconds of every note the combs can play, from the same expression the combs would
// evaluate per sample (8.17742 and 1.05946 as they are, not the exact tuning constants).
extern const std::array<float, kNoteCount> kNotePeriods;

// The lines always record input plus feedback; the rest freezes while another effect plays.
class TTriCombs final {
public:
    void Step(const TFxFrame& f) {
        for (size_t k = 0; k < size_t(kCombs); ++k)
            ChdLinesL[k].Write(f.PosTenth, PlusBack(f.InL, Wide(ChdBackL[k])));
        for (size_t k = 0; k < size_t(kCombs); ++k)
            ChdLinesR[k].Write(f.PosTenth, PlusBack(f.InR, Wide(ChdBackR[k])));
        ChdNote = ChdRoot + SyncStepCombs;

        auto clamp = [](int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); };
        const int32_t sr = f.SrInt;
        const float sampleRate = float(sr);
        const int32_t row = clamp(ChdSel, 0, int32_t(kChordTable.size()) - 1);
        if (row != ChdTargetsRow || ChdNote != ChdTargetsNote || sr != ChdTargetsRate) {
            for (size_t k = 0; k < size_t(kCombs); ++k) {
                const int32_t note = clamp(kChordTable[size_t(row)][k] + ChdNote, kLowestNote, kHighestNote);
                ChdTargets[k] = float(Wide(sr) * Wide(kNotePeriods[size_t(note - kLowestNote)]));
            }
            ChdTargetsRow = row;
            ChdTargetsNote = ChdNote;
            ChdTargetsRate = sr;
        }
        for (size_t k = 0; k < size_t(kCombs); ++k) ChdGlide[k].TickHeld(ChdTargets[k], 2.0f, sampleRate);
        // The ring is RingTenth, a tenth of a second cut to the line capacity above 192 kHz; notes
        // of 3 and below are longer and wrap around it. Both channels of a comb read the same delay.
        for (size_t k = 0; k < size_t(kCombs); ++k) {
            const TDelayTap tap = SplitDelay(f.PosTenth, f.RingTenth, ChdGlide[k].Output);
            ChdLinesL[k].Read(tap);
            ChdLinesR[k].Read(tap);
        }
        const Wide feedback = ChdFeedback;
        for (size_t k = 0; k < size_t(kCombs); ++k) {
            ChdLowL[k].Tick(ChdLinesL[k].Output, 6500.0f, sampleRate);
            ChdLowR[k].Tick(ChdLinesR[k].Output, 6500.0f, sampleRate);
            ChdBackL[k] = float(Wide(ChdLowL[k].Output) * feedback);
            ChdBackR[k] = float(Wide(ChdLowR[k].Output) * feedback);
        }
        auto mix = [](const std::array<Tdelay2p, kCombs>& lines) {
            return float((Wide(lines[0].Output) + Wide(lines[1].Output) + Wide(lines[2].Output)) * 0.29);
        };
        ChdOutL = mix(ChdLinesL);
        ChdOutR = mix(ChdLinesR);
    }

    void Deselected(const TFxSpan& s) {
        for (size_t k = 0; k < size_t(kCombs); ++k)
            RecordPair(ChdLinesL[k].Buffer.data(), ChdLinesR[k].Buffer.data(), s.First.PosTenth, s.First.RingTenth, s,
                       Wide(ChdBackL[k]), Wide(ChdBackR[k]), PlusBack);
        ChdNote = ChdRoot + SyncStepCombs;
    }


    TWetPair Wet() const { return {ChdOutL, ChdOutR}; }

    // Working values (written by parameter changes on any thread); SyncStepCombs is the synced
    // value's step up from the root.
    Shared<int32_t> ChdSel = 0, ChdRoot = 0, SyncStepCombs = 0;
    Shared<float> ChdFeedback = 0.0f;

    std::array<Tdelay2p, kCombs> ChdLinesL{Tdelay2p{kCombLineLength}, Tdelay2p{kCombLineLength},
                                           Tdelay2p{kCombLineLength}};
    std::array<Tdelay2p, kCombs> ChdLinesR{Tdelay2p{kCombLineLength}, Tdelay2p{kCombLineLength},
                                           Tdelay2p{kCombLineLength}};
    std::array<TLp1, kCombs> ChdGlide{}, ChdLowL{}, ChdLowR{};
    std::array<float, kCombs> ChdBackL{}, ChdBackR{};
    int32_t ChdNote = 0;
    float ChdOutL = 0, ChdOutR = 0;
    // The glides' targets (delays in samples) for the chord row, base note and rate they were
    // worked out for.
    std::array<float, kCombs> ChdTargets{};
    int32_t ChdTargetsRow = -1, ChdTargetsNote = 0, ChdTargetsRate = 0;
};
