#include "AudioFiles.h"

#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace qbfx::render {

namespace fs = std::filesystem;

TPendingFile::TPendingFile(std::string target) : TargetPath(std::move(target)) {
    const fs::path t(TargetPath);
    const fs::path dir = t.has_parent_path() ? t.parent_path() : fs::path(".");
    // hidden and unmistakable, in the target's folder so the final rename stays on one file system
    std::string name = ".";
    name.append(t.filename().string()).append(".partial-XXXXXX");
    std::string pattern = (dir / name).string();
    Fd = mkstemp(pattern.data());
    if (Fd < 0)
        throw RenderError("cannot create output '" + TargetPath + "': " + std::strerror(errno));
    TempPath = pattern;
}

TPendingFile::~TPendingFile() {
    if (Fd >= 0) close(Fd);
    if (!Committed) std::remove(TempPath.c_str());
}

void TPendingFile::Commit() {
    if (Fd >= 0) {
        close(Fd);
        Fd = -1;
    }
    // mkstemp makes the file private; give it the usual permissions of a new file
    const mode_t mask = umask(0);
    umask(mask);
    fs::permissions(TempPath, fs::perms(0666 & ~mask), std::filesystem::perm_options::replace);
    if (std::rename(TempPath.c_str(), TargetPath.c_str()) != 0)
        throw RenderError("cannot write output '" + TargetPath + "': " + std::strerror(errno));
    Committed = true;
}

namespace {
struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;
}  // namespace

StereoAudio ReadAudioFile(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) throw RenderError("input file '" + path + "' does not exist");
    if (fs::is_directory(path, ec)) throw RenderError("input '" + path + "' is a folder, not an audio file");
    SF_INFO info{};
    SndfilePtr f(sf_open(path.c_str(), SFM_READ, &info));
    if (!f) throw RenderError("cannot read input '" + path + "': " + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate <= 0)
        throw RenderError("input '" + path + "' has no audio channels");
    std::vector<float> interleaved(size_t(info.frames) * size_t(info.channels));
    const sf_count_t got = sf_readf_float(f.get(), interleaved.data(), info.frames);
    if (got < 0) throw RenderError("cannot read input '" + path + "': " + sf_strerror(f.get()));

    StereoAudio a;
    a.SampleRate = info.samplerate;
    a.Left.resize(size_t(got));
    a.Right.resize(size_t(got));
    const size_t ch = size_t(info.channels);
    for (size_t i = 0; i < size_t(got); ++i) {
        a.Left[i] = interleaved[i * ch];
        a.Right[i] = interleaved[i * ch + (ch > 1 ? 1 : 0)];
    }
    return a;
}

void WriteWav(TPendingFile& file, const StereoAudio& audio, SampleFormat format) {
    SF_INFO info{};
    info.samplerate = int(audio.SampleRate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | (format == SampleFormat::Pcm24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT);
    // the descriptor stays with the pending file, which closes it on commit or failure
    SndfilePtr f(sf_open_fd(file.Descriptor(), SFM_WRITE, &info, SF_FALSE));
    if (!f) throw RenderError("cannot write output '" + file.Target() + "': " + sf_strerror(nullptr));
    // without clipping, out-of-range floats wrap around in integer formats
    sf_command(f.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

    constexpr size_t kChunk = 8192;
    std::vector<float> interleaved(kChunk * 2);
    const size_t frames = size_t(audio.Frames());
    for (size_t start = 0; start < frames; start += kChunk) {
        const size_t n = std::min(kChunk, frames - start);
        for (size_t i = 0; i < n; ++i) {
            interleaved[2 * i] = audio.Left[start + i];
            interleaved[2 * i + 1] = audio.Right[start + i];
        }
        if (sf_writef_float(f.get(), interleaved.data(), sf_count_t(n)) != sf_count_t(n))
            throw RenderError("cannot write output '" + file.Target() + "': " + sf_strerror(f.get()));
    }
    if (sf_close(f.release()) != 0)
        throw RenderError("cannot write output '" + file.Target() + "'");
}

}  // namespace qbfx::render
