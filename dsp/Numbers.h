// Numbers, decided once: every stored value is a 32-bit float, every intermediate is Wide.
#pragma once

using Wide = double;

#include <cmath>
#include <limits>

// A value that would be stored subnormal is stored as 0: subnormals cost many times a normal
// operation on most processors and carry nothing audible.
inline float FlushSubnormal(float x) {
    return (x != 0.0f && std::fabs(x) < std::numeric_limits<float>::min()) ? 0.0f : x;
}

#if defined(__SSE2__)
#include <emmintrin.h>

// FlushSubnormal on each of four floats at once: the same results, -0 and NaN kept as they are.
inline __m128 FlushSubnormals(__m128 x) {
    const __m128 magnitude = _mm_and_ps(x, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
    const __m128 tiny = _mm_and_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(std::numeric_limits<float>::min())),
                                   _mm_cmpneq_ps(x, _mm_setzero_ps()));
    return _mm_andnot_ps(tiny, x);
}
#endif
