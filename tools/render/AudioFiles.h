// Audio files through libsndfile, read and written in chunks, and outputs that never destroy
// what they were not asked to write.
#pragma once

#include "RenderTypes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qbfx::render {

// Where an output goes; "-" is standard output. A symbolic link is followed to its target. A
// regular file, or a new one, is written under a temporary name in its folder and renamed onto it
// by Commit(), so a failed render leaves nothing behind and an older file untouched; destroyed
// uncommitted, the temporary is removed. A FIFO, a character device or standard output is written
// directly and stays what it is.
class TOutputFile {
public:
    explicit TOutputFile(const std::string& path);   // throws RenderError
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    int Descriptor() const { return Fd; }
    bool Seekable() const { return IsSeekable; }
    const std::string& Name() const { return Path; }   // as given, for messages
    void Commit();

private:
    std::string Path, FinalPath, TempPath;   // TempPath empty when written directly
    int Fd = -1;
    bool OwnsFd = true, IsSeekable = false, Committed = false;
    unsigned Mode = 0;   // permissions the renamed file gets
};

enum class SampleFormat { Pcm16, Pcm24, Float32 };

struct OutputFormat {
    int Major = 0;     // libsndfile major format word
    int Subtype = 0;   // libsndfile subtype word
    std::string Name;  // "WAV", "FLAC", ...
    bool Integer() const;
};

// The output format from the extension of `path`, or from `type` (an extension without the dot)
// when given; "-" alone is WAV. `bits` picks the sample format; without it WAV, AIFF and every
// format that holds floats get 32-bit float, the rest 24 or 16 bits. Throws RenderError saying why
// a name or a combination cannot be written.
OutputFormat ResolveOutputFormat(const std::string& path, const std::string& type,
                                 std::optional<SampleFormat> bits);
std::string WritableExtensions();   // "wav, aiff, flac, ..." for messages and --help

// A source of stereo audio read a chunk at a time.
class TAudioSource {
public:
    virtual ~TAudioSource() = default;
    double SampleRate = 44100;
    int64_t KnownFrames = -1;   // -1 when the length is not known before the end
    // Up to `frames` frames; 0 at the end.
    virtual size_t Read(float* left, float* right, size_t frames) = 0;
};

// Audio already in memory (the generated demo).
class TMemorySource : public TAudioSource {
public:
    explicit TMemorySource(StereoAudio audio);
    size_t Read(float* left, float* right, size_t frames) override;

private:
    StereoAudio Audio;
    size_t Pos = 0;
};

// WAV, FLAC, AIFF or anything else libsndfile reads, at its own rate; "-" is standard input. Mono
// is doubled to both channels, channels past the second are dropped.
class TFileSource : public TAudioSource {
public:
    explicit TFileSource(const std::string& path);   // throws RenderError
    ~TFileSource() override;
    size_t Read(float* left, float* right, size_t frames) override;

    int Channels() const { return NumChannels; }
    int64_t FramesRead() const { return Done; }
    // After the end: how many frames the file's header promised beyond those it held.
    int64_t MissingFrames() const;

private:
    std::string Path;
    void* File = nullptr;   // SNDFILE*
    int NumChannels = 0, BytesPerFrame = 0;
    int64_t Done = 0;
    std::vector<float> Interleaved;
};

// Writes stereo audio a chunk at a time. WAV is written here (a header every reader takes, also
// on a pipe); the other formats through libsndfile.
class TAudioSink {
public:
    // knownFrames: the length announced in a WAV header on a pipe (-1: unknown).
    TAudioSink(TOutputFile& file, const OutputFormat& format, int sampleRate, int64_t knownFrames);
    ~TAudioSink();
    TAudioSink(const TAudioSink&) = delete;
    TAudioSink& operator=(const TAudioSink&) = delete;

    void Write(const float* left, const float* right, size_t frames);   // throws RenderError
    // Completes the file. A WAV on a pipe shorter than announced is padded with silence to the
    // announced length, which is returned as the padding.
    int64_t Finish();
    int64_t Clipped() const { return ClippedSamples; }   // integer formats: samples beyond full scale

private:
    void WriteBytes(const void* data, size_t size);
    std::vector<uint8_t> WavHeader(int64_t frames) const;

    TOutputFile& File;
    OutputFormat Format;
    int Rate;
    int64_t Announced, Frames = 0, ClippedSamples = 0;
    void* Sndfile = nullptr;   // SNDFILE* for the formats libsndfile writes
    std::vector<float> Interleaved;
    std::vector<uint8_t> Bytes;
};

}  // namespace qbfx::render
