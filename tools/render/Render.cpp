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

namespace qbfx::render {
namespace {

#ifdef QBFX_DEFAULT_PLUGIN
constexpr const char* kDefaultPlugin = QBFX_DEFAULT_PLUGIN;
#else
constexpr const char* kDefaultPlugin = "";
#endif

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

}  // namespace

std::string UsageText() {
    std::string plugin = *kDefaultPlugin ? std::string("default: ") + kDefaultPlugin
                                         : std::string("required in this build");
    return "Usage: qbfx-render [options] INPUT -o OUTPUT.wav\n"
           "       qbfx-render --demo [options]\n"
           "Renders an audio file through a VST 2 plug-in, offline, with MIDI triggers.\n"
           "\n"
           "  INPUT               WAV, FLAC or AIFF; rendered at its own sample rate, mono to both channels\n"
           "  -o, --output FILE   the rendered WAV (32-bit float unless --pcm24)\n"
           "  --plugin PATH       the VST 2 library (" + plugin + ")\n"
           "  --pcm24             write 24-bit PCM instead of 32-bit float\n"
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
           "  --plot FILE.png     draw input and output waveforms with a marker at every trigger\n"
           "  --demo              render a built-in 10-bar loop and a score that plays each of the\n"
           "                      eight effects in turn (to demo.wav and demo.png, or -o FILE)\n"
           "  --list-params       print the plug-in's parameters and programs, then stop\n"
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
            o.Pcm24 = true;
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
    if (o.Help) return o;
    if (o.Demo && !o.Input.empty()) throw UsageError("--demo makes its own input: give no input file");
    if (o.Demo) {
        if (o.Output.empty()) o.Output = "demo.wav";
        if (o.Plot.empty()) o.Plot = WithExtension(o.Output, ".png");
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

StereoAudio RenderAudio(TPluginHost& host, const StereoAudio& input, int64_t frames,
                        const std::vector<TimedEvent>& events, int maxBlock,
                        const std::function<void(int64_t)>& progress) {
    StereoAudio out;
    out.SampleRate = input.SampleRate;
    out.Left.assign(size_t(frames), 0.0f);
    out.Right.assign(size_t(frames), 0.0f);
    const auto blockLength = static_cast<size_t>(maxBlock);
    std::vector<float> inL(blockLength), inR(blockLength);
    std::vector<TimedEvent> now;
    size_t next = 0;
    for (int64_t pos = 0; pos < frames;) {
        now.clear();
        while (next < events.size() && events[next].Sample <= pos) now.push_back(events[next++]);
        host.SendEvents(now);
        int64_t end = std::min(pos + maxBlock, frames);
        if (next < events.size()) end = std::min(end, events[next].Sample);
        const int n = int(end - pos);
        for (int i = 0; i < n; ++i) {
            const int64_t s = pos + i;
            const bool inside = s < input.Frames();
            inL[size_t(i)] = inside ? input.Left[size_t(s)] : 0.0f;
            inR[size_t(i)] = inside ? input.Right[size_t(s)] : 0.0f;
        }
        host.Process(inL.data(), inR.data(), &out.Left[size_t(pos)], &out.Right[size_t(pos)], n, pos);
        pos = end;
        if (progress) progress(pos);
    }
    return out;
}

Levels MeasureLevels(const StereoAudio& audio) {
    Levels l;
    double sum = 0;
    for (const auto* ch : {&audio.Left, &audio.Right})
        for (float v : *ch) {
            l.Peak = std::max(l.Peak, double(std::fabs(v)));
            sum += double(v) * double(v);
        }
    const double n = 2.0 * double(audio.Frames());
    l.Rms = n > 0 ? std::sqrt(sum / n) : 0.0;
    return l;
}

std::string FormatDb(double linear) {
    if (!(linear > 0)) return "-inf dBFS";
    return Fixed(20.0 * std::log10(linear), 2) + " dBFS";
}

namespace {

int Run(const RenderOptions& o, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    const std::string pluginPath = o.Plugin.empty() ? kDefaultPlugin : o.Plugin;
    if (pluginPath.empty())
        throw UsageError("no plug-in given: use --plugin PATH (this build has no default plug-in)");

    StereoAudio input;
    if (o.Demo)
        input = GenerateDemoLoop(kDemoSampleRate, o.Tempo);
    else if (!o.Input.empty())
        input = ReadAudioFile(o.Input);

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
    const std::vector<TimedEvent> events = PlaceEvents(triggers, input.SampleRate);

    TPluginHost host(pluginPath);
    host.Configure(input.SampleRate, o.Block, o.Tempo);
    const std::vector<std::string> names = host.ParamNames();
    if (o.ListParams) {
        out << host.EffectName() << ": " << host.NumParams() << " parameters, " << host.NumPrograms()
            << " programs\n";
        for (size_t i = 0; i < names.size(); ++i)
            out << std::setw(4) << i << "  " << names[i] << " = " << Fixed(host.GetParameter(int(i)), 4) << "\n";
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

    const int64_t frames = input.Frames() + std::llround(o.TailSeconds * input.SampleRate);
    const auto delivered = std::count_if(events.begin(), events.end(),
                                         [&](const TimedEvent& e) { return e.Sample < frames; });

    host.Resume();
    TProgress progress(err, errIsTerminal, frames);
    const auto start = std::chrono::steady_clock::now();
    const StereoAudio output =
        RenderAudio(host, input, frames, events, o.Block, [&](int64_t done) { progress.Update(done); });
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    host.Suspend();
    progress.Finish();

    // Both files are complete under temporary names before either takes its real one.
    TPendingFile wav(o.Output);
    WriteWav(wav, output, o.Pcm24 ? SampleFormat::Pcm24 : SampleFormat::Float32);
    std::unique_ptr<TPendingFile> png;
    if (!o.Plot.empty()) {
        png = std::make_unique<TPendingFile>(o.Plot);
        PlotLayout layout;
        WritePng(png->Descriptor(), DrawPlot(input, output, events, o.Tempo, layout), o.Plot);
    }
    wav.Commit();
    if (png) png->Commit();

    const double seconds = double(frames) / input.SampleRate;
    const Levels in = MeasureLevels(input), res = MeasureLevels(output);
    const auto levelLine = [](const char* what, const Levels& l) {
        return std::string(what) + "peak " + Fixed(l.Peak, 4) + " (" + FormatDb(l.Peak) + ")   RMS " +
               Fixed(l.Rms, 4) + " (" + FormatDb(l.Rms) + ")\n";
    };
    out << "plug-in    " << host.EffectName() << " (" << pluginPath << ")\n"
        << "length     " << Fixed(seconds, 3) << " s (" << frames << " frames at " << input.SampleRate
        << " Hz, blocks of " << o.Block << ")\n"
        << levelLine("input      ", in) << levelLine("output     ", res)
        << "events     " << delivered << " delivered";
    if (size_t(delivered) < events.size()) out << ", " << events.size() - size_t(delivered) << " after the end dropped";
    out << "\n"
        << "real time  " << (wall > 0 ? Fixed(seconds / wall, 1) + "x" : std::string("too fast to time"))
        << " (rendered in " << Fixed(wall, 3) << " s)\n";
    err << "qbfx-render: wrote " << o.Output << (png ? " and " + o.Plot : std::string()) << " ("
        << Fixed(seconds, 3) << " s)\n";
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
