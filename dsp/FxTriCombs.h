// TriCombs, one frame: three feedback combs per channel tuned to a chord, their delays gliding
// through 2 Hz low-passes. Audio thread only.
#pragma once

#include "dsp/FxEngine.h"

#include <array>
#include <cstdint>

constexpr int32_t kLowestNote = -7;    // row offset -7 on a root of 0
constexpr int32_t kHighestNote = 87;   // offset 9 on root 70 plus 8 synced steps
constexpr int32_t kNoteCount = kHighestNote - kLowestNote + 1;

// Period in seconds of every note the combs can play, from the same expression the combs would
// evaluate per sample (8.17742 and 1.05946 as they are, not the exact tuning constants).
extern const std::array<float, kNoteCount> kNotePeriods;

// The lines always record input plus feedback; the rest freezes while another effect plays.
inline void TFxEngine::ProcessTriCombs(int32_t selectedFx) {
    for (size_t k = 0; k < size_t(kCombs); ++k)
        ChdLinesL[k].Write(Frame.PosTenth, float(Wide(Frame.InL) + Wide(ChdBackL[k])));
    for (size_t k = 0; k < size_t(kCombs); ++k)
        ChdLinesR[k].Write(Frame.PosTenth, float(Wide(Frame.InR) + Wide(ChdBackR[k])));
    ChdNote = ChdRoot + SyncStepCombs;
    if (selectedFx != 7) return;

    auto clamp = [](int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); };
    const int32_t sr = SrInt;
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
    for (size_t k = 0; k < size_t(kCombs); ++k) ChdGlide[k].Tick(ChdTargets[k], 2.0f, sampleRate);
    // The ring is RingTenth, a tenth of a second cut to the line capacity above 192 kHz; notes
    // of 3 and below are longer and wrap around it. Both channels of a comb read the same delay.
    for (size_t k = 0; k < size_t(kCombs); ++k) {
        const TDelayTap tap = SplitDelay(Frame.PosTenth, Frame.RingTenth, ChdGlide[k].Output);
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
