// The built DLL's editor in a Win32 host, driven as a host drives it: a top-level window of our
// own as the parent, the editor opcodes through the record, mouse messages to the editor's child
// window, our own message loop, and the picture read back from the window. Under wine this needs
// an X display (xvfb-run); without one the tests are skipped, unless QBFX_REQUIRE_DISPLAY is set,
// which makes a missing display a failure.
#include "editor/resources/Resources.h"
#include "editor/widgets/Png.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <psapi.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kW = 632, kH = 395;

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

BOOL CALLBACK CollectWindow(HWND w, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, &CollectWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

struct Rgb {
    int r, g, b;
};

Rgb Pixel(HWND w, int x, int y) {
    HDC dc = GetDC(w);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

Rgb PictureAt(const TBitmap& b, int x, int y) {
    const uint32_t c = b.At(x, y);
    return {int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF)};
}

void ExpectNear(Rgb got, Rgb want, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_NEAR(got.r, want.r, 2);
    EXPECT_NEAR(got.g, want.g, 2);
    EXPECT_NEAR(got.b, want.b, 2);
}

const wchar_t* ParentClass() {
    static const ATOM atom = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = L"QBFX_F test host";
        return RegisterClassExW(&wc);
    }();
    return atom ? L"QBFX_F test host" : nullptr;
}

HWND MakeParent() {
    if (!ParentClass()) return nullptr;
    HWND w = CreateWindowExW(0, ParentClass(), L"test host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                             0, 0, 720, 520, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (w) ShowWindow(w, SW_SHOWNOACTIVATE);
    return w;
}

class EditorModule : public ::testing::Test {
protected:
    void SetUp() override {
        Parent = MakeParent();
        if (!Parent) {
            if (std::getenv("QBFX_REQUIRE_DISPLAY"))
                FAIL() << "no window could be made (error " << GetLastError() << ")";
            GTEST_SKIP() << "no window could be made: under wine, run with an X display (xvfb-run)";
        }
        Host = std::make_unique<TestHost>(TestHost::FromLibrary(QBFX_MODULE_PATH));
        ASSERT_NE(Host->EntryFunction(), nullptr);
        ASSERT_NE(Host->Open(), nullptr);
    }
    void TearDown() override {
        if (Host) Host->Close();
        Host.reset();
        if (Parent && IsWindow(Parent)) DestroyWindow(Parent);
        Pump(0, false);
    }

    ERect Rect() { return Host->EditorRect(); }
    bool OpenEditor() { return Host->Dispatch(effEditOpen, 0, 0, Parent) == 1; }
    HWND Editor() {
        const std::vector<HWND> c = Children(Parent);
        return c.size() == 1 ? c[0] : nullptr;
    }
    // A host's loop for about `ms` milliseconds: its messages, and effEditIdle when `idle`.
    void Pump(int ms, bool idle = true) {
        const ULONGLONG end = GetTickCount64() + ULONGLONG(ms);
        do {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
            if (idle && Host && Host->Effect()) Host->Dispatch(effEditIdle);
            if (ms > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        } while (GetTickCount64() < end);
    }
    // Pumps until `done` holds, for at most `ms`: what waits for the editor's timer.
    template <class Done>
    bool PumpUntil(Done done, int ms = 3000, bool idle = true) {
        const ULONGLONG end = GetTickCount64() + ULONGLONG(ms);
        while (!done()) {
            if (GetTickCount64() >= end) return false;
            Pump(10, idle);
        }
        return true;
    }
    int AutomatedCount(int32_t index) {
        int n = 0;
        for (const HostCall& c : Host->Calls()) n += c.Opcode == audioMasterAutomate && c.Index == index;
        return n;
    }

    HWND Parent = nullptr;
    std::unique_ptr<TestHost> Host;
};

TEST_F(EditorModule, OpensAsAVisibleChildOfItsSizeInTheParentsCorner) {
    EXPECT_EQ(Corners(Rect()), (std::array<int, 4>{0, 0, 0, 0}));   // closed: an empty rectangle
    ASSERT_TRUE(OpenEditor());
    EXPECT_EQ(Corners(Rect()), (std::array<int, 4>{0, 0, kH, kW}));
    HWND ed = Editor();
    ASSERT_NE(ed, nullptr) << Children(Parent).size() << " child windows";
    EXPECT_EQ(GetParent(ed), Parent);
    EXPECT_TRUE(GetWindowLongPtrW(ed, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(IsWindowVisible(ed));
    RECT client{};
    GetClientRect(ed, &client);
    EXPECT_EQ(client.right - client.left, kW);
    EXPECT_EQ(client.bottom - client.top, kH);
    POINT corner{0, 0};
    MapWindowPoints(ed, Parent, &corner, 1);
    EXPECT_EQ(corner.x, 0);
    EXPECT_EQ(corner.y, 0);
    Host->Dispatch(effEditClose);
    EXPECT_TRUE(Children(Parent).empty());
}

TEST_F(EditorModule, PaintsTheSkinInTheWindowColour) {
    ASSERT_TRUE(OpenEditor());
    HWND ed = Editor();
    ASSERT_NE(ed, nullptr);
    PumpUntil([&] { return Host->GetParameter(18) != 0.0f; });   // the first refresh
    Pump(100);
    UpdateWindow(ed);
    TBitmap front, trigger;
    ASSERT_TRUE(DecodePng(Resource("front.png"), front));
    ASSERT_TRUE(DecodePng(Resource("trigger.png"), trigger));
    // the first refresh gives a program without a colour the silver one
    ASSERT_EQ(Host->GetParameter(18), float(1.0 / 12632256.0));
    ASSERT_EQ(AlphaOf(front.At(125, 200)), 0);
    ExpectNear(Pixel(ed, 127, 203), {192, 192, 192}, "transparent gap between panels");
    ASSERT_EQ(AlphaOf(front.At(150, 5)), 255);
    ExpectNear(Pixel(ed, 152, 8), PictureAt(front, 150, 5), "opaque trigger box (front picture at 2, 3)");
    ExpectNear(Pixel(ed, 252, 103), PictureAt(front, 250, 100), "opaque panel");
    ExpectNear(Pixel(ed, 15, 25), PictureAt(trigger, 5, 5), "released frame of the first effect button");
    // a colour from the host reaches the screen with the timer, red and blue not swapped
    Host->SetParameter(18, float(1.0 / double(0x204080)));   // red 0x80, green 0x40, blue 0x20
    PumpUntil([&] {
        UpdateWindow(ed);
        return Pixel(ed, 127, 203).r != 192;
    });
    ExpectNear(Pixel(ed, 127, 203), {0x80, 0x40, 0x20}, "host colour in the gap");
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, MouseClicksOnTriggersReachTheParameters) {
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    HWND ed = Editor();
    ASSERT_NE(ed, nullptr);
    Host->ClearCalls();
    PostMessageW(ed, WM_LBUTTONDOWN, MK_LBUTTON, At(90 + 17, 20 + 14));   // effect button 3
    Pump(50);
    EXPECT_EQ(Host->GetParameter(2), 0.75f);
    EXPECT_EQ(Host->GetParameter(33), float(2.0 / 7.0));
    EXPECT_EQ(AutomatedCount(33), 1);
    EXPECT_EQ(AutomatedCount(2), 1);
    PostMessageW(ed, WM_LBUTTONUP, 0, At(90 + 17, 20 + 14));
    Pump(50);
    EXPECT_EQ(Host->GetParameter(2), 0.0f);
    EXPECT_EQ(AutomatedCount(2), 2);

    Host->SetParameter(22, 0.8f);   // max mix of the selected effect, mirrored by the next refresh
    Pump(300);
    PostMessageW(ed, WM_LBUTTONDOWN, MK_LBUTTON, At(130 + 17, 72 + 14));   // synced-value button 4
    Pump(50);
    EXPECT_EQ(Host->GetParameter(37), 0.5f);
    EXPECT_EQ(Host->GetParameter(34), 0.8f);
    PostMessageW(ed, WM_LBUTTONUP, 0, At(130 + 17, 72 + 14));
    Pump(50);
    EXPECT_EQ(Host->GetParameter(34), 0.0f);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, DraggingASliderSendsItsValueAndCapturesTheMouse) {
    Host->SetParameter(40, 0.0f);
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    HWND ed = Editor();
    ASSERT_NE(ed, nullptr);
    // p40 at 8, 123, 99 high; value 0 puts its 29-pixel pointer at the bottom of the 70-pixel track
    const int x = 8 + 17, grab = 123 + 70 + 14;
    PostMessageW(ed, WM_LBUTTONDOWN, MK_LBUTTON, At(x, grab));
    Pump(30);
    EXPECT_EQ(GetCapture(), ed);
    PostMessageW(ed, WM_MOUSEMOVE, MK_LBUTTON, At(x, grab - 35));   // half the track up
    Pump(30);
    EXPECT_EQ(Host->GetParameter(40), 0.5f);
    PostMessageW(ed, WM_MOUSEMOVE, MK_LBUTTON, At(x, -400));   // far above the window
    Pump(30);
    EXPECT_EQ(Host->GetParameter(40), 1.0f);
    PostMessageW(ed, WM_LBUTTONUP, 0, At(x, -400));
    Pump(30);
    EXPECT_NE(GetCapture(), ed);
    EXPECT_GE(AutomatedCount(40), 2);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, KeysMoveTheSliderThatWasClicked) {
    Host->SetParameter(43, 0.5f);   // p43 moves by 10 with the arrows
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    HWND ed = Editor();
    ASSERT_NE(ed, nullptr);
    const int x = 132 + 17, pointer = 123 + 35 + 14;
    PostMessageW(ed, WM_LBUTTONDOWN, MK_LBUTTON, At(x, pointer));
    PostMessageW(ed, WM_LBUTTONUP, 0, At(x, pointer));
    Pump(50);
    EXPECT_EQ(GetFocus(), ed);
    PostMessageW(ed, WM_KEYDOWN, VK_DOWN, 0);
    Pump(50);
    EXPECT_FLOAT_EQ(Host->GetParameter(43), 0.4f);
    PostMessageW(ed, WM_KEYDOWN, VK_PRIOR, 0);
    Pump(50);
    EXPECT_FLOAT_EQ(Host->GetParameter(43), 0.41f);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, DoubleClickSwitchesToPerformerViewAndTellsTheHost) {
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    HWND ed = Editor();
    ASSERT_NE(ed, nullptr);
    Host->ClearCalls();
    // the front picture between two panels; the second press of a pair comes as a double click
    PostMessageW(ed, WM_LBUTTONDOWN, MK_LBUTTON, At(127, 203));
    PostMessageW(ed, WM_LBUTTONUP, 0, At(127, 203));
    PostMessageW(ed, WM_LBUTTONDBLCLK, MK_LBUTTON, At(127, 203));
    PostMessageW(ed, WM_LBUTTONUP, 0, At(127, 203));
    Pump(200);
    EXPECT_EQ(Host->CountCalls(audioMasterSizeWindow), 1);
    for (const HostCall& c : Host->Calls())
        if (c.Opcode == audioMasterSizeWindow) {
            EXPECT_EQ(c.Index, kW);
            EXPECT_EQ(c.Value, 130);
        }
    EXPECT_EQ(Host->GetParameter(39), 1.0f);
    EXPECT_EQ(Rect().bottom, 130);
    EXPECT_EQ(Rect().right, kW);
    RECT client{};
    GetClientRect(ed, &client);
    EXPECT_EQ(client.right, kW);
    EXPECT_EQ(client.bottom, 130);
    POINT corner{0, 0};
    MapWindowPoints(ed, Parent, &corner, 1);
    EXPECT_EQ(corner.y, 0);

    // the host's automation brings the full view back, with the window's own timer: no idle calls
    Host->SetParameter(39, 0.0f);
    PumpUntil([&] { return Rect().bottom == 394; }, 3000, false);
    EXPECT_EQ(Rect().bottom, 394);
    GetClientRect(ed, &client);
    EXPECT_EQ(client.bottom, 394);
    EXPECT_EQ(Host->CountCalls(audioMasterSizeWindow), 2);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, TheContextMenuRunsItsItemsAndSubmenus) {
    Host->SetParameter(47, 0.3f);
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    HWND ed = Editor();
    ASSERT_NE(ed, nullptr);
    const float silver = Host->GetParameter(18);
    // over p47's pointer, which a press there leaves where it is
    const int x = 297 + 17, y = 123 + 49 + 14;
    // The keys wait in the queue behind the click and reach the menu's own loop once it is open.
    struct Case {
        const char* choice;
        std::vector<WPARAM> keys;
        float p47, colour;
    } cases[] = {
        {"dismissed", {VK_ESCAPE}, 0.3f, silver},
        {"Set standard color, White", {VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN},
         0.3f, float(1.0 / 16777215.0)},
        {"Reset parameter", {VK_DOWN, VK_RETURN}, 0.85f, float(1.0 / 16777215.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        PostMessageW(ed, WM_MOUSEMOVE, 0, At(x, y));
        PostMessageW(ed, WM_RBUTTONDOWN, MK_RBUTTON, At(x, y));
        PostMessageW(ed, WM_RBUTTONUP, 0, At(x, y));
        for (WPARAM k : c.keys) PostMessageW(ed, WM_KEYDOWN, k, 0);
        Pump(300);
        EXPECT_FLOAT_EQ(Host->GetParameter(47), c.p47);
        EXPECT_EQ(Host->GetParameter(18), c.colour);
        EXPECT_FALSE(IsWindowVisible(FindWindowW(L"#32768", nullptr))) << "the menu is closed";
    }
    Host->Dispatch(effEditClose);
}

// A host that closes the editor while its menu's loop runs (a shortcut, a script) must not leave
// the menu working on a form that is gone.
TestHost* gClosingHost = nullptr;
void CALLBACK CloseEditorFromTheMenuLoop(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (gClosingHost) gClosingHost->Dispatch(effEditClose);
    gClosingHost = nullptr;
}

TEST_F(EditorModule, ClosingTheEditorWhileItsMenuIsOpenIsSurvived) {
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    HWND ed = Editor();
    ASSERT_NE(ed, nullptr);
    gClosingHost = Host.get();
    ASSERT_NE(SetTimer(nullptr, 0, 150, &CloseEditorFromTheMenuLoop), 0u);
    PostMessageW(ed, WM_RBUTTONDOWN, MK_RBUTTON, At(100, 200));
    PostMessageW(ed, WM_RBUTTONUP, 0, At(100, 200));
    EXPECT_TRUE(PumpUntil([&] { return gClosingHost == nullptr; }, 3000, false))
        << "the timer fired inside the menu's loop";
    Pump(200, false);
    EXPECT_FALSE(IsWindow(ed));
    EXPECT_TRUE(Children(Parent).empty());
    EXPECT_FALSE(IsWindowVisible(FindWindowW(L"#32768", nullptr))) << "the menu is closed";
    // the instance goes on: a new editor opens and works
    ASSERT_TRUE(OpenEditor());
    Pump(200);
    EXPECT_NE(Editor(), nullptr);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, TwoInstancesHaveAnEditorEachAndCloseIndependently) {
    TestHost second = TestHost::FromLibrary(QBFX_MODULE_PATH);
    ASSERT_NE(second.Open(), nullptr);
    HWND otherParent = MakeParent();
    ASSERT_NE(otherParent, nullptr);
    ASSERT_TRUE(OpenEditor());
    ASSERT_EQ(second.Dispatch(effEditOpen, 0, 0, otherParent), 1);
    Pump(100);
    HWND first = Editor(), other = Children(otherParent).at(0);
    ASSERT_NE(first, nullptr);
    Host->Dispatch(effEditClose);
    EXPECT_FALSE(IsWindow(first));
    ASSERT_TRUE(IsWindow(other));
    PostMessageW(other, WM_LBUTTONDOWN, MK_LBUTTON, At(10 + 17, 20 + 14));   // effect button 1
    Pump(50);
    EXPECT_EQ(second.GetParameter(0), 1.0f);
    EXPECT_EQ(Host->GetParameter(0), 0.0f);
    PostMessageW(other, WM_LBUTTONUP, 0, At(10 + 17, 20 + 14));
    Pump(50);
    ASSERT_TRUE(OpenEditor()) << "and the first opens again";
    Pump(50);
    second.Dispatch(effEditClose);
    Host->Dispatch(effEditClose);
    second.Close();
    DestroyWindow(otherParent);
}

TEST_F(EditorModule, OpensAndClosesAHundredTimesLeavingNothingBehind) {
    ASSERT_TRUE(OpenEditor());
    Pump(100);
    wchar_t className[256] = {};
    ASSERT_GT(GetClassNameW(Editor(), className, 256), 0);
    auto module = reinterpret_cast<HINSTANCE>(GetClassLongPtrW(Editor(), GCLP_HMODULE));
    Host->Dispatch(effEditClose);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    EXPECT_FALSE(GetClassInfoExW(module, className, &wc)) << "the window class is gone with the window";

    auto memory = [] {
        PROCESS_MEMORY_COUNTERS_EX m{};
        GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&m), sizeof m);
        return int64_t(m.PrivateUsage);
    };
    const DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    const int64_t before = memory();
    for (int i = 0; i < 100; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(OpenEditor());
        Pump(0);   // paint and the first messages
        Host->Dispatch(effEditIdle);
        Host->Dispatch(effEditClose);
        ASSERT_TRUE(Children(Parent).empty());
    }
    Pump(0);
    const int64_t grown = memory() - before;
    // one editor holds several megabytes (skin, fonts, frame): a leak of any of it shows
    EXPECT_LT(grown, 8 << 20) << "private bytes grew by " << grown;
    DWORD handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handles + 4);
    // wine answers 0 here; Windows counts the objects
    if (gdi > 0 || user > 0) {
        EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdi + 2);
        EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), user + 2);
    } else {
        RecordProperty("gui_resources", "not counted by this system");
    }
}

TEST_F(EditorModule, ParentDestroyedBeforeCloseIsSurvived) {
    ASSERT_TRUE(OpenEditor());
    Pump(100);
    DestroyWindow(Parent);
    Pump(100);
    Host->Dispatch(effEditClose);
    Parent = MakeParent();
    ASSERT_NE(Parent, nullptr);
    ASSERT_TRUE(OpenEditor());
    Pump(50);
    EXPECT_NE(Editor(), nullptr);
    EXPECT_EQ(Rect().right, kW);
    Host->Dispatch(effEditClose);
}

TEST_F(EditorModule, AParentThatIsNoWindowIsRefused) {
    EXPECT_EQ(Host->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t(0x7ffffff0))), 0);
    EXPECT_EQ(Host->Dispatch(effEditOpen, 0, 0, nullptr), 0);
    Host->Dispatch(effEditIdle);
    Host->Dispatch(effEditClose);
    EXPECT_TRUE(OpenEditor()) << "and a real parent still works afterwards";
    EXPECT_NE(Editor(), nullptr);
    Host->Dispatch(effEditClose);
}

}  // namespace
