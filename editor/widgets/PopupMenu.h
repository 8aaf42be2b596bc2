#pragma once
// A popup menu with submenus: the item tree, and the open menu laid out, painted and hit-tested
// in the coordinates it was opened in. The owner forwards pointer and key events while it is
// open and shows what Paint draws above everything else. Window thread only.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/widgets/Control.h"
#include "editor/widgets/Text.h"

struct TMenuItem {
    std::string Name, Caption;
    int Tag = 0;
    bool Separator = false;
    std::function<void(TMenuItem&)> OnClick;
    std::vector<std::unique_ptr<TMenuItem>> Items;   // a submenu when not empty

    TMenuItem& Add(std::string caption, int tag = 0, std::string name = {});
    TMenuItem& AddSeparator(std::string name = {});
    bool HasSubmenu() const { return !Items.empty(); }
};

class TPopupMenu {
public:
    explicit TPopupMenu(TFontSet* fonts = nullptr) : Fonts(fonts) {}

    TMenuItem Items;          // the root; its Items are the top level
    TFontSet* Fonts;          // not owned
    int FontHeight = 11;
    std::function<void(TPopupMenu&)> OnClose;   // after it closes, chosen or not

    struct TLevel {
        TMenuItem* Menu = nullptr;
        TRect Rect;                   // whole level
        std::vector<TRect> ItemRects;  // same coordinates as Rect
        int Hover = -1;
    };

    // Opens the top level with its corner at x, y, kept inside `area` where it fits.
    void Popup(int x, int y, const TRect& area);
    void Close();
    bool IsOpen() const { return !Levels_.empty(); }
    const std::vector<TLevel>& Levels() const { return Levels_; }
    TRect Bounds() const;   // union of the open levels
    TMenuItem* Hovered() const;   // highlighted item of the deepest level

    void Paint(TCanvas& canvas);

    // Each returns the chosen item (the menu is then closed and the item's OnClick called),
    // or nullptr. A press outside every level closes the menu.
    TMenuItem* MouseMove(int x, int y);
    TMenuItem* MouseDown(MouseButton button, int x, int y);
    TMenuItem* MouseUp(MouseButton button, int x, int y);
    // Up and down move the highlight, Return chooses or opens, Escape closes the deepest level.
    TMenuItem* KeyDown(Key key);

    // Layout constants, in pixels.
    static constexpr int ItemPadX = 14, ArrowSpace = 22, SeparatorHeight = 7, Border = 2,
                         MinWidth = 120;
    int ItemHeight() const { return FontHeight + 9; }

private:
    TLevel Layout(TMenuItem& menu, int x, int y, int openerLeft);
    void Hover(size_t level, int index);
    TMenuItem* Choose(TMenuItem* item);
    bool HitLevel(int x, int y, size_t& level, int& index) const;

    std::vector<TLevel> Levels_;
    TRect Area_;
    int OpenX_ = 0, OpenY_ = 0;
    bool Armed_ = false;   // keeps the release of the opening click from choosing the first item
};
