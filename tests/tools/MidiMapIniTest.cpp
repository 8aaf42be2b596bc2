// The controller map shipped beside the plug-in.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>

namespace {

TEST(MidiMapIni, MapsAllThirtyControlsToTheirOwnFreeControllers) {
    std::ifstream in(MIDI_MAP_INI);
    ASSERT_TRUE(in) << MIDI_MAP_INI;
    std::vector<std::pair<std::string, std::string>> entries;
    std::string section, line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            section = line;
            continue;
        }
        const auto eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << line;
        EXPECT_EQ(section, "[MIDIMAP]") << line;
        entries.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    std::vector<std::string> keys;
    for (const char* group : {"FX1", "FX2", "FX3", "FX4", "FX5", "FX6", "FX7", "FX8", "LFO", "OUT"})
        for (int p = 1; p <= 3; ++p) keys.push_back(std::string(group) + " parameter " + std::to_string(p) + " CC");
    ASSERT_EQ(entries.size(), keys.size());
    std::set<int> used;
    for (size_t i = 0; i < keys.size(); ++i) {
        SCOPED_TRACE(keys[i]);
        EXPECT_EQ(entries[i].first, keys[i]);   // exact: the reader matches whole keys
        const int cc = std::stoi(entries[i].second);
        EXPECT_EQ(std::to_string(cc), entries[i].second) << "a plain decimal number";
        // controller 0 would match every unmapped entry and 64 is the hold pedal
        EXPECT_TRUE((cc >= 20 && cc <= 31) || (cc >= 102 && cc <= 119)) << cc;
        EXPECT_TRUE(used.insert(cc).second) << "controller " << cc << " given twice";
    }
}

}  // namespace
