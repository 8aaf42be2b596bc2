// The text score: one event per line, "<beat> note <n> <velocity>", "<beat> off <n>" or
// "<beat> cc <c> <value>"; '#' starts a comment. Beats are quarter notes from the start.
#pragma once

#include "RenderTypes.h"

#include <string>
#include <vector>

namespace qbfx::render {

struct ScoreEvent {
    double Beat = 0;
    uint8_t Bytes[3] = {0, 0, 0};
    int Line = 0;
};

// Events in the order written. Throws RenderError naming the source and the line number.
std::vector<ScoreEvent> ParseScore(const std::string& text, const std::string& sourceName);
std::vector<ScoreEvent> ReadScoreFile(const std::string& path);

// Beats to seconds at a fixed tempo, then sorted by time (lines at one time keep their order).
std::vector<MidiEvent> ScoreToMidi(const std::vector<ScoreEvent>& score, double bpm);

}  // namespace qbfx::render
