#include "dsp/FxSlicer.h"

#include <cmath>
#include <cstdint>

TSlicer::TSlicer()
    : SliceBufferL(size_t(kSliceBufferLength)),
      SliceBufferR(size_t(kSliceBufferLength)),
      SliEnvelope(size_t(kSlicerMaxBeat) + 1) {}

int64_t WholeNotAbove(Wide q) {
    constexpr Wide kFar = 4611686018427387904.0;   // 2^62, far beyond any int32_t counter
    if (!(q < kFar)) return int64_t(kFar);         // NaN too: no counter ever passes it
    if (q < -kFar) return -int64_t(kFar);
    return int64_t(std::floor(q));
}

TSlicerLimits::TSlicerLimits(float beat, int32_t speed, int32_t quant)
    : Beat(beat), Speed(speed), Quant(quant), Bar(WholeNotAbove(4.0 * Wide(beat))),
      Slice(WholeNotAbove(Wide(beat) / Wide(speed))), Change(WholeNotAbove(Wide(beat) / Wide(quant))) {}

void BuildSliceEnvelope(TSampleBuffer& env, int32_t& inUse, int32_t n) {
    const int32_t length = n + 1;
    for (int32_t i = inUse; i < length; ++i) env[size_t(i)] = 0.0f;   // a grown envelope starts at 0
    inUse = length;
    const int32_t h = TruncInt(float(Wide(n) * 0.5));
    for (int32_t j = 0; j < h; ++j) {
        // h = 1 would be 0/0: that single rising entry is the silent start.
        const Wide x = h > 1 ? Wide(j) / Wide(h - 1) : 0.0;
        env[size_t(j)] = float(std::pow(x, 0.08));
    }
    // The middle entries (h, and h + 1 for an odd length) would only copy each other: they are the peak.
    env[size_t(h)] = 1.0f;
    if (n % 2 != 0) env[size_t(h) + 1] = 1.0f;
    for (int32_t i = h + 1 + n % 2; i < n; ++i) env[size_t(i)] = env[size_t(n - i)];
    env[size_t(n)] = 0.0f;   // the slice ends silent
}

