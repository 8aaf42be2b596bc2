// Float-to-integer converters used by every delay read and every integer parameter.
// Pure functions, no state, safe on any thread. Rounding is always ties-to-even and does not
// depend on the FPU rounding mode the host's thread happens to run in.
// Hardening: every result saturates to INT32_MIN..INT32_MAX and NaN gives 0, so no input is UB.
#pragma once

#include <cstdint>

#include "dsp/Numbers.h"

namespace ConvertersDetail {

// Nearest integer, ties to even, for |v| well inside the 64-bit range (callers clamp first).
// Written out instead of std::llrint: that one is a library call here and follows the
// thread's rounding mode; this is exact whatever the precision of the intermediate.
inline int64_t RoundWide(Wide v) {
    const int64_t i = static_cast<int64_t>(v);  // toward zero, exact for the clamped range
    const Wide rest = v - static_cast<Wide>(i);
    // At most one of these holds; summed rather than branched on, as audio rounds unpredictably.
    const int64_t odd = i & 1;
    return i + int64_t(rest > 0.5) - int64_t(rest < -0.5) + (int64_t(rest == 0.5) & odd) -
           (int64_t(rest == -0.5) & odd);
}

inline Wide Clamp(Wide v, Wide lo, Wide hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace ConvertersDetail

// x rounded to nearest, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -0.5 -> 0).
inline int32_t RoundInt(float x) {
    const Wide v = x;
    if (v != v) return 0;
    using namespace ConvertersDetail;
    return static_cast<int32_t>(RoundWide(Clamp(v, -2147483648.0, 2147483647.0)));
}

// The largest integer not above x: 2x - 0.5 rounded (ties to even), then halved toward minus
// infinity by an arithmetic shift.
inline int32_t FloorInt(float x) {
    const Wide v = x;
    if (v != v) return 0;
    // For the tiniest negative x, 2x - 0.5 is not exact even in Wide and would round up to -0.5,
    // then to 0; the answer on that whole side is -1.
    if (v < 0.0 && v > -0.25) return -1;
    using namespace ConvertersDetail;
    // Clamping 2x - 0.5 to [-2^32, 2^32 - 1] makes the halved result land in the int32 range.
    const int64_t r = RoundWide(Clamp(2.0 * v - 0.5, -4294967296.0, 4294967295.0));
    return static_cast<int32_t>(r >> 1);
}

// x truncated toward zero: abs(2x) - 0.5 rounded (ties to even), halved, negated for x < 0.
// -0.0 is not negative.
inline int32_t TruncInt(float x) {
    const Wide v = x;
    if (v != v) return 0;
    using namespace ConvertersDetail;
    const Wide twice = v < 0.0 ? -2.0 * v : 2.0 * v;
    // Up to 2^32 before halving, so that -2^31 itself survives the negation.
    const int64_t m = RoundWide(Clamp(twice - 0.5, 0.0, 4294967296.0)) >> 1;
    if (x < 0.0f) return static_cast<int32_t>(-m);
    return m > INT32_MAX ? INT32_MAX : static_cast<int32_t>(m);
}
