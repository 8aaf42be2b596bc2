#include "Score.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qbfx::render {
namespace {

bool ParseInt(const std::string& s, int lo, int hi, int& out) {
    int v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseBeat(const std::string& s, double& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v) || v < 0) return false;
    out = v;
    return true;
}

}  // namespace

std::vector<ScoreEvent> ParseScore(const std::string& text, const std::string& sourceName) {
    std::vector<ScoreEvent> events;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        if (w.empty()) continue;

        const auto fail = [&](const std::string& why) {
            return RenderError("score " + sourceName + " line " + std::to_string(number) + ": " + why +
                               " (expected '<beat> note <n> <velocity>', '<beat> off <n>' or "
                               "'<beat> cc <c> <value>')");
        };
        ScoreEvent e;
        e.Line = number;
        if (!ParseBeat(w[0], e.Beat)) throw fail("'" + w[0] + "' is not a beat (a number >= 0)");
        if (w.size() < 2) throw fail("no event after the beat");
        const std::string& kind = w[1];
        const size_t wanted = kind == "off" ? 3 : 4;
        if (kind != "note" && kind != "off" && kind != "cc") throw fail("unknown event '" + kind + "'");
        if (w.size() != wanted)
            throw fail("'" + kind + "' takes " + std::to_string(wanted - 2) + " number(s), got " +
                       std::to_string(w.size() - 2));
        int a = 0, b = 0;
        if (!ParseInt(w[2], 0, 127, a)) throw fail("'" + w[2] + "' is not a number 0..127");
        if (wanted == 4 && !ParseInt(w[3], 0, 127, b)) throw fail("'" + w[3] + "' is not a number 0..127");
        e.Bytes[0] = kind == "note" ? 0x90 : kind == "off" ? 0x80 : 0xB0;
        e.Bytes[1] = uint8_t(a);
        e.Bytes[2] = uint8_t(b);
        events.push_back(e);
    }
    return events;
}

std::vector<ScoreEvent> ReadScoreFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw RenderError("cannot open score file '" + path + "'");
    std::ostringstream text;
    text << in.rdbuf();
    return ParseScore(text.str(), "'" + path + "'");
}

std::vector<MidiEvent> ScoreToMidi(const std::vector<ScoreEvent>& score, double bpm) {
    std::vector<MidiEvent> out;
    out.reserve(score.size());
    for (const ScoreEvent& s : score) {
        MidiEvent m;
        m.Seconds = s.Beat * 60.0 / bpm;
        std::copy(std::begin(s.Bytes), std::end(s.Bytes), m.Bytes);
        out.push_back(m);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const MidiEvent& a, const MidiEvent& b) { return a.Seconds < b.Seconds; });
    return out;
}

}  // namespace qbfx::render
