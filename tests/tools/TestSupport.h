// Helpers for the renderer's tests: a scratch folder, audio files, and running the tool.
#pragma once

#include "RenderTypes.h"

#include <string>
#include <vector>

namespace qbfx::render::test {

class TScratchDir {   // a fresh folder under /tmp, removed with everything in it
public:
    TScratchDir();
    ~TScratchDir();
    std::string operator/(const std::string& name) const { return Path + "/" + name; }
    std::vector<std::string> Entries() const;   // file names, sorted
    const std::string Path;
};

struct FileAudio {
    StereoAudio Audio;
    int Format = 0;   // libsndfile format word
};

void WriteAudio(const std::string& path, const std::vector<std::vector<float>>& channels, int sampleRate);
FileAudio ReadBack(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

struct RunResult {
    int Code = 0;
    std::string Out, Err;
};
RunResult Render(const std::vector<std::string>& args, bool terminal = false);

}  // namespace qbfx::render::test
