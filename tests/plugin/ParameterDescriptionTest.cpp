// The parameter description as the host and a controller map see it. The digests were recorded
// from the hand-written tables the description replaced: a change of any name, label, display
// text or map key shows here.
#include "tests/support/PluginFixture.h"
#include "tests/support/TextDigest.h"

#include <filesystem>
#include <fstream>
#include <cctype>
#include <random>
#include <set>
#include <string>

namespace {

struct ParameterDescription : PluginFixture {};

const char* KeyOfSlot(int32_t slot) { return kParamTable[size_t(kMappedParams[size_t(slot)])].MapKey; }

}  // namespace

TEST_F(ParameterDescription, HostNamesLabelsAndDisplaysAreAsBefore) {
    std::string all;
    for (int32_t i = 0; i < kNumParams; ++i) {
        all += Host.ParamString(effGetParamName, i) + '|' + Host.ParamString(effGetParamLabel, i);
        for (float v : {0.0f, 0.01f, 0.3f, 0.5f, 0.77f, 1.0f}) {
            Host.SetParameter(i, v);
            all += '|' + Host.ParamString(effGetParamDisplay, i);
        }
        all += '\n';
    }
    EXPECT_EQ(TextDigest(all), 5641335702160993039u) << all;
}

TEST_F(ParameterDescription, EveryMapKeyFillsItsSlotAndDrivesTheParameterItDroveBefore) {
    namespace fs = std::filesystem;
    fs::path dir;
    for (std::random_device seed;;) {
        dir = fs::temp_directory_path() / ("qbfx-keys-" + std::to_string(seed()));
        if (fs::create_directory(dir)) break;
    }
    {
        std::ofstream ini(dir / kMidiMapFile);
        ini << "[" << kMidiMapSection << "]\n";
        for (int32_t s = 0; s < kNumParamCC; ++s) ini << KeyOfSlot(s) << "=" << s + 1 << "\n";
    }
    Plugin->DataFolder = dir.string() + "/";
    Plugin->LoadMidiMap();
    fs::remove_all(dir);

    std::string all;
    for (int32_t s = 0; s < kNumParamCC; ++s) {
        SCOPED_TRACE(KeyOfSlot(s));
        EXPECT_EQ(Plugin->ParamCC[size_t(s)], s + 1);
        for (int32_t p = kLfoWav; p < kNumParams; ++p) Host.SetParameter(p, 0.0f);
        Host.SendMidi({{0xB0, uint8_t(s + 1), 64}});
        int32_t moved = 0;
        all += KeyOfSlot(s);
        for (int32_t p = 0; p < kNumParams; ++p)
            if (p >= kLfoWav && Host.GetParameter(p) != 0.0f) {
                EXPECT_EQ(Host.GetParameter(p), float(64 / 127.0));
                all += ' ' + std::to_string(p);
                ++moved;
            }
        all += '\n';
        EXPECT_EQ(moved, 1);
    }
    EXPECT_EQ(TextDigest(all), 16634118047551071325u) << all;
}

TEST(ParameterTable, EverySliderParameterHasATextAFactoryValueAndAKeyOfItsOwn) {
    std::set<std::string> keys;
    for (int32_t i = 0; i < kNumParams; ++i) {
        SCOPED_TRACE(i);
        const TParamInfo& p = kParamTable[size_t(i)];
        const bool slider = p.Hint != nullptr;
        EXPECT_EQ(p.Shown.Kind != TScaleKind::None, slider);
        EXPECT_EQ(p.MapKey != nullptr, slider);
        EXPECT_EQ(p.Factory, slider || p.Role == TParamRole::MaxMix);
        if (!p.MapKey) continue;
        // the map file's keys are read without regard to case
        std::string key = p.MapKey;
        for (char& c : key) c = char(std::tolower(uint8_t(c)));
        EXPECT_TRUE(keys.insert(key).second) << p.MapKey;
    }
}
