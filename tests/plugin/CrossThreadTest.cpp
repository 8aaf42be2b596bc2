// Automation and MIDI on one thread while another processes audio: the plug-in takes no lock, so
// every value that crosses is a whole word (ThreadSanitizer runs this test too).
#include "tests/support/PluginFixture.h"

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

TEST(CrossThread, AutomationAndMidiWhileProcessingTenSeconds) {
    TestHost host{&InProcessPlugin};
    ASSERT_NE(host.Open(), nullptr);
    host.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    host.Time.sampleRate = 44100.0;
    host.Time.tempo = 128.0;
    host.Time.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
    std::atomic<bool> done{false};
    std::atomic<bool> finite{true};

    std::thread audio([&] {
        const int32_t block = 256;
        std::vector<float> inL(block), inR(block), outL(block), outR(block);
        uint32_t seed = 1;
        for (int32_t at = 0; at < 441000; at += block) {
            for (int32_t i = 0; i < block; ++i) {
                seed = seed * 1664525u + 1013904223u;
                inL[size_t(i)] = float(int32_t(seed >> 8) % 2000 - 1000) / 1000.0f;
                inR[size_t(i)] = -inL[size_t(i)];
            }
            float* in[2] = {inL.data(), inR.data()};
            float* out[2] = {outL.data(), outR.data()};
            host.Effect()->processReplacing(host.Effect(), in, out, block);
            for (float v : outL) finite = finite && std::isfinite(v);
        }
        done = true;
    });
    std::thread control([&] {
        uint32_t seed = 7;
        while (!done) {
            for (int32_t p = 0; p < 64; ++p) {
                seed = seed * 1664525u + 1013904223u;
                host.Effect()->setParameter(host.Effect(), p, float(seed >> 8) / 16777216.0f);
                (void)host.Effect()->getParameter(host.Effect(), p);
            }
            const uint8_t note = uint8_t(35 + (seed >> 4) % 26);
            host.SendMidi({{0x90, note, 100}, {0xB0, 64, uint8_t(seed & 0x7F)}, {0x80, note, 0}});
            std::this_thread::yield();
        }
    });
    audio.join();
    control.join();
    EXPECT_TRUE(finite);
}
