#pragma once
// Base of the windowless controls and the container that composes them. Window thread only;
// a control paints into a canvas in its own coordinates and takes events as plain calls.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/widgets/Graphics.h"

enum class MouseButton { None, Left, Right, Middle };

// A pointer event in the coordinates of whoever receives it. Moves carry the held button, if any.
struct MouseEvent {
    enum class Kind { Down, Up, Move, DoubleClick } kind = Kind::Move;
    int x = 0, y = 0;
    MouseButton button = MouseButton::None;
};

enum class Key { Up, Down, PageUp, PageDown, Escape, Return };

enum class TCursor { Default, Cross, Help };

enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
enum class TAlign { None, Top };

class TControl;
class TDIBContainer;
class TPopupMenu;

using TNotifyEvent = std::function<void(TControl& sender)>;
using TMouseEventHandler = std::function<void(TControl& sender, MouseButton button, int x, int y)>;
using TMouseMoveHandler = std::function<void(TControl& sender, int x, int y)>;

class TControl {
public:
    virtual ~TControl() = default;
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    std::string Name, Hint;
    int Tag = 0;
    TCursor Cursor = TCursor::Default;
    TPopupMenu* PopupMenu = nullptr;   // not owned
    unsigned Anchors = akLeft | akTop;
    TAlign Align = TAlign::None;

    TNotifyEvent OnClick, OnDblClick;
    TMouseEventHandler OnMouseDown, OnMouseUp;
    TMouseMoveHandler OnMouseMove;

    int Left() const { return Bounds_.Left; }
    int Top() const { return Bounds_.Top; }
    int Width() const { return Bounds_.Width; }
    int Height() const { return Bounds_.Height; }
    const TRect& Bounds() const { return Bounds_; }   // in parent coordinates
    virtual void SetBounds(int left, int top, int width, int height);
    void SetPos(int left, int top) { SetBounds(left, top, Width(), Height()); }
    void SetSize(int width, int height) { SetBounds(Left(), Top(), width, height); }

    bool Visible() const { return Visible_; }
    void SetVisible(bool v);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible and every parent visible too.
    bool Showing() const;
    bool Enabled() const { return Enabled_; }
    void SetEnabled(bool e);
    virtual bool CanFocus() const { return false; }

    TDIBContainer* Parent() const { return Parent_; }
    // Top-left corner in the coordinates of the root container.
    void AbsoluteOrigin(int& x, int& y) const;
    // Raises this control above its siblings.
    void BringToFront();

    // Marks the control's area for repainting.
    void Invalidate();
    void InvalidateRect(const TRect& local);

    virtual void Paint(TCanvas& canvas) = 0;
    // Paints into a buffer that holds just this control.
    void PaintTo(PixelBuffer buffer) {
        TCanvas c(buffer);
        Paint(c);
    }

    // Event entries, in local coordinates; the container calls them.
    virtual void MouseDown(MouseButton button, int x, int y);
    virtual void MouseUp(MouseButton button, int x, int y);
    virtual void MouseMove(int x, int y);
    virtual void DoubleClick(MouseButton button, int x, int y);
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    virtual void KeyDown(Key) {}

    // Keeps the anchored edges at their distance when the parent's client size changes.
    virtual void ParentResized(int oldWidth, int oldHeight, int newWidth, int newHeight);

protected:
    TControl() = default;
    bool ClickArmed_ = false;   // left press seen on this control, OnClick pending

private:
    friend class TDIBContainer;
    TRect Bounds_;
    bool Visible_ = true, Enabled_ = true;
    TDIBContainer* Parent_ = nullptr;
};

// A panel that paints its colour (or its parent's) and composes its children over it, in order,
// later children above earlier ones. The container with no parent is the root: it routes pointer
// and key events, keeps the mouse capture during a press and collects the dirty area.
class TDIBContainer : public TControl {
public:
    TDIBContainer() = default;

    uint32_t Color = Argb(255, 128, 128, 128);
    bool ParentColor = true;   // take the colour of the parent; the root always uses its own
    uint32_t EffectiveColor() const;
    void SetColor(uint32_t argb);   // repaints everything that shows the colour

    // Adds a child owned by this container and returns it.
    template <class T, class... A> T& Add(int left, int top, int width, int height, A&&... args) {
        auto p = std::make_unique<T>(std::forward<A>(args)...);
        T& ref = *p;
        Adopt(std::move(p), left, top, width, height);
        return ref;
    }
    const std::vector<std::unique_ptr<TControl>>& Children() const { return Children_; }
    void Raise(TControl& child);
    // Applies the top alignment of the children now (it is kept on every resize).
    void Realign();

    void SetBounds(int left, int top, int width, int height) override;
    void Paint(TCanvas& canvas) override;

    // Root only: the deepest showing, enabled control at a point (root coordinates).
    TControl* ControlAt(int x, int y);
    // Root only: routes a pointer event given in root coordinates.
    void DispatchMouse(const MouseEvent& ev);
    void MouseLeftWindow();
    void DispatchKey(Key key);
    TControl* Capture() const { return Capture_; }
    TControl* Hovered() const { return Hovered_; }
    TControl* Focused() const { return Focused_; }
    void SetFocus(TControl* c) { Focused_ = c; }

    // Root only: what changed since it was last taken, as rectangles to repaint one by one
    // (TakeDamage) or as their bounding rectangle (TakeDirty), and a callback on every change.
    std::function<void(const TRect&)> OnInvalidate;
    TRect TakeDirty() {
        const TRect d = Dirty_.Bounds();
        Dirty_.Clear();
        return d;
    }
    void TakeDamage(std::vector<TRect>& out) { Dirty_.TakeInto(out); }
    const TDamage& Damage() const { return Dirty_; }
    // Root only: paints the dirty part (or `area`) of the tree into a buffer of the root's size.
    void PaintArea(PixelBuffer buffer, const TRect& area);

private:
    friend class TControl;
    void Adopt(std::unique_ptr<TControl> child, int left, int top, int width, int height);
    void RealignChildren(int oldWidth, int oldHeight);
    void AddDirty(const TRect& r);
    void Forget(TControl* c);   // drops references held by the root
    TDIBContainer* Root();

    std::vector<std::unique_ptr<TControl>> Children_;
    TDamage Dirty_;
    TControl* Capture_ = nullptr;
    TControl* Hovered_ = nullptr;
    TControl* Focused_ = nullptr;
    unsigned HeldButtons_ = 0;
};
