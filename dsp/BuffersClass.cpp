#include "dsp/BuffersClass.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

TSampleBuffer::TSampleBuffer(size_t size)
    : Data(static_cast<float*>(std::calloc(size > 0 ? size : 1, sizeof(float)))), Size(size) {
    if (!Data) throw std::bad_alloc();
}

void TSampleBuffer::Free::operator()(float* p) const { std::free(p); }

void PrepareBuffer(TSampleBuffer& buffer, int64_t used) {
    std::fill_n(buffer.data(), used < int64_t(buffer.size()) ? size_t(used) : buffer.size(), 0.0f);
}

TDelayTap SplitLongDelay(int32_t pos, int32_t length, float d) {
    if (!(d > 0.0f) || std::isinf(d)) return {pos, 0.0f, length};
    int32_t n = 0;
    float f = 0.0f;
    if (Wide(d) < 2147483648.0) {
        const int32_t whole = TruncInt(d);
        f = float(Wide(d) - Wide(whole));
        n = whole % length;
    } else {
        n = static_cast<int32_t>(std::fmod(Wide(d), Wide(length)));  // fmod is exact
    }
    const int32_t i = pos - n;
    return {i < 0 ? i + length : i, f, length};
}

void SplitDelays(int32_t pos, int32_t length, const float* d, int32_t n, int32_t* index, float* frac) {
    int32_t j = 0;
    auto one = [&](int32_t k) {
        const TDelayTap tap = SplitDelay(pos, length, d[k]);
        index[k] = tap.Index;
        frac[k] = tap.Frac;
        if (++pos >= length) pos = 0;
    };
#if defined(__SSE2__)
    // Four frames whose positions do not wrap: their positions are pos + 0..3. For 0 <= d < length
    // (compared in float: the float nearest to length admits no delay the comparison in double
    // would not) a truncation and one wrap give the tap, as in SplitDelay; the fraction is taken in
    // double, two lanes at a time. A delay outside takes SplitDelay's slow path on its own.
    const __m128 lengthF = _mm_set1_ps(float(length)), zero = _mm_setzero_ps();
    const __m128i lengthI = _mm_set1_epi32(length), steps = _mm_setr_epi32(0, 1, 2, 3);
    while (j + 4 <= n) {
        if (pos + 3 >= length) {
            one(j++);
            continue;
        }
        const __m128 x = _mm_loadu_ps(d + j);
        const int inside = _mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(x, zero), _mm_cmplt_ps(x, lengthF)));
        const __m128i whole = _mm_cvttps_epi32(x);
        __m128i i = _mm_sub_epi32(_mm_add_epi32(_mm_set1_epi32(pos), steps), whole);
        i = _mm_add_epi32(i, _mm_and_si128(_mm_cmplt_epi32(i, _mm_setzero_si128()), lengthI));
        const __m128 lo = _mm_cvtpd_ps(_mm_sub_pd(_mm_cvtps_pd(x), _mm_cvtepi32_pd(whole)));
        const __m128 hi = _mm_cvtpd_ps(
            _mm_sub_pd(_mm_cvtps_pd(_mm_movehl_ps(x, x)), _mm_cvtepi32_pd(_mm_shuffle_epi32(whole, 0xEE))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(index + j), i);
        _mm_storeu_ps(frac + j, _mm_movelh_ps(lo, hi));
        if (inside != 0xF) {
            for (int32_t k = 0; k < 4; ++k) {
                if ((inside >> k & 1) != 0) continue;
                const TDelayTap tap = SplitLongDelay(pos + k, length, d[j + k]);
                index[j + k] = tap.Index;
                frac[j + k] = tap.Frac;
            }
        }
        j += 4;
        pos += 4;
        if (pos >= length) pos = 0;
    }
#endif
    for (; j < n; ++j) one(j);
}

TDelayMono::TDelayMono(int32_t capacity) : Buffer(capacity > 0 ? static_cast<size_t>(capacity) : 0u) {}

void TDelayMono::Read(int32_t, int32_t, float) {}
