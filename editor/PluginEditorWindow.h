#pragma once
// The editor form: the skinned panel of the effect, a view and remote control of its parameters.
// Window thread only. It owns no windowing code: a TFormPlatform gives it key states, time,
// sleep and randomness, and shows what it paints; the platform feeds it plain pointer and key
// events. Creation allocates; the timer ticks allocate only for status texts.
#include "editor/widgets/Control.h"
#include "editor/widgets/DIBGlyphButton.h"
#include "editor/widgets/DIBImageList.h"
#include "editor/widgets/DIBSlider.h"
#include "editor/widgets/DIBTimer.h"
#include "editor/widgets/PopupMenu.h"
#include "editor/widgets/StdControls.h"
#include "editor/widgets/Text.h"
#include "plugin/EditorExchange.h"
#include "plugin/Parameters.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TPluginEditorWindow;

enum class THeldKey { LControl, RControl, LShift };

// What the form needs from the windowing system.
class TFormPlatform {
public:
    virtual ~TFormPlatform() = default;
    virtual bool KeyHeld(THeldKey key) = 0;
    virtual int64_t NowMs() = 0;
    virtual void Sleep(int ms) = 0;
    virtual int Random(int range) = 0;   // uniform in 0 .. range - 1
    // The client area changed size (the view switched).
    virtual void SizeChanged(int width, int height) = 0;
    // Delivers the window's pending events to the form, without blocking.
    virtual void PumpEvents(TPluginEditorWindow&) {}
    // Shows what changed since the last call (form.TakeDamage, form.PaintArea for each part).
    virtual void Present(TPluginEditorWindow&) {}
    // Opens `menu` at client point x, y in a window of its own, so that no edge of the editor
    // clips it, and runs it until it closes: the platform routes its input, paints it and calls
    // the chosen item's OnClick. False leaves the menu to the form, drawn inside its own area.
    virtual bool OpenMenu(TPluginEditorWindow&, TPopupMenu&, int /*x*/, int /*y*/) { return false; }
};

class TPluginEditorWindow final : public TPluginFormBase {
public:
    explicit TPluginEditorWindow(std::unique_ptr<TFormPlatform> platform);
    ~TPluginEditorWindow() override;

    static constexpr int kDesignWidth = 632, kDesignHeight = 395, kFullHeight = 394,
                         kPerformerHeight = 130;
    static constexpr int kTimerInterval = 60;
    static constexpr uint32_t kSilver = 12632256, kGray = 8421504;
    static constexpr const char* kVersionLabel = "QBFX F 1.148";
    static constexpr const char* kMaxMixPrompt = "Define max mix level for this effect";
    static constexpr const auto& kFxNames = kEffectNames;
    static constexpr const auto& kLfoNames = kLfoWaveNames;

    // TEditorForm
    int32_t ClientWidth() const override { return Form.Width(); }
    int32_t ClientHeight() const override { return Form.Height(); }
    void Attach(TVstTemplate* effect) override;
    void Idle() override;

    // Input from the platform, in client coordinates.
    void MouseInput(const MouseEvent& ev);
    void KeyInput(Key key);
    void MouseLeftWindow();
    // What to repaint since the last call, as rectangles to paint and send one by one, and the
    // painting of the form plus an open menu.
    void TakeDamage(std::vector<TRect>& out) { Form.TakeDamage(out); }
    void PaintArea(PixelBuffer buffer, const TRect& area);
    TCursor CursorAt(int x, int y);
    // The context menu is open inside the form's own area (the platform did not take it).
    bool InlineMenuOpen() const { return InlineMenu_ && InlineMenu_->IsOpen(); }

    // The components, named as designed; all owned by the form.
    TDIBContainer Form;
    TDIBContainer* BckContainer = nullptr;
    TDIBContainer* InfoContainer = nullptr;
    TDIBContainer* FrtContainer = nullptr;
    TImage* FullImg = nullptr;
    TImage* infos = nullptr;
    TImage* FrontImg = nullptr;
    TImage* LogoImg = nullptr;
    TImage* SelDotImg = nullptr;
    std::array<TStaticText*, 5> info{};   // info1 and info4 are TGrowingText
    std::array<TDIBGlyphButton*, 8> FXtrg{};
    std::array<TDIBGlyphButton*, 8> SVtrg{};
    TPaintBox* LFOMon = nullptr;
    TDIBImageList DIBImageList1;
    TPopupMenu Context;
    TDIBTimer DIBTimer1;
    // Slider `p<tag>` (tags 30..35 and 40..63), or null.
    TDIBSlider* Slider(int tag) const;
    TMenuItem* MenuItem(const std::string& name);

    // Handlers, as wired to the events.
    void UpdaterTimer();
    void SliderFeedback(int index, TDIBSlider& slider);
    void ButtonFeedback(TDIBGlyphButton& button, float mix, float current, float step);
    void p40Change(TControl& sender);
    void p40MouseMove(TControl& sender);
    void p30MouseDown() { LfoWaveHeld = true; }
    void p30MouseUp() { LfoWaveHeld = false; }
    void p33MouseDown() { FxSelectorHeld = true; }
    void p33MouseUp() { FxSelectorHeld = false; }
    void FXtrg1MouseDown(TControl& sender, MouseButton button);
    void FXtrg1MouseUp(TControl& sender);
    void SVtrg1MouseDown(TControl& sender, MouseButton button);
    void SVtrg1MouseUp(TControl& sender, MouseButton button);
    void SelDotMove(int i);
    void SetView();
    void Performerview1Click();
    void SetColor(uint32_t colour);
    void Cream1Click(int tag);
    void DoFunColorMode();
    void Randomizecolor1Click() { DoFunColorMode(); }
    void Reset1Click();
    void N01Click(int tag);
    void Image1Click();
    void LogoImgMouseMove() { info[4]->SetCaption(kVersionLabel); }

    // The window colour as red + 256 green + 65536 blue.
    uint32_t WindowColor() const { return WindowColor_; }
    void SetWindowColor(uint32_t colour);

    // Private state, readable for the tests.
    TVstTemplate* AttachedPlugin() const { return Plugin; }
    bool IsUpdating() const { return Updating; }
    bool InPerformerView() const { return PerformerView; }
    int Hovered() const { return HoveredTag; }
    int SelectedFx() const { return CurrentFx; }

    // The status text of a slider at a position; empty for tags that are not sliders.
    static std::string SliderValueText(int tag, int position);
    // The reset position of slider `p<tag>`, or -1.
    static int ResetPosition(int tag);
    // The slider position that shows a parameter value.
    static int PositionOf(float value);
    // Text of a float: general format, up to 15 significant digits, full stop as separator.
    static std::string FloatText(double v);

private:
    void Build();
    void BuildMenu();
    TDIBSlider& AddSlider(int tag, int left, int top);
    TDIBGlyphButton& AddTrigger(int tag, int left, int top);
    void DrawLfoTraces();
    bool Held(THeldKey key) { return Platform->KeyHeld(key); }

    // Declared after Context, so it goes first: a platform showing Context in a window of its
    // own hands it back on the way.
    std::unique_ptr<TFormPlatform> Platform;
    TPopupMenu* InlineMenu_ = nullptr;   // the menu the form draws and routes input to
    TFontSet Fonts;
    // The status texts' face, bold condensed: in the regular bold face the widest hint and the
    // max-mix prompt, which show together, need more than the 414 pixels info3 and info4 span.
    TFontSet StatusFonts;
    std::array<TDIBSlider*, kNumParams> Sliders{};

    TVstTemplate* Plugin = nullptr;
    bool Updating = false;
    bool LfoWaveHeld = false;
    bool FxSelectorHeld = false;
    bool PerformerView = false;
    int HoveredTag = 0;
    int CurrentFx = 0;
    uint32_t WindowColor_ = kGray;
};

// The factory the framework calls on effEditOpen: a child of the host's window (an X11 window id
// or an HWND), or null.
TEditorForm* CreatePluginEditorWindow(void* parentWindow);
