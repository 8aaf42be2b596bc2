#include "Smf.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

namespace qbfx::render {
namespace {

class TReader {   // bounds-checked big-endian reads over one chunk
public:
    TReader(const std::vector<uint8_t>& bytes, size_t begin, size_t end)
        : Bytes(bytes), Pos(begin), End(end) {}
    bool AtEnd() const { return Pos >= End; }
    uint8_t Byte() {
        if (Pos >= End) throw RenderError("MIDI file: unexpected end of data");
        return Bytes[Pos++];
    }
    uint8_t Peek() const {
        if (Pos >= End) throw RenderError("MIDI file: unexpected end of data");
        return Bytes[Pos];
    }
    uint32_t Be(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 8) | Byte();
        return v;
    }
    uint32_t Vlq() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = Byte();
            v = (v << 7) | (b & 0x7Fu);
            if (!(b & 0x80u)) return v;
        }
        throw RenderError("MIDI file: variable-length number longer than 4 bytes");
    }
    void Skip(uint32_t n) {
        if (n > End - Pos) throw RenderError("MIDI file: event runs past the end of its track");
        Pos += n;
    }
    size_t Position() const { return Pos; }

private:
    const std::vector<uint8_t>& Bytes;
    size_t Pos, End;
};

struct TickEvent {
    uint64_t Tick;
    uint8_t Bytes[3];
};

int DataBytesOf(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

void ReadTrack(TReader& r, std::vector<TickEvent>& events, std::map<uint64_t, uint32_t>& tempos) {
    uint64_t tick = 0;
    uint8_t running = 0;
    while (!r.AtEnd()) {
        tick += r.Vlq();
        uint8_t status = r.Peek();
        if (status & 0x80) {
            r.Byte();
        } else if (running) {
            status = running;   // running status: the data byte is still to be read
        } else {
            throw RenderError("MIDI file: data byte without a status byte");
        }
        if (status == 0xFF) {
            running = 0;
            const uint8_t type = r.Byte();
            const uint32_t len = r.Vlq();
            if (type == 0x51 && len == 3) {
                tempos[tick] = r.Be(3);
            } else if (type == 0x2F) {
                r.Skip(len);
                return;
            } else {
                r.Skip(len);
            }
        } else if (status == 0xF0 || status == 0xF7) {
            running = 0;
            r.Skip(r.Vlq());
        } else if (status >= 0xF0) {
            throw RenderError("MIDI file: system message inside a track");
        } else {
            running = status;
            TickEvent e{tick, {status, 0, 0}};
            const int n = DataBytesOf(status);
            for (int i = 0; i < n; ++i) e.Bytes[1 + i] = r.Byte() & 0x7F;
            events.push_back(e);
        }
    }
}

}  // namespace

SmfContents ParseSmf(const std::vector<uint8_t>& bytes, double defaultBpm) {
    TReader head(bytes, 0, bytes.size());
    if (bytes.size() < 14 || head.Be(4) != 0x4D546864u)   // "MThd"
        throw RenderError("MIDI file: not a Standard MIDI File (no MThd header)");
    const uint32_t headLen = head.Be(4);
    if (headLen < 6) throw RenderError("MIDI file: header too short");
    const uint32_t format = head.Be(2);
    const uint32_t numTracks = head.Be(2);
    const uint32_t division = head.Be(2);
    head.Skip(headLen - 6);
    if (format > 1) throw RenderError("MIDI file: format " + std::to_string(format) +
                                      " is not supported (only 0 and 1)");
    if (division == 0) throw RenderError("MIDI file: zero time division");

    std::vector<TickEvent> events;
    std::map<uint64_t, uint32_t> tempos;
    size_t pos = head.Position();
    uint32_t tracksRead = 0;
    while (tracksRead < numTracks) {
        TReader chunk(bytes, pos, bytes.size());
        const uint32_t id = chunk.Be(4);
        const uint32_t len = chunk.Be(4);
        const size_t begin = chunk.Position();
        if (len > bytes.size() - begin) throw RenderError("MIDI file: chunk runs past the end of the file");
        if (id == 0x4D54726Bu) {   // "MTrk"; chunks of other types are read past
            TReader track(bytes, begin, begin + len);
            ReadTrack(track, events, tempos);
            ++tracksRead;
        }
        pos = begin + len;
    }
    // Tracks are merged by time; at equal ticks the earlier track and the earlier event come first.
    std::stable_sort(events.begin(), events.end(),
                     [](const TickEvent& a, const TickEvent& b) { return a.Tick < b.Tick; });

    SmfContents out;
    out.HasTempo = !tempos.empty();
    const bool smpte = division & 0x8000u;
    double secondsPerTick = 0;
    if (smpte) {
        const int fps = -int(int8_t(uint8_t(division >> 8)));
        const int perFrame = int(division & 0xFF);
        if (fps <= 0 || perFrame == 0) throw RenderError("MIDI file: bad SMPTE time division");
        secondsPerTick = 1.0 / (double(fps == 29 ? 29.97 : fps) * perFrame);
    }
    const double ppq = double(division);
    double usPerQuarter = 60e6 / defaultBpm;
    auto nextTempo = tempos.begin();
    uint64_t lastTick = 0;
    double seconds = 0;
    for (const TickEvent& e : events) {
        if (!smpte) {
            // integrate the tempo map up to this event
            while (nextTempo != tempos.end() && nextTempo->first <= e.Tick) {
                seconds += double(nextTempo->first - lastTick) * usPerQuarter / (ppq * 1e6);
                lastTick = nextTempo->first;
                usPerQuarter = double(nextTempo->second);
                ++nextTempo;
            }
            seconds += double(e.Tick - lastTick) * usPerQuarter / (ppq * 1e6);
            lastTick = e.Tick;
        } else {
            seconds = double(e.Tick) * secondsPerTick;
        }
        MidiEvent m;
        m.Seconds = seconds;
        std::copy(std::begin(e.Bytes), std::end(e.Bytes), m.Bytes);
        out.Events.push_back(m);
    }
    return out;
}

SmfContents ReadSmfFile(const std::string& path, double defaultBpm) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RenderError("cannot open MIDI file '" + path + "'");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    try {
        return ParseSmf(bytes, defaultBpm);
    } catch (const RenderError& e) {
        throw RenderError(std::string(e.what()) + " ('" + path + "')");
    }
}

}  // namespace qbfx::render
