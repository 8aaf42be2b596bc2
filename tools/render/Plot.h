// A picture of a render: input and output waveforms (min/max envelope per column, one named lane
// per channel), a strip of the trigger notes over time, a marker at every trigger with its name,
// a time axis in seconds and bars, and a legend of the notes.
#pragma once

#include "RenderTypes.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace qbfx::render {

struct RgbImage {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;   // RGB, row after row
    const uint8_t* At(int x, int y) const { return &Pixels[(size_t(y) * size_t(Width) + size_t(x)) * 3]; }
};

// The lowest and highest sample of each channel per run of frames, gathered while the audio
// streams by; the runs double in length as the audio grows, so the memory stays bounded.
class TEnvelope {
public:
    // Only frames in [first, last) are kept.
    explicit TEnvelope(int64_t first = 0, int64_t last = std::numeric_limits<int64_t>::max());
    void Add(const float* left, const float* right, size_t frames, int64_t at);
    int64_t First() const { return FirstFrame; }
    int64_t End() const { return EndFrame; }   // one past the last frame kept (First() when none)
    // Over the runs that overlap frames [a, b); false when none holds a frame.
    bool Span(int channel, int64_t a, int64_t b, float& lo, float& hi) const;

private:
    static constexpr size_t kMaxRuns = 1 << 14;
    void Merge();
    int64_t FirstFrame, LastFrame, EndFrame, RunFrames = 1;
    std::vector<float> Lo[2], Hi[2];
};

struct PlotLayout {
    int Width = 1600;
    int LaneHeight = 110;
    int Gap = 6;
    int NoteRowHeight = 4;
    // Vertical extents, filled by DrawPlot.
    int NotesTop = 0, NotesHeight = 0;
    int LabelsTop = 0;               // the trigger names, above the lanes
    int LaneTop[4] = {0, 0, 0, 0};   // input L, input R, output L, output R
    int AxisTop = 0, LegendTop = 0;
};

struct PlotInfo {
    double SampleRate = 44100;
    double Bpm = 0;              // > 0: bar lines and bar numbers
    int64_t First = 0, End = 0;  // the frames shown
    // The name shown at a note's markers and in the legend ("Flanger", "3/8"); empty: "note N".
    std::function<std::string(int note)> NoteName;
};

RgbImage DrawPlot(const TEnvelope& input, const TEnvelope& output, const std::vector<TimedEvent>& events,
                  const PlotInfo& info, PlotLayout& layout);
// The whole of two buffers, bars at bpm when bpm > 0.
RgbImage DrawPlot(const StereoAudio& input, const StereoAudio& output, const std::vector<TimedEvent>& events,
                  double bpm, PlotLayout& layout);
// PNG bytes into an open descriptor. Throws RenderError.
void WritePng(int fd, const RgbImage& image, const std::string& nameForErrors);

}  // namespace qbfx::render
