#include "editor/platform/win32/Win32Platform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE   // the IDC_ cursor names for LoadCursorW
#endif
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

// A menu caption for AppendMenu: UTF-16, with '&' doubled so that it is shown, not a mnemonic.
std::wstring MenuText(const std::string& utf8) {
    std::wstring w;
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    if (n > 0) {
        w.resize(size_t(n));
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), n);
    }
    std::wstring out;
    for (wchar_t c : w) {
        if (c == L'&') out += L'&';
        out += c;
    }
    return out;
}

// The HMENU tree of `parent`'s items; leaves get command ids 1, 2, ... in `commands` order.
HMENU BuildMenu(const TMenuItem& parent, std::vector<TMenuItem*>& commands) {
    HMENU m = CreatePopupMenu();
    if (!m) return nullptr;
    for (const auto& item : parent.Items) {
        if (item->Separator) {
            AppendMenuW(m, MF_SEPARATOR, 0, nullptr);
        } else if (item->HasSubmenu()) {
            HMENU sub = BuildMenu(*item, commands);
            if (sub && !AppendMenuW(m, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub),
                                    MenuText(item->Caption).c_str()))
                DestroyMenu(sub);
        } else {
            commands.push_back(item.get());
            AppendMenuW(m, MF_STRING, UINT_PTR(commands.size()), MenuText(item->Caption).c_str());
        }
    }
    return m;
}

MouseButton HeldButtonOf(WPARAM keys) {
    if (keys & MK_LBUTTON) return MouseButton::Left;
    if (keys & MK_RBUTTON) return MouseButton::Right;
    if (keys & MK_MBUTTON) return MouseButton::Middle;
    return MouseButton::None;
}

constexpr WPARAM kAnyButton = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON;
constexpr UINT_PTR kTimerId = 1;

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

struct TWin32Platform::Impl {
    HMODULE Module = nullptr;
    std::wstring ClassName;
    HWND Wnd = nullptr;   // null once destroyed, by us or with the host's window
    TPluginEditorWindow* Form = nullptr;
    int Width = 0, Height = 0;
    std::vector<uint32_t> Frame;   // what the form paints, 0xAARRGGBB: a 32-bit DIB's BGRA bytes
    std::vector<TRect> Damage;     // what the form changed, kept for its storage
    std::vector<char> RegionData;  // the update region's rectangles, kept for its storage
    bool TrackingLeave = false;
    std::mt19937 Rng{std::random_device{}()};
    // A host may close the editor from inside the menu's modal loop: the code that called into
    // the form checks this before it touches anything of the editor again.
    std::shared_ptr<bool> Gone = std::make_shared<bool>(false);
    bool InMenu = false;

    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void Mouse(MouseEvent::Kind kind, MouseButton button, LPARAM lp);
    void Paint();
    void ArmTimer();
    // The window's update region gathers what is to be painted at the next WM_PAINT.
    void Invalidate(const TRect& r) {
        const TRect c = r.Intersect({0, 0, Width, Height});
        if (c.Empty() || !Wnd) return;
        const RECT rc{c.Left, c.Top, c.Right(), c.Bottom()};
        InvalidateRect(Wnd, &rc, FALSE);
    }
    // What the form changed, part by part, is painted with the next WM_PAINT.
    void Show() {
        Form->TakeDamage(Damage);
        for (const TRect& r : Damage) Invalidate(r);
    }
    void Blit(HDC dc, const TRect& area);
};

LRESULT CALLBACK TWin32Platform::Impl::Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return DefWindowProcW(wnd, msg, wp, lp);
    }
    auto* p = reinterpret_cast<Impl*>(GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) {
        // destroyed by us, or by the host together with its own window before it closed us
        SetWindowLongPtrW(wnd, GWLP_USERDATA, 0);
        if (p) p->Wnd = nullptr;
        return DefWindowProcW(wnd, msg, wp, lp);
    }
    if (!p || !p->Form) return DefWindowProcW(wnd, msg, wp, lp);
    return p->Handle(msg, wp, lp);
}

LRESULT TWin32Platform::Impl::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    TPluginEditorWindow& form = *Form;
    switch (msg) {
    case WM_PAINT: Paint(); return 0;
    case WM_ERASEBKGND: return 1;   // every pixel is ours: no flash of a background
    case WM_TIMER:
        if (wp != kTimerId) break;
        form.Idle();
        ArmTimer();
        return 0;
    case WM_LBUTTONDOWN: Mouse(MouseEvent::Kind::Down, MouseButton::Left, lp); return 0;
    case WM_RBUTTONDOWN: Mouse(MouseEvent::Kind::Down, MouseButton::Right, lp); return 0;
    case WM_MBUTTONDOWN: Mouse(MouseEvent::Kind::Down, MouseButton::Middle, lp); return 0;
    case WM_LBUTTONDBLCLK: Mouse(MouseEvent::Kind::DoubleClick, MouseButton::Left, lp); return 0;
    case WM_RBUTTONDBLCLK: Mouse(MouseEvent::Kind::DoubleClick, MouseButton::Right, lp); return 0;
    case WM_MBUTTONDBLCLK: Mouse(MouseEvent::Kind::DoubleClick, MouseButton::Middle, lp); return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        // let go before the form sees the release: a right release may open the menu
        if (!(wp & kAnyButton) && GetCapture() == Wnd) ReleaseCapture();
        const MouseButton b = msg == WM_LBUTTONUP   ? MouseButton::Left
                              : msg == WM_RBUTTONUP ? MouseButton::Right
                                                    : MouseButton::Middle;
        Mouse(MouseEvent::Kind::Up, b, lp);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (!TrackingLeave) {
            TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, Wnd, 0};
            TrackingLeave = TrackMouseEvent(&t) != FALSE;
        }
        Mouse(MouseEvent::Kind::Move, HeldButtonOf(wp), lp);
        return 0;
    case WM_MOUSELEAVE:
        TrackingLeave = false;
        form.MouseLeftWindow();
        Show();
        return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wp) == Wnd && LOWORD(lp) == HTCLIENT) {
            POINT pt{};
            GetCursorPos(&pt);
            ScreenToClient(Wnd, &pt);
            const TCursor c = form.CursorAt(pt.x, pt.y);
            SetCursor(LoadCursorW(nullptr, c == TCursor::Cross  ? IDC_CROSS
                                           : c == TCursor::Help ? IDC_HELP
                                                                : IDC_ARROW));
            return TRUE;
        }
        break;
    case WM_GETDLGCODE: return DLGC_WANTARROWS;   // a host's dialog must not take the arrows
    case WM_KEYDOWN: {
        const Key keys[] = {Key::Up, Key::Down, Key::PageUp, Key::PageDown, Key::Escape, Key::Return};
        const WPARAM codes[] = {VK_UP, VK_DOWN, VK_PRIOR, VK_NEXT, VK_ESCAPE, VK_RETURN};
        for (size_t i = 0; i < std::size(codes); ++i)
            if (wp == codes[i]) {
                form.KeyInput(keys[i]);
                Show();
                return 0;
            }
        break;
    }
    case WM_DESTROY: KillTimer(Wnd, kTimerId); break;
    default: break;
    }
    return DefWindowProcW(Wnd, msg, wp, lp);
}

void TWin32Platform::Impl::Mouse(MouseEvent::Kind kind, MouseButton button, LPARAM lp) {
    if (kind == MouseEvent::Kind::Down || kind == MouseEvent::Kind::DoubleClick) {
        SetFocus(Wnd);     // the sliders take the arrow and page keys
        SetCapture(Wnd);   // a drag goes on outside the window
    }
    const std::shared_ptr<bool> gone = Gone;
    Form->MouseInput({kind, GET_X_LPARAM(lp), GET_Y_LPARAM(lp), button});
    if (*gone) return;
    Show();
}

void TWin32Platform::Impl::Paint() {
    Show();   // anything the form changed and has not shown yet belongs to this paint
    // The update region's own rectangles: the parts that changed, not their bounding box.
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    bool parts = false;
    if (region && GetUpdateRgn(Wnd, region, FALSE) > NULLREGION) {
        const DWORD size = GetRegionData(region, 0, nullptr);
        RegionData.resize(size);
        parts = size >= sizeof(RGNDATAHEADER) &&
                GetRegionData(region, size, reinterpret_cast<RGNDATA*>(RegionData.data())) == size;
    }
    if (region) DeleteObject(region);
    PAINTSTRUCT ps{};
    HDC dc = BeginPaint(Wnd, &ps);
    if (!dc) return;
    if (parts) {
        const auto* data = reinterpret_cast<const RGNDATA*>(RegionData.data());
        const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
        for (DWORD i = 0; i < data->rdh.nCount; ++i)
            Blit(dc, {rects[i].left, rects[i].top, rects[i].right - rects[i].left,
                      rects[i].bottom - rects[i].top});
    } else {
        Blit(dc, {ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
                  ps.rcPaint.bottom - ps.rcPaint.top});
    }
    EndPaint(Wnd, &ps);
}

void TWin32Platform::Impl::Blit(HDC dc, const TRect& part) {
    const TRect area = part.Intersect({0, 0, Width, Height});
    if (area.Empty()) return;
    Form->PaintArea({Frame.data(), Width, Height, Width}, area);
    // The rows of the area as a top-down DIB of their own: the source is then the whole height
    // of that DIB, which reads the same for either row order.
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
    bmi.bmiHeader.biWidth = Width;
    bmi.bmiHeader.biHeight = -area.Height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, area.Left, area.Top, DWORD(area.Width), DWORD(area.Height), area.Left, 0,
                      0, UINT(area.Height), &Frame[size_t(area.Top) * size_t(Width)], &bmi,
                      DIB_RGB_COLORS);
}

// Windows timers may come a little early: the next one is set for when the form's timer is due.
void TWin32Platform::Impl::ArmTimer() {
    if (!Wnd) return;
    const int64_t due = Form->DIBTimer1.DueIn(SteadyMs());
    const int64_t ms = due < 0 ? TPluginEditorWindow::kTimerInterval : due;
    SetTimer(Wnd, kTimerId, UINT(std::clamp<int64_t>(ms, USER_TIMER_MINIMUM, 1000)), nullptr);
}

// ---------------------------------------------------------------------------------------------

std::unique_ptr<TWin32Platform> TWin32Platform::Create(void* parentHwnd, int width, int height) {
    HWND parent = static_cast<HWND>(parentHwnd);
    if (!parent || !IsWindow(parent) || width <= 0 || height <= 0) return nullptr;
    auto p = std::make_unique<Impl>();
    p->Module = ThisModule();
    // A class for each window: two editors, or two copies of the plug-in, never share one, and
    // nothing stays registered after the editor has closed.
    wchar_t name[64];
    std::swprintf(name, std::size(name), L"QBFX_F editor %p", static_cast<void*>(p.get()));
    p->ClassName = name;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &Impl::Proc;
    wc.hInstance = p->Module;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = p->ClassName.c_str();
    if (!RegisterClassExW(&wc)) return nullptr;
    p->Width = width;
    p->Height = height;
    p->Frame.assign(size_t(width) * size_t(height), 0u);
    p->Wnd = CreateWindowExW(0, p->ClassName.c_str(), L"Quenby", WS_CHILD | WS_CLIPSIBLINGS, 0, 0,
                             width, height, parent, nullptr, p->Module, p.get());
    if (!p->Wnd) {
        UnregisterClassW(p->ClassName.c_str(), p->Module);
        return nullptr;
    }
    return std::unique_ptr<TWin32Platform>(new TWin32Platform(std::move(p)));
}

TWin32Platform::TWin32Platform(std::unique_ptr<Impl> impl) : P_(std::move(impl)) {}

TWin32Platform::~TWin32Platform() {
    P_->Form = nullptr;   // the form is being destroyed: what the window hears now is not for it
    *P_->Gone = true;
    if (P_->InMenu) EndMenu();
    if (HWND wnd = P_->Wnd) {
        KillTimer(wnd, kTimerId);
        DestroyWindow(wnd);
    }
    UnregisterClassW(P_->ClassName.c_str(), P_->Module);
}

void TWin32Platform::Bind(TPluginEditorWindow& form) {
    P_->Form = &form;
    if (!P_->Wnd) return;
    SetTimer(P_->Wnd, kTimerId, UINT(TPluginEditorWindow::kTimerInterval), nullptr);
    P_->Invalidate({0, 0, P_->Width, P_->Height});
    ShowWindow(P_->Wnd, SW_SHOWNA);
}

bool TWin32Platform::KeyHeld(THeldKey key) {
    const int vk = key == THeldKey::LControl   ? VK_LCONTROL
                   : key == THeldKey::RControl ? VK_RCONTROL
                                               : VK_LSHIFT;
    return (GetKeyState(vk) & 0x8000) != 0;
}

int64_t TWin32Platform::NowMs() { return SteadyMs(); }

void TWin32Platform::Sleep(int ms) { ::Sleep(DWORD(std::max(ms, 0))); }

int TWin32Platform::Random(int range) {
    if (range <= 1) return 0;
    return std::uniform_int_distribution<int>(0, range - 1)(P_->Rng);
}

void TWin32Platform::SizeChanged(int width, int height) {
    Impl& p = *P_;
    if (width <= 0 || height <= 0 || (width == p.Width && height == p.Height)) return;
    p.Width = width;
    p.Height = height;
    p.Frame.assign(size_t(width) * size_t(height), 0u);
    if (!p.Wnd) return;
    SetWindowPos(p.Wnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    p.Invalidate({0, 0, width, height});
}

void TWin32Platform::Present(TPluginEditorWindow&) { P_->Show(); }

bool TWin32Platform::OpenMenu(TPluginEditorWindow&, TPopupMenu& menu, int x, int y) {
    Impl& p = *P_;
    if (!p.Wnd) return false;
    std::vector<TMenuItem*> commands;
    HMENU root = BuildMenu(menu.Items, commands);
    if (!root) return false;
    POINT pt{x, y};
    ClientToScreen(p.Wnd, &pt);
    // open for as long as the system's menu loop runs, so the menu's own state tells the truth
    menu.Popup(x, y, {0, 0, p.Width, p.Height});
    const std::shared_ptr<bool> gone = p.Gone;
    p.InMenu = true;
    const int chosen = int(TrackPopupMenu(root, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON |
                                                    TPM_LEFTALIGN | TPM_TOPALIGN,
                                          pt.x, pt.y, 0, p.Wnd, nullptr));
    DestroyMenu(root);
    if (*gone) return true;   // the editor, its menu and its items are no more
    p.InMenu = false;
    menu.Close();
    if (chosen > 0 && size_t(chosen) <= commands.size()) {
        TMenuItem& item = *commands[size_t(chosen) - 1];
        if (item.OnClick) item.OnClick(item);
    }
    return true;
}

TEditorForm* CreatePluginEditorWindow(void* parentWindow) {
    auto platform = TWin32Platform::Create(parentWindow, TPluginEditorWindow::kDesignWidth,
                                           TPluginEditorWindow::kDesignHeight);
    if (!platform) return nullptr;
    TWin32Platform& p = *platform;
    auto* form = new TPluginEditorWindow(std::move(platform));
    p.Bind(*form);
    return form;
}
