// Realtime slicer: a bar recorded continuously and, when selected, enveloped half-beat slices
// played out of it. Audio thread only, except the working values.
#pragma once

#include "dsp/BuffersClass.h"
#include "dsp/ConvertersClass.h"
#include "dsp/FxFrame.h"
#include "dsp/Numbers.h"
#include "dsp/Random.h"
#include "dsp/Shared.h"

#include <algorithm>
#include <bit>
#include <cstdint>

constexpr int32_t kSliceBufferLength = 1536001;  // slicer record buffers, index 0..1,536,000
constexpr int32_t kSliceBufferLast = kSliceBufferLength - 1;
// The slicer's bar (four beats) must fit its record buffers: slower beats are cut to this length.
constexpr int32_t kSlicerMaxBeat = kSliceBufferLast / 4;

// The largest whole number k for which k > q is false: floor(q), with NaN and very large q above
// every counter and very negative q below every counter.
int64_t WholeNotAbove(Wide q);

// The slicer's limits for its three counters at one beat length (already cut to the buffers),
// speed and quantisation: the bar 4 x beat, the slice beat / speed, the random change beat / quant.
struct TSlicerLimits {
    TSlicerLimits() = default;
    TSlicerLimits(float beat, int32_t speed, int32_t quant);
    float Beat = -1.0f;
    int32_t Speed = 0, Quant = 0;
    int64_t Bar = 0, Slice = 0, Change = 0;
};

// Rebuilds the slice gain over n + 1 entries of env (inUse of them were in use before): a steep
// rise to 1, a flat peak, the mirror image. env must hold n + 1 entries already.
void BuildSliceEnvelope(TSampleBuffer& env, int32_t& inUse, int32_t n);

// Records a bar continuously and, when selected, plays enveloped half-beat slices out of it.
// Counting, recording and the random choices run whether or not the effect is selected.
class TSlicer final {
public:
    TSlicer();

    void Step(const TFxFrame& f) {
        const float spb = CutBeat(f.SamplesPerBeat);
        const Wide beat = spb;
        TakeSettings(spb);
        Count(f.CycleRestart == 0.0f);
        SliceBufferL[size_t(SliRecPos)] = f.InL;
        SliceBufferR[size_t(SliRecPos)] = f.InR;

        // Where the slice starts changes only with the random choice, the synced value, the direction
        // and the beat: worked out again when one of them does.
        const float syncSlice = SyncSlice;
        if (SliChoice != SliStartChoice || std::bit_cast<uint32_t>(syncSlice) != SliStartSync ||
            SliReverse != SliStartReverse || spb != SliStartBeat) {
            const int32_t k = FloorInt(float(Wide(SliChoice) + Wide(syncSlice)));
            const int32_t m = SliReverse == 0 ? ((k % 8) + 8) % 8 : ((k % 7) + 7) % 7 + 2;
            SliStart = RoundInt(float(Wide(m) * beat / 2.0));
            SliStartChoice = SliChoice;
            SliStartSync = std::bit_cast<uint32_t>(syncSlice);
            SliStartReverse = SliReverse;
            SliStartBeat = spb;
        }
        // Forwards from half-beat m, or backwards from it.
        SliReadPos = SliReverse == 0 ? SliStart + SliPos : SliStart - SliPos;
        if (SliReadPos > kSliceBufferLast) SliReadPos = kSliceBufferLast;
        if (SliReadPos < 0) SliReadPos = 0;

        // After a tempo change the slice can outrun the envelope until the next rebuild: past its
        // end the last entry (silence) is held.
        const int32_t last = SliEnvelopeLength - 1;
        const float gain = last < 0 ? 0.0f : SliEnvelope[size_t(SliPos < last ? SliPos : last)];
        SliOutL = float(Wide(SliceBufferL[size_t(SliReadPos)]) * Wide(gain));
        SliOutR = float(Wide(SliceBufferR[size_t(SliReadPos)]) * Wide(gain));
    }

    void Deselected(const TFxSpan& s) {
        // Speed, quantisation and a raised restart are taken once for the span, at its first frame.
        TakeSettings(CutBeat(s.First.SamplesPerBeat));
        uint8_t cycleStarts = 0;
        for (int32_t j = 0; j < s.Count; ++j) cycleStarts |= s.CycleStart[j];
        for (int32_t j = 0; j < s.Count;) {
            // Without a cycle start, the frames before a counter next passes its limit only count
            // and record: taken as one run. The frame that passes a limit goes through Count.
            const int64_t plain = cycleStarts != 0 ? 0 : RunBeforeALimit(s.Count - j);
            if (plain <= 0) {
                Count(s.CycleStart[j] != 0);
                SliceBufferL[size_t(SliRecPos)] = s.InL[j];
                SliceBufferR[size_t(SliRecPos)] = s.InR[j];
                ++j;
                continue;
            }
            const int32_t run = int32_t(plain);
            std::copy_n(s.InL + j, run, SliceBufferL.data() + SliRecPos + 1);
            std::copy_n(s.InR + j, run, SliceBufferR.data() + SliRecPos + 1);
            SliRecPos += run;
            SliPos += run;
            SliChangeCount += run;
            j += run;
        }
    }


    TWetPair Wet() const { return {SliOutL, SliOutR}; }

    // Working values (written by parameter changes on any thread); SyncSlice is the synced value's
    // slice offset.
    Shared<int32_t> SliSpeed = 0, SliQuant = 0, SliVar = 0;
    Shared<int32_t> SliRestart = 1;   // raised by a speed change, taken by the slicer
    Shared<float> SyncSlice = 0.0f;

    TSampleBuffer SliceBufferL, SliceBufferR;
    int32_t SliRecPos = 0, SliPos = -1, SliReadPos = -1, SliChangeCount = 0, SliChoice = 0;
    float SliChance = 0;
    uint8_t SliReverse = 0;
    TSampleBuffer SliEnvelope;        // room for the longest slice
    int32_t SliEnvelopeLength = 0;    // entries in use
    float SliOutL = 0, SliOutR = 0;
    TRandom SliRng;
    TSlicerLimits SliLimits;
    // The read position of the slice's first sample, for the choice, synced value, direction and
    // beat it was worked out for.
    int32_t SliStart = 0, SliStartChoice = -1;
    uint32_t SliStartSync = 0;
    uint8_t SliStartReverse = 0;
    float SliStartBeat = -1.0f;

private:
    // A beat is cut to kSlicerMaxBeat at very low tempi, so the bar fits the record buffers.
    static float CutBeat(float hostBeat) { return hostBeat < float(kSlicerMaxBeat) ? hostBeat : float(kSlicerMaxBeat); }

    // The counters' limits for this beat, speed and quantisation, and the envelope rebuilt when a
    // speed change asked for it.
    void TakeSettings(float spb) {
        // Speed and quantisation are 1 or more once any parameter has been set.
        const int32_t speedValue = SliSpeed, quantValue = SliQuant;
        const int32_t speed = speedValue > 1 ? speedValue : 1;
        const int32_t quant = quantValue > 1 ? quantValue : 1;

        // A counter passes a limit q exactly when it passes the whole part of q: the limits are kept as
        // whole numbers, worked out again when the beat, the speed or the quantisation change.
        if (spb != SliLimits.Beat || speed != SliLimits.Speed || quant != SliLimits.Quant)
            SliLimits = TSlicerLimits(spb, speed, quant);

        // A plain read first: the flag is raised rarely, and taking it is a locked exchange.
        if (SliRestart == 1 && SliRestart.Exchange(0) == 1)
            BuildSliceEnvelope(SliEnvelope, SliEnvelopeLength, TruncInt(float(Wide(spb) / Wide(speed))));
    }

    // How many of the next `most` frames step every counter without passing its limit (0 or less
    // when the next one does). Record positions stay within the bar, so inside the buffers.
    int64_t RunBeforeALimit(int32_t most) const {
        int64_t run = most;
        run = std::min(run, SliLimits.Bar - SliRecPos);
        run = std::min(run, SliLimits.Slice - SliPos);
        return std::min(run, SliLimits.Change - SliChangeCount);
    }

    // One frame of the counters and the random choices.
    void Count(bool cycleStart) {
        SliRecPos += 1;
        if (SliRecPos > SliLimits.Bar || cycleStart) SliRecPos = 0;      // 4 x spb

        SliPos += 1;
        if (SliPos > SliLimits.Slice || cycleStart) SliPos = 0;          // spb / SliSpeed

        SliChangeCount += 1;
        const bool due = SliChangeCount > SliLimits.Change;                // spb / SliQuant
        if (due) {
            const int32_t var = SliVar;
            SliChoice = SliRng.Below(var);
            SliChance = float(Wide(SliRng.Below(10)) / 10.0);
            SliReverse = (SliChance > 0.5f && var > 4) ? 1 : 0;
        }
        if (due || cycleStart) SliChangeCount = 0;
    }
};
