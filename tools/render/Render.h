// The offline render: command line, event placement, the block loop and the report.
#pragma once

#include "AudioFiles.h"
#include "PluginHost.h"
#include "RenderTypes.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qbfx::render {

// A command line that cannot be run as given; reported with a pointer to --help.
class UsageError : public RenderError {
public:
    using RenderError::RenderError;
};

struct RenderOptions {
    std::string Input, Output, Plugin, Plot, Midi, Score, Type;
    bool Demo = false, ListParams = false, Help = false, Version = false;
    std::optional<SampleFormat> Bits;
    int Block = 512;
    double Tempo = 120.0;
    double TailSeconds = 0.0;
    double PlotFrom = 0.0, PlotTo = -1.0;   // seconds; PlotTo < 0: to the end
    std::optional<int> Program;
    std::vector<std::pair<std::string, std::string>> Sets;   // name or index, value text
};

std::string UsageText();
RenderOptions ParseOptions(const std::vector<std::string>& args);   // throws UsageError

// Events to samples at the nearest frame, in time order; equal times keep their order.
std::vector<TimedEvent> PlaceEvents(const std::vector<MidiEvent>& events, double sampleRate);

// A parameter named as the plug-in reports it, or by its index. Throws RenderError listing
// the valid names.
int ResolveParameter(const std::vector<std::string>& names, const std::string& nameOrIndex);

// Where the plug-in is looked for when --plugin is not given, in order: beside the renderer, in
// the build it came from, under its install prefix, then in the hosts' folders (LXVST_PATH,
// VST_PATH, ~/.vst, ~/.lxvst, /usr/local/lib/vst, /usr/local/lib/lxvst, /usr/lib/vst, ...).
std::vector<std::string> DefaultPluginCandidates();

// The block loop: blocks of at most maxBlock frames, cut short so every event starts a block.
// Input past its end is silence. Events at or after `frames` are not sent.
StereoAudio RenderAudio(TPluginHost& host, const StereoAudio& input, int64_t frames,
                        const std::vector<TimedEvent>& events, int maxBlock,
                        const std::function<void(int64_t framesDone)>& progress = {});

struct Levels {
    double Peak = 0, Rms = 0;   // over both channels
};
Levels MeasureLevels(const StereoAudio& audio);
class TLevelMeter {   // the same, gathered a block at a time
public:
    void Add(const float* left, const float* right, size_t frames);
    Levels Result() const;

private:
    double Peak = 0, Sum = 0;
    int64_t Samples = 0;
};
std::string FormatDb(double linear);   // "-6.02 dBFS", "-inf dBFS"

// The whole tool. Returns the exit code: 0 done, 1 failed, 2 bad command line.
int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool errIsTerminal);

}  // namespace qbfx::render
