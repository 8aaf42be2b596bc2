// The framework as an effect sees it: a bare template effect driven through its host record.
#include "host/DVstTemplate.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// A template effect that records what the framework hands its hooks.
class TTestEffect final : public TVstTemplate {
public:
    static TVstTemplateSetup Setup(const char* id) {
        TVstTemplateSetup s;
        s.CanDoSet = 0x103BB;
        s.EffectFlagSet = 24;
        s.Identifier = id;
        s.EffectName = "Quenby_F";
        s.VendorName = "Norvell Audio";
        s.ProductName = "Quenby FX Free";
        s.VendorVersion = 1148;
        s.NumPrograms = 3;
        s.NumParams = 64;
        return s;
    }
    explicit TTestEffect(audioMasterCallback master, const char* id = "NV05") : TVstTemplate(master, Setup(id)) {
        OnParameterChange.Assign(this, [](void* self, int32_t index) {
            static_cast<TTestEffect*>(self)->Changes.push_back(index);
        });
    }
    void ProcessAudio(TArrayOfSingleArray& in, TArrayOfSingleArray& out, int32_t frames) override {
        Blocks.push_back(frames);
        Offsets.push_back(BlockOffset);
        LastInputLength = in[0].Count();
        for (int32_t c = 0; c < 2; ++c)
            for (int32_t i = 0; i < frames; ++i) out[c][i] = in[c][i] * 2.0f + 1.0f;
    }
    void ProcessMidiEvent(VstMidiEvent* e) override { MidiStatuses.push_back(uint8_t(e->midiData[0])); }
    std::vector<int32_t> Changes, Blocks, Offsets;
    std::vector<uint8_t> MidiStatuses;
    int32_t LastInputLength = -1;
};

TTestEffect* Made = nullptr;
const char* MadeId = "NV05";
AEffect* MakeTestEffect(audioMasterCallback master) {
    if (master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    Made = new TTestEffect(master, MadeId);
    return Made->getAeffect();
}

struct Framework : ::testing::Test {
    TestHost Host{&MakeTestEffect};
    void SetUp() override {
        MadeId = "NV05";
        ASSERT_NE(Host.Open(), nullptr);
    }
};

}  // namespace

TEST_F(Framework, ParameterValuesAreClampedAndNanBecomesZero) {
    struct Case { float in, stored; } cases[] = {
        {1.5f, 1.0f}, {-0.2f, 0.0f}, {NAN, 0.0f}, {INFINITY, 1.0f}, {-INFINITY, 0.0f}, {0.25f, 0.25f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        Host.SetParameter(3, c.in);
        EXPECT_EQ(Host.GetParameter(3), c.stored);
    }
}

TEST_F(Framework, SubnormalParameterValueIsStoredAsZero) {
    for (float tiny : {1e-40f, std::numeric_limits<float>::denorm_min(), -1e-40f}) {
        SCOPED_TRACE(tiny);
        Host.SetParameter(3, 0.5f);
        Host.SetParameter(3, tiny);
        EXPECT_EQ(Host.GetParameter(3), 0.0f);
    }
    Host.SetParameter(3, std::numeric_limits<float>::min());   // the smallest normal value stays
    EXPECT_EQ(Host.GetParameter(3), std::numeric_limits<float>::min());
}

TEST_F(Framework, OutOfRangeParameterIndexStoresNothingAndRaisesNoEvent) {
    Made->Changes.clear();
    Made->ParametersChanged = 0;
    for (int32_t index : {64, -1, 1000, INT32_MIN}) Host.SetParameter(index, 0.7f);
    EXPECT_TRUE(Made->Changes.empty());
    EXPECT_EQ(uint8_t(Made->ParametersChanged), 0);
    EXPECT_EQ(Host.GetParameter(64), 0.0f);
    EXPECT_EQ(Host.GetParameter(-1), 0.0f);
    Host.SetParameter(5, 0.5f);
    EXPECT_EQ(uint8_t(Made->ParametersChanged), 1);
    ASSERT_EQ(Made->Changes.size(), 1u);
    EXPECT_EQ(Made->Changes[0], 5);
}

TEST_F(Framework, ParameterTextsNameLabelAndDisplay) {
    EXPECT_EQ(Host.ParamString(effGetParamName, 17), "Parameter 17");
    EXPECT_EQ(Host.ParamString(effGetParamName, 0), "Parameter 0");
    EXPECT_EQ(Host.ParamString(effGetParamName, 64), "undefined");
    EXPECT_EQ(Host.ParamString(effGetParamLabel, 64), "undefined");
    EXPECT_EQ(Host.ParamString(effGetParamDisplay, 64), "undefined");
    EXPECT_EQ(Host.ParamString(effGetParamLabel, 3), "");
    Host.SetParameter(3, 0.5f);
    EXPECT_EQ(Host.ParamString(effGetParamDisplay, 3), "0.50");
    Made->ParameterProperty(3).Curve = ctLogarithmic;
    EXPECT_EQ(Host.ParamString(effGetParamDisplay, 3), "0.58");   // ln(1.5)/ln 2
    Made->ParameterProperty(3).Curve = ctExponential;
    EXPECT_EQ(Host.ParamString(effGetParamDisplay, 3), "0.41");   // 2^0.5 - 1
}

TEST_F(Framework, ProgramSelectionReplaysEveryValueInIndexOrder) {
    Made->Program(1).Values[7] = 0.3f;
    Made->Changes.clear();
    Host.Dispatch(effSetProgram, 0, 1);
    ASSERT_EQ(Made->Changes.size(), 64u);
    for (int32_t i = 0; i < 64; ++i) EXPECT_EQ(Made->Changes[size_t(i)], i);
    EXPECT_EQ(Host.Dispatch(effGetProgram), 1);
    EXPECT_EQ(Host.GetParameter(7), 0.3f);
    Made->Changes.clear();
    Host.Dispatch(effSetProgram, 0, 3);
    Host.Dispatch(effSetProgram, 0, -1);
    EXPECT_TRUE(Made->Changes.empty());
    EXPECT_EQ(Host.Dispatch(effGetProgram), 1);
}

TEST_F(Framework, ProgramNamesAreBoundedAndIndexed) {
    char name[64] = {};
    Host.Dispatch(effGetProgramName, 0, 0, name);
    EXPECT_STREQ(name, "Init");
    // A host string is read with a bound and cut to the field.
    std::vector<char> longName(100, 'x');
    Host.Dispatch(effSetProgramName, 0, 0, longName.data());   // not even terminated
    std::memset(name, '#', sizeof name);
    Host.Dispatch(effGetProgramName, 0, 0, name);
    EXPECT_EQ(std::string(name), std::string(24, 'x'));
    for (int32_t i : {0, 1, 2}) EXPECT_EQ(Host.Dispatch(effGetProgramNameIndexed, i, 0, name), 1);
    EXPECT_EQ(Host.Dispatch(effGetProgramNameIndexed, 3, 0, name), 0);
    EXPECT_EQ(Host.Dispatch(effGetProgramNameIndexed, -1, 0, name), 0);
}

TEST_F(Framework, ProcessAddsAndProcessReplacingOverwrites) {
    const int n = 8;
    std::vector<float> inL(n, 1.0f), inR(n, -1.0f), outL(n, 10.0f), outR(n, 10.0f);
    Host.Process(inL.data(), inR.data(), outL.data(), outR.data(), n, false);
    EXPECT_EQ(outL[0], 13.0f);
    EXPECT_EQ(outR[7], 9.0f);
    Host.Process(inL.data(), inR.data(), outL.data(), outR.data(), n, true);
    EXPECT_EQ(outL[0], 3.0f);
    EXPECT_EQ(outR[7], -1.0f);
}

TEST_F(Framework, EmptyAndNegativeBlocksWriteNothing) {
    float out[4] = {5, 5, 5, 5};
    float in[4] = {1, 1, 1, 1};
    Made->Blocks.clear();
    Host.Process(in, in, out, out, 0);
    ASSERT_EQ(Made->Blocks.size(), 1u);   // the hook sees an empty block
    EXPECT_EQ(Made->Blocks[0], 0);
    EXPECT_EQ(Made->LastInputLength, 0);
    Host.Process(in, in, out, out, -5);
    EXPECT_EQ(Made->Blocks.size(), 1u);
    for (float v : out) EXPECT_EQ(v, 5.0f);
}

TEST_F(Framework, MissingHostChannelsAreSilenceAndAreNotWritten) {
    float out[4] = {5, 5, 5, 5};
    float* outs[2] = {out, nullptr};
    Made->getAeffect()->processReplacing(Made->getAeffect(), nullptr, outs, 4);
    EXPECT_EQ(out[0], 1.0f);   // silence in, 0 * 2 + 1 out
    Made->getAeffect()->processReplacing(Made->getAeffect(), nullptr, nullptr, 4);
}

TEST_F(Framework, LongHostBlocksRunInChunksWithOffsets) {
    const int n = 5000;
    std::vector<float> in(n), outL(n), outR(n);
    for (int i = 0; i < n; ++i) in[size_t(i)] = float(i);
    Made->Blocks.clear();
    Made->Offsets.clear();
    Host.Process(in.data(), in.data(), outL.data(), outR.data(), n);
    EXPECT_EQ(Made->Blocks, (std::vector<int32_t>{2048, 2048, 904}));
    EXPECT_EQ(Made->Offsets, (std::vector<int32_t>{0, 2048, 4096}));
    for (int i : {0, 2047, 2048, 4999}) EXPECT_EQ(outL[size_t(i)], float(i) * 2.0f + 1.0f);
}

TEST_F(Framework, BlocksAllocateNothingOnceRunning) {
    std::vector<float> in(4096, 0.5f), outL(4096), outR(4096);
    Made->Blocks.reserve(64);
    Made->Offsets.reserve(64);
    alloc_count::Start();
    Host.Process(in.data(), in.data(), outL.data(), outR.data(), 512);
    Host.Process(in.data(), in.data(), outL.data(), outR.data(), 4096);
    EXPECT_EQ(alloc_count::Stop(), 0);
}

TEST_F(Framework, EventListPassesMidiEventsInOrderAndSkipsOthers) {
    VstMidiEvent a{}, b{};
    a.type = b.type = kVstMidiType;
    a.midiData[0] = char(0x90);
    b.midiData[0] = char(0x80);
    VstEvent sysex{};
    sysex.type = kVstSysExType;
    struct { VstInt32 numEvents; VstIntPtr reserved; VstEvent* events[4]; } list{};
    list.numEvents = 4;
    list.events[0] = reinterpret_cast<VstEvent*>(&a);
    list.events[1] = &sysex;
    list.events[2] = nullptr;   // a hole in a broken list is skipped
    list.events[3] = reinterpret_cast<VstEvent*>(&b);
    EXPECT_EQ(Host.Dispatch(effProcessEvents, 0, 0, &list), 1);
    EXPECT_EQ(Made->MidiStatuses, (std::vector<uint8_t>{0x90, 0x80}));
    list.numEvents = 0;
    EXPECT_EQ(Host.Dispatch(effProcessEvents, 0, 0, &list), 1);
    EXPECT_EQ(Made->MidiStatuses.size(), 2u);
}

// Regression: the entries past the record's declared two were read by indexing that array, which
// the undefined-behaviour checker of clang stops at the third entry.
TEST_F(Framework, EventListLongerThanTheDeclaredTwoEntriesIsReadWhole) {
    std::vector<VstMidiEvent> midi(64);
    std::vector<char> storage(offsetof(VstEvents, events) + midi.size() * sizeof(VstEvent*));
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    list->numEvents = int32_t(midi.size());
    auto** entries = reinterpret_cast<VstEvent**>(storage.data() + offsetof(VstEvents, events));
    for (size_t i = 0; i < midi.size(); ++i) {
        midi[i].type = kVstMidiType;
        midi[i].midiData[0] = char(0x80 + i % 48);
        entries[i] = reinterpret_cast<VstEvent*>(&midi[i]);
    }
    Host.Dispatch(effProcessEvents, 0, 0, list);
    ASSERT_EQ(Made->MidiStatuses.size(), midi.size());
    EXPECT_EQ(Made->MidiStatuses.back(), uint8_t(0x80 + 63 % 48));
}

TEST_F(Framework, AutomatedChangeIsReportedWithTheUnclampedValue) {
    Host.ClearCalls();
    Made->setParameterAutomated(4, 1.25f);
    EXPECT_EQ(Host.GetParameter(4), 1.0f);
    auto calls = Host.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Opcode, audioMasterAutomate);
    EXPECT_EQ(calls[0].Index, 4);
    EXPECT_EQ(calls[0].Opt, 1.25f);
}

TEST_F(Framework, ResumeAsksForMidi) {
    Host.ClearCalls();
    Host.Dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(Host.CountCalls(audioMasterWantMidi), 0);
    Host.Dispatch(effMainsChanged, 0, 1);
    auto calls = Host.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Opcode, audioMasterWantMidi);
    EXPECT_EQ(calls[0].Value, 1);
}

TEST_F(Framework, EditorOpcodesWithoutAnEditorAnswerZero) {
    ERect* rect = reinterpret_cast<ERect*>(0x1);
    EXPECT_EQ(Host.Dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(Host.Dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(Host.Dispatch(effEditIdle), 0);
    EXPECT_EQ(Host.Dispatch(effEditKeyDown, 'a'), 0);
    EXPECT_EQ(Host.Effect()->flags & effFlagsHasEditor, 0);
}

TEST(FrameworkIdentity, IdentifierIsBlankPaddedOrCutToFourCharacters) {
    EXPECT_EQ(PackIdentifier("NV05"), FourCC('N', 'V', '0', '5'));
    EXPECT_EQ(PackIdentifier("AB"), FourCC('A', 'B', ' ', ' '));
    EXPECT_EQ(PackIdentifier("ABCDEF"), FourCC('A', 'B', 'C', 'D'));
    EXPECT_EQ(PackIdentifier(""), FourCC(' ', ' ', ' ', ' '));
}

TEST(FrameworkIdentity, HostAnsweringVersionZeroGetsNothing) {
    TestHost host(&MakeTestEffect);
    host.VersionAnswer = 0;
    Made = nullptr;
    alloc_count::Start();
    EXPECT_EQ(host.Open(), nullptr);
    EXPECT_EQ(alloc_count::Stop(), 0);
    EXPECT_EQ(Made, nullptr);
}
