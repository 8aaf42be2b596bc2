// Working audio buffers of the block frame: one channel each, sized once, reused every block.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// One channel of one block. The storage is allocated when the capacity is set (never on the
// audio thread); the audio thread only changes the length within that capacity.
class TSingleArray {
public:
    void SetCapacity(int32_t capacity) {
        Data.assign(capacity > 0 ? size_t(capacity) : 0, 0.0f);
        Length = 0;
    }
    int32_t Capacity() const { return int32_t(Data.size()); }
    void SetLength(int32_t length) { Length = length < 0 ? 0 : (length > Capacity() ? Capacity() : length); }
    int32_t Count() const { return Length; }
    float* Samples() { return Data.data(); }
    const float* Samples() const { return Data.data(); }
    float& operator[](int32_t i) { return Data[size_t(i)]; }
    float operator[](int32_t i) const { return Data[size_t(i)]; }

private:
    std::vector<float> Data;
    int32_t Length = 0;
};

// The channels of one block.
class TArrayOfSingleArray {
public:
    void SetSize(int32_t channels, int32_t capacity) {
        Channels.resize(channels > 0 ? size_t(channels) : 0);
        for (auto& c : Channels) c.SetCapacity(capacity);
    }
    int32_t ChannelCount() const { return int32_t(Channels.size()); }
    TSingleArray& operator[](int32_t c) { return Channels[size_t(c)]; }
    const TSingleArray& operator[](int32_t c) const { return Channels[size_t(c)]; }

private:
    std::vector<TSingleArray> Channels;
};
