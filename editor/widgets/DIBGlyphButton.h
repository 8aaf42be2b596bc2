#pragma once
// A button drawn from a strip of 2..5 equal frames side by side; the frame follows its visual
// state. Window thread only.
#include "editor/widgets/Control.h"
#include "editor/widgets/DIBImageList.h"

class TDIBGlyphButton : public TControl {
public:
    enum State { Normal = 0, Pressed = 1, Disabled = 2, Hot = 3, IsDown = 4 };

    TDIBGlyphButton() = default;

    bool ToggleDown = false;   // a click inverts Down
    int GroupIndex = 0;        // non-zero: siblings of the same group release each other
    bool AutoSize = true;      // takes the size of one frame

    void SetGlyph(const TDIBImageList* images, int index);
    int NumGlyphs() const { return NumGlyphs_; }
    // Accepts 2 to 5; other counts are ignored.
    void SetNumGlyphs(int n);
    bool Down() const { return Down_; }
    void SetDown(bool d);

    State VisualState() const;
    int Frame() const;   // index of the frame drawn for the current state
    int FrameWidth() const;

    void Paint(TCanvas& canvas) override;
    void MouseDown(MouseButton button, int x, int y) override;
    void MouseUp(MouseButton button, int x, int y) override;
    void MouseMove(int x, int y) override;
    void DoubleClick(MouseButton button, int x, int y) override;
    void MouseEnter() override;
    void MouseLeave() override;

private:
    void ApplyAutoSize();
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < Width() && y < Height(); }

    const TDIBImageList* Images_ = nullptr;
    int Glyph_ = -1, NumGlyphs_ = 2;
    bool Down_ = false;
    bool LeftHeld_ = false;   // left press started on this button and is still held
    bool Over_ = false;       // pointer inside
};
