// The renderer driven end to end through the fixture plug-in, as a user runs it.
#include "Demo.h"
#include "FixtureLog.h"
#include "Render.h"
#include "Score.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include <dlfcn.h>
#include <unistd.h>

namespace qbfx::render::test {
namespace {

constexpr int kDelay = 100;   // the fixture's

// Holds the fixture loaded so its log outlives each render's own load and unload.
class TFixtureLog {
public:
    TFixtureLog() : Handle(dlopen(FIXTURE_OK, RTLD_NOW)) {
        if (Handle) Get = reinterpret_cast<FixtureLogProc>(dlsym(Handle, "fixtureLog"));
    }
    ~TFixtureLog() {
        if (Handle) dlclose(Handle);
    }
    const FixtureLog& operator*() const { return *Get(); }
    const FixtureLog* operator->() const { return Get(); }
    bool Ok() const { return Handle && Get; }

private:
    void* Handle;
    FixtureLogProc Get = nullptr;
};

std::vector<int64_t> NonZeroSamples(const std::vector<float>& v) {
    std::vector<int64_t> at;
    for (size_t i = 0; i < v.size(); ++i)
        if (v[i] != 0.0f) at.push_back(int64_t(i));
    return at;
}

TEST(Render, ScoreEventsLandOnTheirExactSamples) {
    TScratchDir dir;
    TFixtureLog log;
    ASSERT_TRUE(log.Ok());
    // 48 kHz at 112.5 bpm is 25600 frames a beat: 50 blocks of 512, so boundaries are easy to hit.
    WriteAudio(dir / "silence.wav", {std::vector<float>(96000, 0.0f)}, 48000);
    WriteText(dir / "s.txt",
              "# inside blocks, on boundaries, two on one sample, and releases\n"
              "0        note 36 127\n"
              "0.01     note 48 64    # 256: inside the first block\n"
              "0.25     off  48\n"
              "0.5      note 50 127   # 12800: a boundary\n"
              "1.0001   note 52 100   # 25602.56 rounds to 25603\n"
              "\n"
              "2        cc   20 64\n"
              "2        note 53 32\n"
              "3.6      note 55 127   # 92160\n");
    const std::map<int64_t, float> expected = {
        {0, 1.0f}, {256, 64 / 127.0f}, {12800, 1.0f}, {25603, 100 / 127.0f}, {51200, (32 - 64) / 127.0f},
        {92160, 1.0f}};
    for (int block : {512, 333, 64}) {
        SCOPED_TRACE("block " + std::to_string(block));
        const auto r = Render({dir / "silence.wav", "-o", dir / "out.wav", "--plugin", FIXTURE_OK, "--tempo",
                               "112.5", "--score", dir / "s.txt", "--block", std::to_string(block)});
        ASSERT_EQ(r.Code, 0) << r.Err;
        const auto out = ReadBack(dir / "out.wav").Audio;
        ASSERT_EQ(out.Frames(), 96000);
        std::vector<int64_t> wanted;
        for (const auto& [sample, value] : expected) {
            wanted.push_back(sample);
            EXPECT_NEAR(out.Right[size_t(sample)], value, 1e-6) << "sample " << sample;
        }
        EXPECT_EQ(NonZeroSamples(out.Right), wanted);
        EXPECT_TRUE(NonZeroSamples(out.Left).empty());

        ASSERT_EQ(log->NumEvents, 8);
        const int64_t starts[8] = {0, 256, 6400, 12800, 25603, 51200, 51200, 92160};
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(log->Events[i].DeltaFrames, 0) << "event " << i;
            EXPECT_EQ(log->Events[i].BlockStart, starts[i]) << "event " << i;
        }
        // the controller was written before the note at the same beat and arrives first
        EXPECT_EQ(log->Events[5].Bytes[0], 0xB0);
        EXPECT_EQ(log->Events[6].Bytes[0], 0x90);
        EXPECT_EQ(log->Events[2].Bytes[0], 0x80);
        EXPECT_EQ(log->EventListsWhileSuspended, 0);
        for (int b = 0; b < log->NumBlocks; ++b) ASSERT_LE(log->Blocks[b].Frames, block);
    }
}

TEST(Render, HostLifecycleAndTransportAreWhatAPlugInExpects) {
    TScratchDir dir;
    TFixtureLog log;
    ASSERT_TRUE(log.Ok());
    WriteAudio(dir / "in.wav", {std::vector<float>(10000, 0.1f)}, 44100);
    const auto r = Render({dir / "in.wav", "-o", dir / "out.wav", "--plugin", FIXTURE_OK, "--tempo", "90",
                           "--block", "256"});
    ASSERT_EQ(r.Code, 0) << r.Err;
    const std::vector<int32_t> calls(log->Calls, log->Calls + log->NumCalls);
    EXPECT_EQ(calls, (std::vector<int32_t>{effOpen, effSetSampleRate, effSetBlockSize, effMainsChanged, -1,
                                           effMainsChanged, effClose}));
    EXPECT_EQ(log->HostVersion, 2400);
    EXPECT_EQ(log->HostWantsMidi, 1);
    EXPECT_EQ(log->SampleRate, 44100.0f);
    EXPECT_EQ(log->BlockSize, 256);
    EXPECT_EQ(log->FramesProcessed, 10000);
    ASSERT_EQ(log->NumBlocks, 40);   // 39 full blocks and one of 16
    for (int b = 0; b < log->NumBlocks; ++b) {
        const FixtureBlock& k = log->Blocks[b];
        SCOPED_TRACE("block " + std::to_string(b));
        EXPECT_EQ(k.SamplePos, double(k.BlockStart));
        EXPECT_DOUBLE_EQ(k.PpqPos, double(k.BlockStart) / 44100.0 * 90.0 / 60.0);
        EXPECT_EQ(k.Tempo, 90.0);
        EXPECT_EQ(k.SampleRate, 44100.0);
        EXPECT_EQ(k.Flags, kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstTimeSigValid);
        EXPECT_EQ(k.TimeSigNumerator, 4);
        EXPECT_EQ(k.TimeSigDenominator, 4);
    }
}

TEST(Render, ParametersAreSetByNameOrIndexAndProgramsSelected) {
    TScratchDir dir;
    WriteAudio(dir / "in.wav", {std::vector<float>(1000, 0.5f)}, 44100);
    struct Case {
        std::vector<std::string> Extra;
        float Left, Right;
    };
    const Case cases[] = {
        {{}, 0.5f, 0.5f},
        {{"--set", "Gain=0.25"}, 0.25f, 0.25f},
        {{"--set", "Right Trim=0.25"}, 0.5f, 0.25f},
        {{"--set", "0=1"}, 1.0f, 1.0f},
        {{"--set", "1=0", "--set", "Gain=0.75"}, 0.75f, 0.0f},
        {{"--program", "1"}, 0.25f, 0.25f},
        {{"--program", "2"}, 1.0f, 1.0f},
        {{"--program", "2", "--set", "Gain=0.5"}, 0.5f, 0.5f},   // a --set wins over the program
    };
    for (const Case& c : cases) {
        std::string name;
        for (const auto& a : c.Extra) name += a + " ";
        SCOPED_TRACE(name);
        std::vector<std::string> args = {dir / "in.wav", "-o", dir / "out.wav", "--plugin", FIXTURE_OK};
        args.insert(args.end(), c.Extra.begin(), c.Extra.end());
        const auto r = Render(args);
        ASSERT_EQ(r.Code, 0) << r.Err;
        const auto out = ReadBack(dir / "out.wav").Audio;
        EXPECT_EQ(out.Left[kDelay - 1], 0.0f);
        EXPECT_FLOAT_EQ(out.Left[kDelay], c.Left);
        EXPECT_FLOAT_EQ(out.Right[999], c.Right);
    }
}

TEST(Render, MonoInputIsDuplicatedToBothChannels) {
    TScratchDir dir;
    std::vector<float> ramp(3000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = float(i) / 3000.0f;
    WriteAudio(dir / "mono.wav", {ramp}, 22050);
    const auto r = Render({dir / "mono.wav", "-o", dir / "out.wav", "--plugin", FIXTURE_OK});
    ASSERT_EQ(r.Code, 0) << r.Err;
    const auto out = ReadBack(dir / "out.wav");
    EXPECT_EQ(out.Audio.SampleRate, 22050);   // rendered at the input's own rate
    ASSERT_EQ(out.Audio.Frames(), 3000);
    for (size_t i = kDelay; i < 3000; i += 97) {
        EXPECT_EQ(out.Audio.Left[i], ramp[i - kDelay]);
        EXPECT_EQ(out.Audio.Right[i], ramp[i - kDelay]);
    }
}

TEST(Render, FloatOutputKeepsOverRangeValuesAndPcm24ClipsAndQuantises) {
    TScratchDir dir;
    WriteAudio(dir / "in.wav", {std::vector<float>(500, 0.8f), std::vector<float>(500, 0.8f)}, 44100);
    // program "Loud" doubles: left 1.6; the right trim brings the right to 0.32, which lies off
    // the 24-bit grid
    const std::vector<std::string> common = {dir / "in.wav", "--plugin", FIXTURE_OK, "--program", "2",
                                             "--set", "Right Trim=0.1"};
    auto args = common;
    args.insert(args.end(), {"-o", dir / "float.wav"});
    ASSERT_EQ(Render(args).Code, 0);
    args = common;
    args.insert(args.end(), {"-o", dir / "pcm.wav", "--pcm24"});
    ASSERT_EQ(Render(args).Code, 0);

    const auto f = ReadBack(dir / "float.wav");
    EXPECT_EQ(f.Format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    EXPECT_EQ(f.Audio.Left[200], 0.8f * 2.0f);
    EXPECT_EQ(f.Audio.Right[200], 0.8f * 2.0f * (2.0f * 0.1f));
    const auto p = ReadBack(dir / "pcm.wav");
    EXPECT_EQ(p.Format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    EXPECT_NEAR(p.Audio.Left[200], 1.0f, 1.0 / 8388608.0);   // clipped, not wrapped
    EXPECT_NEAR(p.Audio.Right[200], f.Audio.Right[200], 1.0 / 8388608.0);
    EXPECT_NE(p.Audio.Right[200], f.Audio.Right[200]);
}

TEST(Render, ReportsLevelsAndShowsProgressOnlyOnATerminal) {
    TScratchDir dir;
    WriteAudio(dir / "in.wav", {std::vector<float>(44100, 0.5f)}, 44100);
    const std::vector<std::string> args = {dir / "in.wav", "-o", dir / "out.wav", "--plugin", FIXTURE_OK,
                                           "--set", "Gain=0.25"};
    const auto quiet = Render(args, false);
    ASSERT_EQ(quiet.Code, 0) << quiet.Err;
    EXPECT_EQ(quiet.Err.find('\r'), std::string::npos);
    // the final line, after the one warning this render deserves
    EXPECT_EQ(std::count(quiet.Err.begin(), quiet.Err.end(), '\n'), 2) << quiet.Err;
    EXPECT_EQ(quiet.Err.rfind("qbfx-render: warning: no triggers given", 0), 0u) << quiet.Err;
    EXPECT_NE(quiet.Err.find("wrote " + (dir / "out.wav")), std::string::npos) << quiet.Err;

    EXPECT_NE(quiet.Out.find("length     1.000 s (44100 frames at 44100 Hz"), std::string::npos) << quiet.Out;
    EXPECT_NE(quiet.Out.find("input      peak 0.5000 (-6.02 dBFS)   RMS 0.5000 (-6.02 dBFS)"),
              std::string::npos) << quiet.Out;
    // half gain, and the first 100 frames are the delay's silence
    const double rms = 0.25 * std::sqrt(44000.0 / 44100.0);
    EXPECT_NE(quiet.Out.find("output     peak 0.2500 (-12.04 dBFS)   RMS " + std::to_string(rms).substr(0, 6)),
              std::string::npos) << quiet.Out;
    EXPECT_NE(quiet.Out.find("real time  "), std::string::npos);

    const auto tty = Render(args, true);
    ASSERT_EQ(tty.Code, 0);
    EXPECT_NE(tty.Err.find('\r'), std::string::npos);
    EXPECT_NE(tty.Err.find("] 100%"), std::string::npos) << tty.Err;
    EXPECT_EQ(tty.Out.substr(0, tty.Out.find("real time")), quiet.Out.substr(0, quiet.Out.find("real time")));
}

TEST(Render, EveryFailureIsReportedAndLeavesNoOutputBehind) {
    TScratchDir dir;
    WriteAudio(dir / "in.wav", {std::vector<float>(1000, 0.5f)}, 44100);
    WriteText(dir / "text.wav", "this is not audio\n");
    WriteText(dir / "bad.txt", "0 note 36 100\n# fine so far\n1.5 note 200 100\n");
    WriteText(dir / "late.txt", "0 note 36 100\n\n1 off\n");
    const std::string in = dir / "in.wav", out = dir / "out.wav";
    struct Case {
        std::vector<std::string> Args;
        int Code;
        std::vector<std::string> Says;
    };
    const auto with = [&](std::vector<std::string> extra, const std::string& plugin = FIXTURE_OK) {
        std::vector<std::string> a = {in, "-o", out, "--plugin", plugin};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    };
    const Case cases[] = {
        {{dir / "nothere.wav", "-o", out, "--plugin", FIXTURE_OK}, 1, {"nothere.wav' does not exist"}},
        {{dir / "text.wav", "-o", out, "--plugin", FIXTURE_OK}, 1, {"cannot read input", "text.wav"}},
        {with({}, dir / "text.wav"), 1, {"is not a loadable library"}},
        {with({}, dir / "none.so"), 1, {"none.so' is not a loadable library"}},
        {with({}, FIXTURE_NO_ENTRY), 1, {"not a VST 2 plug-in", "no entry point"}},
        {with({}, FIXTURE_NULL_ENTRY), 1, {"entry returned no effect"}},
        {with({}, FIXTURE_BAD_MAGIC), 1, {"not a VST 2 plug-in", "wrong magic"}},
        {with({}, FIXTURE_NO_REPLACING), 1, {"processReplacing", "effFlagsCanReplacing"}},
        {with({"--set", "Volume=0.5"}), 1, {"no parameter 'Volume'", "valid names are 'Gain', 'Right Trim'"}},
        {with({"--set", "7=0.5"}), 1, {"no parameter '7'", "index 0..1"}},
        {with({"--set", "Gain=1.5"}), 1, {"from 0 to 1", "'1.5'"}},
        {with({"--program", "3"}), 1, {"no program 3"}},
        {with({"--score", dir / "bad.txt"}), 1, {"bad.txt' line 3", "'200' is not a number 0..127"}},
        {with({"--score", dir / "late.txt"}), 1, {"late.txt' line 3", "'off' takes 1 number(s), got 0"}},
        {with({"--score", dir / "nothere.txt"}), 1, {"cannot open score file"}},
        {with({"--midi", dir / "nothere.mid"}), 1, {"cannot open MIDI file"}},
        {with({"--midi", dir / "bad.txt"}), 1, {"not a Standard MIDI File"}},
        {with({"--plot", dir / "no/such/dir/p.png"}), 1, {"cannot create output", "p.png"}},
        {{in, "-o", dir / "no/such/dir/out.wav", "--plugin", FIXTURE_OK}, 1, {"cannot create output"}},
        {with({"--bogus"}), 2, {"unknown option '--bogus'", "--help"}},
        {{in, "--plugin", FIXTURE_OK}, 2, {"no output file"}},
        {with({"--block", "0"}), 2, {"--block"}},
        {{"--demo", in}, 2, {"--demo makes its own input"}},
    };
    const auto before = dir.Entries();
    for (const Case& c : cases) {
        std::string name;
        for (const auto& a : c.Args) name += a + " ";
        SCOPED_TRACE(name);
        const auto r = Render(c.Args);
        EXPECT_EQ(r.Code, c.Code);
        for (const auto& s : c.Says) EXPECT_NE(r.Err.find(s), std::string::npos) << r.Err;
        EXPECT_TRUE(r.Out.empty()) << r.Out;
        EXPECT_EQ(dir.Entries(), before);   // no output, no temporary
    }
}

TEST(Render, FailedRenderLeavesAnExistingOutputUntouched) {
    TScratchDir dir;
    WriteAudio(dir / "in.wav", {std::vector<float>(1000, 0.5f)}, 44100);
    WriteText(dir / "out.wav", "the previous render");
    const auto r = Render({dir / "in.wav", "-o", dir / "out.wav", "--plugin", FIXTURE_OK, "--plot",
                           dir / "missing/p.png"});
    EXPECT_EQ(r.Code, 1);
    std::ifstream f(dir / "out.wav");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), "the previous render");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"in.wav", "out.wav"}));
}

TEST(Render, ExecutableExitsNonZeroAndPrintsOnlyAFinalLineWhenNotOnATerminal) {
    TScratchDir dir;
    WriteAudio(dir / "in.wav", {std::vector<float>(20000, 0.25f)}, 44100);
    const std::string base = std::string(RENDER_EXE) + " " + (dir / "in.wav") + " -o " + (dir / "out.wav");
    const auto run = [&](const std::string& cmd) {
        const int status = std::system((cmd + " >" + (dir / "o.txt") + " 2>" + (dir / "e.txt")).c_str());
        std::ifstream e(dir / "e.txt");
        return std::pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                         std::string(std::istreambuf_iterator<char>(e), {}));
    };
    WriteText(dir / "score.txt", "0 cc 20 1\n");
    const auto [ok, okErr] = run(base + " --plugin " + FIXTURE_OK + " --score " + (dir / "score.txt"));
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(okErr.rfind("qbfx-render: wrote ", 0), 0u) << okErr;
    EXPECT_EQ(std::count(okErr.begin(), okErr.end(), '\n'), 1);
    std::filesystem::remove(dir / "out.wav");
    const auto [bad, badErr] = run(base + " --plugin " + FIXTURE_BAD_MAGIC);
    EXPECT_EQ(bad, 1);
    EXPECT_NE(badErr.find("wrong magic"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));
    EXPECT_EQ(run(std::string(RENDER_EXE) + " --help").first, 0);
}

TEST(RenderDemo, WritesTheLoopAndPictureAndDeliversEveryScoreEvent) {
    TScratchDir dir;
    TFixtureLog log;
    ASSERT_TRUE(log.Ok());
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path);
    const auto r = Render({"--demo", "--plugin", FIXTURE_OK});
    std::filesystem::current_path(cwd);
    ASSERT_EQ(r.Code, 0) << r.Err;

    const auto out = ReadBack(dir / "demo.wav").Audio;
    const int64_t bar = 4 * 22050;
    ASSERT_EQ(out.Frames(), kDemoBars * bar);
    EXPECT_EQ(out.SampleRate, kDemoSampleRate);
    const Levels dry = MeasureLevels(GenerateDemoLoop(kDemoSampleRate, kDemoBpm));
    EXPECT_GT(MeasureLevels(out).Rms, 0.05);
    EXPECT_GT(dry.Rms, 0.05);
    EXPECT_LE(dry.Peak, 0.71);

    // every section: select note, then two synced-value notes, each released
    const auto score = ParseScore(DemoScoreText(), "demo");
    ASSERT_EQ(score.size(), size_t(kDemoEffects * 6));
    ASSERT_EQ(log->NumEvents, int(score.size()));
    for (int k = 0; k < kDemoEffects; ++k) {
        const auto& select = log->Events[6 * k];
        EXPECT_EQ(select.Bytes[0], 0x90);
        EXPECT_EQ(select.Bytes[1], kSelectNotes[k]);
        EXPECT_EQ(select.BlockStart, (kDemoIntroBars + k) * bar);
        for (int e = 0; e < 6; ++e) {
            const auto& got = log->Events[6 * k + e];
            EXPECT_EQ(got.BlockStart, std::llround(score[size_t(6 * k + e)].Beat * 22050.0));
            EXPECT_EQ(got.Bytes[1], score[size_t(6 * k + e)].Bytes[1]);
            EXPECT_EQ(got.DeltaFrames, 0);
        }
        // the two synced-value notes in the bar are different values, both in the fixed map
        const int a = log->Events[6 * k + 2].Bytes[1], b = log->Events[6 * k + 4].Bytes[1];
        EXPECT_NE(a, b);
        EXPECT_NE(std::find(std::begin(kSyncNotes), std::end(kSyncNotes), a), std::end(kSyncNotes));
        EXPECT_NE(std::find(std::begin(kSyncNotes), std::end(kSyncNotes), b), std::end(kSyncNotes));
    }

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&png, (dir / "demo.png").c_str())) << png.message;
    EXPECT_EQ(png.width, 1600u);
    EXPECT_GT(png.height, 4u * 110u);
    png_image_free(&png);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"demo.png", "demo.wav"}));
}

TEST(RenderDemo, EachSectionOfTheRealPlugInSoundsDifferent) {
#ifndef QBFX_PLUGIN_MODULE
    GTEST_SKIP() << "the QBFX_F plug-in module is not part of this build, so its demo cannot be rendered";
#else
    TScratchDir dir;
    // The same loop without triggers is the reference: latency and any colouring of the plug-in's
    // dry path then cancel, and what remains is what the triggers did.
    WriteText(dir / "none.txt", "# no triggers\n");
    const auto r = Render({"--demo", "-o", dir / "demo.wav", "--plugin", QBFX_PLUGIN_MODULE});
    ASSERT_EQ(r.Code, 0) << r.Err;
    const auto plain = Render({"--demo", "-o", dir / "plain.wav", "--plugin", QBFX_PLUGIN_MODULE, "--score",
                               dir / "none.txt"});
    ASSERT_EQ(plain.Code, 0) << plain.Err;
    const auto out = ReadBack(dir / "demo.wav").Audio, untriggered = ReadBack(dir / "plain.wav").Audio;
    const auto dry = GenerateDemoLoop(kDemoSampleRate, kDemoBpm);
    ASSERT_EQ(out.Frames(), dry.Frames());
    ASSERT_EQ(untriggered.Frames(), dry.Frames());
    const size_t bar = 4 * 22050;
    const auto section = [&](const StereoAudio& a, const StereoAudio* minus, int k) {
        std::vector<float> v;
        for (size_t i = 0; i < bar; ++i) {
            const size_t s = size_t(kDemoIntroBars + k) * bar + i;
            v.push_back(a.Left[s] - (minus ? minus->Left[s] : 0.0f));
            v.push_back(a.Right[s] - (minus ? minus->Right[s] : 0.0f));
        }
        return v;
    };
    const auto rms = [](const std::vector<float>& a, const std::vector<float>* b) {
        double sum = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            const double d = double(a[i]) - (b ? double((*b)[i]) : 0.0);
            sum += d * d;
        }
        return std::sqrt(sum / double(a.size()));
    };
    std::vector<std::vector<float>> change;
    for (int k = 0; k < kDemoEffects; ++k) {
        change.push_back(section(out, &untriggered, k));
        const auto wet = section(out, nullptr, k), input = section(dry, nullptr, k);
        EXPECT_GT(rms(wet, &input), 0.01) << "effect " << k << " sounds like the dry input";
        EXPECT_GT(rms(change[size_t(k)], nullptr), 0.01) << "the triggers of effect " << k << " did nothing";
        for (int j = 0; j < k; ++j)
            EXPECT_GT(rms(change[size_t(k)], &change[size_t(j)]), 0.01) << "effects " << j << " and " << k;
    }
#endif
}

}  // namespace
}  // namespace qbfx::render::test
