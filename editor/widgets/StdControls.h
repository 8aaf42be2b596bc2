#pragma once
// The plain controls of the editor: a picture, a static text and a paint box. Window thread only.
#include <memory>
#include <string>

#include "editor/widgets/Control.h"
#include "editor/widgets/Text.h"

// Draws its picture at natural size from its top-left corner, alpha-blended; the rest of the
// control is transparent. Without a picture it is a transparent hot zone.
class TImage : public TControl {
public:
    TImage() = default;
    void SetPicture(std::shared_ptr<const TBitmap> picture);
    const TBitmap* Picture() const { return Picture_.get(); }
    void Paint(TCanvas& canvas) override;

private:
    std::shared_ptr<const TBitmap> Picture_;
};

// One line of left-aligned text, clipped to the control; transparent ground.
class TStaticText : public TControl {
public:
    explicit TStaticText(TFontSet* fonts = nullptr) : Fonts(fonts) {}
    TFontSet* Fonts;   // not owned
    int FontHeight = 11;   // pixels per em
    bool Bold = false;
    uint32_t FontColor = Argb(255, 0, 0, 0);

    const std::string& Caption() const { return Caption_; }
    void SetCaption(std::string text);
    int CaptionWidth() const;   // in pixels; 0 without fonts
    void Paint(TCanvas& canvas) override;

protected:
    virtual void CaptionChanged() {}
    // Draws the caption with its top-left corner at that of `where` (local), clipped to it.
    void DrawCaption(TCanvas& canvas, const TRect& where);

private:
    std::string Caption_;
};

// A static text that keeps its design place while its caption fits and otherwise widens, toward
// the left or the right up to a limit, over whatever lies there, on a field of its own: the part
// `source` of a picture that shows the text's usual field, drawn with `cap` pixels at each end
// kept and the middle stretched. A caption too wide even for the limit is cut at it.
class TGrowingText final : public TStaticText {
public:
    enum class TSide { Left, Right };
    using TStaticText::TStaticText;

    // Call once the design bounds are set. `frame` is where the field lies around them and
    // `limit` the furthest x the field may reach on `side`, both in parent coordinates.
    void SetField(std::shared_ptr<const TBitmap> picture, const TRect& source, const TRect& frame,
                  int cap, TSide side, int limit);
    bool Grown() const { return Grow_ > 0; }
    // Where the caption is drawn now, and where the field is (empty while it is not grown),
    // in parent coordinates.
    TRect TextRect() const;
    TRect FieldRect() const;

    void Paint(TCanvas& canvas) override;
    void ParentResized(int oldWidth, int oldHeight, int newWidth, int newHeight) override;

protected:
    void CaptionChanged() override { Relayout(); }

private:
    void Relayout();
    std::shared_ptr<const TBitmap> Picture_;
    TRect Source_, Design_, Frame_;
    int Cap_ = 0, Limit_ = 0, Grow_ = 0;
    TSide Side_ = TSide::Left;
};

// Paints nothing of its own; the owner sets single pixels, which stay until Repaint erases them
// (so what shows below the box appears again).
class TPaintBox : public TControl {
public:
    TPaintBox() = default;
    void SetBounds(int left, int top, int width, int height) override;
    void Repaint();
    void SetPixel(int x, int y, uint32_t argb);   // ignored outside the box
    uint32_t Pixel(int x, int y) const;           // 0 where nothing is set
    // A whole new drawing, as Repaint and SetPixel calls, that marks changed only the parts of
    // the columns whose pixels differ from the drawing before: the pixels set between the two
    // calls replace all of the previous ones.
    void BeginRedraw();
    void EndRedraw();
    // Further drawing on each paint, after the pixels.
    std::function<void(TPaintBox&, TCanvas&)> OnPaint;
    void Paint(TCanvas& canvas) override;

private:
    TBitmap Layer_;
    TBitmap Before_;   // the drawing a redraw replaces
    TDamage Changed_;  // where the two differ
    bool Redrawing_ = false;
};
