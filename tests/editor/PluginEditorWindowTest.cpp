// The editor form on a real plug-in instance, without a display: a fake platform gives key
// states, time and randomness, and the test host records what the host is told.
#include "editor/PluginEditorWindow.h"
#include "tests/support/PluginFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <set>

namespace {

struct FakePlatform : TFormPlatform {
    std::set<THeldKey> Held;
    int64_t Now = 0;
    std::vector<int> Sleeps;
    std::deque<int> Draws;
    std::vector<std::pair<int, int>> Sizes;
    bool KeyHeld(THeldKey key) override { return Held.count(key) > 0; }
    int64_t NowMs() override { return Now; }
    void Sleep(int ms) override { Sleeps.push_back(ms); }
    int Random(int range) override {
        if (Draws.empty()) return range - 1;
        const int v = Draws.front();
        Draws.pop_front();
        return v;
    }
    void SizeChanged(int w, int h) override { Sizes.emplace_back(w, h); }
    // A platform with menus of its own takes the menu; this one opens it at the point given.
    bool OwnMenus = false;
    TPopupMenu* Taken = nullptr;
    bool OpenMenu(TPluginEditorWindow&, TPopupMenu& menu, int x, int y) override {
        if (!OwnMenus) return false;
        Taken = &menu;
        menu.Popup(x, y, {0, 0, 4000, 4000});
        return true;
    }
};

struct EditorForm : ::testing::Test {
    TestHost Host{&InProcessPlugin};
    APlugin* Plugin = nullptr;
    FakePlatform* Platform = nullptr;
    std::unique_ptr<TPluginEditorWindow> Form;

    void SetUp() override {
        ASSERT_NE(Host.Open(), nullptr);
        Plugin = static_cast<APlugin*>(Host.Effect()->object);
        auto p = std::make_unique<FakePlatform>();
        Platform = p.get();
        Form = std::make_unique<TPluginEditorWindow>(std::move(p));
        Form->Attach(Plugin);
        Tick();
        Host.ClearCalls();
    }
    void Tick() {
        Platform->Now += TPluginEditorWindow::kTimerInterval;
        Form->Idle();
    }
    void Press(TControl& c, MouseButton b = MouseButton::Left) {
        int x = 0, y = 0;
        c.AbsoluteOrigin(x, y);
        Form->MouseInput({MouseEvent::Kind::Move, x + c.Width() / 2, y + c.Height() / 2});
        Form->MouseInput({MouseEvent::Kind::Down, x + c.Width() / 2, y + c.Height() / 2, b});
    }
    void Release(TControl& c, MouseButton b = MouseButton::Left) {
        int x = 0, y = 0;
        c.AbsoluteOrigin(x, y);
        Form->MouseInput({MouseEvent::Kind::Up, x + c.Width() / 2, y + c.Height() / 2, b});
    }
    void Hover(TControl& c) {
        int x = 0, y = 0;
        c.AbsoluteOrigin(x, y);
        Form->MouseInput({MouseEvent::Kind::Move, x + 2, y + 2});
    }
    std::vector<std::pair<int32_t, float>> Automated() const {
        std::vector<std::pair<int32_t, float>> out;
        for (const HostCall& c : Host.Calls())
            if (c.Opcode == audioMasterAutomate) out.emplace_back(c.Index, c.Opt);
        return out;
    }
    const std::string& Info(size_t i) const { return Form->info[i]->Caption(); }
};

TEST_F(EditorForm, AttachShowsTheVersionAndTheFirstTickTakesThePluginValues) {
    EXPECT_EQ(Form->AttachedPlugin(), Plugin);
    EXPECT_EQ(Info(4), "QBFX F 1.148");
    EXPECT_EQ(Plugin->ParametersChanged, 0);
    for (int tag : {30, 35, 40, 47, 63}) {
        SCOPED_TRACE(tag);
        EXPECT_EQ(Form->Slider(tag)->Position(),
                  std::lrint((1.0 - double(Plugin->getParameter(tag))) * 100.0));
    }
    EXPECT_EQ(Form->ClientWidth(), 632);
    EXPECT_EQ(Form->ClientHeight(), 395);
}

TEST_F(EditorForm, EffectButtonThreeSelectsItsEffectAndMovesTheDot) {
    Press(*Form->FXtrg[2]);
    EXPECT_FLOAT_EQ(Plugin->getParameter(2), 0.75f);
    EXPECT_EQ(Plugin->getParameter(33), float(2.0 / 7.0));
    const auto a = Automated();
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0], std::make_pair(33, float(2.0 / 7.0)));
    EXPECT_EQ(a[1], std::make_pair(2, 0.75f));
    EXPECT_EQ(Form->SelDotImg->Left(), 357);
    EXPECT_EQ(Form->SelDotImg->Top(), 111);
    EXPECT_EQ(Form->SelectedFx(), 2);
    Release(*Form->FXtrg[2]);
    EXPECT_EQ(Plugin->getParameter(2), 0.0f);
    // the timer keeps the dot on the selected effect
    Tick();
    EXPECT_EQ(Form->SelDotImg->Left(), 357);
    EXPECT_EQ(Form->SelDotImg->Top(), 111);
}

TEST_F(EditorForm, RightPressOnATriggerSendsNothingButItsReleaseStillClearsAnEffectTrigger) {
    Press(*Form->FXtrg[5], MouseButton::Right);
    Press(*Form->SVtrg[2], MouseButton::Right);
    EXPECT_TRUE(Automated().empty());
    Form->Context.Close();
    Release(*Form->FXtrg[5], MouseButton::Right);
    ASSERT_EQ(Automated().size(), 1u);
    EXPECT_EQ(Automated()[0], std::make_pair(5, 0.0f));
}

TEST_F(EditorForm, SyncedValueButtonsShowRateAndPeriodOfTheHostTempo) {
    struct Case { int n; float tempo; const char* hz; const char* ms; } cases[] = {
        {4, 120.0f, "2 Hz", "500 ms"}, {1, 120.0f, "0.5 Hz", "125 ms"},
        {8, 120.0f, "4 Hz", "1000 ms"}, {3, 100.0f, "1.25 Hz", "450 ms"},
        {1, 90.0f, "0.38 Hz", "166.67 ms"},   // 0.375 rounds away from zero
        {2, 0.0f, "0 Hz", "- ms"},          // no tempo from the host yet
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        SCOPED_TRACE(c.tempo);
        Form->HostTempo = c.tempo;
        Form->FxMaxMix[size_t(Form->SelectedFx())] = 0.6f;
        Host.ClearCalls();
        Press(*Form->SVtrg[size_t(c.n - 1)]);
        EXPECT_EQ(Info(0), c.hz);
        EXPECT_EQ(Info(1), c.ms);
        EXPECT_EQ(Plugin->getParameter(37), float(c.n / 8.0));
        EXPECT_EQ(Plugin->getParameter(34), 0.6f);
        ASSERT_FALSE(Automated().empty());
        EXPECT_EQ(Automated()[0], std::make_pair(9 + c.n, 1.0f));
        Release(*Form->SVtrg[size_t(c.n - 1)]);
        EXPECT_EQ(Plugin->getParameter(34), 0.0f);
        EXPECT_EQ(Plugin->getParameter(9 + c.n), 0.0f);
    }
}

TEST_F(EditorForm, RightControlOnTheMixSliderDefinesOnlyTheCurrentMaxMix) {
    Press(*Form->FXtrg[3]);
    Release(*Form->FXtrg[3]);
    Tick();
    const float mixBefore = Plugin->getParameter(34);
    const float otherMax = Plugin->getParameter(20);
    Platform->Held.insert(THeldKey::RControl);
    Host.ClearCalls();
    TDIBSlider& p34 = *Form->Slider(34);
    p34.SetPosition(30);
    EXPECT_EQ(Info(4), "Define max mix level for this effect");
    EXPECT_EQ(Plugin->getParameter(23), 0.7f);
    EXPECT_EQ(Form->FxMaxMix[3], 0.7f);
    EXPECT_EQ(Plugin->getParameter(34), mixBefore);
    EXPECT_EQ(Plugin->getParameter(20), otherMax);
    EXPECT_TRUE(Automated().empty());
    Tick();   // the write set ParametersChanged
    EXPECT_EQ(p34.Position(), 30) << "pulled back while the key is held";
    Platform->Held.clear();
    Plugin->ParametersChanged = 1;
    Tick();
    EXPECT_EQ(p34.Position(), std::lrint((1.0 - double(mixBefore)) * 100.0));
}

// The status texts are cut at their fields' edges: every text a field can show must fit it.
struct StatusBar {
    TPluginEditorWindow& Form;
    TGrowingText& Info(size_t i) { return dynamic_cast<TGrowingText&>(*Form.info[i]); }
    int Width(size_t i, const std::string& text) {
        TStaticText& t = *Form.info[i];
        return t.Fonts->TextWidth(text, t.FontHeight, t.Bold);
    }
    // The right end of the widest hint info3 can show.
    int HintsEnd() {
        int widest = 0;
        for (int tag = 0; tag < 64; ++tag)
            if (TDIBSlider* s = Form.Slider(tag)) widest = std::max(widest, Width(3, s->Hint));
        return Form.info[3]->Left() + widest;
    }
};

TEST_F(EditorForm, Info4ShowsEachOfItsTextsWholeWithoutCoveringAnyHint) {
    StatusBar bar{*Form};
    TGrowingText& info4 = bar.Info(4);
    const int hintsEnd = bar.HintsEnd();
    using W = TPluginEditorWindow;
    std::vector<std::string> texts{W::kVersionLabel, W::kMaxMixPrompt};
    texts.insert(texts.end(), W::kFxNames.begin(), W::kFxNames.end());
    texts.insert(texts.end(), W::kLfoNames.begin(), W::kLfoNames.end());
    ASSERT_EQ(texts.size(), 16u);
    int widened = 0;
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        info4.SetCaption(text);
        const TRect t = info4.TextRect();
        EXPECT_LE(bar.Width(4, text), t.Width);
        EXPECT_EQ(t.Right(), 620) << "the right edge of the design field";
        EXPECT_GE(t.Left, 510 - (t.Width - 110));
        if (bar.Width(4, text) <= 110) {
            EXPECT_FALSE(info4.Grown());
            EXPECT_EQ(info4.Bounds(), (TRect{510, 4, 110, 13}));
        } else {
            EXPECT_GT(info4.FieldRect().Left, hintsEnd) << "the widened field leaves hints whole";
            ++widened;
        }
    }
    EXPECT_EQ(widened, 1) << "the prompt alone";
}

TEST_F(EditorForm, EveryHintAndSliderValueFitsItsField) {
    StatusBar bar{*Form};
    EXPECT_LE(bar.HintsEnd(), 206 + 290);
    for (int tag = 0; tag < 64; ++tag) {
        if (!Form->Slider(tag)) continue;
        SCOPED_TRACE(tag);
        EXPECT_LE(bar.Width(3, Form->Slider(tag)->Hint), Form->info[3]->Width());
        for (int p = 0; p <= 100; ++p) {
            const std::string text = TPluginEditorWindow::SliderValueText(tag, p);
            ASSERT_LE(bar.Width(2, text), Form->info[2]->Width()) << p << ": " << text;
        }
    }
}

TEST(TPluginEditorWindow, SyncedValueRateAndPeriodFitTheirFieldsAtEveryHostTempo) {
    // From 1 BPM (the slowest tempo hosts offer) up: the period at fractional tempos below about
    // 12 BPM needs a few pixels more than info1's field, which it takes from the gap before info2.
    TPluginEditorWindow form(std::make_unique<FakePlatform>());
    StatusBar bar{form};
    TGrowingText& info1 = bar.Info(1);
    const int info2Field = form.info[2]->Left() - 4;
    int widest = 0;
    std::vector<float> tempos;
    for (int c = 100; c <= 4000; ++c) tempos.push_back(float(c / 100.0));
    for (int t = 41; t <= 999; ++t) tempos.push_back(float(t));
    tempos.push_back(999.99f);
    for (float tempo : tempos)
        for (int n = 1; n <= 8; ++n) {
            form.HostTempo = tempo;
            form.SVtrg1MouseDown(*form.SVtrg[size_t(n - 1)], MouseButton::Left);
            const std::string& rate = form.info[0]->Caption();
            const std::string& period = form.info[1]->Caption();
            SCOPED_TRACE(::testing::Message() << tempo << " BPM, " << n << ": " << rate << ", "
                                              << period);
            ASSERT_LE(bar.Width(0, rate), form.info[0]->Width());
            ASSERT_LE(bar.Width(1, period), info1.TextRect().Width);
            ASSERT_LT(info1.Bounds().Right(), info2Field);
            widest = std::max(widest, bar.Width(1, period));
        }
    EXPECT_GT(widest, 60) << "the widening is needed somewhere in the range";
    form.HostTempo = 120.0f;
    form.SVtrg1MouseDown(*form.SVtrg[0], MouseButton::Left);
    EXPECT_FALSE(info1.Grown());
    EXPECT_EQ(info1.Bounds(), (TRect{68, 4, 60, 13}));
}

TEST_F(EditorForm, TheMaxMixPromptWidensInfo4AndLeavesTheMixHintUntouched) {
    TDIBSlider& p34 = *Form->Slider(34);
    Hover(p34);
    ASSERT_EQ(Info(3), p34.Hint);
    const int w = Form->ClientWidth(), h = Form->ClientHeight();
    auto paint = [&] {
        std::vector<uint32_t> px(size_t(w * h));
        Form->PaintArea({px.data(), w, h, w}, {0, 0, w, h});
        return px;
    };
    const auto before = paint();
    Platform->Held.insert(THeldKey::RControl);
    p34.SetPosition(p34.Position() == 40 ? 41 : 40);
    ASSERT_EQ(Info(4), TPluginEditorWindow::kMaxMixPrompt);
    auto& info4 = dynamic_cast<TGrowingText&>(*Form->info[4]);
    ASSERT_TRUE(info4.Grown());
    const auto during = paint();
    // the hint's whole box, up to the widened field, is as it was
    int bx = 0, by = 0;
    Form->InfoContainer->AbsoluteOrigin(bx, by);
    const TRect field = info4.FieldRect();
    for (int y = by + 4; y < by + 17; ++y)
        for (int x = bx + 206; x < bx + field.Left; ++x)
            ASSERT_EQ(during[size_t(y * w + x)], before[size_t(y * w + x)]) << x << "," << y;
    // and the prompt's first letter is inked left of info4's design field
    bool inked = false;
    const TRect text = info4.TextRect();
    for (int y = by + text.Top; y < by + text.Bottom(); ++y)
        for (int x = bx + text.Left; x < bx + text.Left + 4; ++x)
            inked = inked || during[size_t(y * w + x)] != before[size_t(y * w + x)];
    EXPECT_TRUE(inked);
    EXPECT_LT(text.Left, 510);
    // the next text that fits gives the field back
    Platform->Held.clear();
    Hover(*Form->FXtrg[0]);
    EXPECT_EQ(Info(4), "Synced delay");
    EXPECT_FALSE(info4.Grown());
    const auto after = paint();
    for (int y = by; y < std::min(by + 25, h); ++y)
        for (int x = bx + 206; x < bx + 510; ++x)
            ASSERT_EQ(after[size_t(y * w + x)], before[size_t(y * w + x)]) << x << "," << y;
}

TEST_F(EditorForm, StandardColoursComeBackThroughTheColourParameter) {
    struct Case { const char* item; uint32_t set, after; } cases[] = {
        {"Cream1", 15793151, 15793151}, {"Dollar1", 12639424, 12639424},
        {"Silver1", 12632256, 12632256}, {"heme1", 8421504, 8421504},
        {"White1", 16777215, 16777214},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        Host.ClearCalls();
        TMenuItem* item = Form->MenuItem(c.item);
        ASSERT_NE(item, nullptr);
        item->OnClick(*item);
        EXPECT_EQ(Form->WindowColor(), c.set);
        EXPECT_EQ(Plugin->getParameter(18), float(1.0 / double(c.set)));
        ASSERT_EQ(Automated().size(), 1u);
        EXPECT_EQ(Automated()[0].first, 18);
        Tick();
        EXPECT_EQ(Form->WindowColor(), c.after);
        EXPECT_EQ(Form->Form.Color, Argb(255, uint8_t(c.after & 0xFF), uint8_t((c.after >> 8) & 0xFF), uint8_t(c.after >> 16)));
    }
}

TEST_F(EditorForm, ColourParameterWithoutAColourKeepsTheWindowValid) {
    // zero: the silver default is stored
    Plugin->setParameter(18, 0.0f);
    Tick();
    EXPECT_EQ(Form->WindowColor(), 12632256u);
    EXPECT_EQ(Plugin->getParameter(18), float(1.0 / 12632256.0));
    // a reciprocal beyond the colour range: the window keeps its colour, the parameter stays
    Plugin->setParameter(18, 1e-9f);
    Tick();
    EXPECT_EQ(Form->WindowColor(), 12632256u);
    EXPECT_EQ(Plugin->getParameter(18), 1e-9f);
    Plugin->setParameter(18, 1.0f);
    Tick();
    EXPECT_EQ(Form->WindowColor(), 1u);
}

TEST_F(EditorForm, RandomColourTakesBlueFirstAndNeverStoresZero) {
    Platform->Draws = {10, 20, 30};
    Platform->Held = {THeldKey::LControl, THeldKey::LShift};
    Tick();
    EXPECT_EQ(Form->WindowColor(), uint32_t(10 * 65536 + 20 * 256 + 30));
    EXPECT_EQ(Platform->Sleeps, std::vector<int>{100});
    Platform->Held = {THeldKey::LControl};   // both keys are needed
    Tick();
    EXPECT_EQ(Platform->Sleeps.size(), 1u);
    Platform->Draws = {0, 0, 0};
    Form->Randomizecolor1Click();
    EXPECT_EQ(Form->WindowColor(), 1u);
    EXPECT_EQ(Plugin->getParameter(18), 1.0f);
}

TEST_F(EditorForm, ViewParameterSwitchesAtHalfExclusive) {
    struct Case { float view; int height; int sizeCalls; } cases[] = {
        {0.5f, 395, 0}, {0.75f, 130, 1}, {0.5f, 130, 0}, {0.25f, 394, 1}, {0.0f, 394, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.view);
        Host.ClearCalls();
        Plugin->setParameter(39, c.view);
        Tick();
        EXPECT_EQ(Form->ClientHeight(), c.height);
        EXPECT_EQ(Host.CountCalls(audioMasterSizeWindow), c.sizeCalls);
        EXPECT_EQ(Host.CountCalls(audioMasterUpdateDisplay), c.sizeCalls);
    }
    ASSERT_EQ(Platform->Sizes.size(), 2u);
    EXPECT_EQ(Platform->Sizes[0], std::make_pair(632, 130));
}

TEST_F(EditorForm, PerformerViewKeepsTheStatusBarAtTheBottomAndAboveThePanel) {
    Host.ClearCalls();
    Form->Performerview1Click();
    EXPECT_EQ(Plugin->getParameter(39), 1.0f);
    EXPECT_EQ(Form->ClientHeight(), 130);
    const auto calls = Host.Calls();
    ASSERT_EQ(Host.CountCalls(audioMasterSizeWindow), 1);
    for (const HostCall& c : calls)
        if (c.Opcode == audioMasterSizeWindow) {
            EXPECT_EQ(c.Index, 632);
            EXPECT_EQ(c.Value, 130);
        }
    EXPECT_EQ(Form->InfoContainer->Top(), 372 - 265);
    EXPECT_EQ(Form->Form.Children().back().get(), Form->InfoContainer);
    EXPECT_EQ(Form->Form.ControlAt(190, 115), Form->infos);
    Form->Performerview1Click();
    EXPECT_EQ(Form->ClientHeight(), 394);
    EXPECT_EQ(Form->InfoContainer->Top(), 371);
    EXPECT_EQ(Plugin->getParameter(39), 0.0f);
}

TEST_F(EditorForm, ResetParameterActsOnTheHoveredSliderOnly) {
    Form->Reset1Click();
    EXPECT_TRUE(Host.Calls().empty()) << "before any slider was crossed";
    Plugin->setParameter(47, 0.2f);
    Tick();
    Host.ClearCalls();
    Hover(*Form->Slider(47));
    EXPECT_EQ(Form->Hovered(), 47);
    EXPECT_EQ(Info(3), "Flanger feedback amount");
    Form->Reset1Click();
    EXPECT_EQ(Form->Slider(47)->Position(), 15);
    EXPECT_EQ(Plugin->getParameter(47), 0.85f);
    ASSERT_EQ(Automated().size(), 1u);
    EXPECT_EQ(Automated()[0], std::make_pair(47, 0.85f));
    Host.ClearCalls();
    Form->Reset1Click();
    EXPECT_TRUE(Host.Calls().empty()) << "already at its reset position";
}

TEST_F(EditorForm, SliderValueTextsFollowTheirOwnLabels) {
    struct Case { int tag, pos; const char* text; } cases[] = {
        {53, 0, "16"}, {53, 100, "1"}, {40, 25, "0.5"}, {40, 100, "-1"}, {40, 50, "0"},
        {30, 10, "4"},   // 4.5 goes to the even neighbour
        {33, 0, "7"},   {49, 0, "5025"}, {49, 37, "3175"}, {50, 100, "1"}, {55, 0, "16"},
        {57, 50, "4"},  {58, 0, "2010"}, {61, 0, "15"}, {62, 50, "35"}, {34, 37, "0.63"},
        {63, 100, "0"}, {20, 50, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        SCOPED_TRACE(c.pos);
        EXPECT_EQ(TPluginEditorWindow::SliderValueText(c.tag, c.pos), c.text);
    }
}

TEST_F(EditorForm, FloatValueTextsCarryNoBinaryRoundingNoise) {
    // 1 - 0.94 in doubles is 0.06000000000000005, which 15 digits showed as 0.0600000000000001
    struct Case { int tag, pos; const char* text; } cases[] = {
        {31, 94, "0.06"}, {34, 94, "0.06"}, {40, 46, "0.08"}, {40, 47, "0.06"},
        {40, 53, "-0.06"}, {40, 54, "-0.08"}, {60, 93, "0.07"}, {49, 94, "325"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        SCOPED_TRACE(c.pos);
        EXPECT_EQ(TPluginEditorWindow::SliderValueText(c.tag, c.pos), c.text);
    }
    for (int tag : {31, 34, 40, 49, 60})
        for (int p = 0; p <= 100; ++p)
            ASSERT_LE(TPluginEditorWindow::SliderValueText(tag, p).size(), 5u) << tag << " " << p;
}

TEST_F(EditorForm, MovingASliderSendsPlainThenAutomatedAndShowsItsValue) {
    Host.ClearCalls();
    Form->Slider(40)->SetPosition(25);
    EXPECT_EQ(Plugin->getParameter(40), 0.75f);
    ASSERT_EQ(Automated().size(), 1u);
    EXPECT_EQ(Automated()[0], std::make_pair(40, 0.75f));
    EXPECT_EQ(Info(2), "0.5");
    // the refresh moves sliders without sending anything back
    Plugin->setParameter(41, 0.3f);
    Host.ClearCalls();
    Tick();
    EXPECT_EQ(Form->Slider(41)->Position(), 70);
    EXPECT_TRUE(Host.Calls().empty());
    EXPECT_EQ(Info(2), "0.5");
}

TEST_F(EditorForm, TimerRefreshesControlsOnlyWhenParametersChanged) {
    ASSERT_NE(Form->Slider(45)->Position(), 63);
    Plugin->setParameter(45, 0.37f);
    Plugin->ParametersChanged = 0;
    Tick();
    EXPECT_NE(Form->Slider(45)->Position(), 63);
    Plugin->ParametersChanged = 1;
    Tick();
    EXPECT_EQ(Form->Slider(45)->Position(), 63);
    EXPECT_EQ(Plugin->ParametersChanged, 0);
    // and nothing before a period has elapsed
    Plugin->setParameter(45, 0.5f);
    Platform->Now += 10;
    Form->Idle();
    EXPECT_EQ(Form->Slider(45)->Position(), 63);
}

TEST_F(EditorForm, SyncedValueButtonsLightOnTheirStepAndDarkenOnlyAtZeroMix) {
    struct Case { float mix, sv; bool downBefore; bool downAfter; } cases[] = {
        {0.5f, 0.375f, false, true},   // its step
        {0.5f, 0.5f, false, false},    // another step
        {0.0f, 0.375f, false, false},  // no mix
        {0.5f, 0.5f, true, true},      // lit stays lit while mix is above 0
        {0.0f, 0.5f, true, false},     // mix back at exactly 0
        {1e-7f, 0.125f, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mix << " " << c.sv << " " << c.downBefore);
        TDIBGlyphButton& b = *Form->SVtrg[2];
        b.SetDown(c.downBefore);
        Form->ButtonFeedback(b, c.mix, c.sv, 0.375f);
        EXPECT_EQ(b.Down(), c.downAfter);
    }
}

TEST_F(EditorForm, SetAllMaxMixStoresPlainlyWithoutNotifyingTheHost) {
    TMenuItem* item = Form->MenuItem("N751");
    ASSERT_NE(item, nullptr);
    item->OnClick(*item);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Form->FxMaxMix[size_t(i)], 0.75f);
        EXPECT_EQ(Plugin->getParameter(20 + i), 0.75f);
    }
    EXPECT_TRUE(Automated().empty());
}

TEST_F(EditorForm, ContextMenuOpensOnARightClickAndRunsTheChosenItem) {
    TDIBSlider& s = *Form->Slider(59);
    Press(s, MouseButton::Right);
    Release(s, MouseButton::Right);
    ASSERT_TRUE(Form->Context.IsOpen());
    EXPECT_EQ(Form->Hovered(), 59);
    // Escape closes it; a second right click opens it again
    Form->KeyInput(Key::Escape);
    EXPECT_FALSE(Form->Context.IsOpen());
    Press(s, MouseButton::Right);
    Release(s, MouseButton::Right);
    ASSERT_TRUE(Form->Context.IsOpen());
    auto itemCentre = [&](size_t level, const std::string& caption, int& x, int& y) {
        const auto& lv = Form->Context.Levels()[level];
        for (size_t i = 0; i < lv.Menu->Items.size(); ++i)
            if (lv.Menu->Items[i]->Caption == caption) {
                x = lv.ItemRects[i].Left + lv.ItemRects[i].Width / 2;
                y = lv.ItemRects[i].Top + lv.ItemRects[i].Height / 2;
                return true;
            }
        return false;
    };
    int x = 0, y = 0;
    ASSERT_TRUE(itemCentre(0, "Set standard color", x, y));
    Form->MouseInput({MouseEvent::Kind::Move, x, y});
    ASSERT_EQ(Form->Context.Levels().size(), 2u) << "the submenu opens on hover";
    ASSERT_TRUE(itemCentre(1, "Dollar", x, y));
    Form->MouseInput({MouseEvent::Kind::Move, x, y});
    Form->MouseInput({MouseEvent::Kind::Down, x, y, MouseButton::Left});
    Form->MouseInput({MouseEvent::Kind::Up, x, y, MouseButton::Left});
    EXPECT_FALSE(Form->Context.IsOpen());
    EXPECT_EQ(Form->WindowColor(), 12639424u);
    // a press elsewhere closes it without choosing
    Press(s, MouseButton::Right);
    Release(s, MouseButton::Right);
    ASSERT_TRUE(Form->Context.IsOpen());
    Form->MouseInput({MouseEvent::Kind::Down, 5, 5, MouseButton::Left});
    EXPECT_FALSE(Form->Context.IsOpen());
    EXPECT_EQ(Form->WindowColor(), 12639424u);
}

TEST_F(EditorForm, AMenuInAWindowOfItsOwnLeavesTheFormsInputAndPaintingAlone) {
    Platform->OwnMenus = true;
    TDIBSlider& s = *Form->Slider(59);
    Press(s, MouseButton::Right);
    Release(s, MouseButton::Right);
    ASSERT_EQ(Platform->Taken, &Form->Context);
    ASSERT_TRUE(Form->Context.IsOpen());
    EXPECT_FALSE(Form->InlineMenuOpen());
    // the form's own input goes to its controls, not to the platform's menu
    Form->KeyInput(Key::Escape);
    EXPECT_TRUE(Form->Context.IsOpen());
    Form->MouseInput({MouseEvent::Kind::Down, 5, 5, MouseButton::Left});
    Form->MouseInput({MouseEvent::Kind::Up, 5, 5, MouseButton::Left});
    EXPECT_TRUE(Form->Context.IsOpen());
    // and the form paints none of it: its pixels are those of the form alone
    std::vector<uint32_t> with(size_t(Form->ClientWidth() * Form->ClientHeight()));
    PixelBuffer buf{with.data(), Form->ClientWidth(), Form->ClientHeight(), Form->ClientWidth()};
    const TRect all{0, 0, Form->ClientWidth(), Form->ClientHeight()};
    Form->PaintArea(buf, all);
    Form->Context.Close();
    std::vector<uint32_t> without(with.size());
    buf.px = without.data();
    Form->PaintArea(buf, all);
    EXPECT_EQ(with, without);
}

TEST_F(EditorForm, LogoClickSwapsThePanelForTheInformationPicture) {
    Press(*Form->LogoImg);
    Release(*Form->LogoImg);
    EXPECT_FALSE(Form->FrtContainer->Visible());
    EXPECT_TRUE(Form->BckContainer->Visible());
    EXPECT_TRUE(Form->InfoContainer->Visible());
    Hover(*Form->FullImg);
    EXPECT_EQ(Info(4), "QBFX F 1.148");
    Press(*Form->FullImg);
    Release(*Form->FullImg);
    EXPECT_TRUE(Form->FrtContainer->Visible());
    EXPECT_FALSE(Form->BckContainer->Visible());
}

TEST_F(EditorForm, HeldSelectorSlidersNameTheirChoiceWhileDragged) {
    TDIBSlider& p33 = *Form->Slider(33);
    Press(p33);
    p33.SetPosition(100 - 3 * 100 / 7);   // 3/7 of the way up: "Phaser"
    Hover(p33);
    EXPECT_EQ(Info(4), "Phaser");
    Release(p33);
    Hover(*Form->FXtrg[6]);
    EXPECT_EQ(Info(4), "Ringer");
    Hover(*Form->SVtrg[6]);
    EXPECT_EQ(Info(4), "Ringer") << "synced-value buttons change nothing";
    TDIBSlider& p30 = *Form->Slider(30);
    Press(p30);
    p30.SetPosition(0);
    Hover(p30);
    EXPECT_EQ(Info(4), "Sample & Hold");
    Release(p30);
}

TEST_F(EditorForm, LfoTracesAreRedWithBlackNeighboursAndSkipTheEnds) {
    for (size_t i = 0; i < Form->ScopeRowL.size(); ++i) {
        Form->ScopeRowL[i] = 10;
        Form->ScopeRowR[i] = 50;
    }
    Tick();
    constexpr uint32_t kRed = Argb(255, 255, 0, 0), kBlack = Argb(255, 0, 0, 0);
    for (int x : {1, 55, 110}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(Form->LFOMon->Pixel(x, 10), kRed);
        EXPECT_EQ(Form->LFOMon->Pixel(x, 9), kBlack);
        EXPECT_EQ(Form->LFOMon->Pixel(x, 11), kBlack);
        EXPECT_EQ(Form->LFOMon->Pixel(x, 50), kRed);
    }
    EXPECT_EQ(Form->LFOMon->Pixel(0, 10), 0u);
    // the next tick erases the old trace
    for (auto& r : Form->ScopeRowL) r = 30;
    Tick();
    EXPECT_EQ(Form->LFOMon->Pixel(55, 10), 0u);
    EXPECT_EQ(Form->LFOMon->Pixel(55, 30), kRed);
}

// What a platform shows: the parts the form marks changed, each painted alone over what was
// shown before; a new client size is painted whole, as the platforms do.
struct Screen {
    int W = 0, H = 0;
    std::vector<uint32_t> Px;
    std::vector<TRect> Parts;
    int64_t Sent = 0;
    void Show(TPluginEditorWindow& form) {
        form.TakeDamage(Parts);
        const TRect all{0, 0, form.ClientWidth(), form.ClientHeight()};
        if (all.Width != W || all.Height != H) {
            W = all.Width;
            H = all.Height;
            Px.assign(size_t(W) * size_t(H), 0u);
            Parts = {all};
        }
        for (const TRect& r : Parts) {
            const TRect c = r.Intersect(all);
            if (c.Empty()) continue;
            form.PaintArea({Px.data(), W, H, W}, c);
            Sent += int64_t(c.Width) * c.Height;
        }
    }
};

std::string FirstDifference(TPluginEditorWindow& form, const Screen& screen) {
    const int w = form.ClientWidth(), h = form.ClientHeight();
    std::vector<uint32_t> full(size_t(w) * size_t(h), 0u);
    form.PaintArea({full.data(), w, h, w}, {0, 0, w, h});
    if (screen.W != w || screen.H != h) return "size differs";
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (const size_t i = size_t(y) * size_t(w) + size_t(x); full[i] != screen.Px[i])
                return "first at " + std::to_string(x) + ", " + std::to_string(y);
    return {};
}

TEST_F(EditorForm, WhatIsShownPartByPartEqualsAWholeRepaintAfterEveryStep) {
    Screen screen;
    screen.Show(*Form);
    int step = 0;
    auto check = [&](const char* what) {
        Tick();
        screen.Show(*Form);
        ++step;
        EXPECT_EQ(FirstDifference(*Form, screen), "") << what << " (step " << step << ")";
    };
    // moving traces, also reaching past the monitor's edges
    for (int t = 0; t < 12; ++t) {
        for (size_t i = 0; i < Form->ScopeRowL.size(); ++i) {
            const double x = double(i);
            Form->ScopeRowL[i] = int(std::lrint(25.0 + 30.0 * std::sin(0.2 * (x + 7.0 * t))));
            Form->ScopeRowR[i] = int(std::lrint(60.0 + 35.0 * std::sin(0.13 * x - t)));
        }
        check("trace");
    }
    for (float v : {0.1f, 0.13f, 0.9f, 0.5f, 0.0f, 1.0f}) {
        Host.SetParameter(40, v);   // host automation
        Host.SetParameter(63, 1.0f - v);
        check("automated sliders");
    }
    Host.SetParameter(33, 5.0f / 7.0f);
    check("selection dot");
    Press(*Form->FXtrg[6]);
    check("effect button down");
    Release(*Form->FXtrg[6]);
    check("effect button up");
    Press(*Form->SVtrg[7]);
    check("synced value: growing status texts");
    Release(*Form->SVtrg[7]);
    check("synced value released");
    Hover(*Form->Slider(34));
    check("longest hint");
    Hover(*Form->FXtrg[1]);
    check("hot button");
    // a drag on a slider's pointer
    TDIBSlider& s = *Form->Slider(47);
    int x = 0, y = 0;
    s.AbsoluteOrigin(x, y);
    const int grab = y + s.PointerRect().Top + 3;
    Form->MouseInput({MouseEvent::Kind::Move, x + 10, grab});
    Form->MouseInput({MouseEvent::Kind::Down, x + 10, grab, MouseButton::Left});
    for (int dy : {5, 17, 40, -30, 90})
        Form->MouseInput({MouseEvent::Kind::Move, x + 10, grab + dy, MouseButton::Left});
    check("dragged slider");
    Form->MouseInput({MouseEvent::Kind::Up, x + 10, grab + 90, MouseButton::Left});
    Form->Cream1Click(0);
    check("colour");
    Press(*Form->Slider(52), MouseButton::Right);
    Release(*Form->Slider(52), MouseButton::Right);
    ASSERT_TRUE(Form->InlineMenuOpen());
    check("menu open inside the form");
    Form->KeyInput(Key::Down);
    check("menu item highlighted");
    Form->KeyInput(Key::Escape);
    check("menu closed");
    Press(*Form->LogoImg);
    Release(*Form->LogoImg);
    check("information picture");
    Press(*Form->FullImg);
    Release(*Form->FullImg);
    check("front panel back");
    Form->Performerview1Click();
    check("performer view");
    Host.SetParameter(39, 0.0f);
    check("full view from the host");
}

TEST_F(EditorForm, ATickMarksOnlyWhatChanged) {
    std::vector<TRect> parts;
    auto area = [&] {
        Form->TakeDamage(parts);
        int64_t a = 0;
        for (const TRect& r : parts) a += int64_t(r.Width) * r.Height;
        return a;
    };
    area();
    Tick();
    Tick();
    EXPECT_EQ(area(), 0) << "nothing changed: nothing to paint or send";
    // an automated slider: its pointer's old and new place, nothing else
    TDIBSlider& s = *Form->Slider(40);
    const TRect before = s.PointerRect();
    const int to = s.Position() > 50 ? s.Position() - 20 : s.Position() + 20;
    Host.SetParameter(40, 1.0f - float(to) / 100.0f);
    Tick();
    ASSERT_EQ(s.Position(), to);
    Form->TakeDamage(parts);
    int64_t a = 0;
    int sx = 0, sy = 0;
    s.AbsoluteOrigin(sx, sy);
    const TRect slider{sx, sy, s.Width(), s.Height()};
    for (const TRect& r : parts) {
        EXPECT_EQ(r.Intersect(slider), r) << "outside the slider";
        a += int64_t(r.Width) * r.Height;
    }
    EXPECT_GT(a, 0);
    EXPECT_LE(a, int64_t(before.Width) * (before.Height + s.PointerRect().Height));
    // one trace column moved: within that column of the monitor only
    Form->ScopeRowL[40] += 20;
    Tick();
    Form->TakeDamage(parts);
    int mx = 0, my = 0;
    Form->LFOMon->AbsoluteOrigin(mx, my);
    ASSERT_FALSE(parts.empty());
    for (const TRect& r : parts) {
        EXPECT_EQ(r.Left, mx + 40);
        EXPECT_EQ(r.Width, 1);
        EXPECT_LE(r.Height, 3 + 20);
    }
}

TEST(TPluginEditorWindow, DetachedFormSendsNothingAndItsTimerDoesNothing) {
    auto p = std::make_unique<FakePlatform>();
    FakePlatform* platform = p.get();
    TPluginEditorWindow form(std::move(p));
    EXPECT_EQ(form.Slider(40)->Position(), 99);
    EXPECT_EQ(form.Slider(41)->Position(), 100);
    EXPECT_FALSE(form.BckContainer->Visible());
    EXPECT_EQ(form.WindowColor(), 8421504u);
    form.Slider(40)->SetPosition(10);
    platform->Now += 1000;
    form.Idle();
    EXPECT_EQ(form.Slider(40)->Position(), 10);
    EXPECT_EQ(form.SelDotImg->Left(), 108);
}

}  // namespace
