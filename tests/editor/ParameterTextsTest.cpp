// The editor's side of the parameter description: the hint, reset position and value texts of
// every slider. The digest was recorded from the hand-written tables the description replaced.
#include "editor/PluginEditorWindow.h"
#include "tests/support/PluginFixture.h"
#include "tests/support/TextDigest.h"

#include <gtest/gtest.h>

namespace {

struct StillPlatform : TFormPlatform {
    bool KeyHeld(THeldKey) override { return false; }
    int64_t NowMs() override { return 0; }
    void Sleep(int) override {}
    int Random(int) override { return 0; }
    void SizeChanged(int, int) override {}
};

}  // namespace

TEST(ParameterTexts, EverySliderHintResetAndValueTextIsAsBefore) {
    TPluginEditorWindow form(std::make_unique<StillPlatform>());
    std::string all;
    for (int tag = -1; tag <= 64; ++tag) {
        const TDIBSlider* s = form.Slider(tag);
        all += std::to_string(tag) + ' ' + (s ? s->Hint : "-") + ' ' +
               std::to_string(TPluginEditorWindow::ResetPosition(tag));
        for (int p = 0; p <= 100; ++p) all += '|' + TPluginEditorWindow::SliderValueText(tag, p);
        all += '\n';
    }
    EXPECT_EQ(TextDigest(all), 4874538820792138339u) << all;
}

TEST(ParameterTexts, ResetSendsEachSlidersDescribedResetValueExactly) {
    TestHost host{&InProcessPlugin};
    ASSERT_NE(host.Open(), nullptr);
    auto* plugin = static_cast<APlugin*>(host.Effect()->object);
    TPluginEditorWindow form(std::make_unique<StillPlatform>());
    form.Attach(plugin);
    int sliders = 0;
    for (int32_t tag = 0; tag < kNumParams; ++tag) {
        TDIBSlider* s = form.Slider(tag);
        if (!s) continue;
        SCOPED_TRACE(tag);
        ++sliders;
        // from the far end of the track, so the reset moves the slider and sends its value
        s->SetPosition(TPluginEditorWindow::ResetPosition(tag) < 50 ? 100 : 0);
        form.p40MouseMove(*s);
        form.Reset1Click();
        EXPECT_EQ(plugin->getParameter(tag), kParamTable[size_t(tag)].Reset);
    }
    EXPECT_EQ(sliders, 30);
}
