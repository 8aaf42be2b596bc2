// Types shared by the offline renderer's parts.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace qbfx::render {

// Every failure the renderer reports to the user; the message is shown as it is.
class RenderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One short MIDI message at a time from the start of the render.
struct MidiEvent {
    double Seconds = 0;
    uint8_t Bytes[3] = {0, 0, 0};
};

// The same message placed on a sample.
struct TimedEvent {
    int64_t Sample = 0;
    uint8_t Bytes[3] = {0, 0, 0};
};

// Planar stereo audio; both channels always have the same length.
struct StereoAudio {
    double SampleRate = 44100;
    std::vector<float> Left, Right;
    int64_t Frames() const { return int64_t(Left.size()); }
};

}  // namespace qbfx::render
