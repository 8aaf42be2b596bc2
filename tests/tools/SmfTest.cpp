#include "Smf.h"

#include <gtest/gtest.h>

namespace qbfx::render {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Header(int format, int tracks, int division) {
    return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, uint8_t(format), 0, uint8_t(tracks),
            uint8_t(division >> 8), uint8_t(division & 0xFF)};
}

Bytes Track(const Bytes& body) {
    Bytes t = {'M', 'T', 'r', 'k', 0, 0, uint8_t(body.size() >> 8), uint8_t(body.size() & 0xFF)};
    for (uint8_t b : body) t.push_back(b);   // insert() trips a false -Warray-bounds in g++ 12
    return t;
}

Bytes operator+(Bytes a, const Bytes& b) {
    for (uint8_t x : b) a.push_back(x);
    return a;
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

TEST(Smf, RunningStatusCarriesTheLastChannelStatus) {
    // 480 ticks a quarter; 0x83 0x60 is the two-byte length 480
    const Bytes file = Header(0, 1, 480) +
                       Track(Bytes{0x00, 0x90, 60, 100,       // note on
                                   0x83, 0x60, 64, 90,        // running status: note on 64
                                   0x83, 0x60, 60, 0,         // running status: velocity 0
                                   0x00, 0xC1, 5,             // program change has one data byte
                                   0x00, 6,                   // and runs on too
                                   0x00, 0xB1, 7, 99} + kEnd);
    const SmfContents smf = ParseSmf(file, 120);
    EXPECT_FALSE(smf.HasTempo);
    struct Want {
        double Seconds;
        uint8_t B0, B1, B2;
    };
    const Want want[] = {{0.0, 0x90, 60, 100}, {0.5, 0x90, 64, 90}, {1.0, 0x90, 60, 0},
                         {1.0, 0xC1, 5, 0},    {1.0, 0xC1, 6, 0},   {1.0, 0xB1, 7, 99}};
    ASSERT_EQ(smf.Events.size(), std::size(want));
    for (size_t i = 0; i < std::size(want); ++i) {
        SCOPED_TRACE(i);
        EXPECT_DOUBLE_EQ(smf.Events[i].Seconds, want[i].Seconds);
        EXPECT_EQ(smf.Events[i].Bytes[0], want[i].B0);
        EXPECT_EQ(smf.Events[i].Bytes[1], want[i].B1);
        EXPECT_EQ(smf.Events[i].Bytes[2], want[i].B2);
    }
}

TEST(Smf, TempoMapOfTheFirstTrackTimesTheOthers) {
    // 120 bpm, then 60 bpm from tick 960 (one second in); notes in track 1
    const Bytes conductor = Track(Bytes{0x00, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20,     // 500000 us
                                        0x87, 0x40, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40}  // 1000000 us
                                  + kEnd);
    const Bytes notes = Track(Bytes{0x83, 0x60, 0x90, 60, 100,   // tick 480: 0.5 s
                                    0x87, 0x40, 62, 100,         // tick 1440: 1 s, then a quarter at 60 bpm
                                    0x00, 0xF0, 2, 0x7E, 0xF7,   // sysex is read past
                                    0x83, 0x60, 0x80, 62, 0}     // tick 1920: 3 s
                              + kEnd);
    const SmfContents smf = ParseSmf(Header(1, 2, 480) + conductor + notes, 200);
    EXPECT_TRUE(smf.HasTempo);
    ASSERT_EQ(smf.Events.size(), 3u);
    EXPECT_DOUBLE_EQ(smf.Events[0].Seconds, 0.5);
    EXPECT_DOUBLE_EQ(smf.Events[1].Seconds, 2.0);
    EXPECT_DOUBLE_EQ(smf.Events[2].Seconds, 3.0);
    EXPECT_EQ(smf.Events[2].Bytes[0], 0x80);
}

TEST(Smf, WithoutATempoTheGivenTempoIsUsed) {
    const Bytes file = Header(0, 1, 96) + Track(Bytes{0x60, 0x90, 60, 1} + kEnd);   // one quarter
    EXPECT_DOUBLE_EQ(ParseSmf(file, 60).Events.at(0).Seconds, 1.0);
    EXPECT_DOUBLE_EQ(ParseSmf(file, 150).Events.at(0).Seconds, 0.4);
}

TEST(Smf, MalformedFilesAreRefused) {
    const Bytes good = Header(0, 1, 96) + Track(Bytes{0x00, 0x90, 60, 1} + kEnd);
    Bytes truncated = good;
    truncated.resize(good.size() - 3);
    Bytes longTrack = good;
    longTrack[21] = 0x40;   // track length past the end
    const struct {
        const char* Name;
        Bytes File;
        const char* Says;
    } cases[] = {
        {"not a MIDI file", Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "no MThd"},
        {"format 2", Header(2, 1, 96) + Track(kEnd), "format 2"},
        {"truncated", truncated, "past the end"},
        {"track too long", longTrack, "past the end"},
        {"data byte first", Header(0, 1, 96) + Track(Bytes{0x00, 60, 1} + kEnd), "without a status"},
        {"running status after meta", Header(0, 1, 96) + Track(Bytes{0x00, 0x90, 60, 1, 0x00, 0xFF, 0x01, 0,
                                                                     0x00, 61, 1} + kEnd),
         "without a status"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            ParseSmf(c.File, 120);
            ADD_FAILURE() << "accepted";
        } catch (const RenderError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace qbfx::render
