// A stereo pair of floats in the low two lanes of an SSE2 register, left in lane 0: the effects
// that run both channels' arithmetic side by side (the same operations in the same order on each,
// so the same roundings) load and store their pairs with these.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

inline __m128 PairOf(float left, float right) { return _mm_unpacklo_ps(_mm_set_ss(left), _mm_set_ss(right)); }
inline float LeftOf(__m128 pair) { return _mm_cvtss_f32(pair); }
inline float RightOf(__m128 pair) { return _mm_cvtss_f32(_mm_shuffle_ps(pair, pair, 1)); }
#endif
