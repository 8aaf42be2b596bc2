#include "editor/platform/x11/X11Platform.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace {

// X11 defines None as a macro; the first enumerator is "no button".
constexpr MouseButton kNoButton = MouseButton{};

// Errors on our own connection (the host may destroy its window, and with it ours, before it
// closes the editor) are noted instead of ending the process. The handler is installed only
// around our own requests, chained to whatever was there, and restored after a sync.
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
    explicit TErrorTrap(Display* d) : D(d) {
        if (tTrapDepth++ > 0) return;
        tTrapDisplay = d;
        tTrapFailed = false;
        tPreviousHandler = XSetErrorHandler(&TrapError);
    }
    ~TErrorTrap() {
        if (--tTrapDepth > 0) return;
        XSync(D, False);
        XSetErrorHandler(tPreviousHandler);
        tPreviousHandler = nullptr;
        tTrapDisplay = nullptr;
    }
    TErrorTrap(const TErrorTrap&) = delete;
    TErrorTrap& operator=(const TErrorTrap&) = delete;
    // Valid once the outermost trap has synced; inner traps see errors seen so far.
    static bool Failed() { return tTrapFailed; }

private:
    Display* D;
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

constexpr int kDoubleClickMs = 400, kDoubleClickSlop = 4;

}  // namespace

struct TX11Platform::Impl {
    Display* D = nullptr;
    ::Window Parent = 0, Win = 0;
    GC Gc = nullptr;
    Visual* Vis = nullptr;
    int Depth = 0;
    int Width = 0, Height = 0;
    XImage* Image = nullptr;
    std::vector<uint32_t> Frame;        // what the form paints, 0xAARRGGBB
    std::vector<char> ImageData;        // the same in the visual's format, wrapped by Image
    bool FastPath = false;              // 32-bit pixels, 8-bit channels at 16/8/0, native order
    TChannel R, G, B;
    TRect Exposed;
    bool Gone = false;                  // our window was destroyed under us
    KeyCode LControl = 0, RControl = 0, LShift = 0;
    Cursor CrossCursor = 0, HelpCursor = 0;
    TCursor Shown = TCursor::Default;
    std::mt19937 Rng{std::random_device{}()};
    // double-click detection
    unsigned LastButton = 0;
    Time LastPressTime = 0;
    int LastX = -100, LastY = -100;

    void AllocateImage(int w, int h) {
        if (Image) {
            Image->data = nullptr;   // the pixels are ours
            XDestroyImage(Image);
            Image = nullptr;
        }
        Width = w;
        Height = h;
        Frame.assign(size_t(w) * size_t(h), 0u);
        Image = XCreateImage(D, Vis, unsigned(Depth), ZPixmap, 0, nullptr, unsigned(w), unsigned(h),
                             32, 0);
        if (!Image) return;
        ImageData.assign(size_t(Image->bytes_per_line) * size_t(h), 0);
        Image->data = ImageData.data();
        const int native = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
        FastPath = Image->bits_per_pixel == 32 && Image->byte_order == native &&
                   Image->red_mask == 0xFF0000 && Image->green_mask == 0xFF00 &&
                   Image->blue_mask == 0xFF;
        R = TChannel(Image->red_mask);
        G = TChannel(Image->green_mask);
        B = TChannel(Image->blue_mask);
        Exposed = {0, 0, w, h};
    }

    void Convert(const TRect& r) {
        for (int y = r.Top; y < r.Bottom(); ++y) {
            const uint32_t* src = &Frame[size_t(y) * size_t(Width)];
            if (FastPath) {
                auto* dst = reinterpret_cast<uint32_t*>(ImageData.data() +
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

    void ShowCursor(TCursor c) {
        if (c == Shown) return;
        Shown = c;
        if (c == TCursor::Cross) XDefineCursor(D, Win, CrossCursor);
        else if (c == TCursor::Help) XDefineCursor(D, Win, HelpCursor);
        else XUndefineCursor(D, Win);
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
    p->AllocateImage(width, height);
    XFlush(d);
    if (!p->Image) {
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
    {
        TErrorTrap trap(d);
        if (P_->Image) {
            P_->Image->data = nullptr;
            XDestroyImage(P_->Image);
        }
        if (P_->CrossCursor) XFreeCursor(d, P_->CrossCursor);
        if (P_->HelpCursor) XFreeCursor(d, P_->HelpCursor);
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
    char keys[32] = {};
    XQueryKeymap(P_->D, keys);
    return (keys[code / 8] >> (code % 8)) & 1;
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

void TX11Platform::PumpEvents(TPluginEditorWindow& form) {
    Pump(form);
    if (TErrorTrap::Failed()) P_->Gone = true;
}

void TX11Platform::Pump(TPluginEditorWindow& form) {
    Impl& p = *P_;
    TErrorTrap trap(p.D);
    while (XPending(p.D) > 0) {
        XEvent e;
        XNextEvent(p.D, &e);
        if (e.xany.window != p.Win) continue;
        switch (e.type) {
        case Expose:
            p.Exposed = p.Exposed.Union({e.xexpose.x, e.xexpose.y, e.xexpose.width, e.xexpose.height});
            break;
        case DestroyNotify: p.Gone = true; break;
        case ButtonPress: {
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
            const KeySym sym = XLookupKeysym(&e.xkey, 0);
            switch (sym) {
            case XK_Up: form.KeyInput(Key::Up); break;
            case XK_Down: form.KeyInput(Key::Down); break;
            case XK_Prior: form.KeyInput(Key::PageUp); break;
            case XK_Next: form.KeyInput(Key::PageDown); break;
            case XK_Escape: form.KeyInput(Key::Escape); break;
            case XK_Return:
            case XK_KP_Enter: form.KeyInput(Key::Return); break;
            default: break;
            }
            break;
        }
        default: break;
        }
    }
}

void TX11Platform::Present(TPluginEditorWindow& form) {
    Impl& p = *P_;
    const TRect all{0, 0, p.Width, p.Height};
    const TRect dirty = form.TakeDirty().Union(p.Exposed).Intersect(all);
    p.Exposed = {};
    if (dirty.Empty() || !p.Image || p.Gone) return;
    form.PaintArea({p.Frame.data(), p.Width, p.Height, p.Width}, dirty);
    p.Convert(dirty);
    {
        TErrorTrap trap(p.D);
        XPutImage(p.D, p.Win, p.Gc, p.Image, dirty.Left, dirty.Top, dirty.Left, dirty.Top,
                  unsigned(dirty.Width), unsigned(dirty.Height));
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
