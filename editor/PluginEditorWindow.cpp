#include "editor/PluginEditorWindow.h"

#include "editor/resources/Resources.h"
#include "editor/widgets/Png.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr int kIndexSliderBack = 0, kIndexSliderPointer = 1, kIndexTrigger = 2;
constexpr int kSliderWidth = 35, kSliderHeight = 99, kButtonWidth = 35, kButtonHeight = 29;
constexpr uint32_t kMaxColour = 16777215;

// nearest(x): ties to the even neighbour, as every integer the editor derives
int64_t Nearest(double x) { return std::llrint(x); }

uint32_t ColourToArgb(uint32_t c) {
    return Argb(255, uint8_t(c & 0xFF), uint8_t((c >> 8) & 0xFF), uint8_t((c >> 16) & 0xFF));
}

std::string NumberedName(const char* role, int n) {
    std::string s(role);
    s += std::to_string(n);
    return s;
}

std::shared_ptr<const TBitmap> Picture(const char* name) {
    auto bmp = std::make_shared<TBitmap>();
    DecodePng(Resource(name), *bmp);
    return bmp;
}

struct TSliderDesign {
    int Tag, Left, Top;
};

// in creation order: later ones lie above earlier ones
constexpr TSliderDesign kPanelSliders1[] = {
    {kDelFbck, 8, 123},  {kDelDmpLow, 47, 123}, {kDelDmpHigh, 86, 123}, {kGliAmp, 132, 123},
    {kGliCtrl1, 172, 123}, {kGliCtrl2, 211, 123}, {kFlaDel, 257, 123}, {kFlaFbck, 297, 123},
    {kFlaDmp, 336, 123}, {kPhaFrq, 383, 123},   {kPhaDpt, 421, 123},   {kPhaFbck, 460, 123},
    {kDecSr, 8, 256},    {kDecBd, 47, 256},     {kDecSat, 86, 255},    {kSliSp, 132, 256},
    {kSliQtz, 172, 256}, {kSliVar, 211, 256},
};
constexpr TSliderDesign kOutputLfoSliders[] = {
    {kOutSel, 510, 256}, {kOutMix, 549, 256}, {kOutAmp, 588, 256},
    {kLfoWav, 510, 122}, {kLfoAmp, 549, 122}, {kLfoPha, 588, 123},
};
constexpr TSliderDesign kPanelSliders2[] = {
    {kRngTon, 257, 256}, {kRngFbck, 297, 256}, {kRngDmp, 336, 256},
    {kChdSel, 383, 256}, {kChdRoot, 421, 256}, {kChdFbck, 460, 255},
};

constexpr int kTriggerLefts[8] = {10, 50, 90, 130, 170, 210, 250, 290};

// The status bar: the texts in their container, and their fields in the status bar picture,
// which lies at kInfosX, kInfosY: each field reaches 4 pixels left and 3 right of its text,
// 20 high from the picture's top, with rounded ends of kStatusFieldCap pixels.
constexpr int kInfoLefts[5] = {7, 68, 145, 206, 510}, kInfoWidths[5] = {50, 60, 38, 290, 110};
constexpr int kInfosX = 3, kInfosY = 1, kStatusFieldCap = 6;
constexpr TRect StatusFieldFrame(size_t i) {
    return {kInfoLefts[i] - 4, kInfosY, kInfoWidths[i] + 7, 20};
}

constexpr uint32_t kStandardColours[5] = {15793151, 12639424, 12632256, 8421504, 16777215};

}  // namespace

TPluginEditorWindow::TPluginEditorWindow(std::unique_ptr<TFormPlatform> platform)
    : Context(&Fonts),
      DIBTimer1([this] { return Platform->NowMs(); }),
      Platform(std::move(platform)),
      Fonts(Resource("DejaVuSans.ttf"), Resource("DejaVuSans-Bold.ttf")),
      StatusFonts({}, Resource("DejaVuSansCondensed-Bold.ttf")) {
    Build();
    BuildMenu();
    DIBTimer1.SetInterval(kTimerInterval);
    DIBTimer1.SetOnTimer([this](TDIBTimer&) { UpdaterTimer(); });
    DIBTimer1.SetEnabled(true);
}

TPluginEditorWindow::~TPluginEditorWindow() = default;

TDIBSlider& TPluginEditorWindow::AddSlider(int tag, int left, int top) {
    auto& s = FrtContainer->Add<TDIBSlider>(left, top, kSliderWidth, kSliderHeight);
    s.Name = NumberedName("p", tag);
    s.Tag = tag;
    s.Hint = kParamTable[size_t(tag)].Hint;
    s.Cursor = TCursor::Cross;
    s.PopupMenu = &Context;
    s.SetImages(&DIBImageList1, kIndexSliderBack, kIndexSliderPointer);
    s.SetMin(0);
    s.SetMax(100);
    s.PageSize = 1;
    s.SmallChange = tag == kGliAmp ? 10 : 1;
    s.LargeChange = tag == kDecSr ? 5 : 1;
    // design position, set before the handlers so it raises nothing
    s.SetPosition(tag == kDelFbck ? 99 : 100);
    s.OnChange = [this](TControl& c) { p40Change(c); };
    s.OnMouseMove = [this](TControl& c, int, int) { p40MouseMove(c); };
    if (tag == kLfoWav) {
        s.OnMouseDown = [this](TControl&, MouseButton, int, int) { p30MouseDown(); };
        s.OnMouseUp = [this](TControl&, MouseButton, int, int) { p30MouseUp(); };
    } else if (tag == kOutSel) {
        s.OnMouseDown = [this](TControl&, MouseButton, int, int) { p33MouseDown(); };
        s.OnMouseUp = [this](TControl&, MouseButton, int, int) { p33MouseUp(); };
    }
    Sliders[size_t(tag)] = &s;
    return s;
}

TDIBGlyphButton& TPluginEditorWindow::AddTrigger(int tag, int left, int top) {
    auto& b = FrtContainer->Add<TDIBGlyphButton>(left, top, kButtonWidth, kButtonHeight);
    b.Tag = tag;
    b.SetGlyph(&DIBImageList1, kIndexTrigger);
    b.SetNumGlyphs(2);
    b.ToggleDown = false;
    b.OnMouseMove = [this](TControl& c, int, int) { p40MouseMove(c); };
    if (tag < kTrgFx1 + 8) {
        b.Name = NumberedName("FXtrg", tag - kTrgFx1 + 1);
        b.OnMouseDown = [this](TControl& c, MouseButton m, int, int) { FXtrg1MouseDown(c, m); };
        b.OnMouseUp = [this](TControl& c, MouseButton, int, int) { FXtrg1MouseUp(c); };
        FXtrg[size_t(tag - kTrgFx1)] = &b;
    } else {
        b.Name = NumberedName("SVtrg", tag - kTrgSv1 + 1);
        b.OnMouseDown = [this](TControl& c, MouseButton m, int, int) { SVtrg1MouseDown(c, m); };
        b.OnMouseUp = [this](TControl& c, MouseButton m, int, int) { SVtrg1MouseUp(c, m); };
        SVtrg[size_t(tag - kTrgSv1)] = &b;
    }
    return b;
}

void TPluginEditorWindow::Build() {
    DIBImageList1.AddPng(Resource("slider_back.png"));
    DIBImageList1.AddPng(Resource("slider_pointer.png"));
    DIBImageList1.AddPng(Resource("trigger.png"));

    Form.Name = "PluginEditorWindow";
    Form.ParentColor = false;
    Form.Color = ColourToArgb(kGray);
    Form.PopupMenu = &Context;
    Form.SetBounds(0, 0, kDesignWidth, kDesignHeight);

    BckContainer = &Form.Add<TDIBContainer>(0, 0, 636, 371);
    BckContainer->Name = "BckContainer";
    FullImg = &BckContainer->Add<TImage>(32, 3, 604, 335);
    FullImg->Name = "FullImg";
    FullImg->SetPicture(Picture("full.png"));
    FullImg->Cursor = TCursor::Help;
    FullImg->OnClick = [this](TControl&) { Image1Click(); };
    FullImg->OnMouseMove = [this](TControl&, int, int) { LogoImgMouseMove(); };
    BckContainer->Hide();

    InfoContainer = &Form.Add<TDIBContainer>(0, 372, 631, 25);
    InfoContainer->Name = "InfoContainer";
    InfoContainer->Anchors = akLeft | akBottom;
    const auto statusBar = Picture("infos.png");
    infos = &InfoContainer->Add<TImage>(kInfosX, kInfosY, 630, 22);
    infos->Name = "infos";
    infos->SetPicture(statusBar);
    infos->Anchors = akLeft | akRight | akBottom;
    for (size_t i = 0; i < info.size(); ++i) {
        const int left = kInfoLefts[i], width = kInfoWidths[i];
        // info1 and info4 can be handed texts wider than their fields (a period at a very slow
        // host tempo; the max-mix prompt): they widen on a copy of their own field instead of
        // cutting the text, info1 only into the gap before info2's field, info4 to the left
        // over the end of info3's field, which the hints never reach.
        TStaticText* t = nullptr;
        if (i == 1 || i == 4) {
            auto& g = InfoContainer->Add<TGrowingText>(left, 4, width, 13, &StatusFonts);
            const TRect frame = StatusFieldFrame(i);
            const TRect source{frame.Left - kInfosX, frame.Top - kInfosY, frame.Width,
                               frame.Height};
            if (i == 1)
                g.SetField(statusBar, source, frame, kStatusFieldCap, TGrowingText::TSide::Right,
                           StatusFieldFrame(2).Left - 1);
            else
                g.SetField(statusBar, source, frame, kStatusFieldCap, TGrowingText::TSide::Left,
                           StatusFieldFrame(3).Left);
            t = &g;
        } else {
            t = &InfoContainer->Add<TStaticText>(left, 4, width, 13, &StatusFonts);
        }
        t->Name = NumberedName("info", int(i));
        t->FontHeight = 9;
        t->Bold = true;
        t->FontColor = Argb(255, 0, 0, 0);
        t->Anchors = akLeft | akBottom;
        info[i] = t;
    }

    FrtContainer = &Form.Add<TDIBContainer>(0, 0, 632, 372);
    FrtContainer->Name = "FrtContainer";
    FrtContainer->Align = TAlign::Top;
    FrontImg = &FrtContainer->Add<TImage>(2, 3, 632, 372);
    FrontImg->Name = "FrontImg";
    FrontImg->SetPicture(Picture("front.png"));
    FrontImg->PopupMenu = &Context;
    FrontImg->OnDblClick = [this](TControl&) { Performerview1Click(); };
    for (int k = 0; k < 6; ++k) AddTrigger(kTrgFx1 + k, kTriggerLefts[k], 20);
    for (const auto& d : kPanelSliders1) AddSlider(d.Tag, d.Left, d.Top);
    for (int n = 0; n < 8; ++n) AddTrigger(kTrgSv1 + n, kTriggerLefts[n], 72);
    for (const auto& d : kOutputLfoSliders) AddSlider(d.Tag, d.Left, d.Top);
    LogoImg = &FrtContainer->Add<TImage>(471, 7, 153, 94);
    LogoImg->Name = "LogoImg";
    LogoImg->Cursor = TCursor::Help;
    LogoImg->OnClick = [this](TControl&) { Image1Click(); };
    LogoImg->OnMouseMove = [this](TControl&, int, int) { LogoImgMouseMove(); };
    SelDotImg = &FrtContainer->Add<TImage>(108, 243, 12, 13);
    SelDotImg->Name = "SelDotImg";
    SelDotImg->SetPicture(Picture("seldot.png"));
    for (const auto& d : kPanelSliders2) AddSlider(d.Tag, d.Left, d.Top);
    AddTrigger(kTrgFx1 + 6, kTriggerLefts[6], 20);
    AddTrigger(kTrgFx1 + 7, kTriggerLefts[7], 20);
    LFOMon = &FrtContainer->Add<TPaintBox>(344, 9, 111, 90);
    LFOMon->Name = "LFOMon";
    Form.Realign();
}

void TPluginEditorWindow::BuildMenu() {
    TMenuItem& root = Context.Items;
    root.Add("Reset parameter", 0, "Reset1").OnClick = [this](TMenuItem&) { Reset1Click(); };
    root.AddSeparator("N4");
    TMenuItem& colours = root.Add("Set standard color", 0, "Setstandardcolor1");
    const char* colourNames[5][2] = {{"Cream", "Cream1"}, {"Dollar", "Dollar1"},
                                     {"Silver", "Silver1"}, {"Gray", "heme1"},
                                     {"White", "White1"}};
    for (int i = 0; i < 5; ++i)
        colours.Add(colourNames[i][0], i, colourNames[i][1]).OnClick =
            [this](TMenuItem& m) { Cream1Click(m.Tag); };
    root.Add("Randomize color", 0, "Randomizecolor1").OnClick =
        [this](TMenuItem&) { Randomizecolor1Click(); };
    root.Add("Performer view", 0, "Performerview1").OnClick =
        [this](TMenuItem&) { Performerview1Click(); };
    root.AddSeparator("N1");
    TMenuItem& maxMix = root.Add("Set all max mix to", 0, "Setallmaxmixto1");
    const char* mixNames[5][2] = {
        {"0", "N01"}, {"25", "N251"}, {"50", "N501"}, {"75", "N751"}, {"100", "N1001"}};
    for (int i = 0; i < 5; ++i)
        maxMix.Add(mixNames[i][0], i, mixNames[i][1]).OnClick =
            [this](TMenuItem& m) { N01Click(m.Tag); };
}

TDIBSlider* TPluginEditorWindow::Slider(int tag) const {
    return tag >= 0 && tag < int(Sliders.size()) ? Sliders[size_t(tag)] : nullptr;
}

TMenuItem* TPluginEditorWindow::MenuItem(const std::string& name) {
    TMenuItem* found = nullptr;
    auto walk = [&](auto& self, TMenuItem& m) -> void {
        for (auto& it : m.Items) {
            if (it->Name == name) found = it.get();
            self(self, *it);
        }
    };
    walk(walk, Context.Items);
    return found;
}

// ---------------------------------------------------------------------------------------------
// Framework side

void TPluginEditorWindow::Attach(TVstTemplate* effect) {
    Plugin = effect;
    if (Plugin) Plugin->ParametersChanged = 1;
    Updating = false;
    info[4]->SetCaption(kVersionLabel);
}

void TPluginEditorWindow::Idle() {
    Platform->PumpEvents(*this);
    DIBTimer1.Poll(Platform->NowMs());
    Platform->Present(*this);
}

// ---------------------------------------------------------------------------------------------
// Input from the platform

void TPluginEditorWindow::MouseInput(const MouseEvent& ev) {
    if (InlineMenuOpen()) {
        // the open menu takes every pointer event; a press outside it only closes it
        TPopupMenu& menu = *InlineMenu_;
        const TRect before = menu.Bounds();
        switch (ev.kind) {
        case MouseEvent::Kind::Move: menu.MouseMove(ev.x, ev.y); break;
        case MouseEvent::Kind::Down:
        case MouseEvent::Kind::DoubleClick: menu.MouseDown(ev.button, ev.x, ev.y); break;
        case MouseEvent::Kind::Up: menu.MouseUp(ev.button, ev.x, ev.y); break;
        }
        Form.InvalidateRect(before.Union(menu.Bounds()));
        return;
    }
    TControl* under = Form.Capture() ? Form.Capture() : Form.ControlAt(ev.x, ev.y);
    Form.DispatchMouse(ev);
    if (ev.kind != MouseEvent::Kind::Up || ev.button != MouseButton::Right) return;
    // the context menu of the control, or of the nearest parent that has one
    for (TControl* c = under; c; c = c->Parent()) {
        if (!c->PopupMenu) continue;
        InlineMenu_ = nullptr;
        if (Platform->OpenMenu(*this, *c->PopupMenu, ev.x, ev.y)) break;
        InlineMenu_ = c->PopupMenu;
        InlineMenu_->Popup(ev.x, ev.y, {0, 0, ClientWidth(), ClientHeight()});
        Form.InvalidateRect(InlineMenu_->Bounds());
        break;
    }
}

void TPluginEditorWindow::KeyInput(Key key) {
    if (InlineMenuOpen()) {
        TPopupMenu& menu = *InlineMenu_;
        const TRect before = menu.Bounds();
        menu.KeyDown(key);
        Form.InvalidateRect(before.Union(menu.Bounds()));
        return;
    }
    Form.DispatchKey(key);
}

void TPluginEditorWindow::MouseLeftWindow() { Form.MouseLeftWindow(); }

void TPluginEditorWindow::PaintArea(PixelBuffer buffer, const TRect& area) {
    Form.PaintArea(buffer, area);
    if (!InlineMenuOpen()) return;
    TCanvas c(buffer);
    c.Clip = c.Clip.Intersect(area);
    if (!c.Clip.Empty()) InlineMenu_->Paint(c);
}

TCursor TPluginEditorWindow::CursorAt(int x, int y) {
    if (InlineMenuOpen()) return TCursor::Default;
    const TControl* c = Form.Capture() ? Form.Capture() : Form.ControlAt(x, y);
    return c ? c->Cursor : TCursor::Default;
}

// ---------------------------------------------------------------------------------------------
// The refresh from the plug-in

void TPluginEditorWindow::UpdaterTimer() {
    if (!Plugin) return;
    if (Held(THeldKey::LControl) && Held(THeldKey::LShift)) DoFunColorMode();
    if (Plugin->getParameter(kColor) == 0.0f)
        Plugin->setParameter(kColor, float(1.0 / double(kSilver)));
    SelDotMove(int(Nearest(double(Plugin->getParameter(kOutSel)) * 7.0)));
    DrawLfoTraces();
    if (!Plugin->ParametersChanged) return;

    Updating = true;
    const float mix = Plugin->getParameter(kOutMix), sv = Plugin->getParameter(kSyncedValue);
    for (size_t n = 1; n <= 8; ++n) ButtonFeedback(*SVtrg[n - 1], mix, sv, float(n) / 8.0f);
    for (int i = kDelFbck; i <= kChdFbck; ++i) SliderFeedback(i, *Sliders[size_t(i)]);
    for (int i = kLfoWav; i <= kOutSel; ++i) SliderFeedback(i, *Sliders[size_t(i)]);
    // while the max mix is being defined, p34 stays where the user holds it
    if (!Held(THeldKey::RControl)) SliderFeedback(kOutMix, *Sliders[kOutMix]);
    SliderFeedback(kOutAmp, *Sliders[kOutAmp]);
    for (size_t i = 0; i < FxMaxMix.size(); ++i) {
        const float m = Plugin->getParameter(kFx1MaxMix + int32_t(i));
        if (m != FxMaxMix[i]) FxMaxMix[i] = m;
    }
    const float view = Plugin->getParameter(kView);
    if (view > 0.5f && !PerformerView) {
        PerformerView = true;
        SetView();
    } else if (view < 0.5f && PerformerView) {
        PerformerView = false;
        SetView();
    }
    // A reciprocal outside the colour range (or not a number) has no colour: keep the current one.
    const double reciprocal = 1.0 / double(Plugin->getParameter(kColor));
    if (std::isfinite(reciprocal) && reciprocal >= 0.0 && reciprocal <= kMaxColour + 0.5) {
        const auto colour = uint32_t(std::min<int64_t>(Nearest(reciprocal), kMaxColour));
        if (colour != WindowColor_) SetWindowColor(colour);
    }
    Updating = false;
    Plugin->ParametersChanged = 0;
}

void TPluginEditorWindow::DrawLfoTraces() {
    constexpr uint32_t kRed = Argb(255, 255, 0, 0), kBlack = Argb(255, 0, 0, 0);
    // one redraw: only the columns that come out different are repainted and sent
    LFOMon->BeginRedraw();
    LFOMon->Repaint();
    for (const auto* rows : {&ScopeRowL, &ScopeRowR})
        for (size_t x = 1; x <= 110; ++x) {
            const int y = (*rows)[x];
            LFOMon->SetPixel(int(x), y, kRed);
            LFOMon->SetPixel(int(x), y + 1, kBlack);
            LFOMon->SetPixel(int(x), y - 1, kBlack);
        }
    LFOMon->EndRedraw();
}

void TPluginEditorWindow::SliderFeedback(int index, TDIBSlider& slider) {
    const int p = PositionOf(Plugin->getParameter(index));
    if (p != slider.Position()) slider.SetPosition(p);
}

void TPluginEditorWindow::ButtonFeedback(TDIBGlyphButton& button, float mix, float current,
                                         float step) {
    if (mix > 0.0f && !button.Down() && current == step) button.SetDown(true);
    else if (mix == 0.0f && button.Down()) button.SetDown(false);
}

// ---------------------------------------------------------------------------------------------
// Control handlers

void TPluginEditorWindow::p40Change(TControl& sender) {
    if (Updating) return;
    auto* slider = dynamic_cast<TDIBSlider*>(&sender);
    if (!slider) return;
    const int tag = slider->Tag, pos = slider->Position();
    const float v = float(1.0 - pos / 100.0);
    if (tag == kOutMix && Held(THeldKey::RControl)) {
        info[4]->SetCaption(kMaxMixPrompt);
        FxMaxMix[size_t(CurrentFx)] = v;
        if (Plugin) Plugin->setParameter(kFx1MaxMix + CurrentFx, v);
        return;
    }
    if (Plugin) {
        Plugin->setParameter(tag, v);
        Plugin->setParameterAutomated(tag, v);
    }
    info[2]->SetCaption(SliderValueText(tag, pos));
}

void TPluginEditorWindow::p40MouseMove(TControl& sender) {
    if (dynamic_cast<TDIBGlyphButton*>(&sender)) {
        const int k = sender.Tag - kTrgFx1;
        if (k >= 0 && k <= 7) info[4]->SetCaption(kFxNames[size_t(k)]);
        return;
    }
    if (!dynamic_cast<TDIBSlider*>(&sender)) return;
    HoveredTag = sender.Tag;
    info[3]->SetCaption(sender.Hint);
    auto nameIndex = [](const TDIBSlider& s, double scale, int last) {
        const int64_t i = Nearest((1.0 - s.Position() / 100.0) * scale);
        return size_t(std::clamp<int64_t>(i, 0, last));
    };
    if (LfoWaveHeld) info[4]->SetCaption(kLfoNames[nameIndex(*Sliders[kLfoWav], 5.0, 5)]);
    if (FxSelectorHeld) info[4]->SetCaption(kFxNames[nameIndex(*Sliders[kOutSel], 7.0, 7)]);
}

void TPluginEditorWindow::FXtrg1MouseDown(TControl& sender, MouseButton button) {
    if (button == MouseButton::Right) return;
    const int k = std::clamp(sender.Tag - kTrgFx1, 0, 7);
    CurrentFx = k;
    SelDotMove(k);
    if (!Plugin) return;
    Plugin->setParameterAutomated(kOutSel, float(k / 7.0));
    Plugin->setParameterAutomated(kTrgFx1 + k, float(1.0 - k / 8.0));
}

void TPluginEditorWindow::FXtrg1MouseUp(TControl& sender) {
    if (Plugin) Plugin->setParameterAutomated(sender.Tag, 0.0f);
}

void TPluginEditorWindow::SVtrg1MouseDown(TControl& sender, MouseButton button) {
    if (button == MouseButton::Right) return;
    const int n = sender.Tag - kTrgSv1 + 1;
    // to two decimals, halves away from zero
    auto twoDecimals = [](double x) { return std::round(x * 100.0) / 100.0; };
    const double tempo = HostTempo;
    if (std::isfinite(tempo) && tempo > 0.0) {
        info[0]->SetCaption(FloatText(twoDecimals(tempo / 60.0 * n / 4.0)) + " Hz");
        info[1]->SetCaption(FloatText(twoDecimals(1.0 / (tempo / 60.0) * 1000.0 * n / 4.0)) +
                            " ms");
    } else {
        // no tempo from the host yet: the rate is 0 and the period has no value
        info[0]->SetCaption("0 Hz");
        info[1]->SetCaption("- ms");
    }
    if (!Plugin) return;
    Plugin->setParameterAutomated(sender.Tag, 1.0f);
    Plugin->setParameter(kOutMix, FxMaxMix[size_t(CurrentFx)]);
    Plugin->setParameter(kSyncedValue, float(n / 8.0));
}

void TPluginEditorWindow::SVtrg1MouseUp(TControl& sender, MouseButton button) {
    if (button == MouseButton::Right || !Plugin) return;
    Plugin->setParameter(kOutMix, 0.0f);
    Plugin->setParameterAutomated(sender.Tag, 0.0f);
}

void TPluginEditorWindow::SelDotMove(int i) {
    constexpr int kLefts[4] = {107, 231, 357, 481};
    if (i < 0 || i > 7) return;
    SelDotImg->SetPos(kLefts[i % 4], i < 4 ? 111 : 244);
}

void TPluginEditorWindow::SetView() {
    const int h = PerformerView ? kPerformerHeight : kFullHeight;
    Form.SetBounds(0, 0, Form.Width(), h);
    Form.Invalidate();
    Platform->SizeChanged(Form.Width(), h);
    if (Plugin) Plugin->sizeWindow(Form.Width(), h);
    InfoContainer->BringToFront();
    if (Plugin) Plugin->updateDisplay();
}

void TPluginEditorWindow::Performerview1Click() {
    PerformerView = !PerformerView;
    if (Plugin) Plugin->setParameter(kView, PerformerView ? 1.0f : 0.0f);
    SetView();
}

void TPluginEditorWindow::SetWindowColor(uint32_t colour) {
    WindowColor_ = std::min(colour, kMaxColour);
    Form.SetColor(ColourToArgb(WindowColor_));
}

void TPluginEditorWindow::SetColor(uint32_t colour) {
    SetWindowColor(colour);
    // colour 0 has no reciprocal; the callers never pass it
    if (!Plugin || WindowColor_ == 0) return;
    const float v = float(1.0 / double(WindowColor_));
    Plugin->setParameter(kColor, v);
    Plugin->setParameterAutomated(kColor, v);
}

void TPluginEditorWindow::Cream1Click(int tag) {
    if (tag < 0 || tag > 4) return;
    SetColor(kStandardColours[tag]);
}

void TPluginEditorWindow::DoFunColorMode() {
    const auto a = uint32_t(Platform->Random(255)), b = uint32_t(Platform->Random(255)),
               c = uint32_t(Platform->Random(255));
    uint32_t colour = a * 65536 + b * 256 + c;
    // black has no reciprocal to store: the nearest colour that has one
    if (colour == 0) colour = 1;
    SetColor(colour);
    Platform->Sleep(100);
}

void TPluginEditorWindow::Reset1Click() {
    TDIBSlider* s = Slider(HoveredTag);
    const int pos = ResetPosition(HoveredTag);
    if (s && pos >= 0) s->SetPosition(pos);
}

void TPluginEditorWindow::N01Click(int tag) {
    if (tag < 0 || tag > 4) return;
    const float x = float(tag) * 0.25f;
    for (size_t i = 0; i < FxMaxMix.size(); ++i) {
        FxMaxMix[i] = x;
        if (Plugin) Plugin->setParameter(kFx1MaxMix + int32_t(i), x);
    }
}

void TPluginEditorWindow::Image1Click() {
    FullImg->Show();
    BckContainer->SetVisible(!BckContainer->Visible());
    FrtContainer->SetVisible(!FrtContainer->Visible());
}

// ---------------------------------------------------------------------------------------------
// Texts

std::string TPluginEditorWindow::FloatText(double v) {
    if (v == 0.0) v = 0.0;   // no "-0"
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

std::string TPluginEditorWindow::SliderValueText(int tag, int position) {
    if (tag < 0 || tag >= kNumParams) return {};
    const TValueScale& s = kParamTable[size_t(tag)].Shown;
    // The float texts come from whole hundredths, exact in doubles, so they carry no rounding
    // noise (1 - 0.94 in doubles shows as 0.0600000000000001). The whole numbers round v as the
    // doubles carry it, noise included, as the editor has always shown them.
    const double v = 1.0 - position / 100.0;
    const int hundredths = 100 - position;
    switch (s.Kind) {
    case TScaleKind::Fraction: return FloatText((hundredths * s.Scale + s.Offset * 100.0) / 100.0);
    case TScaleKind::Whole: return std::to_string(Nearest(v * s.Scale + s.Offset));
    case TScaleKind::WholeThenOffset:
        return std::to_string(Nearest(v * s.Scale) + int64_t(s.Offset));
    case TScaleKind::None: break;
    }
    return {};
}

int TPluginEditorWindow::PositionOf(float value) {
    return int(Nearest((1.0 - double(value)) * 100.0));
}

int TPluginEditorWindow::ResetPosition(int tag) {
    if (tag < 0 || tag >= kNumParams || !kParamTable[size_t(tag)].Hint) return -1;
    return PositionOf(kParamTable[size_t(tag)].Reset);
}
