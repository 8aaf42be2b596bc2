#include "Score.h"

#include <gtest/gtest.h>

namespace qbfx::render {
namespace {

TEST(Score, ReadsEveryEventKindAndSkipsCommentsAndBlankLines) {
    const auto s = ParseScore("# a comment\n"
                              "\n"
                              "   \t\n"
                              "0 note 36 100\n"
                              "0.25 off 36   # trailing comment\n"
                              "1.5\tcc 20 127\n"
                              "2.125 note 60 0\n",
                              "t");
    ASSERT_EQ(s.size(), 4u);
    const ScoreEvent want[] = {{0.0, {0x90, 36, 100}, 4}, {0.25, {0x80, 36, 0}, 5},
                               {1.5, {0xB0, 20, 127}, 6}, {2.125, {0x90, 60, 0}, 7}};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(s[i].Beat, want[i].Beat);
        EXPECT_EQ(s[i].Line, want[i].Line);
        for (int b = 0; b < 3; ++b) EXPECT_EQ(s[i].Bytes[b], want[i].Bytes[b]);
    }
}

TEST(Score, MalformedLinesNameTheirLineNumber) {
    const struct {
        const char* Line;
        const char* Says;
    } cases[] = {
        {"x note 60 100", "'x' is not a beat"},
        {"-1 note 60 100", "'-1' is not a beat"},
        {"1..5 note 60 100", "'1..5' is not a beat"},
        {"nan note 60 100", "not a beat"},
        {"1", "no event after the beat"},
        {"1 play 60 100", "unknown event 'play'"},
        {"1 note 60", "'note' takes 2 number(s), got 1"},
        {"1 off 60 5", "'off' takes 1 number(s), got 2"},
        {"1 cc 7", "'cc' takes 2"},
        {"1 note 128 100", "'128' is not a number 0..127"},
        {"1 note 60 1.5", "'1.5' is not a number"},
        {"1 cc -1 5", "'-1' is not a number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        try {
            ParseScore(std::string("0 note 36 1\n# ok\n\n") + c.Line + "\n5 off 36\n", "'f.txt'");
            ADD_FAILURE() << "accepted";
        } catch (const RenderError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("score 'f.txt' line 4: "), std::string::npos) << what;
            EXPECT_NE(what.find(c.Says), std::string::npos) << what;
        }
    }
}

TEST(Score, BeatsBecomeSecondsInTimeOrderKeepingTheOrderOfEqualTimes) {
    const auto m = ScoreToMidi(ParseScore("2 note 1 1\n1 note 2 1\n1 cc 3 1\n0.5 off 4\n", "t"), 90);
    ASSERT_EQ(m.size(), 4u);
    const double seconds[] = {1.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0, 4.0 / 3.0};
    const int ids[] = {4, 2, 3, 1};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(m[i].Seconds, seconds[i]);
        EXPECT_EQ(m[i].Bytes[1], ids[i]);
    }
}

}  // namespace
}  // namespace qbfx::render
