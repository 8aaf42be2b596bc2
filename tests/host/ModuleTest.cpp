// The built plug-in as a host sees it: loaded from the library file, driven only through its record.
#include "plugin/uPlugin.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

AEffect* InProcessEntry(audioMasterCallback master) { return CreateEffect(master, nullptr); }

#if defined(QBFX_MODULE_PATH)
TestHost LoadModule() { return TestHost::FromLibrary(QBFX_MODULE_PATH); }
#endif

struct Module : ::testing::Test {
#if defined(QBFX_MODULE_PATH)
    TestHost Host = LoadModule();
#else
    TestHost Host{&InProcessEntry};
#endif
    void SetUp() override {
        ASSERT_NE(Host.EntryFunction(), nullptr) << "the module exports no main";
        ASSERT_NE(Host.Open(), nullptr);
    }
};

}  // namespace

TEST_F(Module, RecordCarriesTheIdentityCountsAndFlags) {
    const AEffect* e = Host.Effect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 3);
    EXPECT_EQ(e->numParams, 64);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
#if defined(QBFX_MODULE_HAS_EDITOR)
    EXPECT_EQ(e->flags, 25);
#else
    EXPECT_EQ(e->flags, 24);
#endif
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->uniqueID, FourCC('N', 'V', '0', '5'));
    EXPECT_EQ(e->version, 1);
    EXPECT_NE(e->object, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->process, nullptr);
    for (size_t i = 0; i < sizeof e->future; ++i) ASSERT_EQ(e->future[i], 0) << "future byte " << i;
}

TEST_F(Module, DispatcherAnswersEveryOpcodeAsTabled) {
    struct Case { int32_t opcode; int32_t index; VstIntPtr value; VstIntPtr expected; } cases[] = {
        {effOpen, 0, 0, 0},
        {effGetProgram, 0, 0, 0},
        {effGetVu, 0, 0, 0},
        {effSetSampleRate, 0, 0, 0},
        {effSetBlockSize, 0, 512, 0},
        {effMainsChanged, 0, 1, 0},
        {effIdentify, 0, 0, FourCC('N', 'v', 'E', 'f')},
        {effGetChunk, 0, 0, 0},
        {effSetChunk, 0, 0, 0},
        {effCanBeAutomated, 0, 0, 1},
        {effCanBeAutomated, 63, 0, 1},
        {effGetNumProgramCategories, 0, 0, 1},
        {effConnectInput, 0, 1, 1},
        {effConnectOutput, 1, 1, 1},
        {effGetPlugCategory, 0, 0, 0},
        {effSetBlockSizeAndSampleRate, 0, 256, 1},
        {effGetVendorVersion, 0, 0, 1148},
        {effKeysRequired, 0, 0, 1},
        {effGetVstVersion, 0, 0, 2300},
        {effSetEditKnobMode, 0, 2, 0},
        {effGetCurrentMidiProgram, 0, 0, -1},
        {effSetTotalSampleToProcess, 0, 12345, 12345},
        {effString2Parameter, 0, 0, 0},
        {16, 0, 0, 0}, {17, 0, 0, 0}, {18, 0, 0, 0}, {20, 0, 0, 0}, {21, 0, 0, 0}, {30, 0, 0, 0},
        {36, 0, 0, 0}, {42, 0, 0, 0}, {44, 0, 0, 0}, {46, 0, 0, 0}, {50, 0, 0, 0}, {52, 0, 0, 0},
        {56, 0, 0, 0}, {62, 0, 0, 0}, {64, 0, 0, 0}, {72, 0, 0, 0}, {74, 0, 0, 0}, {76, 0, 0, 0},
        {77, 0, 0, 0}, {1000, 0, 0, 0}, {-1, 0, 0, 0}, {INT_MIN, 0, 0, 0}, {INT_MAX, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opcode);
        EXPECT_EQ(Host.Dispatch(c.opcode, c.index, c.value, nullptr, 44100.0f), c.expected);
    }
}

TEST_F(Module, NullPointersAreAnsweredWithoutACrash) {
    for (int32_t opcode = 0; opcode <= 76; ++opcode) {
        if (opcode == effClose) continue;
        SCOPED_TRACE(opcode);
        const VstIntPtr r = Host.Dispatch(opcode, 0, 0, nullptr, 0.0f);
        if (opcode == effEditGetRect || opcode == effProcessEvents || opcode == effCanDo ||
            opcode == effGetEffectName || opcode == effGetInputProperties) {
            EXPECT_EQ(r, 0);
        }
    }
    Host.Effect()->setParameter(Host.Effect(), 3, 0.5f);
    EXPECT_EQ(Host.GetParameter(3), 0.5f);
}

TEST_F(Module, CapabilitiesMatchExactlyAndCaseSensitively) {
    struct Case { const char* text; VstIntPtr answer; } cases[] = {
        {"sendVstEvents", 1}, {"sendVstMidiEvent", 1}, {"sendVstTimeInfo", 0}, {"receiveVstEvents", 1},
        {"receiveVstMidiEvent", 1}, {"receiveVstTimeInfo", 1}, {"offline", 0}, {"plugAsChannelInsert", 1},
        {"plugAsSend", 1}, {"mixDryWet", 1}, {"noRealTime", 0}, {"multipass", 0}, {"metapass", 0},
        {"1in1out", 0}, {"1in2out", 0}, {"2in1out", 0}, {"2in2out", 1}, {"2in4out", 0}, {"4in2out", 0},
        {"4in4out", 0}, {"4in8out", 0}, {"8in4out", 0}, {"8in8out", 0}, {"midiProgramNames", 0},
        {"conformsToWindowRules", 0}, {"bypass", 0},
        {"ReceiveVstMidiEvent", -1}, {"", -1}, {"receiveVstMidiEvent ", -1}, {"hasCockosExtensions", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Host.Dispatch(effCanDo, 0, 0, const_cast<char*>(c.text)), c.answer);
    }
    std::vector<char> unterminated(4096, 'a');   // never read past a sane bound
    EXPECT_EQ(Host.Dispatch(effCanDo, 0, 0, unterminated.data()), -1);
}

TEST_F(Module, PinsAreNamedAndFlaggedStereo) {
    VstPinProperties pin;
    std::memset(&pin, 0x5A, sizeof pin);
    EXPECT_EQ(Host.Dispatch(effGetInputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Input #2");
    EXPECT_EQ(pin.flags, 3);
    EXPECT_EQ(uint8_t(pin.shortLabel[0]), 0x5A);   // other fields stay as the host passed them
    EXPECT_EQ(Host.Dispatch(effGetOutputProperties, 0, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Output #1");
    std::memset(&pin, 0x5A, sizeof pin);
    EXPECT_EQ(Host.Dispatch(effGetInputProperties, 2, 0, &pin), 0);
    EXPECT_EQ(Host.Dispatch(effGetOutputProperties, -1, 0, &pin), 0);
    EXPECT_EQ(uint8_t(pin.label[0]), 0x5A);
}

TEST_F(Module, IdentityStringsStayInsideTheirBuffers) {
    struct Case { int32_t opcode; const char* text; size_t limit; } cases[] = {
        {effGetEffectName, "Quenby_F", 32}, {effGetVendorString, "Norvell Audio", 64},
        {effGetProductString, "Quenby FX Free", 64}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char buffer[256];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(Host.Dispatch(c.opcode, 0, 0, buffer), 1);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(buffer[c.limit + 1], '#');
    }
    for (int32_t i = 0; i < 64; ++i) {
        char buffer[256];
        std::memset(buffer, '#', sizeof buffer);
        Host.Dispatch(effGetParamName, i, 0, buffer);
        ASSERT_LE(std::strlen(buffer), 30u);
        EXPECT_EQ(buffer[31], '#');
        std::memset(buffer, '#', sizeof buffer);
        Host.Dispatch(effGetParamDisplay, i, 0, buffer);
        ASSERT_LE(std::strlen(buffer), 8u);
        std::memset(buffer, '#', sizeof buffer);
        Host.Dispatch(effGetProgramNameIndexed, i % 3, 0, buffer);
        ASSERT_LE(std::strlen(buffer), 24u);
    }
}

TEST_F(Module, ProgramsAreListedByTheirFactoryNames) {
    char name[64];
    const char* expected[] = {"FX set 1", "FX set 2", "FX set 3"};
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Host.Dispatch(effGetProgramNameIndexed, i, 0, name), 1);
        EXPECT_STREQ(name, expected[i]);
    }
}

TEST_F(Module, TimeIsAskedOncePerBlockWithMusicalPositionAndTempo) {
    Host.Time.tempo = 120.0;
    Host.Time.sampleRate = 44100.0;
    Host.Time.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
    std::vector<float> in(5000, 0.0f), out(5000);
    Host.ClearCalls();
    Host.Process(in.data(), in.data(), out.data(), out.data(), 5000);
    auto calls = Host.Calls();
    ASSERT_EQ(Host.CountCalls(audioMasterGetTime), 1);
    for (const HostCall& c : calls)
        if (c.Opcode == audioMasterGetTime) {
            EXPECT_EQ(c.Value, 1536);
        }
}

TEST_F(Module, CloseDestroysTheInstance) {
    EXPECT_EQ(Host.Dispatch(effClose), 1);
    EXPECT_EQ(Host.Effect(), nullptr);
}

TEST(ModuleEntry, HostAnsweringVersionZeroGetsNull) {
    TestHost host(&InProcessEntry);
    host.VersionAnswer = 0;
    EXPECT_EQ(host.Open(), nullptr);
#if defined(QBFX_MODULE_PATH)
    TestHost loaded = TestHost::FromLibrary(QBFX_MODULE_PATH);
    loaded.VersionAnswer = 0;
    EXPECT_EQ(loaded.Open(), nullptr);
#endif
}

TEST(ModuleEntry, NullHostCallbackGetsNull) { EXPECT_EQ(CreateEffect(nullptr, nullptr), nullptr); }

#if defined(QBFX_MODULE_PATH)
// The loaded library and the engine linked into this test, fed the same host, must sound the same:
// a calling-convention, layout or build-flag fault in the module would change its output.
TEST(ModuleProcessing, LoadedLibraryMatchesTheLinkedEffectSampleForSample) {
    constexpr int32_t kBlock = 512, kBlocks = 12;
    std::vector<float> inL(kBlock * kBlocks), inR(inL.size());
    for (size_t i = 0; i < inL.size(); ++i) {
        inL[i] = float(0.5 * std::sin(0.031 * double(i)));
        inR[i] = float(0.25 * std::sin(0.0071 * double(i)) + 0.25 * std::cos(0.13 * double(i)));
    }
    bool changedBy[8] = {};   // every effect must alter the signal in some program, or the check is empty
    for (int32_t program = 0; program < 3; ++program)
        for (int32_t fx = 0; fx < 8; ++fx) {
            SCOPED_TRACE(testing::Message() << "program " << program << ", effect " << fx + 1);
            std::vector<float> out[2][2];
            TestHost loaded = TestHost::FromLibrary(QBFX_MODULE_PATH);
            TestHost linked(&InProcessEntry);
            TestHost* hosts[2] = {&loaded, &linked};
            for (int h = 0; h < 2; ++h) {
                TestHost& host = *hosts[h];
                ASSERT_NE(host.Open(), nullptr);
                host.Time.sampleRate = 44100.0;
                host.Time.tempo = 120.0;
                host.Time.flags = kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying;
                host.AdvanceTime = true;
                host.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
                host.Dispatch(effSetBlockSize, 0, kBlock);
                host.Dispatch(effMainsChanged, 0, 1);
                host.Dispatch(effSetProgram, 0, program);
                host.SetParameter(kOutSel, float(fx / 7.0));
                host.SendMidi({{0x90, 48, 100}});   // opens the wet signal while held
                out[h][0].assign(inL.size(), 0.0f);
                out[h][1].assign(inL.size(), 0.0f);
                for (int32_t b = 0; b < kBlocks; ++b) {
                    const size_t at = size_t(b * kBlock);
                    host.Process(&inL[at], &inR[at], &out[h][0][at], &out[h][1][at], kBlock, b % 3 != 2);
                }
            }
            bool& changed = changedBy[fx];
            for (int c = 0; c < 2; ++c)
                for (size_t i = 0; i < inL.size(); ++i) {
                    ASSERT_TRUE(std::isfinite(out[0][c][i])) << "frame " << i;
                    ASSERT_EQ(out[0][c][i], out[1][c][i]) << "channel " << c << ", frame " << i;
                    changed |= out[0][c][i] != (c == 0 ? inL[i] : inR[i]);
                }
        }
    for (int32_t fx = 0; fx < 8; ++fx) EXPECT_TRUE(changedBy[fx]) << "effect " << fx + 1 << " left the signal untouched";
}
#endif
