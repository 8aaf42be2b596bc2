#include "editor/platform/x11/X11Platform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <climits>
#include <functional>
#include <random>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// X11 defines None as a macro; the first enumerator is "no button".
constexpr MouseButton kNoButton = MouseButton{};

// Errors on our own connection (the host may destroy its window, and with it ours, before it
// closes the editor) are noted instead of ending the process. The handler is installed only
// around our own calls, chained to whatever was there. Rare requests end with a sync, so their
// errors are known at once. The idle work (pumping, blits, the keyboard) does not: the
// connection is ours alone and Xlib reads from it only inside our calls, all of them trapped,
// so an error it answers later still reaches the handler, a call or two on, and no idle waits
// for the server.
thread_local Display* tTrapDisplay = nullptr;
thread_local XErrorHandler tPreviousHandler = nullptr;
thread_local bool tTrapFailed = false;
thread_local int tTrapDepth = 0;

int TrapError(Display* d, XErrorEvent* e) {
    if (d == tTrapDisplay) {
        tTrapFailed = true;
        return 0;
    }
    return tPreviousHandler ? tPreviousHandler(d, e) : 0;
}

class TErrorTrap {
public:
    explicit TErrorTrap(Display* d, bool sync = true) : D(d), Sync(sync) {
        if (tTrapDepth++ > 0) return;
        tTrapDisplay = d;
        tTrapFailed = false;
        tPreviousHandler = XSetErrorHandler(&TrapError);
    }
    ~TErrorTrap() {
        if (--tTrapDepth > 0) return;
        if (Sync) XSync(D, False);
        XSetErrorHandler(tPreviousHandler);
        tPreviousHandler = nullptr;
        tTrapDisplay = nullptr;
    }
    TErrorTrap(const TErrorTrap&) = delete;
    TErrorTrap& operator=(const TErrorTrap&) = delete;
    // The errors seen since the outermost trap began: all of its requests' once it has synced.
    static bool Failed() { return tTrapFailed; }

private:
    Display* D;
    bool Sync;
};

MouseButton ButtonOf(unsigned xbutton) {
    switch (xbutton) {
    case Button1: return MouseButton::Left;
    case Button2: return MouseButton::Middle;
    case Button3: return MouseButton::Right;
    default: return kNoButton;   // wheel and extra buttons
    }
}

MouseButton HeldButtonOf(unsigned state) {
    if (state & Button1Mask) return MouseButton::Left;
    if (state & Button3Mask) return MouseButton::Right;
    if (state & Button2Mask) return MouseButton::Middle;
    return kNoButton;
}

// A channel of 0..255 placed in a visual's colour mask.
struct TChannel {
    int Shift = 0, Bits = 8;
    explicit TChannel(unsigned long mask = 0) {
        if (!mask) return;
        Shift = std::countr_zero(mask);
        Bits = std::popcount(mask);
    }
    unsigned long Place(uint32_t v8) const {
        const uint32_t v = Bits >= 8 ? v8 << (Bits - 8) : v8 >> (8 - Bits);
        return static_cast<unsigned long>(v) << Shift;
    }
};

// What we paint (0xAARRGGBB) and the same pixels in a visual's format, wrapped by an XImage that
// does not own them.
class TImageBuffer {
public:
    TImageBuffer() = default;
    ~TImageBuffer() { Release(); }
    TImageBuffer(const TImageBuffer&) = delete;
    TImageBuffer& operator=(const TImageBuffer&) = delete;

    bool Allocate(Display* d, Visual* vis, int depth, int w, int h) {
        Release();
        Width = w;
        Height = h;
        Frame.assign(size_t(w) * size_t(h), 0u);
        Image = XCreateImage(d, vis, unsigned(depth), ZPixmap, 0, nullptr, unsigned(w),
                             unsigned(h), 32, 0);
        if (!Image) return false;
        Data.assign(size_t(Image->bytes_per_line) * size_t(h), 0);
        Image->data = Data.data();
        const int native = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
        FastPath = Image->bits_per_pixel == 32 && Image->byte_order == native &&
                   Image->red_mask == 0xFF0000 && Image->green_mask == 0xFF00 &&
                   Image->blue_mask == 0xFF;
        R = TChannel(Image->red_mask);
        G = TChannel(Image->green_mask);
        B = TChannel(Image->blue_mask);
        return true;
    }
    void Release() {
        if (!Image) return;
        Image->data = nullptr;   // the pixels are ours
        XDestroyImage(Image);
        Image = nullptr;
    }
    bool Ready() const { return Image != nullptr; }
    PixelBuffer Pixels() { return {Frame.data(), Width, Height, Width}; }

    // Copies `r` of the frame into the visual's format and sends it to `r` of the drawable.
    void Put(Display* d, Drawable to, GC gc, const TRect& r) {
        if (!Image || r.Empty()) return;
        Convert(r);
        XPutImage(d, to, gc, Image, r.Left, r.Top, r.Left, r.Top, unsigned(r.Width),
                  unsigned(r.Height));
    }

    int Width = 0, Height = 0;

private:
    void Convert(const TRect& r) {
        for (int y = r.Top; y < r.Bottom(); ++y) {
            const uint32_t* src = &Frame[size_t(y) * size_t(Width)];
            if (FastPath) {
                auto* dst = reinterpret_cast<uint32_t*>(Data.data() +
                                                        size_t(y) * size_t(Image->bytes_per_line));
                // opaque: a 32-bit visual would otherwise show our alpha
                for (int x = r.Left; x < r.Right(); ++x) dst[x] = src[x] | 0xFF000000u;
            } else {
                for (int x = r.Left; x < r.Right(); ++x) {
                    const uint32_t c = src[x];
                    XPutPixel(Image, x, y,
                              R.Place((c >> 16) & 0xFF) | G.Place((c >> 8) & 0xFF) | B.Place(c & 0xFF));
                }
            }
        }
    }

    XImage* Image = nullptr;
    std::vector<uint32_t> Frame;
    std::vector<char> Data;
    bool FastPath = false;   // 32-bit pixels, 8-bit channels at 16/8/0, native order
    TChannel R, G, B;
};

bool KeyOf(KeySym sym, Key& key) {
    switch (sym) {
    case XK_Up: key = Key::Up; return true;
    case XK_Down: key = Key::Down; return true;
    case XK_Prior: key = Key::PageUp; return true;
    case XK_Next: key = Key::PageDown; return true;
    case XK_Escape: key = Key::Escape; return true;
    case XK_Return:
    case XK_KP_Enter: key = Key::Return; return true;
    default: return false;
    }
}

constexpr int kDoubleClickMs = 400, kDoubleClickSlop = 4;

}  // namespace

// One open level of the context menu: an override-redirect window on the root at the level's
// rectangle (root coordinates) and the pixels painted for it. A window per level rather than one
// window over all of them: each level is a plain rectangle, so no shape extension is needed to
// leave the corners between levels to what lies below, a submenu comes and goes with its own
// window, and the X stacking order (a deeper level mapped later, above) is the menu's.
struct TMenuWindow {
    ::Window W = 0;
    GC Gc = nullptr;
    TRect Rect;
    TImageBuffer Buffer;
};

struct TX11Platform::Impl {
    Display* D = nullptr;
    ::Window Parent = 0, Win = 0, Root = 0;
    GC Gc = nullptr;
    Visual* Vis = nullptr;
    int Depth = 0;
    int Width = 0, Height = 0;
    TImageBuffer Frame;                 // the form's pixels
    TDamage Exposed;
    std::vector<TRect> Damage;          // what the form changed, kept for its storage
    char Keys[32] = {};                 // the keyboard as last read, for this idle
    bool KeysRead = false;
    bool Gone = false;                  // our window was destroyed under us
    KeyCode LControl = 0, RControl = 0, LShift = 0;
    Cursor CrossCursor = 0, HelpCursor = 0, ArrowCursor = 0;
    TCursor Shown = TCursor::Default;
    std::mt19937 Rng{std::random_device{}()};
    // double-click detection
    unsigned LastButton = 0;
    Time LastPressTime = 0;
    int LastX = -100, LastY = -100;
    // the release of a press that closed the menu belongs to no one: it is not passed on
    unsigned SwallowRelease = 0;

    // The context menu while it is open in windows of its own.
    Visual* MenuVis = nullptr;          // the root's visual: the menu windows are top-levels
    int MenuDepth = 0;
    TRect ScreenRect;                   // where the menu is laid out: the whole screen
    TPopupMenu* Menu = nullptr;         // not owned
    std::function<void(TPopupMenu&)> OwnerOnClose;   // the menu's own hook, restored when done
    std::vector<std::unique_ptr<TMenuWindow>> MenuWindows;   // one per open level, in level order
    std::vector<std::tuple<const TMenuItem*, TRect, int>> MenuShown;   // what they show
    bool PointerGrabbed = false, KeyboardGrabbed = false;
    bool MenuDirty = false;
    unsigned RoutingPress = 0;          // the button of the press being routed to the menu
    Atom WindowTypeAtom = 0, PopupMenuAtom = 0;

    void AllocateImage(int w, int h) {
        Width = w;
        Height = h;
        Frame.Allocate(D, Vis, Depth, w, h);
        Exposed.Clear();
        Exposed.Add({0, 0, w, h});
    }

    void ShowCursor(TCursor c) {
        if (c == Shown) return;
        Shown = c;
        if (c == TCursor::Cross) XDefineCursor(D, Win, CrossCursor);
        else if (c == TCursor::Help) XDefineCursor(D, Win, HelpCursor);
        else XUndefineCursor(D, Win);
    }

    // --- the menu windows

    TMenuWindow* MenuWindowOf(::Window w) {
        for (auto& m : MenuWindows)
            if (m->W == w) return m.get();
        return nullptr;
    }

    bool CreateMenuWindow(TMenuWindow& m, const TRect& r) {
        XSetWindowAttributes wa{};
        wa.override_redirect = True;   // placed where we say, no frame: the way menus are made
        wa.save_under = True;
        wa.background_pixmap = None;   // painted right after mapping
        wa.cursor = ArrowCursor;
        wa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                        KeyPressMask;
        const unsigned long mask =
            CWOverrideRedirect | CWSaveUnder | CWBackPixmap | CWCursor | CWEventMask;
        m.W = XCreateWindow(D, Root, r.Left, r.Top, unsigned(r.Width), unsigned(r.Height), 0,
                            MenuDepth, InputOutput, MenuVis, mask, &wa);
        if (!m.W) return false;
        // lets a compositor treat it as the popup menu it is
        if (!WindowTypeAtom) {
            WindowTypeAtom = XInternAtom(D, "_NET_WM_WINDOW_TYPE", False);
            PopupMenuAtom = XInternAtom(D, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
        }
        XChangeProperty(D, m.W, WindowTypeAtom, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&PopupMenuAtom), 1);
        m.Gc = XCreateGC(D, m.W, 0, nullptr);
        m.Rect = r;
        m.Buffer.Allocate(D, MenuVis, MenuDepth, r.Width, r.Height);
        XMapRaised(D, m.W);
        return true;
    }

    void DestroyMenuWindow(TMenuWindow& m) {
        m.Buffer.Release();
        if (m.Gc) XFreeGC(D, m.Gc);
        if (m.W) XDestroyWindow(D, m.W);
        m.Gc = nullptr;
        m.W = 0;
    }

    // Gives every open level a window at its rectangle, and no closed level one.
    void SyncMenuWindows() {
        const auto& levels = Menu->Levels();
        std::vector<std::tuple<const TMenuItem*, TRect, int>> shown;
        for (const auto& lv : levels) shown.emplace_back(lv.Menu, lv.Rect, lv.Hover);
        if (shown == MenuShown) return;
        MenuShown = std::move(shown);
        MenuDirty = true;
        TErrorTrap trap(D);
        while (MenuWindows.size() > levels.size()) {
            DestroyMenuWindow(*MenuWindows.back());
            MenuWindows.pop_back();
        }
        for (size_t i = 0; i < levels.size(); ++i) {
            const TRect& r = levels[i].Rect;
            if (i < MenuWindows.size()) {
                TMenuWindow& m = *MenuWindows[i];
                if (m.Rect == r) continue;
                // another submenu at this depth: the same window, moved above its opener
                XMoveResizeWindow(D, m.W, r.Left, r.Top, unsigned(r.Width), unsigned(r.Height));
                XRaiseWindow(D, m.W);
                m.Rect = r;
                m.Buffer.Allocate(D, MenuVis, MenuDepth, r.Width, r.Height);
                continue;
            }
            auto m = std::make_unique<TMenuWindow>();
            if (!CreateMenuWindow(*m, r)) {
                DestroyMenuWindow(*m);
                break;
            }
            MenuWindows.push_back(std::move(m));
        }
    }

    // Every level window shows the whole menu through its own rectangle, so where levels
    // overlap, the deeper one (whose window lies above) is what both show.
    void PaintMenu() {
        MenuDirty = false;
        if (!Menu || !Menu->IsOpen()) return;
        TErrorTrap trap(D);
        for (auto& m : MenuWindows) {
            if (!m->Buffer.Ready()) continue;
            PixelBuffer px = m->Buffer.Pixels();
            std::fill_n(px.px, size_t(px.width) * size_t(px.height), 0u);
            TCanvas c(px);
            c.OriginX = -m->Rect.Left;
            c.OriginY = -m->Rect.Top;
            Menu->Paint(c);
            m->Buffer.Put(D, m->W, m->Gc, {0, 0, px.width, px.height});
        }
    }

    // Releases the grabs and destroys the windows; the menu itself is not touched, since this
    // runs from its close hook too.
    void EndMenu() {
        if (MenuWindows.empty() && !PointerGrabbed && !KeyboardGrabbed) return;
        {
            TErrorTrap trap(D);
            if (PointerGrabbed) XUngrabPointer(D, CurrentTime);
            if (KeyboardGrabbed) XUngrabKeyboard(D, CurrentTime);
            for (auto& m : MenuWindows) DestroyMenuWindow(*m);
        }
        PointerGrabbed = KeyboardGrabbed = false;
        MenuWindows.clear();
        MenuShown.clear();
        MenuDirty = false;
        if (RoutingPress) SwallowRelease = RoutingPress;
    }

    // EndMenu, and the menu gets its own close hook back: outside that hook, which it replaces.
    void FinishMenu() {
        EndMenu();
        if (!Menu) return;
        Menu->OnClose = std::move(OwnerOnClose);
        OwnerOnClose = nullptr;
        Menu = nullptr;
    }

    // Pointer and key input of every window of ours goes to the open menu, in root coordinates;
    // with the pointer grabbed, that includes presses anywhere else on the screen.
    bool RouteToMenu(const XEvent& e) {
        const bool menuWindow = MenuWindowOf(e.xany.window) != nullptr;
        if (!menuWindow && e.xany.window != Win) return false;
        auto rootPoint = [](const auto& ev) {
            // a pointer on another screen is outside the menu
            constexpr int kFar = INT_MIN / 2;
            return ev.same_screen ? std::pair{ev.x_root, ev.y_root} : std::pair{kFar, kFar};
        };
        switch (e.type) {
        case Expose:
            if (!menuWindow) return false;
            MenuDirty = true;
            return true;
        case ButtonPress: {
            const MouseButton b = ButtonOf(e.xbutton.button);
            if (b == kNoButton) return true;
            const auto [x, y] = rootPoint(e.xbutton);
            RoutingPress = e.xbutton.button;
            Menu->MouseDown(b, x, y);
            RoutingPress = 0;
            return true;
        }
        case ButtonRelease: {
            const MouseButton b = ButtonOf(e.xbutton.button);
            if (b == kNoButton) return true;
            const auto [x, y] = rootPoint(e.xbutton);
            Menu->MouseUp(b, x, y);
            return true;
        }
        case MotionNotify: {
            const auto [x, y] = rootPoint(e.xmotion);
            Menu->MouseMove(x, y);
            return true;
        }
        case KeyPress: {
            Key key{};
            XKeyEvent copy = e.xkey;
            if (KeyOf(XLookupKeysym(&copy, 0), key)) Menu->KeyDown(key);
            return true;
        }
        default: return false;   // the editor window's own structure and crossing events
        }
    }

    // After the menu has had an event: gone, or its windows follow its levels.
    void MenuInputDone() {
        if (!Menu) return;
        if (!Menu->IsOpen()) FinishMenu();
        else SyncMenuWindows();
    }
};

std::unique_ptr<TX11Platform> TX11Platform::Create(unsigned long parentWindow, int width,
                                                   int height) {
    if (!parentWindow) return nullptr;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return nullptr;
    auto p = std::make_unique<Impl>();
    p->D = d;
    p->Parent = parentWindow;
    bool ok = false;
    {
        TErrorTrap trap(d);
        XWindowAttributes pa{};
        if (XGetWindowAttributes(d, p->Parent, &pa)) {
            p->Vis = pa.visual;
            p->Depth = pa.depth;
            p->Root = pa.root;
            p->MenuVis = DefaultVisualOfScreen(pa.screen);
            p->MenuDepth = DefaultDepthOfScreen(pa.screen);
            p->ScreenRect = {0, 0, WidthOfScreen(pa.screen), HeightOfScreen(pa.screen)};
            XSetWindowAttributes wa{};
            wa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                            PointerMotionMask | KeyPressMask | LeaveWindowMask |
                            StructureNotifyMask;
            wa.background_pixmap = None;   // we paint everything; no flash of a background
            wa.bit_gravity = NorthWestGravity;
            p->Win = XCreateWindow(d, p->Parent, 0, 0, unsigned(width), unsigned(height), 0,
                                   CopyFromParent, InputOutput, CopyFromParent,
                                   CWEventMask | CWBackPixmap | CWBitGravity, &wa);
            XStoreName(d, p->Win, "Quenby");
            p->Gc = XCreateGC(d, p->Win, 0, nullptr);
            XMapWindow(d, p->Win);
            ok = true;
        }
    }
    if (!ok || TErrorTrap::Failed()) {
        // a parent that is gone (or not a window) takes our requests with it
        if (p->Gc) XFreeGC(d, p->Gc);
        XCloseDisplay(d);
        return nullptr;
    }
    p->LControl = XKeysymToKeycode(d, XK_Control_L);
    p->RControl = XKeysymToKeycode(d, XK_Control_R);
    p->LShift = XKeysymToKeycode(d, XK_Shift_L);
    p->CrossCursor = XCreateFontCursor(d, XC_crosshair);
    p->HelpCursor = XCreateFontCursor(d, XC_question_arrow);
    p->ArrowCursor = XCreateFontCursor(d, XC_left_ptr);
    p->AllocateImage(width, height);
    XFlush(d);
    if (!p->Frame.Ready()) {
        XFreeCursor(d, p->CrossCursor);
        XFreeCursor(d, p->HelpCursor);
        XFreeCursor(d, p->ArrowCursor);
        XDestroyWindow(d, p->Win);
        XFreeGC(d, p->Gc);
        XCloseDisplay(d);
        return nullptr;
    }
    return std::unique_ptr<TX11Platform>(new TX11Platform(std::move(p)));
}

TX11Platform::TX11Platform(std::unique_ptr<Impl> impl) : P_(std::move(impl)) {}

TX11Platform::~TX11Platform() {
    Display* d = P_->D;
    // a menu still open (the editor closes under it): its grabs and windows go with us
    P_->FinishMenu();
    {
        TErrorTrap trap(d);
        P_->Frame.Release();
        if (P_->CrossCursor) XFreeCursor(d, P_->CrossCursor);
        if (P_->HelpCursor) XFreeCursor(d, P_->HelpCursor);
        if (P_->ArrowCursor) XFreeCursor(d, P_->ArrowCursor);
        XFreeGC(d, P_->Gc);
        if (!P_->Gone) XDestroyWindow(d, P_->Win);
    }
    XCloseDisplay(d);
}

unsigned long TX11Platform::Window() const { return P_->Win; }

bool TX11Platform::KeyHeld(THeldKey key) {
    const KeyCode code = key == THeldKey::LControl   ? P_->LControl
                         : key == THeldKey::RControl ? P_->RControl
                                                     : P_->LShift;
    if (!code) return false;
    // one request per idle at most: the timer asks for up to three keys
    if (!P_->KeysRead) {
        TErrorTrap trap(P_->D, false);
        XQueryKeymap(P_->D, P_->Keys);
        P_->KeysRead = true;
    }
    return (P_->Keys[code / 8] >> (code % 8)) & 1;
}

int64_t TX11Platform::NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TX11Platform::Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int TX11Platform::Random(int range) {
    if (range <= 1) return 0;
    return std::uniform_int_distribution<int>(0, range - 1)(P_->Rng);
}

void TX11Platform::SizeChanged(int width, int height) {
    if (width == P_->Width && height == P_->Height) return;
    if (!P_->Gone) {
        TErrorTrap trap(P_->D);
        XResizeWindow(P_->D, P_->Win, unsigned(width), unsigned(height));
    }
    P_->AllocateImage(width, height);
}

bool TX11Platform::OpenMenu(TPluginEditorWindow&, TPopupMenu& menu, int x, int y) {
    Impl& p = *P_;
    if (p.Menu) {
        // one menu at a time: an earlier one closes as if Escape had been pressed
        if (p.Menu->IsOpen()) p.Menu->Close();
        p.FinishMenu();
    }
    if (p.Gone) return false;
    int rx = 0, ry = 0;
    ::Window child = 0;
    {
        TErrorTrap trap(p.D);
        if (!XTranslateCoordinates(p.D, p.Win, p.Root, x, y, &rx, &ry, &child)) return false;
    }
    menu.Popup(rx, ry, p.ScreenRect);
    if (!menu.IsOpen()) return false;   // nothing in it

    p.Menu = &menu;
    p.OwnerOnClose = std::move(menu.OnClose);
    Impl* impl = &p;
    menu.OnClose = [impl](TPopupMenu& m) {
        // before the chosen item's handler runs: the menu is gone from the screen by then
        impl->EndMenu();
        if (impl->OwnerOnClose) impl->OwnerOnClose(m);
    };
    p.SyncMenuWindows();
    bool grabbed = false;
    {
        TErrorTrap trap(p.D);
        if (!p.MenuWindows.empty()) {
            // the top level exists as long as the menu is open: it holds the grabs, and with
            // owner events our own windows still get their events with their own coordinates
            const ::Window top = p.MenuWindows.front()->W;
            grabbed = XGrabPointer(p.D, top, True,
                                   ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                   GrabModeAsync, GrabModeAsync, None, None,
                                   CurrentTime) == GrabSuccess;
            p.PointerGrabbed = grabbed;
            // without the keyboard the menu still works by pointer, and Escape reaches it
            // while our windows have the focus
            if (grabbed)
                p.KeyboardGrabbed = XGrabKeyboard(p.D, top, False, GrabModeAsync, GrabModeAsync,
                                                  CurrentTime) == GrabSuccess;
        }
    }
    if (!grabbed || TErrorTrap::Failed()) {
        // another client holds the pointer: without seeing clicks elsewhere a menu could stay
        // on the screen for good, so the form shows it inside the editor instead; nobody is
        // told of the close of a menu that never showed
        p.EndMenu();
        p.Menu = nullptr;
        menu.OnClose = nullptr;
        menu.Close();
        menu.OnClose = std::move(p.OwnerOnClose);
        p.OwnerOnClose = nullptr;
        return false;
    }
    p.PaintMenu();
    {
        TErrorTrap trap(p.D, false);
        XFlush(p.D);
    }
    return true;
}

void TX11Platform::PumpEvents(TPluginEditorWindow& form) {
    P_->KeysRead = false;
    Pump(form);
    if (TErrorTrap::Failed()) P_->Gone = true;
}

void TX11Platform::Pump(TPluginEditorWindow& form) {
    Impl& p = *P_;
    // XPending only flushes and reads what has arrived: no wait for the server when nothing is
    TErrorTrap trap(p.D, false);
    while (XPending(p.D) > 0) {
        XEvent e;
        XNextEvent(p.D, &e);
        if (p.Menu && p.RouteToMenu(e)) {
            p.MenuInputDone();
            continue;
        }
        if (e.xany.window != p.Win) continue;
        switch (e.type) {
        case Expose:
            p.Exposed.Add({e.xexpose.x, e.xexpose.y, e.xexpose.width, e.xexpose.height});
            break;
        case DestroyNotify: p.Gone = true; break;
        case ButtonPress: {
            p.SwallowRelease = 0;
            const MouseButton b = ButtonOf(e.xbutton.button);
            if (b == kNoButton) break;
            const bool twice = e.xbutton.button == p.LastButton &&
                               e.xbutton.time - p.LastPressTime < Time(kDoubleClickMs) &&
                               std::abs(e.xbutton.x - p.LastX) <= kDoubleClickSlop &&
                               std::abs(e.xbutton.y - p.LastY) <= kDoubleClickSlop;
            // a third press starts a new pair
            p.LastButton = twice ? 0 : e.xbutton.button;
            p.LastPressTime = e.xbutton.time;
            p.LastX = e.xbutton.x;
            p.LastY = e.xbutton.y;
            if (!p.Gone) XSetInputFocus(p.D, p.Win, RevertToParent, e.xbutton.time);
            form.MouseInput({twice ? MouseEvent::Kind::DoubleClick : MouseEvent::Kind::Down,
                             e.xbutton.x, e.xbutton.y, b});
            break;
        }
        case ButtonRelease: {
            if (e.xbutton.button == p.SwallowRelease) {
                p.SwallowRelease = 0;
                break;
            }
            const MouseButton b = ButtonOf(e.xbutton.button);
            if (b != kNoButton)
                form.MouseInput({MouseEvent::Kind::Up, e.xbutton.x, e.xbutton.y, b});
            break;
        }
        case MotionNotify:
            form.MouseInput({MouseEvent::Kind::Move, e.xmotion.x, e.xmotion.y,
                             HeldButtonOf(e.xmotion.state)});
            if (!p.Gone) p.ShowCursor(form.CursorAt(e.xmotion.x, e.xmotion.y));
            break;
        case LeaveNotify:
            if (e.xcrossing.mode == NotifyNormal) form.MouseLeftWindow();
            break;
        case KeyPress: {
            Key key{};
            if (KeyOf(XLookupKeysym(&e.xkey, 0), key)) form.KeyInput(key);
            break;
        }
        default: break;
        }
    }
    if (p.Menu && p.MenuDirty) p.PaintMenu();
    // what the events asked for (a cursor, the focus) goes out now, not with the next idle
    XFlush(p.D);
}

void TX11Platform::Present(TPluginEditorWindow& form) {
    Impl& p = *P_;
    const TRect all{0, 0, p.Width, p.Height};
    form.TakeDamage(p.Damage);
    for (const TRect& r : p.Exposed.Rects()) p.Damage.push_back(r);
    p.Exposed.Clear();
    if (p.Damage.empty() || !p.Frame.Ready() || p.Gone) return;
    {
        // each changed part painted and sent by itself, then one flush: no reply awaited
        TErrorTrap trap(p.D, false);
        for (const TRect& d : p.Damage) {
            const TRect r = d.Intersect(all);
            if (r.Empty()) continue;
            form.PaintArea(p.Frame.Pixels(), r);
            p.Frame.Put(p.D, p.Win, p.Gc, r);
        }
        XFlush(p.D);
    }
    if (TErrorTrap::Failed()) p.Gone = true;
}

TEditorForm* CreatePluginEditorWindow(void* parentWindow) {
    auto platform = TX11Platform::Create(reinterpret_cast<uintptr_t>(parentWindow),
                                         TPluginEditorWindow::kDesignWidth,
                                         TPluginEditorWindow::kDesignHeight);
    if (!platform) return nullptr;
    return new TPluginEditorWindow(std::move(platform));
}
