// A small Standard MIDI File reader: formats 0 and 1, running status, tempo map.
#pragma once

#include "RenderTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qbfx::render {

struct SmfContents {
    std::vector<MidiEvent> Events;   // channel messages of all tracks, in time order
    bool HasTempo = false;           // the file set a tempo of its own
};

// Channel messages only; meta and system-exclusive events are read past. A file without a tempo
// event plays at defaultBpm. Throws RenderError on a malformed file.
SmfContents ParseSmf(const std::vector<uint8_t>& bytes, double defaultBpm);
SmfContents ReadSmfFile(const std::string& path, double defaultBpm);

}  // namespace qbfx::render
