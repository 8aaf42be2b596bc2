#include "Plot.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include <unistd.h>

namespace qbfx::render {
namespace {

struct Rgb {
    uint8_t R, G, B;
};

constexpr Rgb kBackground{18, 20, 24};
constexpr Rgb kLaneBackground{28, 31, 37};
constexpr Rgb kCentre{60, 64, 72};
constexpr Rgb kBarLine{44, 48, 56};
constexpr Rgb kInput{90, 150, 230};
constexpr Rgb kOutput{110, 220, 140};
constexpr Rgb kClip{240, 60, 60};
constexpr Rgb kOff{120, 120, 130};
constexpr Rgb kController{90, 220, 230};

class TCanvas {
public:
    explicit TCanvas(RgbImage& image) : Image(image) {}
    void Blend(int x, int y, Rgb c, double alpha) {
        if (x < 0 || y < 0 || x >= Image.Width || y >= Image.Height) return;
        uint8_t* p = &Image.Pixels[(size_t(y) * size_t(Image.Width) + size_t(x)) * 3];
        const uint8_t src[3] = {c.R, c.G, c.B};
        for (int i = 0; i < 3; ++i) p[i] = uint8_t(std::lrint(p[i] + (src[i] - p[i]) * alpha));
    }
    void Fill(int x0, int y0, int x1, int y1, Rgb c, double alpha = 1.0) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) Blend(x, y, c, alpha);
    }

private:
    RgbImage& Image;
};

// Notes get a hue of their own so one trigger can be followed from the strip down the lanes.
Rgb NoteColour(int note) {
    const double h = std::fmod(note * 47.0, 360.0) / 60.0;
    const double x = 1.0 - std::fabs(std::fmod(h, 2.0) - 1.0);
    double r = 0, g = 0, b = 0;
    switch (int(h)) {
    case 0: r = 1, g = x; break;
    case 1: r = x, g = 1; break;
    case 2: g = 1, b = x; break;
    case 3: g = x, b = 1; break;
    case 4: r = x, b = 1; break;
    default: r = 1, b = x; break;
    }
    const auto c = [](double v) { return uint8_t(std::lrint(80 + 175 * v)); };
    return {c(r), c(g), c(b)};
}

bool IsNoteOn(const TimedEvent& e) { return (e.Bytes[0] & 0xF0) == 0x90 && e.Bytes[2] > 0; }
bool IsNoteOff(const TimedEvent& e) {
    return (e.Bytes[0] & 0xF0) == 0x80 || ((e.Bytes[0] & 0xF0) == 0x90 && e.Bytes[2] == 0);
}

void DrawLane(TCanvas& canvas, const std::vector<float>& samples, int top, int width, int height,
              Rgb colour) {
    canvas.Fill(0, top, width, top + height, kLaneBackground);
    const int mid = top + height / 2;
    canvas.Fill(0, mid, width, mid + 1, kCentre);
    const size_t frames = samples.size();
    if (frames == 0) return;
    const double half = (height - 1) / 2.0;
    for (int x = 0; x < width; ++x) {
        const size_t a = size_t(double(x) * double(frames) / width);
        const size_t b = std::max(a + 1, size_t(double(x + 1) * double(frames) / width));
        float lo = std::numeric_limits<float>::max(), hi = std::numeric_limits<float>::lowest();
        for (size_t i = a; i < std::min(b, frames); ++i) {
            lo = std::min(lo, samples[i]);
            hi = std::max(hi, samples[i]);
        }
        if (lo > hi) continue;
        const bool clipped = hi > 1.0f || lo < -1.0f;
        const int y0 = mid - int(std::lrint(std::clamp(double(hi), -1.0, 1.0) * half));
        const int y1 = mid - int(std::lrint(std::clamp(double(lo), -1.0, 1.0) * half));
        canvas.Fill(x, y0, x + 1, y1 + 1, colour);
        if (clipped) {
            canvas.Fill(x, top, x + 1, top + 2, kClip);
            canvas.Fill(x, top + height - 2, x + 1, top + height, kClip);
        }
    }
}

}  // namespace

RgbImage DrawPlot(const StereoAudio& input, const StereoAudio& output,
                  const std::vector<TimedEvent>& events, double bpm, PlotLayout& layout) {
    const int width = std::max(layout.Width, 16);
    const int64_t frames = std::max<int64_t>({input.Frames(), output.Frames(), 1});
    const auto column = [&](int64_t sample) { return int(double(sample) * width / double(frames)); };

    int lowNote = 127, highNote = 0;
    for (const TimedEvent& e : events)
        if ((e.Bytes[0] & 0xF0) == 0x90 || (e.Bytes[0] & 0xF0) == 0x80) {
            lowNote = std::min<int>(lowNote, e.Bytes[1]);
            highNote = std::max<int>(highNote, e.Bytes[1]);
        }
    const bool anyNotes = lowNote <= highNote;
    const int noteRows = anyNotes ? highNote - lowNote + 1 : 0;
    layout.NotesTop = layout.Gap;
    // the strip keeps a floor height so controller ticks fit even without notes
    layout.NotesHeight = std::max(noteRows * layout.NoteRowHeight, 12) + 6;
    int y = layout.NotesTop + layout.NotesHeight + layout.Gap;
    for (int& laneTop : layout.LaneTop) {
        laneTop = y;
        y += layout.LaneHeight + layout.Gap;
    }

    RgbImage image;
    image.Width = width;
    image.Height = y;
    image.Pixels.resize(size_t(width) * size_t(y) * 3);
    for (size_t i = 0; i < image.Pixels.size(); i += 3) {
        image.Pixels[i] = kBackground.R;
        image.Pixels[i + 1] = kBackground.G;
        image.Pixels[i + 2] = kBackground.B;
    }
    TCanvas canvas(image);

    const std::vector<float>* lanes[4] = {&input.Left, &input.Right, &output.Left, &output.Right};
    for (int i = 0; i < 4; ++i)
        DrawLane(canvas, *lanes[i], layout.LaneTop[i], width, layout.LaneHeight, i < 2 ? kInput : kOutput);

    const int stripTop = layout.NotesTop, stripBottom = layout.NotesTop + layout.NotesHeight;
    canvas.Fill(0, stripTop, width, stripBottom, kLaneBackground);
    const double sampleRate = output.Frames() ? output.SampleRate : input.SampleRate;
    if (bpm > 0 && sampleRate > 0) {
        const double samplesPerBar = 4.0 * 60.0 / bpm * sampleRate;
        for (double s = samplesPerBar; s < double(frames); s += samplesPerBar)
            canvas.Fill(column(int64_t(s)), 0, column(int64_t(s)) + 1, image.Height, kBarLine, 0.8);
    }

    // Held notes as bars in the strip, higher notes higher up.
    const auto rowTop = [&](int note) { return stripTop + 3 + (highNote - note) * layout.NoteRowHeight; };
    int64_t held[128];
    std::fill(std::begin(held), std::end(held), -1);
    const auto closeNote = [&](int note, int64_t end) {
        if (held[note] < 0) return;
        canvas.Fill(column(held[note]), rowTop(note), std::max(column(end), column(held[note]) + 1),
                    rowTop(note) + layout.NoteRowHeight - 1, NoteColour(note));
        held[note] = -1;
    };
    for (const TimedEvent& e : events) {
        const int note = e.Bytes[1];
        if (IsNoteOff(e)) closeNote(note, e.Sample);
        if (IsNoteOn(e)) {
            closeNote(note, e.Sample);
            held[note] = e.Sample;
        }
    }
    for (int n = 0; n < 128; ++n) closeNote(n, frames);

    // Markers through the waveform lanes.
    const int lanesTop = layout.LaneTop[0], lanesBottom = image.Height - layout.Gap;
    for (const TimedEvent& e : events) {
        const int x = column(e.Sample);
        if (IsNoteOn(e)) {
            canvas.Fill(x, lanesTop, x + 1, lanesBottom, NoteColour(e.Bytes[1]), 0.7);
        } else if (IsNoteOff(e)) {
            for (int yy = lanesTop; yy < lanesBottom; yy += 4) canvas.Fill(x, yy, x + 1, yy + 2, kOff, 0.6);
        } else if ((e.Bytes[0] & 0xF0) == 0xB0) {
            canvas.Fill(x, stripBottom - 4, x + 1, stripBottom, kController);
            for (int yy = lanesTop; yy < lanesBottom; yy += 6) canvas.Fill(x, yy, x + 1, yy + 3, kController, 0.5);
        }
    }
    return image;
}

void WritePng(int fd, const RgbImage& image, const std::string& nameForErrors) {
    const int own = dup(fd);
    FILE* f = own >= 0 ? fdopen(own, "wb") : nullptr;
    if (!f) {
        if (own >= 0) close(own);
        throw RenderError("cannot write picture '" + nameForErrors + "'");
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.Width);
    png.height = png_uint_32(image.Height);
    png.format = PNG_FORMAT_RGB;
    const int ok = png_image_write_to_stdio(&png, f, 0, image.Pixels.data(), image.Width * 3, nullptr);
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed)
        throw RenderError("cannot write picture '" + nameForErrors + "': " +
                          (ok ? "write failed" : png.message));
    png_image_free(&png);
}

}  // namespace qbfx::render
