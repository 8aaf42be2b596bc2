#include "Plot.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>

#include <unistd.h>

#ifdef QBFX_PLOT_TEXT
#include "editor/resources/Resources.h"
#include "editor/widgets/Text.h"
#endif

namespace qbfx::render {

// ---- envelope ------------------------------------------------------------------------------------

TEnvelope::TEnvelope(int64_t first, int64_t last) : FirstFrame(first), LastFrame(last), EndFrame(first) {}

void TEnvelope::Merge() {
    for (int c = 0; c < 2; ++c) {
        const size_t n = (Lo[c].size() + 1) / 2;
        for (size_t i = 0; i < n; ++i) {
            const size_t b = std::min(2 * i + 1, Lo[c].size() - 1);
            Lo[c][i] = std::min(Lo[c][2 * i], Lo[c][b]);
            Hi[c][i] = std::max(Hi[c][2 * i], Hi[c][b]);
        }
        Lo[c].resize(n);
        Hi[c].resize(n);
    }
    RunFrames *= 2;
}

void TEnvelope::Add(const float* left, const float* right, size_t frames, int64_t at) {
    const int64_t a = std::max(at, FirstFrame), b = std::min(at + int64_t(frames), LastFrame);
    const float* ch[2] = {left, right};
    for (int64_t f = a; f < b;) {
        auto run = size_t((f - FirstFrame) / RunFrames);
        while (run >= kMaxRuns) {
            Merge();
            run = size_t((f - FirstFrame) / RunFrames);
        }
        if (run >= Lo[0].size())
            for (int c = 0; c < 2; ++c) {
                Lo[c].resize(run + 1, std::numeric_limits<float>::max());
                Hi[c].resize(run + 1, std::numeric_limits<float>::lowest());
            }
        const int64_t runEnd = std::min(b, FirstFrame + int64_t(run + 1) * RunFrames);
        for (int c = 0; c < 2; ++c) {
            float lo = Lo[c][run], hi = Hi[c][run];
            for (int64_t i = f; i < runEnd; ++i) {
                const float v = ch[c][i - at];
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            Lo[c][run] = lo;
            Hi[c][run] = hi;
        }
        f = runEnd;
    }
    EndFrame = std::max(EndFrame, b);
}

bool TEnvelope::Span(int channel, int64_t a, int64_t b, float& lo, float& hi) const {
    a = std::max(a, FirstFrame);
    b = std::min(b, EndFrame);
    if (a >= b) return false;
    const auto& L = Lo[channel];
    const auto& H = Hi[channel];
    const size_t r0 = size_t((a - FirstFrame) / RunFrames);
    const size_t r1 = std::min(L.size(), size_t((b - 1 - FirstFrame) / RunFrames) + 1);
    lo = std::numeric_limits<float>::max();
    hi = std::numeric_limits<float>::lowest();
    for (size_t r = r0; r < r1; ++r) {
        lo = std::min(lo, L[r]);
        hi = std::max(hi, H[r]);
    }
    return lo <= hi;
}

// ---- drawing -------------------------------------------------------------------------------------

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
constexpr Rgb kText{200, 204, 212};
constexpr Rgb kDimText{130, 136, 146};

constexpr int kTextHeight = 12;   // pixels per em
constexpr int kLineHeight = 16;

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

// Text in the editor's own font when the editor's resources are part of the build; without them
// the picture has its marks and colours but no words.
class TWriter {
public:
    TWriter() {
#ifdef QBFX_PLOT_TEXT
        const auto regular = Resource("DejaVuSans.ttf");
        const auto bold = Resource("DejaVuSans-Bold.ttf");
        if (!regular.empty()) Fonts = std::make_unique<TFontSet>(regular, bold);
#endif
    }
    int Width(const std::string& s) {
#ifdef QBFX_PLOT_TEXT
        if (Fonts && Fonts->Usable(false)) return Fonts->TextWidth(s, kTextHeight, false);
#endif
        return int(s.size()) * 7;
    }
    // Top of the text at y.
    void Draw(TCanvas& canvas, int x, int y, const std::string& s, Rgb colour) {
#ifdef QBFX_PLOT_TEXT
        if (!Fonts || !Fonts->Usable(false) || s.empty()) return;
        // white on black gives the coverage, which then blends the colour in
        const int w = Fonts->TextWidth(s, kTextHeight, false) + 2;
        const int h = Fonts->Ascent(kTextHeight, false) + Fonts->Descent(kTextHeight, false) + 1;
        TBitmap mask(w, h, 0xFF000000u);
        ::TCanvas c(mask.View());
        Fonts->DrawText(c, 0, 0, s, kTextHeight, false, 0xFFFFFFFFu);
        for (int yy = 0; yy < h; ++yy)
            for (int xx = 0; xx < w; ++xx) {
                const unsigned cover = (mask.At(xx, yy) >> 16) & 0xFF;
                if (cover) canvas.Blend(x + xx, y + yy, colour, cover / 255.0);
            }
#else
        (void)canvas, (void)x, (void)y, (void)s, (void)colour;
#endif
    }

private:
#ifdef QBFX_PLOT_TEXT
    std::unique_ptr<TFontSet> Fonts;
#endif
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

std::string Seconds(double s, double step) {
    char buffer[32];
    s = std::round(s / step) * step + 0.0;   // no "-0 s"
    if (std::fabs(s) < step * 1e-6) s = 0.0;
    if (step >= 1) std::snprintf(buffer, sizeof buffer, "%.0f s", s);
    else if (step >= 0.1) std::snprintf(buffer, sizeof buffer, "%.1f s", s);
    else std::snprintf(buffer, sizeof buffer, "%.2f s", s);
    return buffer;
}

}  // namespace

RgbImage DrawPlot(const TEnvelope& input, const TEnvelope& output, const std::vector<TimedEvent>& events,
                  const PlotInfo& info, PlotLayout& layout) {
    const int width = std::max(layout.Width, 16);
    const int64_t first = info.First, frames = std::max<int64_t>(info.End - info.First, 1);
    const auto column = [&](int64_t sample) { return int(std::floor(double(sample - first) * width / double(frames))); };
    const auto frameAt = [&](int x) { return first + int64_t(double(x) * double(frames) / width); };
    const auto shown = [&](int64_t sample) { return sample >= first && sample < first + frames; };
    const auto name = [&](int note) {
        const std::string n = info.NoteName ? info.NoteName(note) : std::string();
        return n.empty() ? "note " + std::to_string(note) : n;
    };
    TWriter writer;

    int lowNote = 127, highNote = 0;
    std::map<int, bool> played;   // notes switched on, for the legend
    for (const TimedEvent& e : events)
        if ((e.Bytes[0] & 0xF0) == 0x90 || (e.Bytes[0] & 0xF0) == 0x80) {
            lowNote = std::min<int>(lowNote, e.Bytes[1]);
            highNote = std::max<int>(highNote, e.Bytes[1]);
            if (IsNoteOn(e)) played[e.Bytes[1]] = true;
        }
    const bool anyNotes = lowNote <= highNote;
    const int noteRows = anyNotes ? highNote - lowNote + 1 : 0;
    layout.NotesTop = layout.Gap;
    // the strip keeps a floor height so controller ticks fit even without notes
    layout.NotesHeight = std::max(noteRows * layout.NoteRowHeight, 12) + 6;
    layout.LabelsTop = layout.NotesTop + layout.NotesHeight + 2;
    int y = layout.LabelsTop + 2 * kLineHeight + layout.Gap;
    for (int& laneTop : layout.LaneTop) {
        laneTop = y;
        y += layout.LaneHeight + layout.Gap;
    }
    layout.AxisTop = y;
    y += 2 * kLineHeight + layout.Gap;
    layout.LegendTop = y;
    // the legend wraps into rows of entries
    std::vector<std::pair<int, std::string>> legend;
    for (const auto& [note, on] : played) legend.emplace_back(note, std::to_string(note) + "  " + name(note));
    int legendRows = 0;
    {
        int x = width;
        for (const auto& [note, text] : legend) {
            const int w = 18 + writer.Width(text) + 16;
            if (x + w > width) {
                ++legendRows;
                x = 0;
            }
            x += w;
        }
    }
    y += legendRows * kLineHeight + layout.Gap;

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

    // Lanes: the envelope of each column, red edges where it goes past full scale.
    const TEnvelope* sources[4] = {&input, &input, &output, &output};
    const char* laneNames[4] = {"input L", "input R", "output L", "output R"};
    for (int lane = 0; lane < 4; ++lane) {
        const int top = layout.LaneTop[lane], height = layout.LaneHeight;
        canvas.Fill(0, top, width, top + height, kLaneBackground);
        const int mid = top + height / 2;
        canvas.Fill(0, mid, width, mid + 1, kCentre);
        const double half = (height - 1) / 2.0;
        const Rgb colour = lane < 2 ? kInput : kOutput;
        for (int x = 0; x < width; ++x) {
            const int64_t a = frameAt(x), b = std::max(a + 1, frameAt(x + 1));
            float lo = 0, hi = 0;
            if (!sources[lane]->Span(lane % 2, a, b, lo, hi)) continue;
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

    const int stripTop = layout.NotesTop, stripBottom = layout.NotesTop + layout.NotesHeight;
    canvas.Fill(0, stripTop, width, stripBottom, kLaneBackground);
    const int lanesTop = layout.LaneTop[0], lanesBottom = layout.AxisTop - layout.Gap;

    // Time axis: seconds below the lanes, bars above the seconds.
    const double seconds = double(frames) / info.SampleRate;
    double step = 0.01;
    for (double s : {0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0})
        if (s * width / seconds >= 90) {
            step = s;
            break;
        } else {
            step = s;
        }
    const double firstSecond = double(first) / info.SampleRate;
    for (double s = std::ceil(firstSecond / step - 1e-9) * step; s < firstSecond + seconds; s += step) {
        const int x = column(int64_t(std::llround(s * info.SampleRate)));
        canvas.Fill(x, layout.AxisTop + kLineHeight, x + 1, layout.AxisTop + kLineHeight + 4, kDimText);
        writer.Draw(canvas, x + 2, layout.AxisTop + kLineHeight + 2, Seconds(s, step), kText);
    }
    if (info.Bpm > 0 && info.SampleRate > 0) {
        const double samplesPerBar = 4.0 * 60.0 / info.Bpm * info.SampleRate;
        const double barWidth = samplesPerBar * width / double(frames);
        const int every = barWidth >= 40 ? 1 : int(std::ceil(40 / barWidth));
        for (int64_t bar = int64_t(std::ceil(double(first) / samplesPerBar - 1e-9));; ++bar) {
            const auto s = int64_t(std::llround(double(bar) * samplesPerBar));
            if (s >= first + frames) break;
            const int x = column(s);
            if (s > 0) canvas.Fill(x, 0, x + 1, layout.AxisTop + kLineHeight, kBarLine, 0.8);
            if (bar % every == 0) writer.Draw(canvas, x + 3, layout.AxisTop + 1, "bar " + std::to_string(bar + 1), kDimText);
        }
    }
    for (int lane = 0; lane < 4; ++lane)
        writer.Draw(canvas, width - writer.Width(laneNames[lane]) - 6, layout.LaneTop[lane] + 2, laneNames[lane], kText);

    // Held notes as bars in the strip, higher notes higher up.
    const auto rowTop = [&](int note) { return stripTop + 3 + (highNote - note) * layout.NoteRowHeight; };
    int64_t held[128];
    std::fill(std::begin(held), std::end(held), -1);
    const auto closeNote = [&](int note, int64_t end) {
        if (held[note] < 0) return;
        const int64_t a = std::max(held[note], first), b = std::min(end, first + frames);
        if (a < b)
            canvas.Fill(column(a), rowTop(note), std::max(column(b), column(a) + 1),
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
    for (int n = 0; n < 128; ++n) closeNote(n, first + frames);

    // Markers through the waveform lanes; the name of each note-on above them, on the first of
    // two rows with room for it.
    int labelEnd[2] = {std::numeric_limits<int>::min(), std::numeric_limits<int>::min()};
    for (const TimedEvent& e : events) {
        if (!shown(e.Sample)) continue;
        const int x = column(e.Sample);
        if (IsNoteOn(e)) {
            canvas.Fill(x, layout.LabelsTop, x + 1, lanesBottom, NoteColour(e.Bytes[1]), 0.7);
            const std::string text = name(e.Bytes[1]);
            const int w = writer.Width(text);
            for (int row = 0; row < 2; ++row)
                if (x + 3 > labelEnd[row] + 6) {
                    writer.Draw(canvas, x + 3, layout.LabelsTop + row * kLineHeight, text, NoteColour(e.Bytes[1]));
                    labelEnd[row] = x + 3 + w;
                    break;
                }
        } else if (IsNoteOff(e)) {
            for (int yy = lanesTop; yy < lanesBottom; yy += 4) canvas.Fill(x, yy, x + 1, yy + 2, kOff, 0.6);
        } else if ((e.Bytes[0] & 0xF0) == 0xB0) {
            canvas.Fill(x, stripBottom - 4, x + 1, stripBottom, kController);
            for (int yy = lanesTop; yy < lanesBottom; yy += 6) canvas.Fill(x, yy, x + 1, yy + 3, kController, 0.5);
        }
    }

    // Legend: a swatch and the name of every note played.
    int lx = width, ly = layout.LegendTop - kLineHeight;
    for (const auto& [note, text] : legend) {
        const int w = 18 + writer.Width(text) + 16;
        if (lx + w > width) {
            lx = 8;
            ly += kLineHeight;
        }
        canvas.Fill(lx, ly + 3, lx + 12, ly + 13, NoteColour(note));
        writer.Draw(canvas, lx + 18, ly + 1, text, kText);
        lx += w;
    }
    return image;
}

RgbImage DrawPlot(const StereoAudio& input, const StereoAudio& output, const std::vector<TimedEvent>& events,
                  double bpm, PlotLayout& layout) {
    TEnvelope in, out;
    in.Add(input.Left.data(), input.Right.data(), input.Left.size(), 0);
    out.Add(output.Left.data(), output.Right.data(), output.Left.size(), 0);
    PlotInfo info;
    info.SampleRate = output.Frames() ? output.SampleRate : input.SampleRate;
    info.Bpm = bpm;
    info.End = std::max(input.Frames(), output.Frames());
    return DrawPlot(in, out, events, info, layout);
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
