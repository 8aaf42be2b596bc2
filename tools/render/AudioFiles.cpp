#include "AudioFiles.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qbfx::render {

namespace fs = std::filesystem;

namespace {

std::string Why() { return std::strerror(errno); }

// Follows a chain of symbolic links to the path they end at, which may not exist yet.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::error_code ec;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) throw RenderError("cannot follow the link '" + path + "': " + ec.message());
        path = target.is_absolute() ? target.string() : (fs::path(path).parent_path() / target).string();
    }
    throw RenderError("cannot follow the link '" + path + "': too many levels of links");
}

SNDFILE* Snd(void* p) { return static_cast<SNDFILE*>(p); }

}  // namespace

TOutputFile::TOutputFile(const std::string& path) : Path(path) {
    if (path == "-") {
        Fd = STDOUT_FILENO;
        OwnsFd = false;
        struct stat st {};
        // a file the shell opened for us can take the header's lengths at the end, unless we are
        // not at its start (appending)
        IsSeekable = fstat(Fd, &st) == 0 && S_ISREG(st.st_mode) && lseek(Fd, 0, SEEK_CUR) == 0;
        return;
    }
    FinalPath = FollowLinks(path);
    struct stat st {};
    const bool exists = stat(FinalPath.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) throw RenderError("cannot write output '" + path + "': it is a folder");
    if (exists && !S_ISREG(st.st_mode)) {
        if (!S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode))
            throw RenderError("cannot write output '" + path + "': it is neither a file, a FIFO nor a character device");
        // written in place: a FIFO or a device is never replaced
        Fd = open(FinalPath.c_str(), O_WRONLY | O_CLOEXEC);
        if (Fd < 0) throw RenderError("cannot open output '" + path + "': " + Why());
        return;
    }
    const fs::path t(FinalPath);
    const fs::path dir = t.has_parent_path() ? t.parent_path() : fs::path(".");
    // hidden and unmistakable, in the target's folder so the final rename stays on one file system
    std::string name = ".";
    name.append(t.filename().string()).append(".partial-XXXXXX");
    std::string pattern = (dir / name).string();
    Fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (Fd < 0) throw RenderError("cannot create output '" + path + "': " + Why());
    TempPath = pattern;
    IsSeekable = true;
    if (exists) {
        Mode = st.st_mode & 07777;   // the replaced file keeps its permissions
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        Mode = 0666 & ~mask;
    }
}

TOutputFile::~TOutputFile() {
    if (Fd >= 0 && OwnsFd) close(Fd);
    if (!Committed && !TempPath.empty()) std::remove(TempPath.c_str());
}

void TOutputFile::Commit() {
    if (Committed) return;
    const int fd = Fd;
    Fd = -1;
    if (fd >= 0 && OwnsFd && close(fd) != 0)
        throw RenderError("cannot write output '" + Path + "': " + Why());
    if (!TempPath.empty()) {
        if (chmod(TempPath.c_str(), mode_t(Mode)) != 0 || std::rename(TempPath.c_str(), FinalPath.c_str()) != 0)
            throw RenderError("cannot write output '" + Path + "': " + Why());
    }
    Committed = true;
}

// ---- formats -------------------------------------------------------------------------------------

bool OutputFormat::Integer() const {
    return Subtype == SF_FORMAT_PCM_16 || Subtype == SF_FORMAT_PCM_24 || Subtype == SF_FORMAT_PCM_S8 ||
           Subtype == SF_FORMAT_PCM_32;
}

namespace {

struct MajorFormat {
    int Format;
    std::string Name, Extension;
};

std::vector<MajorFormat> MajorFormats() {
    std::vector<MajorFormat> list;
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) != 0 || !info.extension) continue;
        std::string name = info.name ? info.name : info.extension;
        name = name.substr(0, name.find(' '));
        list.push_back({info.format, name, info.extension});
    }
    return list;
}

bool Valid(int format) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = format;
    return sf_format_check(&info) != 0;
}

}  // namespace

std::string WritableExtensions() {
    std::vector<std::string> seen = {"wav"};
    std::string list = "wav";
    bool mpeg = false;
    for (const auto& m : MajorFormats()) {
        mpeg = mpeg || m.Format == SF_FORMAT_MPEG;
        if (std::find(seen.begin(), seen.end(), m.Extension) != seen.end()) continue;
        seen.push_back(m.Extension);
        list += ", " + m.Extension;
    }
    return list + ", aif, ogg, opus" + (mpeg ? ", mp3" : "");
}

OutputFormat ResolveOutputFormat(const std::string& path, const std::string& type,
                                 std::optional<SampleFormat> bits) {
    std::string ext = type;
    if (ext.empty() && path != "-") {
        ext = fs::path(path).extension().string();
        if (!ext.empty()) ext.erase(0, 1);
    }
    if (ext.empty() && path == "-") ext = "wav";
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext.empty())
        throw RenderError("the output '" + path + "' has no extension to choose the format by: name it .wav, "
                          ".flac, .aiff, ... (or give --type)");
    OutputFormat f;
    if (ext == "wav" || ext == "wave") {
        f = {SF_FORMAT_WAV, 0, "WAV"};
    } else if (ext == "aif" || ext == "aiff") {
        f = {SF_FORMAT_AIFF, 0, "AIFF"};
    } else if (ext == "ogg" || ext == "oga" || ext == "opus") {
        f = {SF_FORMAT_OGG, ext == "opus" ? SF_FORMAT_OPUS : SF_FORMAT_VORBIS, ext == "opus" ? "Opus" : "Ogg Vorbis"};
    } else {
        for (const auto& m : MajorFormats())
            if (m.Extension == ext || (ext == "mp3" && m.Format == SF_FORMAT_MPEG)) {
                f = {m.Format, 0, m.Name};
                break;
            }
    }
    if (f.Major == 0)
        throw RenderError("cannot write '." + ext + "' files; the output formats are " + WritableExtensions());
    if (f.Major == SF_FORMAT_MPEG) f.Subtype = SF_FORMAT_MPEG_LAYER_III;
    const bool lossy = f.Major == SF_FORMAT_OGG || f.Major == SF_FORMAT_MPEG;
    if (lossy) {
        if (bits) throw RenderError("--bits does not apply to " + f.Name + ", which is compressed with loss");
        if (!Valid(f.Major | f.Subtype)) throw RenderError("this libsndfile cannot write " + f.Name);
        return f;
    }
    const auto subtype = [](SampleFormat b) {
        return b == SampleFormat::Pcm16 ? SF_FORMAT_PCM_16 : b == SampleFormat::Pcm24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT;
    };
    if (bits) {
        f.Subtype = subtype(*bits);
        if (!Valid(f.Major | f.Subtype))
            throw RenderError(f.Name + " files cannot hold " +
                              (*bits == SampleFormat::Float32 ? std::string("32-bit float")
                                                              : std::to_string(*bits == SampleFormat::Pcm16 ? 16 : 24) + "-bit") +
                              " samples: choose another --bits or another format");
        return f;
    }
    for (int s : {SF_FORMAT_FLOAT, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16})
        if (Valid(f.Major | s)) {
            f.Subtype = s;
            return f;
        }
    throw RenderError(f.Name + " files hold none of the sample formats --bits offers");
}

// ---- reading -----------------------------------------------------------------------------------

TMemorySource::TMemorySource(StereoAudio audio) : Audio(std::move(audio)) {
    SampleRate = Audio.SampleRate;
    KnownFrames = Audio.Frames();
}

size_t TMemorySource::Read(float* left, float* right, size_t frames) {
    const size_t n = std::min(frames, Audio.Left.size() - Pos);
    std::copy_n(Audio.Left.begin() + std::ptrdiff_t(Pos), n, left);
    std::copy_n(Audio.Right.begin() + std::ptrdiff_t(Pos), n, right);
    Pos += n;
    return n;
}

TFileSource::TFileSource(const std::string& path) : Path(path) {
    SF_INFO info{};
    if (path == "-") {
        File = sf_open_fd(STDIN_FILENO, SFM_READ, &info, SF_FALSE);
        if (!File) throw RenderError(std::string("cannot read audio from standard input: ") + sf_strerror(nullptr));
    } else {
        std::error_code ec;
        if (!fs::exists(path, ec)) throw RenderError("input file '" + path + "' does not exist");
        if (fs::is_directory(path, ec)) throw RenderError("input '" + path + "' is a folder, not an audio file");
        File = sf_open(path.c_str(), SFM_READ, &info);
        if (!File) throw RenderError("cannot read input '" + path + "': " + sf_strerror(nullptr));
    }
    if (info.channels < 1 || info.samplerate <= 0) {
        sf_close(Snd(File));
        File = nullptr;
        throw RenderError("input '" + path + "' has no audio channels");
    }
    NumChannels = info.channels;
    SampleRate = info.samplerate;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8: case SF_FORMAT_PCM_U8: case SF_FORMAT_ULAW: case SF_FORMAT_ALAW: BytesPerFrame = 1; break;
    case SF_FORMAT_PCM_16: BytesPerFrame = 2; break;
    case SF_FORMAT_PCM_24: BytesPerFrame = 3; break;
    case SF_FORMAT_PCM_32: case SF_FORMAT_FLOAT: BytesPerFrame = 4; break;
    case SF_FORMAT_DOUBLE: BytesPerFrame = 8; break;
    default: BytesPerFrame = 0; break;
    }
    BytesPerFrame *= NumChannels;
    // A stream's header may announce no length, or the largest one its format can hold: a length
    // that fills the format's 2 GB or more is taken for "unknown".
    const bool plausible = info.seekable || (BytesPerFrame > 0 && info.frames < 0x7FFF0000 / BytesPerFrame);
    if (info.frames > 0 && info.frames < SF_COUNT_MAX && plausible) KnownFrames = info.frames;
}

TFileSource::~TFileSource() {
    if (File) sf_close(Snd(File));
}

size_t TFileSource::Read(float* left, float* right, size_t frames) {
    Interleaved.resize(frames * size_t(NumChannels));
    const sf_count_t got = sf_readf_float(Snd(File), Interleaved.data(), sf_count_t(frames));
    if (got < 0) throw RenderError("cannot read input '" + Path + "': " + sf_strerror(Snd(File)));
    const size_t ch = size_t(NumChannels);
    for (size_t i = 0; i < size_t(got); ++i) {
        left[i] = Interleaved[i * ch];
        right[i] = Interleaved[i * ch + (ch > 1 ? 1 : 0)];
    }
    Done += got;
    return size_t(got);
}

int64_t TFileSource::MissingFrames() const {
    int64_t promised = KnownFrames;
    if (File && BytesPerFrame > 0) {
        // libsndfile reads a cut file as far as it goes and notes the header's claim in its log:
        // "data : 80000 (should be 39956)"
        char log[8192] = {};
        sf_command(Snd(File), SFC_GET_LOG_INFO, log, sizeof log);
        std::istringstream lines(log);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("data", 0) != 0 && line.rfind("SSND", 0) != 0) continue;
            long long claimed = 0, present = 0;
            if (std::sscanf(line.c_str() + 4, " : %lld (should be %lld)", &claimed, &present) == 2 && claimed > present)
                promised = std::max<int64_t>(promised, Done + (claimed - present) / BytesPerFrame);
        }
    }
    return promised > Done ? promised - Done : 0;
}

// ---- writing -----------------------------------------------------------------------------------

namespace {

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutTag(std::vector<uint8_t>& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(tag[i]));
}

int BytesPerSample(int subtype) {
    return subtype == SF_FORMAT_PCM_16 ? 2 : subtype == SF_FORMAT_PCM_24 ? 3 : 4;
}

}  // namespace

TAudioSink::TAudioSink(TOutputFile& file, const OutputFormat& format, int sampleRate, int64_t knownFrames)
    : File(file), Format(format), Rate(sampleRate), Announced(knownFrames) {
    if (Format.Major == SF_FORMAT_WAV) {
        const auto header = WavHeader(file.Seekable() || Announced < 0 ? -1 : Announced);
        WriteBytes(header.data(), header.size());
        return;
    }
    if (!file.Seekable() && Format.Major != SF_FORMAT_AU && Format.Major != SF_FORMAT_RAW)
        throw RenderError("cannot write " + Format.Name + " to '" + file.Name() +
                          "': the format needs a file it can go back in; write WAV, AU or RAW there instead");
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = Format.Major | Format.Subtype;
    // the descriptor stays with the output file, which closes it
    Sndfile = sf_open_fd(file.Descriptor(), SFM_WRITE, &info, SF_FALSE);
    if (!Sndfile) throw RenderError("cannot write output '" + file.Name() + "': " + sf_strerror(nullptr));
    // without clipping, out-of-range floats wrap around in integer formats
    sf_command(Snd(Sndfile), SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

TAudioSink::~TAudioSink() {
    if (Sndfile) sf_close(Snd(Sndfile));
}

std::vector<uint8_t> TAudioSink::WavHeader(int64_t frames) const {
    const bool isFloat = Format.Subtype == SF_FORMAT_FLOAT;
    const uint32_t bytes = uint32_t(BytesPerSample(Format.Subtype)), align = 2 * bytes;
    // unknown length on a pipe: the largest whole-frame size, as stream writers do
    const uint32_t data = frames < 0 ? 0xFFFFFFFFu / align * align - 64 : uint32_t(frames) * align;
    std::vector<uint8_t> h;
    PutTag(h, "RIFF");
    Put32(h, 0);   // filled below
    PutTag(h, "WAVE");
    PutTag(h, "fmt ");
    // float data takes the 18-byte format with its (empty) extension and a fact chunk, which is
    // what readers expect of a non-PCM WAV
    Put32(h, isFloat ? 18 : 16);
    Put16(h, isFloat ? 3 : 1);
    Put16(h, 2);
    Put32(h, uint32_t(Rate));
    Put32(h, uint32_t(Rate) * align);
    Put16(h, align);
    Put16(h, bytes * 8);
    if (isFloat) {
        Put16(h, 0);
        PutTag(h, "fact");
        Put32(h, 4);
        Put32(h, frames < 0 ? data / align : uint32_t(frames));
    }
    PutTag(h, "data");
    Put32(h, data);
    const uint32_t riff = uint32_t(h.size()) - 8 + data;
    for (int i = 0; i < 4; ++i) h[4 + size_t(i)] = uint8_t(riff >> (8 * i));
    return h;
}

void TAudioSink::WriteBytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(File.Descriptor(), p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw RenderError("cannot write output '" + File.Name() + "': " + Why());
        p += n;
        size -= size_t(n);
    }
}

void TAudioSink::Write(const float* left, const float* right, size_t frames) {
    if (Format.Integer())
        for (size_t i = 0; i < frames; ++i)
            ClippedSamples += int64_t(!(std::fabs(left[i]) <= 1.0f)) + int64_t(!(std::fabs(right[i]) <= 1.0f));
    if (Sndfile) {
        Interleaved.resize(2 * frames);
        for (size_t i = 0; i < frames; ++i) {
            Interleaved[2 * i] = left[i];
            Interleaved[2 * i + 1] = right[i];
        }
        if (sf_writef_float(Snd(Sndfile), Interleaved.data(), sf_count_t(frames)) != sf_count_t(frames))
            throw RenderError("cannot write output '" + File.Name() + "': " + sf_strerror(Snd(Sndfile)));
        Frames += int64_t(frames);
        return;
    }
    const size_t bytes = size_t(BytesPerSample(Format.Subtype));
    if (uint64_t(Frames + int64_t(frames)) * 2 * bytes > 0xFFFFFFFFull - 64)
        throw RenderError("the output '" + File.Name() + "' would pass the 4 GB a WAV file can hold: use .w64, "
                          ".rf64 or .caf");
    Bytes.resize(2 * frames * bytes);
    uint8_t* out = Bytes.data();
    const auto sample = [&](float v) {
        if (Format.Subtype == SF_FORMAT_FLOAT) {
            std::memcpy(out, &v, 4);   // little-endian hosts
            out += 4;
            return;
        }
        const double scale = bytes == 2 ? 32768.0 : 8388608.0;
        // clipped, never wrapped; NaN becomes silence
        const double x = std::isnan(v) ? 0.0 : std::clamp(std::nearbyint(double(v) * scale), -scale, scale - 1);
        const auto s = uint32_t(int32_t(x));
        for (size_t b = 0; b < bytes; ++b) *out++ = uint8_t(s >> (8 * b));
    };
    for (size_t i = 0; i < frames; ++i) {
        sample(left[i]);
        sample(right[i]);
    }
    WriteBytes(Bytes.data(), Bytes.size());
    Frames += int64_t(frames);
}

int64_t TAudioSink::Finish() {
    int64_t padded = 0;
    if (Sndfile) {
        const int rc = sf_close(Snd(Sndfile));
        Sndfile = nullptr;
        if (rc != 0) throw RenderError("cannot write output '" + File.Name() + "'");
        return 0;
    }
    if (File.Seekable()) {
        const auto header = WavHeader(Frames);
        if (pwrite(File.Descriptor(), header.data(), header.size(), 0) != ssize_t(header.size()))
            throw RenderError("cannot write output '" + File.Name() + "': " + Why());
    } else if (Announced >= 0 && Frames < Announced) {
        // the header on the pipe is already out: keep the stream what it said it is
        padded = Announced - Frames;
        std::vector<float> silence(4096, 0.0f);
        while (Frames < Announced) {
            const size_t n = size_t(std::min<int64_t>(4096, Announced - Frames));
            Write(silence.data(), silence.data(), n);
        }
    }
    return padded;
}

}  // namespace qbfx::render
