// The LV2 edition against the VST 2 edition: both built libraries loaded side by side, driven with
// the same input, time, parameters and MIDI, must give the same output bit for bit; and what only
// the LV2 edition has (saved state, its run's real-time rules) on its own.
#include "tests/lv2/Lv2Rig.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/TestHost.h"

#include "plugin/uPlugin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace {

constexpr double kRate = 48000.0;

// The VST library in a folder of its own with the controller map beside it, as installed, so both
// editions read the same map.
std::string InstalledVst() {
    const fs::path dir = fs::temp_directory_path() / ("qbfx-lv2-test-" + std::to_string(::getpid()));
    fs::create_directories(dir / "Data");
    fs::copy_file(QBFX_MODULE_PATH, dir / "QBFX_F.so", fs::copy_options::overwrite_existing);
    fs::copy_file(std::string(QBFX_LV2_BUNDLE) + "/Data/QBFX_F.ini", dir / "Data" / "QBFX_F.ini",
                  fs::copy_options::overwrite_existing);
    return (dir / "QBFX_F.so").string();
}

std::string Lv2Library() { return std::string(QBFX_LV2_BUNDLE) + "/QBFX_F.so"; }

struct Step {
    int32_t Block;
    std::function<void(TestHost&, Lv2Rig&, uint32_t frames)> Do;
};

void Param(TestHost& vst, Lv2Rig& lv2, int32_t index, float value) {
    vst.SetParameter(index, value);
    lv2.SetControl(index, value);
}

void Midi(TestHost& vst, Lv2Rig& lv2, uint32_t frame, std::vector<uint8_t> bytes) {
    vst.SendMidi({bytes}, int32_t(frame));
    lv2.Midi(frame, bytes);
}

}  // namespace

TEST(Lv2Edition, OutputIsBitIdenticalToTheVstEditionForTheSameHostInput) {
    const std::string vstPath = InstalledVst();
    struct Remove {
        fs::path Dir;
        ~Remove() { fs::remove_all(Dir); }   // the loaded library stays mapped
    } removeAfter{fs::path(vstPath).parent_path()};
    TestHost vst = TestHost::FromLibrary(vstPath);
    ASSERT_NE(vst.EntryFunction(), nullptr);
    ASSERT_NE(vst.Open(), nullptr);
    vst.Dispatch(effSetSampleRate, 0, 0, nullptr, float(kRate));
    vst.Dispatch(effSetBlockSize, 0, 4096);
    vst.Dispatch(effMainsChanged, 0, 1);
    vst.Time = VstTimeInfo{};
    vst.Time.sampleRate = kRate;
    vst.Time.tempo = 120.0;
    vst.Time.ppqPos = 11.0;   // the 12-beat cycle turns over half a second in
    vst.Time.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
    vst.AdvanceTime = true;

    Lv2Rig lv2(Lv2Library(), kRate);
    ASSERT_TRUE(lv2.Ok());
    for (size_t i = 0; i < kLv2Controls.size(); ++i) ASSERT_EQ(lv2.Controls[i], vst.GetParameter(kLv2Controls[i].Param));

    // A position goes to the LV2 edition at the start and at each tempo change only: in between
    // it carries the transport on as the VST test host does.
    auto position = [](TestHost& v, Lv2Rig& l, uint32_t) {
        l.Position(0, float(v.Time.tempo), 1.0f, v.Time.ppqPos);
    };
    const std::vector<Step> script = {
        {0, position},
        {3, [](TestHost& v, Lv2Rig& l, uint32_t) { Param(v, l, kOutMix, 1.0f); }},
        {5, [](TestHost& v, Lv2Rig& l, uint32_t) { Midi(v, l, 17, {0x90, 36, 100}); }},          // Glide & Drift
        {8, [](TestHost& v, Lv2Rig& l, uint32_t) { Midi(v, l, 0, {0x90, 52, 90}); }},           // synced 3/8
        {20, [](TestHost& v, Lv2Rig& l, uint32_t) { Param(v, l, kLfoWav, 0.4f); Param(v, l, kGliAmp, 0.8f); }},
        {26, [](TestHost& v, Lv2Rig& l, uint32_t) { Midi(v, l, 300, {0x80, 52, 0}); }},
        {27, [](TestHost& v, Lv2Rig& l, uint32_t) { Midi(v, l, 3, {0x90, 41, 100}); Midi(v, l, 9, {0x90, 55, 100}); }},
        {33, [](TestHost& v, Lv2Rig& l, uint32_t) { Midi(v, l, 0, {0xB0, 103, 40}); }},          // Dec Bd by CC
        {40, [position](TestHost& v, Lv2Rig& l, uint32_t f) {
             v.Time.tempo = 97.5;
             position(v, l, f);
             Midi(v, l, 1, {0x90, 43, 64});   // Realtime slicer
         }},
        {45, [](TestHost& v, Lv2Rig& l, uint32_t) { Param(v, l, kSliSp, 0.5f); Param(v, l, kSliVar, 0.75f); }},
        {52, [](TestHost& v, Lv2Rig& l, uint32_t) { Midi(v, l, 0, {0xB0, 64, 127}); Midi(v, l, 5, {0x80, 55, 0}); }},
        {60, [](TestHost& v, Lv2Rig& l, uint32_t) { Param(v, l, kChdSel, 0.5f); Param(v, l, kLfoAmp, 1.0f); Midi(v, l, 2, {0x90, 40, 100}); }},   // Phaser
        {62, [](TestHost& v, Lv2Rig& l, uint32_t) {   // the transport stops: the LFO restarts
             v.Time.flags &= ~kVstTransportPlaying;
             l.Position(0, float(v.Time.tempo), 0.0f, v.Time.ppqPos);
         }},
        {66, [](TestHost& v, Lv2Rig& l, uint32_t) {
             v.Time.flags |= kVstTransportPlaying;
             l.Position(0, float(v.Time.tempo), 1.0f, v.Time.ppqPos);
         }},
        {70, [](TestHost& v, Lv2Rig& l, uint32_t) { Param(v, l, kOutAmp, 0.5f); Midi(v, l, 0, {0xB0, 64, 0}); }},
    };
    // Block lengths vary and one is longer than the framework's own working block.
    const std::array<uint32_t, 6> lengths = {480, 517, 1024, 3000, 64, 1};
    uint64_t frame = 0;
    int32_t differingBlocks = 0;
    for (int32_t b = 0; b < 80; ++b) {
        const uint32_t n = lengths[size_t(b) % lengths.size()];
        for (const Step& s : script)
            if (s.Block == b) s.Do(vst, lv2, n);
        for (uint32_t i = 0; i < n; ++i, ++frame) {
            lv2.InL[i] = float(0.5 * std::sin(double(frame) * 0.01));
            lv2.InR[i] = frame % 2400 < 4 ? 0.8f : float(0.3 * std::cos(double(frame) * 0.0173));
        }
        std::array<float, Lv2Rig::kMaxFrames> outL{}, outR{};
        vst.Process(lv2.InL.data(), lv2.InR.data(), outL.data(), outR.data(), int32_t(n));
        lv2.Run(n);
        SCOPED_TRACE("block " + std::to_string(b));
        ASSERT_EQ(std::memcmp(outL.data(), lv2.OutL.data(), n * sizeof(float)), 0);
        ASSERT_EQ(std::memcmp(outR.data(), lv2.OutR.data(), n * sizeof(float)), 0);
        if (std::memcmp(lv2.InL.data(), lv2.OutL.data(), n * sizeof(float)) != 0) ++differingBlocks;
    }
    // The comparison means something only if the effects were heard.
    EXPECT_GT(differingBlocks, 40);
    EXPECT_EQ(lv2.Latency, 0.0f);
    vst.Close();
}

TEST(Lv2Edition, RunAllocatesNothingWithEventsTimeAndControls) {
    Lv2Rig lv2(Lv2Library(), kRate);
    ASSERT_TRUE(lv2.Ok());
    lv2.Run(512);   // the first block may touch memory the host's rate needs; nothing is allocated either
    lv2.Position(0, 130.0f, 1.0f, 8.0);
    lv2.Midi(10, {0x90, 50, 100});
    lv2.Midi(20, {0xB0, 21, 64});
    lv2.Controls[1] = 0.25f;
    alloc_count::Start();
    lv2.Run(2500);
    EXPECT_EQ(alloc_count::Stop(), 0);
}

// A saved session brings back what is not a control port; restored maximum mix levels apply to
// the next MIDI trigger at once, editor open or not.
TEST(Lv2Edition, StateRestoresTriggersSelectorAndMaxMixForTheNextTrigger) {
    Lv2Rig first(Lv2Library(), kRate);
    ASSERT_TRUE(first.Ok());
    first.Midi(0, {0x90, 36, 100});   // effect 2
    first.Midi(0, {0x90, 53, 100});   // synced value 4/8
    first.Run(64);
    Lv2Rig::Store saved = first.Save();
    EXPECT_FLOAT_EQ(first.SavedFloat(saved, "synced_value"), 0.5f);
    EXPECT_FLOAT_EQ(first.SavedFloat(saved, "fx2_max_mix"), 1.0f);
    EXPECT_EQ(saved.size(), kLv2StateKeys.size());

    // Effect 2 with a maximum mix of 0: its trigger opens nothing, the output is the input.
    const float zero = 0.0f;
    auto& entry = saved[first.Urid((std::string(kLv2StatePrefix) + "fx2_max_mix").c_str())];
    std::memcpy(entry.Bytes.data(), &zero, sizeof zero);
    Lv2Rig second(Lv2Library(), kRate);
    ASSERT_TRUE(second.Ok());
    second.Restore(saved);
    Lv2Rig::Store again = second.Save();
    EXPECT_FLOAT_EQ(second.SavedFloat(again, "synced_value"), 0.5f);
    EXPECT_FLOAT_EQ(second.SavedFloat(again, "fx2_max_mix"), 0.0f);
    for (uint32_t i = 0; i < 2048; ++i) second.InL[i] = second.InR[i] = float(std::sin(i * 0.05));
    second.Midi(0, {0x90, 36, 100});
    second.Midi(0, {0x90, 50, 100});
    second.Run(2048);
    EXPECT_EQ(std::memcmp(second.InL.data(), second.OutL.data(), 2048 * sizeof(float)), 0);

    // The same trigger with the factory level is heard.
    Lv2Rig third(Lv2Library(), kRate);
    ASSERT_TRUE(third.Ok());
    for (uint32_t i = 0; i < 2048; ++i) third.InL[i] = third.InR[i] = float(std::sin(i * 0.05));
    third.Midi(0, {0x90, 36, 100});
    third.Midi(0, {0x90, 50, 100});
    third.Run(2048);
    EXPECT_NE(std::memcmp(third.InL.data(), third.OutL.data(), 2048 * sizeof(float)), 0);
}

// Bad host input: oversized and empty MIDI atoms, a position with no usable numbers and a
// zero-length run leave the output finite.
TEST(Lv2Edition, MalformedEventsAreHarmless) {
    Lv2Rig lv2(Lv2Library(), kRate);
    ASSERT_TRUE(lv2.Ok());
    lv2.Midi(0, {0xF0, 1, 2, 3, 4, 5, 0xF7});
    lv2.Midi(0, {});
    lv2.Position(0, -5.0f, std::nanf(""), std::nan(""));
    lv2.Run(0);
    lv2.Midi(0, {0x90, 50, 100});
    lv2.Controls[4] = 1.0f;   // out mix
    for (uint32_t i = 0; i < 1024; ++i) lv2.InL[i] = lv2.InR[i] = float(std::sin(i * 0.05));
    lv2.Run(1024);
    for (uint32_t i = 0; i < 1024; ++i) ASSERT_TRUE(std::isfinite(lv2.OutL[i]) && std::isfinite(lv2.OutR[i]));
}
