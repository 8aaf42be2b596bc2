// Realtime slicer, one frame: a bar recorded continuously and, when selected, enveloped half-beat
// slices played out of it. Audio thread only.
#pragma once

#include "dsp/ConvertersClass.h"
#include "dsp/FxEngine.h"

#include <bit>
#include <cstdint>

// Rebuilds the slice gain over n + 1 entries of env (inUse of them were in use before): a steep
// rise to 1, a flat peak, the mirror image. env must hold n + 1 entries already.
void BuildSliceEnvelope(TSampleBuffer& env, int32_t& inUse, int32_t n);

// Records a bar continuously and, when selected, plays enveloped half-beat slices out of it.
// Counting, recording and the random choices run whether or not the effect is selected.
inline void TFxEngine::ProcessSlicer(int32_t selectedFx) {
    // A beat is cut to kSlicerMaxBeat at very low tempi, so the bar fits the record buffers.
    const float hostBeat = SamplesPerBeat;
    const float spb = hostBeat < float(kSlicerMaxBeat) ? hostBeat : float(kSlicerMaxBeat);
    const Wide beat = spb;
    const bool cycleStart = Frame.CycleRestart == 0.0f;
    // Speed and quantisation are 1 or more once any parameter has been set.
    const int32_t speedValue = SliSpeed, quantValue = SliQuant;
    const int32_t speed = speedValue > 1 ? speedValue : 1;
    const int32_t quant = quantValue > 1 ? quantValue : 1;

    // A counter passes a limit q exactly when it passes the whole part of q: the limits are kept as
    // whole numbers, worked out again when the beat, the speed or the quantisation change.
    if (spb != SliLimits.Beat || speed != SliLimits.Speed || quant != SliLimits.Quant)
        SliLimits = TSlicerLimits(spb, speed, quant);

    SliRecPos += 1;
    if (SliRecPos > SliLimits.Bar || cycleStart) SliRecPos = 0;      // 4 x spb

    SliPos += 1;
    if (SliPos > SliLimits.Slice || cycleStart) SliPos = 0;          // spb / SliSpeed

    // A plain read first: the flag is raised rarely, and taking it is a locked exchange.
    if (SliRestart == 1 && SliRestart.Exchange(0) == 1)
        BuildSliceEnvelope(SliEnvelope, SliEnvelopeLength, TruncInt(float(beat / Wide(speed))));

    SliChangeCount += 1;
    const bool due = SliChangeCount > SliLimits.Change;                // spb / SliQuant
    if (due) {
        const int32_t var = SliVar;
        SliChoice = SliRng.Below(var);
        SliChance = float(Wide(SliRng.Below(10)) / 10.0);
        SliReverse = (SliChance > 0.5f && var > 4) ? 1 : 0;
    }
    if (due || cycleStart) SliChangeCount = 0;

    SliceBufferL[size_t(SliRecPos)] = Frame.InL;
    SliceBufferR[size_t(SliRecPos)] = Frame.InR;

    if (selectedFx != 5) return;

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
