// Ring-buffer delay lines with 1-, 2- and 4-point reads. Audio thread only; the buffer is
// allocated once at construction and never again.
//
// Tap indices are taken modulo the ring length, so a delay longer than the ring sounds like
// the delay modulo length. Callers keep 1 <= length <= capacity and 0 <= pos < length.
// Delays that no caller should produce are defused instead of trusted: a negative or NaN delay
// reads as 0 (the sample just written), and so does +infinity; a finite delay of 2^31 samples or
// more (always a whole number as a float) is reduced modulo length exactly and has no fraction.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "dsp/ConvertersClass.h"
#include "dsp/Numbers.h"
#include "dsp/Pairs.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Fixed-size sample memory that starts silent. It comes from calloc, which hands out a large block
// as fresh pages the system zeroes when they are first touched: building the 40 MB of lines writes
// nothing, and what a lower sample rate never reaches is never touched at all.
class TSampleBuffer {
public:
    explicit TSampleBuffer(size_t size);   // throws std::bad_alloc

    float* data() { return Data.get(); }
    const float* data() const { return Data.get(); }
    size_t size() const { return Size; }
    float& operator[](size_t i) { return Data[i]; }
    float operator[](size_t i) const { return Data[i]; }
    float* begin() { return data(); }
    float* end() { return data() + Size; }
    const float* begin() const { return data(); }
    const float* end() const { return data() + Size; }

private:
    struct Free {
        void operator()(float* p) const;
    };
    std::unique_ptr<float[], Free> Data;
    size_t Size = 0;
};

// Before the first block: writes silence over the first `used` samples (all of them at most), so
// that the memory a rate goes round is in place before the audio thread reaches it.
void PrepareBuffer(TSampleBuffer& buffer, int64_t used);

// Where a read lands: the tap `Index` (0..Length-1) of the whole-sample delay in a ring of
// `Length`, and the fraction `Frac` of a sample to interpolate towards the older neighbour. Lines
// of the same length read at the same position and delay share one.
struct TDelayTap {
    int32_t Index;
    float Frac;
    int32_t Length;
};

// The slow path of SplitDelay, for delays outside 0 <= d < length (and NaN).
TDelayTap SplitLongDelay(int32_t pos, int32_t length, float d);

inline TDelayTap SplitDelay(int32_t pos, int32_t length, float d) {
    if (Wide(d) >= 0.0 && Wide(d) < Wide(length)) {
        // For 0 <= d < length a plain truncation is exactly TruncInt, without its rounding branches.
        const int32_t n = static_cast<int32_t>(d);
        const int32_t i = pos - n;  // inside the ring one wrap is enough
        return {i < 0 ? i + length : i, float(Wide(d) - Wide(n)), length};
    }
    return SplitLongDelay(pos, length, d);
}

// The tap one sample older / newer than `i`, for 0 <= i < length.
inline int32_t OlderTap(int32_t i, int32_t length) { return i > 0 ? i - 1 : length - 1; }
inline int32_t NewerTap(int32_t i, int32_t length) { return i + 1 < length ? i + 1 : 0; }

inline float ReadLinear(const float* buffer, const TDelayTap& tap) {
    const Wide f = tap.Frac;
    return float((1.0 - f) * buffer[tap.Index] + f * buffer[OlderTap(tap.Index, tap.Length)]);
}

inline float ReadHermite(const float* buffer, const TDelayTap& tap) {
    const int32_t i = tap.Index, length = tap.Length;
    Wide ym1, y0, y1, y2;
    if (i >= 2 && i + 1 < length) {
        const float* p = buffer + i;
        ym1 = p[1]; y0 = p[0]; y1 = p[-1]; y2 = p[-2];
    } else {
        const int32_t i1 = OlderTap(i, length);
        ym1 = buffer[NewerTap(i, length)]; y0 = buffer[i]; y1 = buffer[i1]; y2 = buffer[OlderTap(i1, length)];
    }
    const Wide f = tap.Frac;
    const Wide a = 3.0 * (y0 - y1) - ym1 + y2;
    const Wide b = 4.0 * y1 + 2.0 * ym1 - 5.0 * y0 - y2;
    return float(y0 + 0.5 * f * ((y1 - ym1) + f * (b + f * a)));
}

inline float ReadLinear(const float* buffer, int32_t pos, int32_t length, float d) {
    return ReadLinear(buffer, SplitDelay(pos, length, d));
}

inline float ReadHermite(const float* buffer, int32_t pos, int32_t length, float d) {
    return ReadHermite(buffer, SplitDelay(pos, length, d));
}

// A mono ring buffer. Per sample: Write at the current position, then Read with the same
// position, so a delay of 0 returns the sample just written.
class TDelayMono {
public:
    explicit TDelayMono(int32_t capacity);  // a negative capacity gives an empty buffer
    virtual ~TDelayMono() = default;

    void Write(int32_t pos, float value) { Buffer[pos] = value; }
    // Sets Output to the sample written d samples before the one at pos; does nothing here.
    virtual void Read(int32_t pos, int32_t length, float d);
    int32_t Capacity() const { return static_cast<int32_t>(Buffer.size()); }

    TSampleBuffer Buffer;
    float Output = 0.0f;
};

// Whole-sample delay: the fraction is dropped.
class Tdelay1p final : public TDelayMono {
public:
    using TDelayMono::TDelayMono;
    void Read(int32_t pos, int32_t length, float d) override { Read(SplitDelay(pos, length, d)); }
    void Read(const TDelayTap& tap) { Output = Buffer[tap.Index]; }
};

class Tdelay2p final : public TDelayMono {
public:
    using TDelayMono::TDelayMono;
    void Read(int32_t pos, int32_t length, float d) override { Read(SplitDelay(pos, length, d)); }
    void Read(const TDelayTap& tap) { Output = ReadLinear(Buffer.data(), tap); }
};

// The taps of a run of reads on one ring, worked out ahead, the whole-sample index and the fraction
// each in an array of its own.
template <size_t N>
struct TTapRun {
    TDelayTap operator[](size_t j) const { return {Index[j], Frac[j], Length}; }

    std::array<int32_t, N> Index{};
    std::array<float, N> Frac{};
    int32_t Length = 1;   // the ring's, the same for every tap of the run
};

// SplitDelay for n frames in a row: frame j reads the delay d[j] at the write position `pos` has
// stepped to j frames on round the ring of `length` (pos inside it). The taps go to index[j] and
// frac[j]; the same taps exactly, four frames at a time where SSE2 has room for it.
void SplitDelays(int32_t pos, int32_t length, const float* d, int32_t n, int32_t* index, float* frac);

class Tdelay4p final : public TDelayMono {
public:
    using TDelayMono::TDelayMono;
    void Read(int32_t pos, int32_t length, float d) override { Read(SplitDelay(pos, length, d)); }
    void Read(const TDelayTap& tap) { Output = ReadHermite(Buffer.data(), tap); }
    // A stereo pair of lines read at their taps: what Read gives each, with both channels'
    // arithmetic side by side in one register where SSE2 has room for it (the same operations in
    // the same order on each, so the same roundings).
    static void ReadPair(Tdelay4p& l, const TDelayTap& tapL, Tdelay4p& r, const TDelayTap& tapR);
#if defined(__SSE2__)
    // The same pair of reads, left in a register and the outputs left alone.
    static __m128 InterpolatePair(const Tdelay4p& l, const TDelayTap& tapL, const Tdelay4p& r, const TDelayTap& tapR);
#endif
};

#if defined(__SSE2__)
inline __m128 Tdelay4p::InterpolatePair(const Tdelay4p& l, const TDelayTap& tapL, const Tdelay4p& r,
                                        const TDelayTap& tapR) {
    // Away from the ring's ends no neighbour wraps.
    if (tapL.Index >= 2 && tapL.Index + 1 < tapL.Length && tapR.Index >= 2 && tapR.Index + 1 < tapR.Length) {
        // One sample at a time: a wide load over a sample the frame has just written would wait
        // for the write to reach the cache.
        const float *pl = l.Buffer.data() + tapL.Index, *pr = r.Buffer.data() + tapR.Index;
        auto pair = [](const float* a, const float* b) { return _mm_cvtps_pd(PairOf(*a, *b)); };
        const __m128d ym1 = pair(pl + 1, pr + 1), y0 = pair(pl, pr), y1 = pair(pl - 1, pr - 1), y2 = pair(pl - 2, pr - 2);
        const __m128d f = _mm_set_pd(Wide(tapR.Frac), Wide(tapL.Frac));
        const __m128d a = _mm_add_pd(_mm_sub_pd(_mm_mul_pd(_mm_set1_pd(3.0), _mm_sub_pd(y0, y1)), ym1), y2);
        const __m128d b = _mm_sub_pd(
            _mm_sub_pd(_mm_add_pd(_mm_mul_pd(_mm_set1_pd(4.0), y1), _mm_mul_pd(_mm_set1_pd(2.0), ym1)),
                       _mm_mul_pd(_mm_set1_pd(5.0), y0)),
            y2);
        const __m128d inner = _mm_add_pd(_mm_sub_pd(y1, ym1), _mm_mul_pd(f, _mm_add_pd(b, _mm_mul_pd(f, a))));
        return _mm_cvtpd_ps(_mm_add_pd(y0, _mm_mul_pd(_mm_mul_pd(_mm_set1_pd(0.5), f), inner)));
    }
    return PairOf(ReadHermite(l.Buffer.data(), tapL), ReadHermite(r.Buffer.data(), tapR));
}
#endif

inline void Tdelay4p::ReadPair(Tdelay4p& l, const TDelayTap& tapL, Tdelay4p& r, const TDelayTap& tapR) {
#if defined(__SSE2__)
    const __m128 out = InterpolatePair(l, tapL, r, tapR);
    l.Output = LeftOf(out);
    r.Output = RightOf(out);
#else
    l.Read(tapL);
    r.Read(tapR);
#endif
}
