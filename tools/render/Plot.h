// A picture of a render: input and output waveforms (min/max envelope per column, one lane per
// channel), a strip of the trigger notes over time, and a vertical marker at every trigger.
#pragma once

#include "RenderTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qbfx::render {

struct RgbImage {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Pixels;   // RGB, row after row
    const uint8_t* At(int x, int y) const { return &Pixels[(size_t(y) * size_t(Width) + size_t(x)) * 3]; }
};

struct PlotLayout {
    int Width = 1600;
    int LaneHeight = 110;
    int Gap = 6;
    int NoteRowHeight = 4;
    // Vertical extents, filled by DrawPlot.
    int NotesTop = 0, NotesHeight = 0;
    int LaneTop[4] = {0, 0, 0, 0};   // input L, input R, output L, output R
};

// Column x shows frames [x·frames/width, (x+1)·frames/width). bpm > 0 draws a faint line per bar.
RgbImage DrawPlot(const StereoAudio& input, const StereoAudio& output,
                  const std::vector<TimedEvent>& events, double bpm, PlotLayout& layout);
// PNG bytes into an open descriptor. Throws RenderError.
void WritePng(int fd, const RgbImage& image, const std::string& nameForErrors);

}  // namespace qbfx::render
