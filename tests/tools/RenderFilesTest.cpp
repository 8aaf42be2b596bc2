// The renderer with files that are not plain files, pipes, formats, its warnings and its memory.
#include "Render.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qbfx::render::test {
namespace {

namespace fs = std::filesystem;
constexpr int kDelay = 100;   // the fixture's

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

std::vector<float> Ramp(size_t n) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = float(i % 200) / 400.0f;
    return v;
}

// Runs the executable through the shell; returns the exit code.
int Shell(const std::string& cmd) {
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RenderFiles, FifoDeviceAndLinkStayWhatTheyAreAndGetTheAudio) {
    TScratchDir dir;
    WriteAudio(dir / "in.wav", {Ramp(3000), Ramp(3000)}, 44100);
    const std::vector<std::string> base = {dir / "in.wav", "--plugin", FIXTURE_OK, "-o"};
    const auto render = [&](const std::string& out, std::vector<std::string> extra = {}) {
        auto args = base;
        args.push_back(out);
        args.insert(args.end(), extra.begin(), extra.end());
        return Render(args);
    };
    ASSERT_EQ(render(dir / "plain.wav").Code, 0);
    const std::string expected = Slurp(dir / "plain.wav");

    // A FIFO is written in place, header lengths and all, and is still a FIFO afterwards.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = Slurp(dir / "fifo"); });
    const auto viaFifo = render(dir / "fifo", {"--type", "wav"});
    reader.join();
    EXPECT_EQ(viaFifo.Code, 0) << viaFifo.Err;
    EXPECT_EQ(received, expected);
    struct stat st {};
    ASSERT_EQ(lstat((dir / "fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A device is written, never replaced.
    EXPECT_EQ(render("/dev/null", {"--type", "wav"}).Code, 0);
    ASSERT_EQ(lstat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // A link, also one whose target does not exist yet, is followed; the link stays.
    fs::create_directory(dir / "real");
    WriteText(dir / "real/old.wav", "an older render");
    fs::permissions(dir / "real/old.wav", fs::perms(0640));
    fs::create_symlink("real/old.wav", dir / "link.wav");
    fs::create_symlink("real/new.wav", dir / "dangling.wav");
    EXPECT_EQ(render(dir / "link.wav").Code, 0);
    EXPECT_EQ(render(dir / "dangling.wav").Code, 0);
    for (const char* link : {"link.wav", "dangling.wav"}) {
        EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
        EXPECT_EQ(Slurp(dir / link), expected) << link;
    }
    EXPECT_EQ(fs::read_symlink(dir / "link.wav"), "real/old.wav");
    EXPECT_EQ(fs::status(dir / "real/old.wav").permissions(), fs::perms(0640));   // kept
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"dangling.wav", "fifo", "in.wav", "link.wav", "plain.wav",
                                                       "real"}));   // no temporaries left

    // A folder is refused, and stays.
    const auto folder = render(dir / "real");
    EXPECT_EQ(folder.Code, 2) << folder.Err;   // no extension to pick a format by
    EXPECT_EQ(render(dir / "real", {"--type", "wav"}).Code, 1);
    EXPECT_TRUE(fs::is_directory(dir / "real"));
}

TEST(RenderFiles, StandardInputAndOutputCarryTheAudioAndTheMessagesGoToStandardError) {
    TScratchDir dir;
    WriteAudio(dir / "in.wav", {Ramp(5000), Ramp(5000)}, 48000);
    WriteText(dir / "score.txt", "0 cc 20 1\n");
    const std::string exe = RENDER_EXE, plugin = FIXTURE_OK;
    ASSERT_EQ(Shell(exe + " " + (dir / "in.wav") + " -o " + (dir / "file.wav") + " --plugin " + plugin +
                    " --score " + (dir / "score.txt") + " >/dev/null 2>&1"),
              0);
    // through pipes at both ends, so neither side can seek
    ASSERT_EQ(Shell("cat " + (dir / "in.wav") + " | " + exe + " - -o - --plugin " + plugin + " --score " +
                    (dir / "score.txt") + " 2>" + (dir / "err.txt") + " | cat >" + (dir / "piped.wav")),
              0);
    const auto file = ReadBack(dir / "file.wav"), piped = ReadBack(dir / "piped.wav");
    EXPECT_EQ(piped.Format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(piped.Audio.Frames(), 5000);
    EXPECT_EQ(piped.Audio.Left, file.Audio.Left);
    EXPECT_EQ(piped.Audio.Right, file.Audio.Right);
    const std::string err = Slurp(dir / "err.txt");
    EXPECT_NE(err.find("plug-in    "), std::string::npos) << err;   // the summary
    EXPECT_NE(err.find("wrote standard output"), std::string::npos) << err;

    // 16-bit to a file by redirection: the header gets its lengths at the end
    ASSERT_EQ(Shell(exe + " - -o - --bits 16 --plugin " + plugin + " --score " + (dir / "score.txt") + " <" +
                    (dir / "in.wav") + " >" + (dir / "redirected.wav") + " 2>/dev/null"),
              0);
    const auto redirected = ReadBack(dir / "redirected.wav");
    EXPECT_EQ(redirected.Format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(redirected.Audio.Frames(), 5000);
    EXPECT_NEAR(redirected.Audio.Left[kDelay + 150], file.Audio.Left[kDelay + 150], 1.0 / 32768);
}

TEST(RenderFiles, FormatFollowsTheExtensionAndBitsOrIsRefused) {
    TScratchDir dir;
    WriteAudio(dir / "in.wav", {Ramp(2000), Ramp(2000)}, 44100);
    const auto render = [&](const std::string& out, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {dir / "in.wav", "--plugin", FIXTURE_OK, "-o", dir / out};
        args.insert(args.end(), extra.begin(), extra.end());
        return Render(args);
    };
    struct Case {
        std::string Out;
        std::vector<std::string> Extra;
        int Format;
    };
    const Case made[] = {
        {"a.wav", {}, SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"b.wav", {"--bits", "24"}, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"c.flac", {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"d.flac", {"--bits", "16"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"e.aiff", {}, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"f.AIF", {"--bits", "16"}, SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
        {"g.raw-audio", {"--type", "caf"}, SF_FORMAT_CAF | SF_FORMAT_FLOAT},
    };
    for (const Case& c : made) {
        SCOPED_TRACE(c.Out);
        const auto r = render(c.Out, c.Extra);
        ASSERT_EQ(r.Code, 0) << r.Err;
        const auto back = ReadBack(dir / c.Out);
        EXPECT_EQ(back.Format, c.Format);
        EXPECT_EQ(back.Audio.Frames(), 2000);
        EXPECT_NEAR(back.Audio.Left[kDelay + 50], 50 / 400.0f, 1.0 / 32768);
    }
    // A float WAV has the 18-byte format chunk and the fact chunk that readers look for.
    const std::string bytes = Slurp(dir / "a.wav");
    ASSERT_GT(bytes.size(), 58u);
    EXPECT_EQ(bytes.substr(12, 4), "fmt ");
    EXPECT_EQ(uint8_t(bytes[16]), 18);
    EXPECT_EQ(uint8_t(bytes[20]), 3);   // IEEE float
    EXPECT_EQ(bytes.substr(38, 4), "fact");
    EXPECT_EQ(bytes.substr(50, 4), "data");

    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"x.xyz"}, "cannot write '.xyz' files; the output formats are wav, "},
        {{"x"}, "has no extension"},
        {{"x.flac", "--bits", "32f"}, "FLAC files cannot hold 32-bit float samples"},
        {{"x.wav", "--bits", "8"}, "--bits wants 16, 24 or 32f"},
    };
    const auto before = dir.Entries();
    for (const auto& [args, says] : refused) {
        SCOPED_TRACE(args[0]);
        const auto r = render(args[0], std::vector<std::string>(args.begin() + 1, args.end()));
        EXPECT_EQ(r.Code, 2);
        EXPECT_NE(r.Err.find(says), std::string::npos) << r.Err;
    }
    EXPECT_EQ(dir.Entries(), before);
}

TEST(RenderFiles, WarningsCountWhatWasLost) {
    TScratchDir dir;
    WriteText(dir / "score.txt", "0 cc 20 1\n");
    const auto render = [&](const std::string& in, std::vector<std::string> extra) {
        std::vector<std::string> args = {in, "--plugin", FIXTURE_OK, "-o", dir / "out.wav"};
        args.insert(args.end(), extra.begin(), extra.end());
        return Render(args);
    };
    // Clipping: program "Loud" doubles 0.8 to 1.6 on the left; the right is trimmed under full scale.
    WriteAudio(dir / "loud.wav", {std::vector<float>(1000, 0.8f), std::vector<float>(1000, 0.8f)}, 44100);
    const std::vector<std::string> loud = {"--program", "2", "--set", "Right Trim=0.1", "--score", dir / "score.txt"};
    auto with = loud;
    with.insert(with.end(), {"--bits", "16"});
    auto r = render(dir / "loud.wav", with);
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(r.Err.find("warning: " + std::to_string(1000 - kDelay) + " samples clipped"), std::string::npos) << r.Err;
    r = render(dir / "loud.wav", loud);   // float keeps them
    EXPECT_EQ(r.Err.find("clipped"), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.find("warning"), std::string::npos) << r.Err;

    // Channels past two.
    WriteAudio(dir / "quad.wav", {Ramp(500), Ramp(500), Ramp(500), Ramp(500), Ramp(500)}, 44100);
    r = render(dir / "quad.wav", {"--score", dir / "score.txt"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(r.Err.find("has 5 channels: the first two are rendered, 3 dropped"), std::string::npos) << r.Err;

    // A file cut short of what its header says.
    WriteAudio(dir / "whole.wav", {Ramp(4000), Ramp(4000)}, 44100);
    std::string bytes = Slurp(dir / "whole.wav");
    const size_t cut = 8 * 1500;   // 1500 stereo float frames fewer
    std::ofstream(dir / "cut.wav", std::ios::binary).write(bytes.data(), std::streamsize(bytes.size() - cut));
    r = render(dir / "cut.wav", {"--score", dir / "score.txt"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(r.Err.find("premature end of input"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("1500 frames fewer than its header says; rendered the 2500 frames present"),
              std::string::npos) << r.Err;
    EXPECT_EQ(ReadBack(dir / "out.wav").Audio.Frames(), 2500);

    // No triggers at all.
    r = render(dir / "whole.wav", {});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(r.Err.find("warning: no triggers given"), std::string::npos) << r.Err;
    r = render(dir / "whole.wav", {"--score", dir / "score.txt"});
    EXPECT_EQ(r.Err.find("warning"), std::string::npos) << r.Err;
}

// An installed renderer finds the plug-in installed beside it, or in the hosts' folders, and says
// which one it loaded.
TEST(RenderFiles, DefaultPlugInIsTheInstalledOneAndIsNamed) {
    TScratchDir dir;
    for (const char* sub : {"prefix/bin", "prefix/lib/vst/QBFX_F/Data", "home", "hostdir/QBFX_F"})
        fs::create_directories(dir / sub);
    fs::copy_file(RENDER_EXE, dir / "prefix/bin/qbfx-render");
    fs::copy_file(FIXTURE_OK, dir / "prefix/lib/vst/QBFX_F/QBFX_F.so");
    const std::string env = "env -u LXVST_PATH -u VST_PATH HOME=" + (dir / "home") + " ";
    const std::string exe = dir / "prefix/bin/qbfx-render";
    ASSERT_EQ(Shell(env + exe + " --list-params >" + (dir / "out.txt") + " 2>&1"), 0) << Slurp(dir / "out.txt");
    const std::string named = std::string("(").append(dir / "prefix/lib/vst/QBFX_F/QBFX_F.so").append(")");
    EXPECT_NE(Slurp(dir / "out.txt").find(named), std::string::npos) << Slurp(dir / "out.txt");

    // Not under the prefix: a host folder named by LXVST_PATH.
    fs::rename(dir / "prefix/lib/vst/QBFX_F/QBFX_F.so", dir / "hostdir/QBFX_F/QBFX_F.so");
    WriteAudio(dir / "in.wav", {Ramp(1000)}, 44100);
    ASSERT_EQ(Shell("env -u VST_PATH HOME=" + (dir / "home") + " LXVST_PATH=/nonexistent:" + (dir / "hostdir") + " " +
                    exe + " " + (dir / "in.wav") + " -o " + (dir / "out.wav") + " >" + (dir / "out.txt") + " 2>&1"),
              0) << Slurp(dir / "out.txt");
    EXPECT_NE(Slurp(dir / "out.txt").find("plug-in    Render fixture (" + (dir / "hostdir/QBFX_F/QBFX_F.so") + ")"),
              std::string::npos) << Slurp(dir / "out.txt");

    // Nowhere: the error lists where it looked (unless this machine has one installed).
    if (!fs::exists("/usr/local/lib/vst/QBFX_F/QBFX_F.so") && !fs::exists("/usr/lib/vst/QBFX_F/QBFX_F.so")) {
        EXPECT_EQ(Shell(env + exe + " --list-params >" + (dir / "out.txt") + " 2>&1"), 2);
        const std::string says = Slurp(dir / "out.txt");
        EXPECT_NE(says.find("no QBFX_F.so found"), std::string::npos) << says;
        EXPECT_NE(says.find(dir / "prefix/lib/vst/QBFX_F/QBFX_F.so"), std::string::npos) << says;
        EXPECT_NE(says.find(dir / "home/.vst/QBFX_F/QBFX_F.so"), std::string::npos) << says;
    }
}

// Peak resident memory of one run of the executable.
long PeakKilobytes(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

void WriteLongInput(const std::string& path, int seconds) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> second(2 * 48000);
    for (size_t i = 0; i < second.size(); ++i) second[i] = float((i * 7919) % 1000) / 2000.0f;
    for (int s = 0; s < seconds; ++s) sf_writef_float(f, second.data(), 48000);
    sf_close(f);
}

TEST(RenderFiles, PeakMemoryDoesNotGrowWithTheLength) {
    TScratchDir dir;
    WriteLongInput(dir / "short.wav", 10);
    WriteLongInput(dir / "long.wav", 150);
    WriteText(dir / "score.txt", "0 cc 20 1\n");
    const auto run = [&](const std::string& in) {
        return PeakKilobytes({RENDER_EXE, dir / in, "-o", dir / "out.wav", "--plugin", FIXTURE_OK, "--score",
                              dir / "score.txt", "--plot", dir / "out.png"});
    };
    const long shortRun = run("short.wav"), longRun = run("long.wav");
    ASSERT_GT(shortRun, 0);
    ASSERT_GT(longRun, 0);
    // 140 s more of 48 kHz stereo is 54 MB as floats, held twice when a file is read whole; the
    // allowance is for the allocator and the loader, not for audio.
    EXPECT_LT(longRun, shortRun + 8 * 1024) << "short " << shortRun << " kB, long " << longRun << " kB";
}

}  // namespace
}  // namespace qbfx::render::test
