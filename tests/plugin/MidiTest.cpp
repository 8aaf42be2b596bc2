// MIDI triggers and the controller map, through effProcessEvents.
#include "tests/support/PluginFixture.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct Midi : PluginFixture {
    void On(int note, int velocity = 100, int channel = 0) {
        Host.SendMidi({{uint8_t(0x90 | channel), uint8_t(note), uint8_t(velocity)}});
    }
    void Off(int note, bool asNoteOnZero = false) {
        Host.SendMidi({{uint8_t(asNoteOnZero ? 0x90 : 0x80), uint8_t(note), uint8_t(asNoteOnZero ? 0 : 64)}});
    }
    void Cc(int controller, int value, int channel = 0) {
        Host.SendMidi({{uint8_t(0xB0 | channel), uint8_t(controller), uint8_t(value)}});
    }
    float MaxMixOfSelected() { return Plugin->MaxMix[size_t(int32_t(Plugin->Engine.SelectedFx))]; }
};

}  // namespace

TEST_F(Midi, SelectNotesSwitchTheEffectWhateverTheStatusOrVelocity) {
    const int notes[] = {35, 36, 38, 40, 41, 43, 45, 47};
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        if (k % 2) On(notes[k], 1, k); else Off(notes[k]);
        EXPECT_EQ(Host.GetParameter(kOutSel), float(k / 7.0));
        EXPECT_EQ(int32_t(Plugin->Engine.SelectedFx), k);
    }
}

TEST_F(Midi, SyncedValueNoteOpensWhileHeldAndClosesOnRelease) {
    On(36);
    On(48);
    EXPECT_EQ(Host.GetParameter(kSyncedValue), 0.125f);
    EXPECT_EQ(Host.GetParameter(kOutMix), MaxMixOfSelected());
    EXPECT_EQ(float(Plugin->Engine.OutMix), MaxMixOfSelected());
    EXPECT_EQ(int32_t(Plugin->Engaged), 1);
    Off(48, true);
    EXPECT_EQ(Host.GetParameter(kOutMix), 0.0f);
    EXPECT_EQ(int32_t(Plugin->Engaged), 0);
}

TEST_F(Midi, ReleasingOneOfSeveralHeldStepsFallsBackToTheLowestHeld) {
    On(50);
    On(55);
    EXPECT_EQ(Host.GetParameter(kSyncedValue), 5.0f / 8.0f);
    Off(55);
    EXPECT_EQ(Host.GetParameter(kSyncedValue), 2.0f / 8.0f);
    EXPECT_GT(Host.GetParameter(kOutMix), 0.0f);
    Off(50);
    EXPECT_EQ(Host.GetParameter(kOutMix), 0.0f);
}

TEST_F(Midi, HoldControllerKeepsTheEffectInUntilReleased) {
    Cc(64, 127);
    On(48);
    Off(48);
    EXPECT_EQ(Host.GetParameter(kOutMix), MaxMixOfSelected());
    EXPECT_EQ(uint8_t(Plugin->SyncNoteHeld[0]), 1);
    Cc(64, 0);
    EXPECT_EQ(Host.GetParameter(kOutMix), 0.0f);
    EXPECT_EQ(uint8_t(Plugin->SyncNoteHeld[0]), 1);   // the hold release leaves the held flags alone
}

TEST_F(Midi, ControllerZeroDrivesEveryUnmappedParameterAndWalksTheTriggers) {
    Cc(0, 127, 5);
    EXPECT_EQ(Host.GetParameter(kDelFbck), 1.0f);
    EXPECT_EQ(Host.GetParameter(kChdFbck), 1.0f);
    EXPECT_EQ(Host.GetParameter(kLfoWav), 1.0f);
    EXPECT_EQ(Host.GetParameter(kOutSel), 1.0f);
    EXPECT_EQ(Host.GetParameter(kSyncedValue), 1.0f);
    EXPECT_EQ(int32_t(Plugin->Engine.SelectedFx), 7);
    Cc(0, 0);
    EXPECT_EQ(Host.GetParameter(kOutMix), 0.0f);
    EXPECT_EQ(Host.GetParameter(kSyncedValue), 1.0f);
}

TEST_F(Midi, OtherMessagesChangeNothing) {
    const float before = Host.GetParameter(kOutSel);
    Host.SendMidi({{0xE0, 0x00, 0x40}, {0xC0, 36, 0}, {0xD0, 48, 0}, {0xF8, 0, 0}});
    EXPECT_EQ(Host.GetParameter(kOutSel), before);
    EXPECT_EQ(int32_t(Plugin->Engaged), 0);
}

TEST(MidiMapText, KeysAreReadAsWholeNumbersAndAnythingElseIsZero) {
    const std::string ini =
        "; controller map\n[Other]\nFX1 parameter 1 CC=99\n[MIDIMAP]\r\n"
        "FX1 parameter 1 CC=20\nfx1 PARAMETER 2 cc = 0x15 ; hexadecimal\nFX1 parameter 3 CC=0x\n"
        "FX2 parameter 1 CC=12.5\nFX2 parameter 2 CC=-3\nFX2 parameter 3 CC=abc\nFX3 parameter 1 CC=\n"
        "FX3 parameter 2 CC=99999999999\n[Next]\nFX3 parameter 3 CC=7\n";
    struct Case { const char* key; int32_t value; } cases[] = {
        {"FX1 parameter 1 CC", 20}, {"FX1 parameter 2 CC", 21}, {"FX1 parameter 3 CC", 0},
        {"FX2 parameter 1 CC", 0},  {"FX2 parameter 2 CC", -3}, {"FX2 parameter 3 CC", 0},
        {"FX3 parameter 1 CC", 0},  {"FX3 parameter 2 CC", 0},  {"FX3 parameter 3 CC", 0},
        {"OUT parameter 1 CC", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(ReadIniInteger(ini, "MIDIMAP", c.key), c.value);
    }
}

#if defined(QBFX_MODULE_PATH)
namespace {
// A copy of the built library in a folder of its own, with an empty data folder beside it.
std::filesystem::path CopyLibraryToAFolderOfItsOwn() {
    namespace fs = std::filesystem;
    fs::path dir;
    for (std::random_device seed;;) {   // a folder nobody else has, on POSIX and Windows alike
        dir = fs::temp_directory_path() / ("qbfx-map-" + std::to_string(seed()));
        if (fs::create_directory(dir)) break;
    }
    fs::copy_file(QBFX_MODULE_PATH, dir / fs::path(QBFX_MODULE_PATH).filename());
    fs::create_directory(dir / "Data");
    return dir;
}
}  // namespace

TEST(MidiMapFile, IsReadFromTheDataFolderBesideTheLibrary) {
    namespace fs = std::filesystem;
    const fs::path module = fs::path(QBFX_MODULE_PATH).filename();
    const fs::path dir = CopyLibraryToAFolderOfItsOwn();
    std::ofstream(dir / "Data" / "QBFX_F.ini")
        << "[MIDIMAP]\nFX1 parameter 1 CC=20\nLFO parameter 2 CC=0x66\nOUT parameter 3 CC=31\n";
    {
        TestHost host = TestHost::FromLibrary((dir / module).string());
        ASSERT_NE(host.Open(), nullptr);
        host.SendMidi({{0xB3, 20, 127}});
        EXPECT_EQ(host.GetParameter(kDelFbck), 1.0f);
        host.SendMidi({{0xB0, 0x66, 64}});
        EXPECT_EQ(host.GetParameter(kLfoAmp), float(64 / 127.0));
        host.SendMidi({{0xBF, 31, 0}});
        EXPECT_EQ(host.GetParameter(kOutAmp), 0.0f);
        // An unmapped controller still drives the parameters whose entries were left at 0.
        host.SendMidi({{0xB0, 0, 127}});
        EXPECT_EQ(host.GetParameter(kDelDmpHigh), 1.0f);
        EXPECT_EQ(host.GetParameter(kOutAmp), 0.0f);
    }
    fs::remove_all(dir);
}

#if !defined(_WIN32)
// A FIFO where the map should be used to block the host in `main` until something wrote to it.
TEST(MidiMapFile, AFifoInPlaceOfTheMapDoesNotHangTheHost) {
    namespace fs = std::filesystem;
    const fs::path module = fs::path(QBFX_MODULE_PATH).filename();
    const fs::path dir = CopyLibraryToAFolderOfItsOwn();
    const fs::path fifo = dir / "Data" / "QBFX_F.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    {
        TestHost host = TestHost::FromLibrary((dir / module).string());
        ASSERT_NE(host.EntryFunction(), nullptr);
        std::promise<AEffect*> opened;
        std::future<AEffect*> effect = opened.get_future();
        std::thread opener([&] { opened.set_value(host.Open()); });
        if (effect.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "main is still waiting on the FIFO";
            // Let a blocked open through with a writer that leaves at once: the reader sees the end.
            while (effect.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
                const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                if (writer >= 0) ::close(writer);
            }
        }
        opener.join();
        ASSERT_NE(effect.get(), nullptr);
        // Taken as no map at all: every parameter entry 0, so controller 0 drives them.
        host.SendMidi({{0xB0, 0, 127}});
        EXPECT_EQ(host.GetParameter(kDelFbck), 1.0f);
    }
    fs::remove_all(dir);
}
#endif
#endif
