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
    void Paint(TCanvas& canvas) override;

private:
    std::string Caption_;
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
    // Further drawing on each paint, after the pixels.
    std::function<void(TPaintBox&, TCanvas&)> OnPaint;
    void Paint(TCanvas& canvas) override;

private:
    TBitmap Layer_;
};
