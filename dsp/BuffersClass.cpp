#include "dsp/BuffersClass.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

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

TDelayMono::TDelayMono(int32_t capacity) : Buffer(capacity > 0 ? static_cast<size_t>(capacity) : 0u) {}

void TDelayMono::Read(int32_t, int32_t, float) {}
