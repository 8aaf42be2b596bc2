// A small uniform generator (PCG32: 64-bit LCG state, xorshift-rotate output) owned by the
// instance that draws from it. No global state, no allocation; seed it to make a test repeatable.
#pragma once

#include <cstdint>

class TRandom {
public:
    explicit TRandom(uint64_t seed = 0x853c49e6748fea9bULL) { Seed(seed); }

    void Seed(uint64_t seed) { Seed(seed, DefaultStream); }
    // Selects one of 2^63 independent sequences as well as the starting point.
    void Seed(uint64_t seed, uint64_t stream) {
        state_ = 0;
        inc_ = (stream << 1) | 1u;
        Next();
        state_ += seed;
        Next();
    }

    uint32_t Next() {
        const uint64_t old = state_;
        state_ = old * 6364136223846793005ULL + inc_;
        const auto xorshifted = static_cast<uint32_t>(((old >> 18) ^ old) >> 27);
        const auto rot = static_cast<uint32_t>(old >> 59);
        return (xorshifted >> rot) | (xorshifted << ((32u - rot) & 31u));
    }

    // [0, 1): the top 24 bits, so every value is exact as a float and 1.0 never comes out.
    float Uniform01() { return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f); }

    // Uniform over 0..n-1 without modulo bias; 0 when n <= 0.
    int32_t Below(int32_t n) {
        if (n <= 0) return 0;
        const auto range = static_cast<uint32_t>(n);
        const uint32_t threshold = (0u - range) % range;  // 2^32 mod n
        uint32_t r = Next();
        while (r < threshold) r = Next();  // rejects fewer than one draw in two, on average
        return static_cast<int32_t>(r % range);
    }

private:
    static constexpr uint64_t DefaultStream = 0xda3e39cb94b95bdbULL >> 1;
    uint64_t state_ = 0;
    uint64_t inc_ = 0;
};
