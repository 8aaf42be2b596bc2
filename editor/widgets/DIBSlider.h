#pragma once
// A vertical skinned slider: background entry drawn over the track, pointer entry at the offset
// that Position gives (Min at the top). Window thread only; allocates nothing after creation.
#include "editor/widgets/Control.h"
#include "editor/widgets/DIBImageList.h"

enum class TSliderType { stVertical };

class TDIBSlider : public TControl {
public:
    TDIBSlider() = default;

    TSliderType SliderType = TSliderType::stVertical;
    int SmallChange = 1, LargeChange = 1, PageSize = 1;
    bool StretchBackground = true;
    bool AutoSize = true;   // takes the width of its images, keeps its length
    TNotifyEvent OnChange;

    // The image entries; -1 for none. Applies AutoSize.
    void SetImages(const TDIBImageList* images, int indexMain, int indexPointer,
                   int indexEnd1 = -1, int indexEnd2 = -1);

    int Min() const { return Min_; }
    int Max() const { return Max_; }
    int Position() const { return Position_; }
    void SetMin(int v);
    void SetMax(int v);
    // Clamps into [Min, Max], repaints, and raises OnChange only when the position differs from
    // the one OnChange last reported (or the one at creation).
    void SetPosition(int v);

    // Geometry along the track, in pixels from the top of the control.
    int TrackLength() const;
    int PointerOffset() const;   // 0 .. TrackLength, from the top of the track
    TRect PointerRect() const;
    bool Dragging() const { return Dragging_; }

    bool CanFocus() const override { return true; }
    void SetBounds(int left, int top, int width, int height) override;
    void Paint(TCanvas& canvas) override;
    void MouseDown(MouseButton button, int x, int y) override;
    void MouseUp(MouseButton button, int x, int y) override;
    void MouseMove(int x, int y) override;
    void DoubleClick(MouseButton button, int x, int y) override;
    void KeyDown(Key key) override;

private:
    void Press(MouseButton button, int y);
    int ImageHeight(int index) const;
    int ImageWidth(int index) const;
    void ApplyAutoSize();

    const TDIBImageList* Images_ = nullptr;
    int IndexMain_ = -1, IndexPointer_ = -1, IndexEnd1_ = -1, IndexEnd2_ = -1;
    int Min_ = 0, Max_ = 100, Position_ = 0, Notified_ = 0;
    bool Dragging_ = false;
    MouseButton DragButton_ = MouseButton::None;
    int Grab_ = 0;
};
