// Audio file reading and writing through libsndfile, and files that appear only when complete.
#pragma once

#include "RenderTypes.h"

#include <string>

namespace qbfx::render {

// A file written under a temporary name beside its target and renamed onto it by Commit();
// destroyed uncommitted, it removes the temporary, so a failed render leaves nothing behind.
class TPendingFile {
public:
    explicit TPendingFile(std::string target);   // creates the temporary; throws RenderError
    ~TPendingFile();
    TPendingFile(const TPendingFile&) = delete;
    TPendingFile& operator=(const TPendingFile&) = delete;

    int Descriptor() const { return Fd; }
    const std::string& Target() const { return TargetPath; }
    void Commit();

private:
    std::string TargetPath, TempPath;
    int Fd = -1;
    bool Committed = false;
};

enum class SampleFormat { Float32, Pcm24 };

// WAV, FLAC, AIFF or anything else libsndfile reads, at its own rate; mono is duplicated to both
// channels, channels past the second are dropped.
StereoAudio ReadAudioFile(const std::string& path);
void WriteWav(TPendingFile& file, const StereoAudio& audio, SampleFormat format);

}  // namespace qbfx::render
