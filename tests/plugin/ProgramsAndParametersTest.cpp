// Parameters, factory programs and the parameter-change handler, seen through the host record.
#include "plugin/EditorExchange.h"
#include "tests/support/PluginFixture.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

struct ProgramsAndParameters : PluginFixture {};

// Wraps the effect's handler to record the indices it is called with, in order.
struct HandlerSpy {
    APlugin* Plugin;
    std::vector<int32_t> Indices;
    static void Forward(void* self, int32_t index) {
        auto* spy = static_cast<HandlerSpy*>(self);
        spy->Indices.push_back(index);
        spy->Plugin->ParameterChanged(index);
    }
};

class TFakeForm final : public TPluginFormBase {
public:
    int32_t ClientWidth() const override { return 632; }
    int32_t ClientHeight() const override { return 395; }
    void Attach(TVstTemplate*) override {}
};

}  // namespace

TEST_F(ProgramsAndParameters, NamesDefaultsAndDisplayCurvesAreAsTabled) {
    for (int32_t i : {8, 9, 19, 28, 29}) EXPECT_EQ(Host.ParamString(effGetParamName, i), "Parameter " + std::to_string(i));
    struct Case { int32_t index; const char* name; } names[] = {
        {0, "trgFX1"}, {7, "trgFX8"}, {10, "trgSV1"}, {17, "trgSV8"}, {18, "COLOR"}, {20, "FX1MXMAX"},
        {27, "FX8MXMAX"}, {30, "LFO Wav"}, {33, "OUT Sel"}, {36, "FX selector"}, {37, "Synced Value"},
        {38, "MAPINDEX"}, {39, "VIEW"}, {41, "Del Dmp-"}, {42, "Del Dmp+"}, {44, "Gli Ctrl1"}, {63, "Chd Fbck"}};
    for (const Case& c : names) EXPECT_EQ(Host.ParamString(effGetParamName, c.index), c.name);
    for (int32_t i = 0; i < 64; ++i) {
        SCOPED_TRACE(i);
        Host.SetParameter(i, 0.5f);
        const bool logarithmic = i == 41 || i == 42 || i == 48 || i == 49;
        if (i >= 30 && i != 33 && i != 34 && i != 37) {
            EXPECT_EQ(Host.ParamString(effGetParamDisplay, i), logarithmic ? "0.58" : "0.50");
        }
        EXPECT_EQ(Host.ParamString(effGetParamLabel, i), "");
    }
}

TEST_F(ProgramsAndParameters, EveryProgramEndsOnTheLastEffectWithTheWetSignalClosed) {
    for (int32_t program : {0, 1, 2, 0}) {
        SCOPED_TRACE(program);
        Host.SetParameter(kOutMix, 0.9f);
        Host.SetParameter(kOutSel, 0.0f);
        Host.Dispatch(effSetProgram, 0, program);
        EXPECT_EQ(Host.GetParameter(kOutSel), 1.0f);
        EXPECT_EQ(Host.GetParameter(kOutMix), 0.0f);
        EXPECT_EQ(int32_t(Plugin->Engine.SelectedFx), 7);
    }
}

TEST_F(ProgramsAndParameters, FactoryValuesReadBackExactly) {
    for (int32_t program = 0; program < 3; ++program) {
        Host.Dispatch(effSetProgram, 0, program);
        for (int32_t i = 0; i < kNumParams; ++i) {
            if (i == kOutSel || i == kOutMix) continue;   // the replay itself sets these
            SCOPED_TRACE(testing::Message() << "program " << program << " parameter " << i);
            const TParamInfo& info = kParamTable[size_t(i)];
            EXPECT_EQ(Host.GetParameter(i), info.Factory ? info.Values[size_t(program)] : 0.0f);
        }
    }
    Host.Dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(Host.GetParameter(kLfoPha), 1.0f);
    EXPECT_EQ(Host.GetParameter(kFx1MaxMix + 2), 0.5f);
    EXPECT_EQ(Host.GetParameter(kChdFbck), 0.7f);
}

TEST_F(ProgramsAndParameters, ProgramSelectionReachesTheHandlerForEveryIndexInOrder) {
    HandlerSpy spy{Plugin, {}};
    Plugin->OnParameterChange.Assign(&spy, &HandlerSpy::Forward);
    Host.Dispatch(effSetProgram, 0, 1);
    std::vector<int32_t> replayed;
    // The replay's own calls are the top-level ones: nested trigger changes come between them.
    int32_t next = 0;
    for (int32_t i : spy.Indices)
        if (i == next) replayed.push_back(next++);
    EXPECT_EQ(next, 64);
    EXPECT_EQ(spy.Indices.front(), 0);
    EXPECT_EQ(spy.Indices.back(), 63);
}

TEST_F(ProgramsAndParameters, ConstructionAppliesProgramZeroToEveryWorkingValue) {
    TestHost fresh{&InProcessPlugin};
    ASSERT_NE(fresh.Open(), nullptr);
    const TFxEngine& e = static_cast<APlugin*>(fresh.Effect()->object)->Engine;
    EXPECT_EQ(int32_t(e.SelectedFx), 7);
    EXPECT_EQ(float(e.OutMix), 0.0f);
    EXPECT_EQ(float(e.OutAmp), 1.0f);
    EXPECT_EQ(float(e.LfoAmp), 0.8f);
    EXPECT_EQ(int32_t(e.LfoWave), 0);
    EXPECT_EQ(float(e.Delay.DelFeedback), 0.0f);
    EXPECT_EQ(float(e.Delay.DelDampLow), 10000.0f);
    EXPECT_EQ(int32_t(e.Phaser.PhaDepth), 5);
    EXPECT_EQ(int32_t(e.Slicer.SliSpeed), 4);
    EXPECT_EQ(int32_t(e.Slicer.SliQuant), 1);
    EXPECT_EQ(float(e.Decimator.DecLevels), 16777216.0f);
    EXPECT_EQ(float(e.TriCombs.ChdFeedback), float(0.5f * 0.099999 + 0.9));
    EXPECT_EQ(e.Frame.CycleRestart, 1.0f);
    // Before the first block the tempo-derived values are 0.
    EXPECT_EQ(int32_t(e.SyncDelayLength), 0);
    EXPECT_EQ(int32_t(e.Decimator.DecHold), 0);
}

TEST_F(ProgramsAndParameters, DerivedValuesRoundHalvesToEven) {
    struct Case { int32_t index; float value; int32_t (*read)(const TFxEngine&); int32_t expected; } cases[] = {
        {kSliSp, 0.2f, [](const TFxEngine& e) { return int32_t(e.Slicer.SliSpeed); }, 4},
        {kSliSp, 0.5f, [](const TFxEngine& e) { return int32_t(e.Slicer.SliSpeed); }, 9},
        {kLfoWav, 0.5f, [](const TFxEngine& e) { return int32_t(e.LfoWave); }, 2},
        {kDecBd, 1.0f, [](const TFxEngine& e) { return int32_t(float(e.Decimator.DecLevels)); }, 16777216},
        {kDecBd, 0.55f, [](const TFxEngine& e) { return int32_t(float(e.Decimator.DecLevels)); }, 16384},
        {kChdSel, 0.5f, [](const TFxEngine& e) { return int32_t(e.TriCombs.ChdSel); }, 7},
        {kPhaDpt, 0.5f, [](const TFxEngine& e) { return int32_t(e.Phaser.PhaDepth); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.index << " at " << c.value);
        Host.SetParameter(c.index, c.value);
        EXPECT_EQ(c.read(Plugin->Engine), c.expected);
    }
    Host.SetParameter(kChdFbck, 1.0f);
    EXPECT_EQ(float(Plugin->Engine.TriCombs.ChdFeedback), 0.999999f);
}

TEST_F(ProgramsAndParameters, TriggerParametersSelectEffectsAndOpenTheWetSignal) {
    Host.SetParameter(kTrgFx1 + 4, 0.0f);   // any change, release included, selects
    EXPECT_EQ(Host.GetParameter(kOutSel), 4.0f / 7.0f);
    EXPECT_EQ(int32_t(Plugin->Engine.SelectedFx), 4);
    Host.SetParameter(kTrgFx1 + 2, 0.75f);
    Plugin->MaxMix[2] = 0.7f;
    Host.SetParameter(kTrgSv1 + 2, 1.0f);
    EXPECT_EQ(Host.GetParameter(kSyncedValue), 0.375f);
    EXPECT_EQ(Host.GetParameter(kOutMix), 0.7f);
    Host.SetParameter(kTrgSv1 + 2, 0.0f);
    EXPECT_EQ(Host.GetParameter(kOutMix), 0.0f);
    EXPECT_EQ(Host.GetParameter(kSyncedValue), 0.375f);
}

TEST_F(ProgramsAndParameters, TempoDerivedValuesFollowTheLastBlock) {
    SetTime(44100.0, 120.0, true);
    Prime();
    Host.SetParameter(kSyncedValue, 0.5f);
    EXPECT_EQ(int32_t(Plugin->Engine.SyncDelayLength), 22050);
    EXPECT_EQ(float(Plugin->Engine.LfoRate), 2.0f);
    Host.SetParameter(kFlaDel, 0.5f);
    EXPECT_EQ(float(Plugin->Engine.Flanger.FlaDelay), 220.5f);
    Host.SetParameter(kDecSr, 1.0f);
    EXPECT_EQ(int32_t(Plugin->Engine.Decimator.DecHold), 44100);
    SetTime(48000.0, 90.0, true);
    Prime();
    EXPECT_EQ(int32_t(Plugin->Engine.SyncDelayLength), 22050);   // a tempo change alone changes nothing
    Host.SetParameter(kSyncedValue, 1.0f);
    EXPECT_EQ(int32_t(Plugin->Engine.SyncDelayLength), 64000);
}

TEST_F(ProgramsAndParameters, EditorIdleExchangesMaxMixScopeAndTempo) {
    TFakeForm form;
    form.FxMaxMix = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f, 0.8f};
    Host.SetParameter(kLfoAmp, 0.0f);
    Prime();
    Plugin->EditorIdle(&form);
    for (int32_t k = 0; k < 8; ++k) EXPECT_EQ(float(Plugin->MaxMix[size_t(k)]), form.FxMaxMix[size_t(k)]);
    for (int32_t j = 0; j < kScopeRows; ++j) {
        EXPECT_EQ(form.ScopeRowL[size_t(j)], 10);
        EXPECT_EQ(form.ScopeRowR[size_t(j)], 50);
    }
    EXPECT_EQ(form.HostTempo, 120.0f);
    Host.SetParameter(kLfoAmp, 1.0f);
    Plugin->Engine.ScopeL[5] = 1.0f;
    Plugin->Engine.ScopeR[5] = 0.5f;
    Plugin->EditorIdle(&form);
    EXPECT_EQ(form.ScopeRowL[5], 40);
    EXPECT_EQ(form.ScopeRowR[5], 65);
}
