#include "Render.h"

#include "AudioFiles.h"
#include "Demo.h"
#include "Plot.h"
#include "Score.h"
#include "Smf.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <ostream>
#include <sstream>

#include <sndfile.h>
#include <unistd.h>

namespace qbfx::render {
namespace {

#ifdef QBFX_BUILD_PLUGIN
// The plug-in of the build this renderer belongs to, relative to the renderer's own folder.
constexpr const char* kBuildPlugin = QBFX_BUILD_PLUGIN;
#else
constexpr const char* kBuildPlugin = "";
#endif
#ifndef QBFX_VERSION
#define QBFX_VERSION "unknown"
#endif
constexpr const char* kPluginFile = "QBFX_F.so";

// What the product's notes do, for the plot's names.
constexpr const char* kEffectNames[kDemoEffects] = {"Synced delay", "Glide & Drift", "Flanger", "Phaser",
                                                    "Decimator", "Realtime slicer", "Ringer", "TriCombs"};

std::string ProductNoteName(int note) {
    for (int k = 0; k < kDemoEffects; ++k) {
        if (kSelectNotes[k] == note) return kEffectNames[k];
        if (kSyncNotes[k] == note) return std::to_string(k + 1) + "/8";
    }
    return {};
}

std::string ExecutableFolder() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.parent_path().string();
}

bool ParseNumber(const std::string& s, double& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool ParseInteger(const std::string& s, int& out) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::string Fixed(double v, int digits) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(digits) << v;
    return s.str();
}

std::string Quoted(const std::vector<std::string>& names) {
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) list += (i ? ", '" : "'") + names[i] + "'";
    return list;
}

class TProgress {   // a bar redrawn in place on a terminal, silent otherwise
public:
    TProgress(std::ostream& err, bool terminal, int64_t total) : Err(err), Terminal(terminal), Total(total) {}
    void Update(int64_t done) {
        if (!Terminal || Total <= 0) return;
        const int percent = int(done * 100 / Total);
        if (percent == Shown) return;
        Shown = percent;
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        Err << "\r[" << std::string(size_t(filled), '#') << std::string(size_t(kWidth - filled), ' ')
            << "] " << std::setw(3) << percent << "%" << std::flush;
    }
    void Finish() {
        if (Terminal && Shown >= 0) Err << "\n";
    }

private:
    std::ostream& Err;
    bool Terminal;
    int64_t Total;
    int Shown = -1;
};

std::string WithExtension(const std::string& path, const std::string& ext) {
    return std::filesystem::path(path).replace_extension(ext).string();
}

void Warn(std::ostream& err, const std::string& text) { err << "qbfx-render: warning: " << text << "\n"; }

}  // namespace

std::vector<std::string> DefaultPluginCandidates() {
    namespace fs = std::filesystem;
    std::vector<fs::path> folders;
    const std::string exe = ExecutableFolder();
    if (!exe.empty()) {
        folders.push_back(exe);
        folders.push_back(fs::path(exe) / "QBFX_F");
        // the build this renderer was made in, recognised by its cache, wherever it was moved
        const fs::path built = (fs::path(exe) / kBuildPlugin).parent_path();
        std::error_code ec;
        if (*kBuildPlugin && fs::exists(built / "CMakeCache.txt", ec)) folders.push_back(built);
        for (const char* lib : {"lib/vst", "lib/lxvst", "lib64/vst", "lib64/lxvst"})
            folders.push_back(fs::path(exe) / ".." / lib / "QBFX_F");
    }
    for (const char* variable : {"LXVST_PATH", "VST_PATH"}) {
        const char* value = std::getenv(variable);
        std::istringstream list(value ? value : "");
        for (std::string folder; std::getline(list, folder, ':');)
            if (!folder.empty()) {
                folders.push_back(fs::path(folder) / "QBFX_F");
                folders.push_back(folder);
            }
    }
    if (const char* home = std::getenv("HOME"); home && *home)
        for (const char* sub : {".vst", ".lxvst"}) folders.push_back(fs::path(home) / sub / "QBFX_F");
    for (const char* prefix : {"/usr/local/", "/usr/"})
        for (const char* lib : {"lib/vst", "lib/lxvst", "lib64/vst", "lib64/lxvst"})
            folders.push_back(fs::path(prefix) / lib / "QBFX_F");
    std::vector<std::string> paths;
    for (const auto& f : folders) {
        std::string p = (f / kPluginFile).lexically_normal().string();
        if (std::find(paths.begin(), paths.end(), p) == paths.end()) paths.push_back(std::move(p));
    }
    return paths;
}

std::string UsageText() {
    return "Usage: qbfx-render [options] INPUT -o OUTPUT\n"
           "       qbfx-render --demo [options]\n"
           "Renders an audio file through a VST 2 plug-in, offline, with MIDI triggers.\n"
           "\n"
           "  INPUT               WAV, FLAC, AIFF, ... or - for standard input; rendered at its own\n"
           "                      sample rate, mono to both channels, channels past the second dropped\n"
           "  -o, --output FILE   the rendered audio, or - for standard output (messages then go to\n"
           "                      standard error); the format follows the extension (" + WritableExtensions() + ")\n"
           "  --type EXT          the output format by extension, whatever the name (WAV for -)\n"
           "  --bits 16|24|32f    sample format of the output (default 32-bit float where the format\n"
           "                      holds it, else 24-bit); --pcm24 is --bits 24\n"
           "  --plugin PATH       the VST 2 library (default: the installed or built QBFX_F.so, looked\n"
           "                      for beside this program, under its prefix and in the hosts' folders)\n"
           "  --block N           largest block in frames (default 512)\n"
           "  --tempo BPM         transport tempo, and the beat length of a score (default 120)\n"
           "  --program N         select program N before rendering\n"
           "  --set NAME=VALUE    set a parameter, by the name the plug-in reports or by index,\n"
           "                      to VALUE in 0..1; may be given several times\n"
           "  --midi FILE.mid     trigger events from a Standard MIDI File (format 0 or 1)\n"
           "  --score FILE        trigger events from a text score, one per line:\n"
           "                        <beat> note <n> <velocity> | <beat> off <n> | <beat> cc <c> <value>\n"
           "                      beats are quarter notes from the start; '#' starts a comment\n"
           "  --tail SECONDS      render this long past the end of the input (default 0)\n"
           "  --plot FILE.png     draw input and output waveforms, the triggers with their names, a\n"
           "                      time axis in seconds and bars, and a legend\n"
           "  --plot-range A:B    plot only seconds A to B (either may be left out: 30: or :10)\n"
           "  --demo              render a built-in 10-bar loop and a score that plays each of the\n"
           "                      eight effects in turn (to demo.wav and demo.png, or -o FILE)\n"
           "  --list-params       print the plug-in's parameters (value, display text, unit) and\n"
           "                      programs, then stop\n"
           "  --version           print the version\n"
           "  -h, --help          this text\n";
}

RenderOptions ParseOptions(const std::vector<std::string>& args) {
    RenderOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError("option " + a + " needs a value");
            return args[++i];
        };
        if (a == "-h" || a == "--help") {
            o.Help = true;
        } else if (a == "-o" || a == "--output") {
            o.Output = value();
        } else if (a == "--plugin") {
            o.Plugin = value();
        } else if (a == "--pcm24") {
            o.Bits = SampleFormat::Pcm24;
        } else if (a == "--bits") {
            const std::string& v = value();
            if (v == "16") o.Bits = SampleFormat::Pcm16;
            else if (v == "24") o.Bits = SampleFormat::Pcm24;
            else if (v == "32f" || v == "32") o.Bits = SampleFormat::Float32;
            else throw UsageError("--bits wants 16, 24 or 32f, not '" + v + "'");
        } else if (a == "--type") {
            o.Type = value();
        } else if (a == "--version") {
            o.Version = true;
        } else if (a == "--plot-range") {
            const std::string& v = value();
            const auto colon = v.find(':');
            double from = 0, to = -1;
            const bool ok = colon != std::string::npos &&
                            (colon == 0 || ParseNumber(v.substr(0, colon), from)) &&
                            (colon + 1 == v.size() || ParseNumber(v.substr(colon + 1), to)) && from >= 0 &&
                            (to < 0 ? colon + 1 == v.size() : to > from);
            if (!ok) throw UsageError("--plot-range wants START:END in seconds, END after START, not '" + v + "'");
            o.PlotFrom = from;
            o.PlotTo = to;
        } else if (a == "--block") {
            const std::string& v = value();
            if (!ParseInteger(v, o.Block) || o.Block < 1 || o.Block > 1 << 20)
                throw UsageError("--block wants a whole number of frames from 1 to 1048576, not '" + v + "'");
        } else if (a == "--tempo") {
            const std::string& v = value();
            if (!ParseNumber(v, o.Tempo) || o.Tempo < 1 || o.Tempo > 1000)
                throw UsageError("--tempo wants beats per minute from 1 to 1000, not '" + v + "'");
        } else if (a == "--program") {
            const std::string& v = value();
            int p = 0;
            if (!ParseInteger(v, p) || p < 0) throw UsageError("--program wants a number >= 0, not '" + v + "'");
            o.Program = p;
        } else if (a == "--set") {
            const std::string& v = value();
            const auto eq = v.rfind('=');
            if (eq == std::string::npos || eq == 0)
                throw UsageError("--set wants NAME=VALUE, not '" + v + "'");
            o.Sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--midi") {
            o.Midi = value();
        } else if (a == "--score") {
            o.Score = value();
        } else if (a == "--tail") {
            const std::string& v = value();
            if (!ParseNumber(v, o.TailSeconds) || o.TailSeconds < 0 || o.TailSeconds > 3600)
                throw UsageError("--tail wants seconds from 0 to 3600, not '" + v + "'");
        } else if (a == "--plot") {
            o.Plot = value();
        } else if (a == "--demo") {
            o.Demo = true;
        } else if (a == "--list-params") {
            o.ListParams = true;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option '" + a + "'");
        } else if (o.Input.empty()) {
            o.Input = a;
        } else {
            throw UsageError("more than one input file ('" + o.Input + "', '" + a + "')");
        }
    }
    if (o.Help || o.Version) return o;
    if (o.Plot == "-") throw UsageError("--plot needs a file name: standard output is for the audio");
    if (o.Demo && !o.Input.empty()) throw UsageError("--demo makes its own input: give no input file");
    if (o.Demo) {
        if (o.Output.empty()) o.Output = "demo.wav";
        if (o.Plot.empty() && o.Output != "-") o.Plot = WithExtension(o.Output, ".png");
    } else if (!o.ListParams) {
        if (o.Input.empty()) throw UsageError("no input file (or --demo)");
        if (o.Output.empty()) throw UsageError("no output file: give -o OUTPUT.wav");
    }
    return o;
}

std::vector<TimedEvent> PlaceEvents(const std::vector<MidiEvent>& events, double sampleRate) {
    std::vector<TimedEvent> placed;
    placed.reserve(events.size());
    for (const MidiEvent& m : events) {
        TimedEvent t;
        t.Sample = std::llround(m.Seconds * sampleRate);
        std::copy(std::begin(m.Bytes), std::end(m.Bytes), t.Bytes);
        placed.push_back(t);
    }
    std::stable_sort(placed.begin(), placed.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.Sample < b.Sample; });
    return placed;
}

int ResolveParameter(const std::vector<std::string>& names, const std::string& nameOrIndex) {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == nameOrIndex) return int(i);
    int index = 0;
    if (ParseInteger(nameOrIndex, index) && index >= 0 && size_t(index) < names.size()) return index;
    throw RenderError("the plug-in has no parameter '" + nameOrIndex + "'; valid names are " +
                      Quoted(names) + " (or an index 0.." + std::to_string(int(names.size()) - 1) + ")");
}

namespace {

// Input read ahead of the block loop, so a block never waits on a chunk boundary: blocks are cut
// by the block size and the events alone, as they would be with the whole file in memory.
class TInputQueue {
public:
    explicit TInputQueue(TAudioSource& source) : Source(source) {}
    // Reads until `frames` are buffered or the input ends; returns the frames buffered.
    size_t Fill(size_t frames) {
        if (Head > kChunk) {
            for (auto* ch : {&Left, &Right}) ch->erase(ch->begin(), ch->begin() + std::ptrdiff_t(Head));
            Head = 0;
        }
        while (Left.size() - Head < frames && !Ended) {
            const size_t old = Left.size();
            Left.resize(old + kChunk);
            Right.resize(old + kChunk);
            const size_t got = Source.Read(&Left[old], &Right[old], kChunk);
            Left.resize(old + got);
            Right.resize(old + got);
            Read += int64_t(got);
            Ended = got == 0;
        }
        return Left.size() - Head;
    }
    // The next `frames` frames, silence past the end of the input; returns how many were input.
    size_t Take(float* left, float* right, size_t frames) {
        const size_t n = std::min(frames, Left.size() - Head);
        std::copy_n(Left.begin() + std::ptrdiff_t(Head), n, left);
        std::copy_n(Right.begin() + std::ptrdiff_t(Head), n, right);
        std::fill(left + n, left + frames, 0.0f);
        std::fill(right + n, right + frames, 0.0f);
        Head += n;
        return n;
    }
    bool Done() const { return Ended; }
    int64_t FramesRead() const { return Read; }

private:
    static constexpr size_t kChunk = 16384;
    TAudioSource& Source;
    std::vector<float> Left, Right;
    size_t Head = 0;
    int64_t Read = 0;
    bool Ended = false;
};

struct StreamResult {
    int64_t Frames = 0, InputFrames = 0, Delivered = 0;
};

// The block loop: blocks of at most maxBlock frames, cut short so every event starts a block.
// Input past its end is silence for tailFrames; events after the end are not sent. Each block's
// input and output go to `take` (inputFrames of the block are from the input).
using BlockSink = std::function<void(const float* inL, const float* inR, const float* outL, const float* outR,
                                     size_t frames, size_t inputFrames, int64_t pos)>;
StreamResult StreamRender(TPluginHost& host, TAudioSource& source, int64_t tailFrames,
                          const std::vector<TimedEvent>& events, int maxBlock, const BlockSink& take) {
    const auto block = static_cast<size_t>(maxBlock);
    std::vector<float> inL(block), inR(block), outL(block), outR(block);
    std::vector<TimedEvent> now;
    TInputQueue queue(source);
    StreamResult r;
    size_t next = 0;
    for (int64_t pos = 0;;) {
        queue.Fill(block);
        // the end is known once the input has run out within the next block
        const int64_t end = queue.Done() ? queue.FramesRead() + tailFrames : std::numeric_limits<int64_t>::max();
        if (pos >= end) break;
        now.clear();
        while (next < events.size() && events[next].Sample <= pos) now.push_back(events[next++]);
        host.SendEvents(now);
        r.Delivered += int64_t(now.size());
        int64_t stop = std::min(pos + maxBlock, end);
        if (next < events.size()) stop = std::min(stop, events[next].Sample);
        const auto n = size_t(stop - pos);
        const size_t fromInput = queue.Take(inL.data(), inR.data(), n);
        host.Process(inL.data(), inR.data(), outL.data(), outR.data(), int(n), pos);
        take(inL.data(), inR.data(), outL.data(), outR.data(), n, fromInput, pos);
        pos = stop;
        r.Frames = pos;
    }
    r.InputFrames = queue.FramesRead();
    return r;
}

}  // namespace

StereoAudio RenderAudio(TPluginHost& host, const StereoAudio& input, int64_t frames,
                        const std::vector<TimedEvent>& events, int maxBlock,
                        const std::function<void(int64_t)>& progress) {
    StereoAudio cut = input;
    if (cut.Frames() > frames) {
        cut.Left.resize(size_t(frames));
        cut.Right.resize(size_t(frames));
    }
    TMemorySource source(cut);
    StereoAudio out;
    out.SampleRate = input.SampleRate;
    StreamRender(host, source, frames - cut.Frames(), events, maxBlock,
                 [&](const float*, const float*, const float* l, const float* r, size_t n, size_t, int64_t pos) {
                     out.Left.insert(out.Left.end(), l, l + n);
                     out.Right.insert(out.Right.end(), r, r + n);
                     if (progress) progress(pos + int64_t(n));
                 });
    return out;
}

void TLevelMeter::Add(const float* left, const float* right, size_t frames) {
    for (const float* ch : {left, right})
        for (size_t i = 0; i < frames; ++i) {
            Peak = std::max(Peak, double(std::fabs(ch[i])));
            Sum += double(ch[i]) * double(ch[i]);
        }
    Samples += 2 * int64_t(frames);
}

Levels TLevelMeter::Result() const {
    Levels l;
    l.Peak = Peak;
    l.Rms = Samples > 0 ? std::sqrt(Sum / double(Samples)) : 0.0;
    return l;
}

Levels MeasureLevels(const StereoAudio& audio) {
    TLevelMeter m;
    m.Add(audio.Left.data(), audio.Right.data(), audio.Left.size());
    return m.Result();
}

std::string FormatDb(double linear) {
    if (!(linear > 0)) return "-inf dBFS";
    return Fixed(20.0 * std::log10(linear), 2) + " dBFS";
}

namespace {

std::string FindPlugin(const RenderOptions& o) {
    if (!o.Plugin.empty()) return o.Plugin;
    const auto candidates = DefaultPluginCandidates();
    for (const auto& c : candidates)
        if (::access(c.c_str(), R_OK) == 0) return c;
    std::string list;
    for (const auto& c : candidates) list += "\n  " + c;
    throw UsageError("no plug-in given and no QBFX_F.so found; use --plugin PATH. Looked for:" + list);
}

std::string BitsName(const OutputFormat& f) {
    switch (f.Subtype) {
    case SF_FORMAT_PCM_16: return "16-bit";
    case SF_FORMAT_PCM_24: return "24-bit";
    default: return "integer";
    }
}

int Run(const RenderOptions& o, std::ostream& stdoutStream, std::ostream& err, bool errIsTerminal) {
    // With the audio on standard output, everything else goes to standard error.
    std::ostream& out = o.Output == "-" ? err : stdoutStream;
    std::optional<OutputFormat> format;
    if (!o.ListParams) {
        try {
            format = ResolveOutputFormat(o.Output, o.Type, o.Bits);
        } catch (const RenderError& e) {
            throw UsageError(e.what());
        }
    }
    const std::string pluginPath = FindPlugin(o);

    std::unique_ptr<TAudioSource> source;
    TFileSource* file = nullptr;
    if (o.Demo) {
        source = std::make_unique<TMemorySource>(GenerateDemoLoop(kDemoSampleRate, o.Tempo));
    } else if (!o.Input.empty()) {
        auto f = std::make_unique<TFileSource>(o.Input);
        file = f.get();
        source = std::move(f);
    }
    const double rate = source ? source->SampleRate : 44100.0;

    std::vector<MidiEvent> triggers;
    if (!o.Midi.empty()) {
        auto smf = ReadSmfFile(o.Midi, o.Tempo);
        triggers.insert(triggers.end(), smf.Events.begin(), smf.Events.end());
    }
    if (!o.Score.empty()) {
        auto score = ScoreToMidi(ReadScoreFile(o.Score), o.Tempo);
        triggers.insert(triggers.end(), score.begin(), score.end());
    }
    if (o.Demo && o.Midi.empty() && o.Score.empty())
        triggers = ScoreToMidi(ParseScore(DemoScoreText(), "(built-in demo)"), o.Tempo);
    const std::vector<TimedEvent> events = PlaceEvents(triggers, rate);

    TPluginHost host(pluginPath);
    host.Configure(rate, o.Block, o.Tempo);
    const std::vector<std::string> names = host.ParamNames();
    if (o.ListParams) {
        out << host.EffectName() << " (" << pluginPath << "): " << host.NumParams() << " parameters, "
            << host.NumPrograms() << " programs\n";
        size_t width = 0;
        for (const auto& n : names) width = std::max(width, n.size());
        for (size_t i = 0; i < names.size(); ++i) {
            std::string shown = host.ParamDisplay(int(i));
            const std::string label = host.ParamLabel(int(i));
            shown.erase(0, shown.find_first_not_of(' '));
            if (!label.empty()) shown += " " + label;
            out << std::setw(4) << i << "  " << std::left << std::setw(int(width)) << names[i] << std::right
                << "  " << Fixed(host.GetParameter(int(i)), 4) << "  " << shown << "\n";
        }
        for (int p = 0; p < host.NumPrograms(); ++p)
            out << "program " << p << "  " << host.ProgramName(p) << "\n";
        return 0;
    }

    if (o.Program) {
        if (*o.Program >= host.NumPrograms())
            throw RenderError("the plug-in has no program " + std::to_string(*o.Program) + " (it has " +
                              std::to_string(host.NumPrograms()) + ")");
        host.SetProgram(*o.Program);
    }
    for (const auto& [name, text] : o.Sets) {
        const int index = ResolveParameter(names, name);
        double v = 0;
        if (!ParseNumber(text, v) || v < 0 || v > 1)
            throw RenderError("--set " + name + ": the value must be a number from 0 to 1, not '" + text + "'");
        host.SetParameter(index, float(v));
    }

    const int64_t tail = std::llround(o.TailSeconds * rate);
    const int64_t expected = source->KnownFrames >= 0 ? source->KnownFrames + tail : -1;
    // Both files are complete under temporary names before either takes its real one.
    TOutputFile audioFile(o.Output);
    std::unique_ptr<TOutputFile> pngFile;
    if (!o.Plot.empty()) pngFile = std::make_unique<TOutputFile>(o.Plot);
    TAudioSink sink(audioFile, *format, int(std::lrint(rate)), expected);

    const int64_t plotFirst = std::llround(o.PlotFrom * rate);
    const int64_t plotLast = o.PlotTo < 0 ? std::numeric_limits<int64_t>::max() : std::llround(o.PlotTo * rate);
    TEnvelope inEnvelope(plotFirst, plotLast), outEnvelope(plotFirst, plotLast);
    TLevelMeter inLevels, outLevels;

    host.Resume();
    TProgress progress(err, errIsTerminal, expected);
    const auto start = std::chrono::steady_clock::now();
    const StreamResult result = StreamRender(
        host, *source, tail, events, o.Block,
        [&](const float* inL, const float* inR, const float* outL, const float* outR, size_t n, size_t fromInput,
            int64_t pos) {
            sink.Write(outL, outR, n);
            inLevels.Add(inL, inR, fromInput);
            outLevels.Add(outL, outR, n);
            if (pngFile) {
                inEnvelope.Add(inL, inR, fromInput, pos);
                outEnvelope.Add(outL, outR, n, pos);
            }
            progress.Update(pos + int64_t(n));
        });
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    host.Suspend();
    progress.Finish();
    const int64_t padded = sink.Finish();

    if (pngFile) {
        PlotLayout layout;
        PlotInfo info;
        info.SampleRate = rate;
        info.Bpm = o.Tempo;
        info.First = std::min(plotFirst, result.Frames);
        info.End = std::max(info.First + 1, std::min(plotLast, result.Frames));
        if (host.EffectName() == "Quenby_F") info.NoteName = ProductNoteName;
        WritePng(pngFile->Descriptor(), DrawPlot(inEnvelope, outEnvelope, events, info, layout), o.Plot);
    }
    audioFile.Commit();
    if (pngFile) pngFile->Commit();

    // What the user may not expect, with numbers.
    if (file && file->Channels() > 2)
        Warn(err, "input '" + o.Input + "' has " + std::to_string(file->Channels()) + " channels: the first two are "
                  "rendered, " + std::to_string(file->Channels() - 2) + " dropped");
    if (file && file->MissingFrames() > 0)
        Warn(err, "premature end of input '" + o.Input + "': " + std::to_string(file->MissingFrames()) +
                  " frames fewer than its header says; rendered the " + std::to_string(result.InputFrames) +
                  " frames present");
    if (padded > 0)
        Warn(err, "the output on '" + o.Output + "' was announced " + std::to_string(padded) + " frames longer; "
                  "padded with as many frames of silence");
    if (sink.Clipped() > 0)
        Warn(err, std::to_string(sink.Clipped()) + " samples clipped: beyond full scale in the " + BitsName(*format) +
                  " output (--bits 32f keeps them)");
    if (events.empty())
        Warn(err, "no triggers given (--score or --midi): no effect is fired");

    const double seconds = double(result.Frames) / rate;
    const auto levelLine = [](const char* what, const Levels& l) {
        return std::string(what) + "peak " + Fixed(l.Peak, 4) + " (" + FormatDb(l.Peak) + ")   RMS " +
               Fixed(l.Rms, 4) + " (" + FormatDb(l.Rms) + ")\n";
    };
    out << "plug-in    " << host.EffectName() << " (" << pluginPath << ")\n"
        << "length     " << Fixed(seconds, 3) << " s (" << result.Frames << " frames at " << rate
        << " Hz, blocks of " << o.Block << ")\n"
        << levelLine("input      ", inLevels.Result()) << levelLine("output     ", outLevels.Result())
        << "events     " << result.Delivered << " delivered";
    if (size_t(result.Delivered) < events.size())
        out << ", " << events.size() - size_t(result.Delivered) << " after the end dropped";
    out << "\n"
        << "real time  " << (wall > 0 ? Fixed(seconds / wall, 1) + "x" : std::string("too fast to time"))
        << " (rendered in " << Fixed(wall, 3) << " s)\n";
    err << "qbfx-render: wrote " << (o.Output == "-" ? std::string("standard output") : o.Output)
        << (pngFile ? " and " + o.Plot : std::string()) << " (" << Fixed(seconds, 3) << " s, " << format->Name
        << ")\n";
    return 0;
}

}  // namespace

int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool errIsTerminal) {
    try {
        const RenderOptions o = ParseOptions(args);
        if (o.Help) {
            out << UsageText();
            return 0;
        }
        if (o.Version) {
            out << "qbfx-render " << QBFX_VERSION << " (" << sf_version_string() << ")\n";
            return 0;
        }
        return Run(o, out, err, errIsTerminal);
    } catch (const UsageError& e) {
        err << "qbfx-render: " << e.what() << "\nTry 'qbfx-render --help'.\n";
        return 2;
    } catch (const RenderError& e) {
        err << "qbfx-render: error: " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        err << "qbfx-render: error: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace qbfx::render
