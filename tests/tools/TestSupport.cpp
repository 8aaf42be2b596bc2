#include "TestSupport.h"

#include "Render.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qbfx::render::test {

namespace {
std::string MakeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qbfx-render-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}
}  // namespace

TScratchDir::TScratchDir() : Path(MakeTempDir()) {}
TScratchDir::~TScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
}

std::vector<std::string> TScratchDir::Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Path)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteAudio(const std::string& path, const std::vector<std::vector<float>>& channels, int sampleRate) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = int(channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) throw std::runtime_error("cannot write test input " + path);
    const size_t frames = channels[0].size();
    std::vector<float> interleaved(frames * channels.size());
    for (size_t i = 0; i < frames; ++i)
        for (size_t c = 0; c < channels.size(); ++c) interleaved[i * channels.size() + c] = channels[c][i];
    sf_writef_float(f, interleaved.data(), sf_count_t(frames));
    sf_close(f);
}

FileAudio ReadBack(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) throw std::runtime_error("cannot read back " + path);
    std::vector<float> interleaved(size_t(info.frames) * size_t(info.channels));
    sf_readf_float(f, interleaved.data(), info.frames);
    sf_close(f);
    FileAudio r;
    r.Format = info.format;
    r.Audio.SampleRate = info.samplerate;
    for (size_t i = 0; i < size_t(info.frames); ++i) {
        r.Audio.Left.push_back(interleaved[i * size_t(info.channels)]);
        r.Audio.Right.push_back(interleaved[i * size_t(info.channels) + (info.channels > 1 ? 1 : 0)]);
    }
    return r;
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                std::streamsize(bytes.size()));
}

RunResult Render(const std::vector<std::string>& args, bool terminal) {
    std::ostringstream out, err;
    RunResult r;
    r.Code = RunRender(args, out, err, terminal);
    r.Out = out.str();
    r.Err = err.str();
    return r;
}

}  // namespace qbfx::render::test
