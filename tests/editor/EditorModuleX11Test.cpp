// The built module's editor in a real X server, driven as a host drives it: a parent window of
// our own, the editor opcodes through the record, the mouse and keys through XTest, and the
// picture read back from the server. Set QBFX_SCREENSHOTS to a folder to also write the two
// views and the open context menu as PNG.
#include "editor/platform/x11/X11Platform.h"
#include "editor/resources/Resources.h"
#include "editor/widgets/Png.h"
#include "editor/widgets/PopupMenu.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

// after gtest: X11 defines None, Bool and Status as macros
#include <X11/Xlib.h>
#include "tests/support/TestDisplay.h"
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr int kW = 632, kH = 395;

int OpenFileCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

struct Rgb {
    int r, g, b;
};

bool WritePng(const std::string& path, XImage* img, int w, int h) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const unsigned long p = XGetPixel(img, x, y);
            row[size_t(x) * 3 + 0] = png_byte((p >> 16) & 0xFF);
            row[size_t(x) * 3 + 1] = png_byte((p >> 8) & 0xFF);
            row[size_t(x) * 3 + 2] = png_byte(p & 0xFF);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

class EditorModule : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display: run under xvfb-run";
        D = OpenTestDisplay();
        if (!D) GTEST_SKIP() << "cannot open the X display";
        int ev = 0, err = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(D, &ev, &err, &major, &minor)) GTEST_SKIP() << "no XTest";
        XSetWindowAttributes wa{};
        wa.override_redirect = True;   // placed where asked even under a window manager
        wa.background_pixel = BlackPixel(D, DefaultScreen(D));
        Parent = XCreateWindow(D, DefaultRootWindow(D), 0, 0, 700, 450, 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &wa);
        XSelectInput(D, Parent, StructureNotifyMask);
        XMapRaised(D, Parent);
        for (XEvent e;;) {
            XNextEvent(D, &e);
            if (e.type == MapNotify) break;
        }
        Host = std::make_unique<TestHost>(TestHost::FromLibrary(QBFX_MODULE_PATH));
        ASSERT_NE(Host->EntryFunction(), nullptr);
        ASSERT_NE(Host->Open(), nullptr);
    }
    void TearDown() override {
        if (Host) Host->Close();
        Host.reset();
        if (D) {
            XDestroyWindow(D, Parent);
            if (Desk) XDestroyWindow(D, Desk);
            XCloseDisplay(D);
        }
    }

    ERect Rect() { return Host->EditorRect(); }
    bool OpenEditor() {
        return Host->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(Parent))) == 1;
    }
    // Idles like a host for about `ms` milliseconds.
    void Pump(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            Host->Dispatch(effEditIdle);
            XSync(D, False);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    void RootOf(int x, int y, int& rx, int& ry) {
        ::Window child = 0;
        XTranslateCoordinates(D, Parent, DefaultRootWindow(D), x, y, &rx, &ry, &child);
    }
    void MoveTo(int x, int y) {
        int rx = 0, ry = 0;
        RootOf(x, y, rx, ry);
        XTestFakeMotionEvent(D, -1, rx, ry, CurrentTime);
        XSync(D, False);
        Pump(30);
    }
    void Button(unsigned button, bool down) {
        XTestFakeButtonEvent(D, button, down ? True : False, CurrentTime);
        XSync(D, False);
        Pump(30);
    }
    void RootPoint(int rx, int ry) {
        XTestFakeMotionEvent(D, -1, rx, ry, CurrentTime);
        XSync(D, False);
        Pump(30);
    }
    void RightClick(int x, int y) {
        MoveTo(x, y);
        Button(3, true);
        Button(3, false);
    }
    void LeftClickAtRoot(int rx, int ry) {
        RootPoint(rx, ry);
        Button(1, true);
        Button(1, false);
    }
    void Press(KeySym sym) {
        const KeyCode code = XKeysymToKeycode(D, sym);
        XTestFakeKeyEvent(D, code, True, CurrentTime);
        XTestFakeKeyEvent(D, code, False, CurrentTime);
        XSync(D, False);
        Pump(30);
    }
    // The mapped override-redirect top-levels that are not ours: the editor's menu levels,
    // lowest first.
    std::vector<::Window> MenuWindows() {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(D, DefaultRootWindow(D), &root, &parent, &children, &n);
        std::vector<::Window> out;
        for (unsigned i = 0; i < n; ++i) {
            if (children[i] == Parent || children[i] == Desk) continue;
            XWindowAttributes a{};
            if (XGetWindowAttributes(D, children[i], &a) && a.map_state == IsViewable &&
                a.override_redirect)
                out.push_back(children[i]);
        }
        if (children) XFree(children);
        return out;
    }
    XWindowAttributes Attributes(::Window w) {
        XWindowAttributes a{};
        XGetWindowAttributes(D, w, &a);
        return a;
    }
    ::Window ParentOf(::Window w) {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(D, w, &root, &parent, &children, &n);
        if (children) XFree(children);
        return parent;
    }
    ::Window EditorWindow() {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(D, Parent, &root, &parent, &children, &n);
        const ::Window w = n > 0 ? children[0] : 0;
        if (children) XFree(children);
        return w;
    }
    // Whether another client could take the pointer (and the keyboard) now: no grab is left.
    bool NobodyHoldsTheGrabs() {
        const bool pointer = XGrabPointer(D, Parent, False, ButtonPressMask, GrabModeAsync,
                                          GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
        if (pointer) XUngrabPointer(D, CurrentTime);
        const bool keyboard = XGrabKeyboard(D, Parent, False, GrabModeAsync, GrabModeAsync,
                                            CurrentTime) == GrabSuccess;
        if (keyboard) XUngrabKeyboard(D, CurrentTime);
        XSync(D, False);
        return pointer && keyboard;
    }
    // The centre of item `index` of a menu level shown in window `w`, in root coordinates;
    // `separatorsAbove` of the items above it are separators.
    void ItemCentre(::Window w, int index, int separatorsAbove, int& rx, int& ry) {
        const XWindowAttributes a = Attributes(w);
        const int itemHeight = TPopupMenu(nullptr).ItemHeight();
        rx = a.x + a.width / 2;
        ry = a.y + TPopupMenu::Border + (index - separatorsAbove) * itemHeight +
             separatorsAbove * TPopupMenu::SeparatorHeight + itemHeight / 2;
    }
    // Performer view, with the parent sized to the editor as a host does after sizeWindow.
    void PerformerView() {
        Host->SetParameter(39, 1.0f);
        Pump(200);
        ASSERT_EQ(Rect().bottom, 130);
        XResizeWindow(D, Parent, unsigned(kW), 130);
        XSync(D, False);
        Pump(100);
    }
    XImage* Grab(int w, int h) { return XGetImage(D, Parent, 0, 0, unsigned(w), unsigned(h), AllPlanes, ZPixmap); }
    static Rgb At(XImage* img, int x, int y) {
        const unsigned long p = XGetPixel(img, x, y);
        return {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
    }
    int ChildCount() {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(D, Parent, &root, &parent, &children, &n);
        if (children) XFree(children);
        return int(n);
    }
    void Screenshot(const char* name, int w, int h) {
        const char* dir = std::getenv("QBFX_SCREENSHOTS");
        if (!dir) return;
        XImage* img = Grab(w, h);
        ASSERT_NE(img, nullptr);
        EXPECT_TRUE(WritePng(std::string(dir) + "/" + name, img, w, h));
        XDestroyImage(img);
    }
    void Screenshot(const char* name, int x, int y, int w, int h) {
        const char* dir = std::getenv("QBFX_SCREENSHOTS");
        if (!dir) return;
        XImage* img = XGetImage(D, Parent, x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
        ASSERT_NE(img, nullptr);
        EXPECT_TRUE(WritePng(std::string(dir) + "/" + name, img, w, h));
        XDestroyImage(img);
    }
    // A part of the screen, with whatever windows lie there.
    void ScreenShot(const char* name, int w, int h) {
        const char* dir = std::getenv("QBFX_SCREENSHOTS");
        if (!dir) return;
        XImage* img = XGetImage(D, DefaultRootWindow(D), 0, 0, unsigned(w), unsigned(h),
                                AllPlanes, ZPixmap);
        ASSERT_NE(img, nullptr);
        EXPECT_TRUE(WritePng(std::string(dir) + "/" + name, img, w, h));
        XDestroyImage(img);
    }
    // A plain ground below the parent, so a screenshot of the screen shows no root pattern.
    void LayDesk(int w, int h) {
        XSetWindowAttributes wa{};
        wa.override_redirect = True;
        wa.background_pixel = 0x3A3D42;
        Desk = XCreateWindow(D, DefaultRootWindow(D), 0, 0, unsigned(w), unsigned(h), 0,
                             CopyFromParent, InputOutput, CopyFromParent,
                             CWOverrideRedirect | CWBackPixel, &wa);
        XMapWindow(D, Desk);
        XLowerWindow(D, Desk);
        XSync(D, False);
    }

    Display* D = nullptr;
    ::Window Parent = 0, Desk = 0;
    std::unique_ptr<TestHost> Host;
};

// The window colour the first refresh takes from the colour parameter.
Rgb WindowColour(float colourParam) {
    const long c = colourParam == 0.0f ? 12632256 : std::lrint(1.0 / double(colourParam));
    return {int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)};
}

void ExpectNear(Rgb got, Rgb want, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_NEAR(got.r, want.r, 2);
    EXPECT_NEAR(got.g, want.g, 2);
    EXPECT_NEAR(got.b, want.b, 2);
}

TEST_F(EditorModule, OpensAtItsSizeAndShowsTheSkinInTheWindowColour) {
    EXPECT_EQ(Corners(Rect()), (std::array<int, 4>{0, 0, 0, 0}));   // closed: an empty rectangle
    ASSERT_TRUE(OpenEditor());
    EXPECT_EQ(Corners(Rect()), (std::array<int, 4>{0, 0, kH, kW}));
    EXPECT_EQ(ChildCount(), 1);
    Pump(300);
    MoveTo(549 + 17, 256 + 80);   // over p34, whose hint is the longest status text
    Pump(100);

    XImage* img = Grab(kW, kH);
    ASSERT_NE(img, nullptr);
    TBitmap front, trigger;
    ASSERT_TRUE(DecodePng(Resource("front.png"), front));
    ASSERT_TRUE(DecodePng(Resource("trigger.png"), trigger));
    const Rgb bg = WindowColour(Host->GetParameter(18));
    auto pic = [](const TBitmap& b, int x, int y) {
        const uint32_t c = b.At(x, y);
        return Rgb{int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)};
    };
    ASSERT_EQ(AlphaOf(front.At(125, 200)), 0);
    ExpectNear(At(img, 127, 203), bg, "transparent gap between panels");
    ASSERT_EQ(AlphaOf(front.At(150, 5)), 255);
    ExpectNear(At(img, 152, 8), pic(front, 150, 5), "opaque trigger box (front picture at 2, 3)");
    ExpectNear(At(img, 252, 103), pic(front, 250, 100), "opaque panel");
    ExpectNear(At(img, 15, 25), pic(trigger, 5, 5), "released frame of the first effect button");
    Screenshot("editor-full.png", kW, kH);
    XDestroyImage(img);
    Host->Dispatch(effEditClose);
    EXPECT_EQ(ChildCount(), 0);
}

TEST_F(EditorModule, MouseClicksOnTriggersReachTheParameters) {
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    MoveTo(90 + 17, 20 + 14);   // effect button 3
    Button(1, true);
    EXPECT_FLOAT_EQ(Host->GetParameter(2), 0.75f);
    EXPECT_EQ(Host->GetParameter(33), float(2.0 / 7.0));
    Button(1, false);
    EXPECT_EQ(Host->GetParameter(2), 0.0f);
    int automated = 0;
    for (const HostCall& c : Host->Calls())
        if (c.Opcode == audioMasterAutomate && c.Index == 33) ++automated;
    EXPECT_GE(automated, 1);

    Host->SetParameter(22, 0.8f);   // max mix of the selected effect
    Pump(200);
    MoveTo(130 + 17, 72 + 14);   // synced-value button 4
    Button(1, true);
    EXPECT_EQ(Host->GetParameter(37), 0.5f);
    EXPECT_EQ(Host->GetParameter(34), 0.8f);
    Button(1, false);
    EXPECT_EQ(Host->GetParameter(34), 0.0f);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, DoubleClickSwitchesToPerformerViewAndTellsTheHost) {
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    Host->ClearCalls();
    MoveTo(127, 203);   // the front picture between two panels
    XTestFakeButtonEvent(D, 1, True, CurrentTime);
    XTestFakeButtonEvent(D, 1, False, CurrentTime);
    XTestFakeButtonEvent(D, 1, True, CurrentTime);
    XTestFakeButtonEvent(D, 1, False, CurrentTime);
    XSync(D, False);
    Pump(200);
    EXPECT_EQ(Host->CountCalls(audioMasterSizeWindow), 1);
    for (const HostCall& c : Host->Calls())
        if (c.Opcode == audioMasterSizeWindow) {
            EXPECT_EQ(c.Index, kW);
            EXPECT_EQ(c.Value, 130);
        }
    EXPECT_EQ(Host->GetParameter(39), 1.0f);
    const ERect r = Rect();
    EXPECT_EQ(r.bottom, 130);
    EXPECT_EQ(r.right, kW);
    ::Window child = 0;
    {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        XQueryTree(D, Parent, &root, &parent, &children, &n);
        ASSERT_EQ(n, 1u);
        child = children[0];
        XFree(children);
    }
    XWindowAttributes a{};
    XGetWindowAttributes(D, child, &a);
    EXPECT_EQ(a.height, 130);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    Screenshot("editor-performer.png", kW, 130);
    // the host's automation brings the full view back
    Host->SetParameter(39, 0.0f);
    Pump(200);
    EXPECT_EQ(Rect().bottom, 394);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, OpensAndClosesAHundredTimesWithoutLeakingConnections) {
    ASSERT_TRUE(OpenEditor());
    Pump(50);
    Host->Dispatch(effEditClose);
    const int files = OpenFileCount();
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(OpenEditor());
        Host->Dispatch(effEditIdle);
        Host->Dispatch(effEditIdle);
        Host->Dispatch(effEditClose);
        XSync(D, False);
        ASSERT_EQ(ChildCount(), 0);
    }
    EXPECT_EQ(OpenFileCount(), files);
}

TEST_F(EditorModule, ParentDestroyedBeforeCloseIsSurvived) {
    ASSERT_TRUE(OpenEditor());
    Pump(50);
    XDestroyWindow(D, Parent);
    XSync(D, False);
    Pump(100);
    Host->Dispatch(effEditClose);
    // an X error on our connection would have ended the process; the editor opens again
    Parent = XCreateSimpleWindow(D, DefaultRootWindow(D), 0, 0, 700, 450, 0, 0, 0);
    XMapWindow(D, Parent);
    XSync(D, False);
    ASSERT_TRUE(OpenEditor());
    Pump(50);
    EXPECT_EQ(Rect().right, kW);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, AParentThatIsNoWindowIsRefused) {
    EXPECT_EQ(Host->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(0x7ffffff0))), 0);
    EXPECT_EQ(Host->Dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_TRUE(OpenEditor()) << "and a real parent still works afterwards";
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, TheMaxMixPromptShowsWholeBesideTheMixHint) {
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    MoveTo(130 + 17, 20 + 14);   // effect button 4
    Button(1, true);
    Button(1, false);
    Host->SetParameter(34, 0.0f);   // the Mix pointer at the bottom of its track
    Pump(200);
    MoveTo(549 + 17, 256 + 30);   // p34's track above its pointer: shows the hint
    XImage* before = Grab(kW, kH);
    ASSERT_NE(before, nullptr);
    const KeyCode rightControl = XKeysymToKeycode(D, XK_Control_R);
    XTestFakeKeyEvent(D, rightControl, True, CurrentTime);
    XSync(D, False);
    Button(1, true);   // a step toward the press: a max-mix definition
    Pump(100);
    XImage* during = Grab(kW, kH);
    Screenshot("editor-max-mix.png", 0, 240, kW, kH - 240);
    Button(1, false);
    XTestFakeKeyEvent(D, rightControl, False, CurrentTime);
    XSync(D, False);
    ASSERT_NE(during, nullptr);
    EXPECT_EQ(Host->GetParameter(23), 0.01f) << "the max mix of effect 4";
    EXPECT_EQ(Host->GetParameter(34), 0.0f);
    // the hint keeps its pixels; the prompt is inked left of info4's own field
    const int y0 = 372 + 4, y1 = 372 + 17;
    for (int y = y0; y < y1; ++y)
        for (int x = 206; x < 206 + 200; ++x) {
            const Rgb a = At(before, x, y), b = At(during, x, y);
            ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << x << "," << y;
        }
    int inked = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = 470; x < 506; ++x)
            inked += At(during, x, y).r < 80 && At(before, x, y).r >= 80;
    EXPECT_GT(inked, 10);
    XDestroyImage(before);
    XDestroyImage(during);
    Host->Dispatch(effEditClose);
}

// The context menu opens in windows of its own: in performer view the editor is 130 pixels
// high, and the menu is taller than that.
TEST_F(EditorModule, InPerformerViewTheMenuOpensInAWindowOfItsOwnAndSetsAColour) {
    LayDesk(900, 420);
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    PerformerView();
    const ::Window editor = EditorWindow();
    ASSERT_NE(editor, 0u);
    ASSERT_TRUE(MenuWindows().empty());

    RightClick(463, 60);   // the front picture between the LFO monitor and the logo
    auto menus = MenuWindows();
    ASSERT_EQ(menus.size(), 1u);
    const XWindowAttributes top = Attributes(menus[0]);
    int clickX = 0, clickY = 0;
    RootOf(463, 60, clickX, clickY);
    EXPECT_EQ(top.x, clickX);
    EXPECT_EQ(top.y, clickY);
    int editorX = 0, editorY = 0;
    RootOf(0, 0, editorX, editorY);
    EXPECT_GT(top.y + top.height, editorY + 130) << "past the editor's bottom edge";
    EXPECT_LE(top.x + top.width, WidthOfScreen(DefaultScreenOfDisplay(D)));
    EXPECT_LE(top.y + top.height, HeightOfScreen(DefaultScreenOfDisplay(D)));
    EXPECT_EQ(ParentOf(menus[0]), DefaultRootWindow(D)) << "a top-level, not a child of the editor";
    EXPECT_EQ(ChildCount(), 1);
    EXPECT_EQ(Attributes(editor).height, 130);

    // "Set standard color" (below "Reset parameter" and a separator) opens its submenu, lit
    int rx = 0, ry = 0;
    ItemCentre(menus[0], 2, 1, rx, ry);
    RootPoint(rx, ry);
    menus = MenuWindows();
    ASSERT_EQ(menus.size(), 2u) << "the submenu in a second window";
    const XWindowAttributes sub = Attributes(menus[1]);
    EXPECT_GE(sub.x, top.x + top.width - 1);
    EXPECT_GT(std::max(top.y + top.height, sub.y + sub.height) - std::min(top.y, sub.y), 130)
        << "taller than the whole editor";
    {
        XImage* img = XGetImage(D, menus[0], 0, 0, unsigned(top.width), unsigned(top.height),
                                AllPlanes, ZPixmap);
        ASSERT_NE(img, nullptr);
        ExpectNear(At(img, 6, ry - top.y), {0xD8, 0x8E, 0x2E}, "highlighted opener");
        ExpectNear(At(img, 6, ry - top.y - 27), {0x26, 0x28, 0x2C}, "plain item");
        XDestroyImage(img);
    }
    ItemCentre(menus[1], 1, 0, rx, ry);   // "Dollar"
    RootPoint(sub.x + 4, ry);
    RootPoint(rx, ry);
    ScreenShot("editor-menu.png", std::max(kW, sub.x + sub.width) + 12,
               std::max(top.y + top.height, sub.y + sub.height) + 12);
    Button(1, true);
    Button(1, false);
    EXPECT_TRUE(MenuWindows().empty());
    EXPECT_EQ(Host->GetParameter(18), float(1.0 / 12639424.0));
    EXPECT_TRUE(NobodyHoldsTheGrabs());
    Pump(100);
    XImage* img = Grab(kW, 130);
    ASSERT_NE(img, nullptr);
    ExpectNear(At(img, 463, 60), {192, 220, 192}, "the form in its new colour");
    XDestroyImage(img);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, EscapeOrAClickElsewhereClosesTheMenuWithoutChoosing) {
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    std::vector<float> before;
    for (int i = 0; i < 64; ++i) before.push_back(Host->GetParameter(i));
    Host->ClearCalls();
    auto unchanged = [&] {
        for (int i = 0; i < 64; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(Host->GetParameter(i), before[size_t(i)]);
        }
        EXPECT_EQ(Host->CountCalls(audioMasterAutomate), 0);
    };

    RightClick(127, 203);
    ASSERT_EQ(MenuWindows().size(), 1u);
    Press(XK_Escape);
    EXPECT_TRUE(MenuWindows().empty());
    EXPECT_TRUE(NobodyHoldsTheGrabs());

    // a press on another client's ground: the grab sees it and only closes the menu
    RightClick(127, 203);
    ASSERT_EQ(MenuWindows().size(), 1u);
    int rx = 0, ry = 0;
    RootOf(680, 440, rx, ry);   // the parent beyond the editor
    LeftClickAtRoot(rx, ry);
    EXPECT_TRUE(MenuWindows().empty());
    EXPECT_TRUE(NobodyHoldsTheGrabs());

    // a press on an effect button of the editor: closes the menu, fires nothing
    RightClick(127, 203);
    ASSERT_EQ(MenuWindows().size(), 1u);
    MoveTo(250 + 17, 20 + 14);   // effect button 7, beside the menu
    Button(1, true);
    EXPECT_TRUE(MenuWindows().empty());
    Button(1, false);
    unchanged();
    // and the editor takes the next click as usual
    Button(1, true);
    EXPECT_EQ(Host->GetParameter(33), 1.0f - 1.0f / 7.0f);
    Button(1, false);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, ClosingTheEditorUnderAnOpenMenuLeavesNoWindowNoGrabAndNoConnection) {
    ASSERT_TRUE(OpenEditor());
    Pump(50);
    Host->Dispatch(effEditClose);
    const int files = OpenFileCount();
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(OpenEditor());
        Pump(100);
        RightClick(127, 203);
        auto menus = MenuWindows();
        ASSERT_EQ(menus.size(), 1u);
        int rx = 0, ry = 0;
        ItemCentre(menus[0], 6, 2, rx, ry);   // "Set all max mix to"
        RootPoint(rx, ry);
        ASSERT_EQ(MenuWindows().size(), 2u);
        Host->Dispatch(effEditClose);
        XSync(D, False);
        EXPECT_TRUE(MenuWindows().empty());
        EXPECT_EQ(ChildCount(), 0);
        EXPECT_TRUE(NobodyHoldsTheGrabs());
    }
    EXPECT_EQ(OpenFileCount(), files);
    // and the instance going with its editor and menu open
    ASSERT_TRUE(OpenEditor());
    Pump(100);
    RightClick(127, 203);
    ASSERT_EQ(MenuWindows().size(), 1u);
    Host->Close();
    Host.reset();
    XSync(D, False);
    EXPECT_TRUE(MenuWindows().empty());
    EXPECT_TRUE(NobodyHoldsTheGrabs());
}

// In-process: the platform under a form of its own, while this test's connection holds the
// pointer as another client would.
TEST_F(EditorModule, AMenuThatCannotGrabThePointerIsShownInsideTheEditorInstead) {
    {
        auto platform = TX11Platform::Create(Parent, kW, kH);
        ASSERT_NE(platform, nullptr);
        TPluginEditorWindow form(std::move(platform));
        form.Idle();
        int x = 0, y = 0;
        form.Slider(59)->AbsoluteOrigin(x, y);
        auto rightClick = [&] {
            form.MouseInput({MouseEvent::Kind::Down, x + 5, y + 5, MouseButton::Right});
            form.MouseInput({MouseEvent::Kind::Up, x + 5, y + 5, MouseButton::Right});
            form.Idle();
            XSync(D, False);
        };
        ASSERT_EQ(XGrabPointer(D, Parent, False, ButtonPressMask, GrabModeAsync, GrabModeAsync,
                               None, None, CurrentTime),
                  GrabSuccess);
        XSync(D, False);
        rightClick();
        EXPECT_TRUE(form.InlineMenuOpen());
        EXPECT_TRUE(form.Context.IsOpen());
        EXPECT_TRUE(MenuWindows().empty()) << "no window left of the refused one";
        EXPECT_EQ(form.Context.Levels()[0].Rect.Left, x + 5) << "laid out in the form's area";
        XUngrabPointer(D, CurrentTime);
        XSync(D, False);
        EXPECT_TRUE(NobodyHoldsTheGrabs()) << "and it took no keyboard either";

        form.KeyInput(Key::Escape);
        ASSERT_FALSE(form.Context.IsOpen());
        rightClick();
        EXPECT_FALSE(form.InlineMenuOpen());
        EXPECT_TRUE(form.Context.IsOpen());
        EXPECT_EQ(MenuWindows().size(), 1u) << "with the pointer free, in a window of its own";
        EXPECT_FALSE(NobodyHoldsTheGrabs());
        // the form goes with its menu open
    }
    XSync(D, False);
    EXPECT_TRUE(MenuWindows().empty());
    EXPECT_TRUE(NobodyHoldsTheGrabs());
}

// Needs no display at all.
TEST(EditorModuleWithoutDisplay, EditOpenAnswersZeroAndThePluginStaysUsable) {
    const char* saved = std::getenv("DISPLAY");
    const std::string keep = saved ? saved : "";
    unsetenv("DISPLAY");
    TestHost host = TestHost::FromLibrary(QBFX_MODULE_PATH);
    ASSERT_NE(host.Open(), nullptr);
    EXPECT_EQ(host.Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(0x200001))), 0);
    host.Dispatch(effEditIdle);
    host.Dispatch(effEditClose);
    host.SetParameter(40, 0.25f);
    EXPECT_EQ(host.GetParameter(40), 0.25f);
    std::vector<float> in(256, 0.1f), outL(256), outR(256);
    host.Process(in.data(), in.data(), outL.data(), outR.data(), 256);
    for (float s : outL) ASSERT_TRUE(std::isfinite(s));
    host.Close();
    if (saved) setenv("DISPLAY", keep.c_str(), 1);
}

}  // namespace
