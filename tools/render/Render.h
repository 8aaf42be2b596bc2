// The offline render: command line, event placement, the block loop and the report.
#pragma once

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
    std::string Input, Output, Plugin, Plot, Midi, Score;
    bool Pcm24 = false, Demo = false, ListParams = false, Help = false;
    int Block = 512;
    double Tempo = 120.0;
    double TailSeconds = 0.0;
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

// The block loop: blocks of at most maxBlock frames, cut short so every event starts a block.
// Input past its end is silence. Events at or after `frames` are not sent.
StereoAudio RenderAudio(TPluginHost& host, const StereoAudio& input, int64_t frames,
                        const std::vector<TimedEvent>& events, int maxBlock,
                        const std::function<void(int64_t framesDone)>& progress = {});

struct Levels {
    double Peak = 0, Rms = 0;   // over both channels
};
Levels MeasureLevels(const StereoAudio& audio);
std::string FormatDb(double linear);   // "-6.02 dBFS", "-inf dBFS"

// The whole tool. Returns the exit code: 0 done, 1 failed, 2 bad command line.
int RunRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              bool errIsTerminal);

}  // namespace qbfx::render
