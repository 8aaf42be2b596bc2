#include "editor/widgets/PopupMenu.h"

#include <gtest/gtest.h>

#include "editor/resources/Resources.h"

namespace {
struct TPopupMenuTest : ::testing::Test {
    TFontSet Fonts{Resource("DejaVuSans.ttf"), Resource("DejaVuSans-Bold.ttf")};
    TPopupMenu Menu{&Fonts};
    std::vector<std::string> Clicked;
    int Closed = 0;
    const TRect Area{0, 0, 632, 395};

    void SetUp() override {
        auto click = [this](TMenuItem& it) { Clicked.push_back(it.Caption); };
        Menu.Items.Add("Reset parameter").OnClick = click;
        Menu.Items.AddSeparator();
        TMenuItem& colours = Menu.Items.Add("Set standard color");
        for (const char* c : {"Cream", "Dollar", "Silver", "Gray", "White"})
            colours.Add(c, int(colours.Items.size())).OnClick = click;
        Menu.Items.Add("Performer view").OnClick = click;
        Menu.OnClose = [this](TPopupMenu&) { ++Closed; };
    }
    // Centre of item i of level l.
    std::pair<int, int> At(size_t l, size_t i) const {
        const TRect r = Menu.Levels()[l].ItemRects[i];
        return {r.Left + r.Width / 2, r.Top + r.Height / 2};
    }
    TMenuItem* ClickAt(std::pair<int, int> p) {
        Menu.MouseMove(p.first, p.second);
        Menu.MouseDown(MouseButton::Left, p.first, p.second);
        return Menu.MouseUp(MouseButton::Left, p.first, p.second);
    }
};
}  // namespace

TEST_F(TPopupMenuTest, ChoosingAnItemClosesAndReturnsIt) {
    Menu.Popup(10, 10, Area);
    ASSERT_TRUE(Menu.IsOpen());
    TMenuItem* chosen = ClickAt(At(0, 3));
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->Caption, "Performer view");
    EXPECT_FALSE(Menu.IsOpen());
    EXPECT_EQ(Closed, 1);
    EXPECT_EQ(Clicked, std::vector<std::string>{"Performer view"});
}

TEST_F(TPopupMenuTest, ReleaseOfTheOpeningClickChoosesNothing) {
    Menu.Popup(10, 10, Area);
    EXPECT_EQ(Menu.MouseUp(MouseButton::Right, 10, 10), nullptr);
    EXPECT_TRUE(Menu.IsOpen());
    EXPECT_TRUE(Clicked.empty());
}

TEST_F(TPopupMenuTest, HoverOpensSubmenuAndItsItemCarriesItsTag) {
    Menu.Popup(10, 10, Area);
    const auto opener = At(0, 2);
    Menu.MouseMove(opener.first, opener.second);
    ASSERT_EQ(Menu.Levels().size(), 2u);
    EXPECT_GE(Menu.Levels()[1].Rect.Left, Menu.Levels()[0].Rect.Right() - 1);
    TMenuItem* chosen = ClickAt(At(1, 2));
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->Caption, "Silver");
    EXPECT_EQ(chosen->Tag, 2);
    EXPECT_FALSE(Menu.IsOpen());
}

TEST_F(TPopupMenuTest, HoveringAnotherItemClosesTheSubmenu) {
    Menu.Popup(10, 10, Area);
    const auto opener = At(0, 2), other = At(0, 0);
    Menu.MouseMove(opener.first, opener.second);
    Menu.MouseMove(other.first, other.second);
    EXPECT_EQ(Menu.Levels().size(), 1u);
    EXPECT_EQ(Menu.Hovered()->Caption, "Reset parameter");
}

TEST_F(TPopupMenuTest, SeparatorsAndSubmenuOpenersAreNotChosen) {
    Menu.Popup(10, 10, Area);
    EXPECT_EQ(ClickAt(At(0, 1)), nullptr);
    EXPECT_EQ(ClickAt(At(0, 2)), nullptr);
    EXPECT_TRUE(Menu.IsOpen());
    EXPECT_TRUE(Clicked.empty());
}

TEST_F(TPopupMenuTest, EscapeClosesTheDeepestLevelThenTheMenu) {
    Menu.Popup(10, 10, Area);
    const auto opener = At(0, 2);
    Menu.MouseMove(opener.first, opener.second);
    ASSERT_EQ(Menu.Levels().size(), 2u);
    Menu.KeyDown(Key::Escape);
    EXPECT_EQ(Menu.Levels().size(), 1u);
    EXPECT_EQ(Closed, 0);
    Menu.KeyDown(Key::Escape);
    EXPECT_FALSE(Menu.IsOpen());
    EXPECT_EQ(Closed, 1);
    EXPECT_TRUE(Clicked.empty());
}

TEST_F(TPopupMenuTest, PressOutsideClosesWithoutChoosing) {
    Menu.Popup(10, 10, Area);
    const TRect b = Menu.Bounds();
    EXPECT_EQ(Menu.MouseDown(MouseButton::Left, b.Right() + 5, b.Top), nullptr);
    EXPECT_FALSE(Menu.IsOpen());
    EXPECT_EQ(Closed, 1);
    EXPECT_TRUE(Clicked.empty());
}

TEST_F(TPopupMenuTest, KeysSkipSeparatorsAndReturnChoosesOrOpens) {
    Menu.Popup(10, 10, Area);
    Menu.KeyDown(Key::Down);
    EXPECT_EQ(Menu.Hovered()->Caption, "Reset parameter");
    Menu.KeyDown(Key::Down);
    EXPECT_EQ(Menu.Hovered()->Caption, "Set standard color");
    Menu.KeyDown(Key::Return);
    ASSERT_EQ(Menu.Levels().size(), 2u);
    EXPECT_EQ(Menu.Hovered()->Caption, "Cream");
    Menu.KeyDown(Key::Up);
    EXPECT_EQ(Menu.Hovered()->Caption, "White");
    TMenuItem* chosen = Menu.KeyDown(Key::Return);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen->Tag, 4);
    EXPECT_EQ(Clicked, std::vector<std::string>{"White"});
}

TEST_F(TPopupMenuTest, StaysInsideTheAreaNearItsEdges) {
    for (auto [x, y] : {std::pair{620, 390}, std::pair{0, 0}, std::pair{500, 300}}) {
        SCOPED_TRACE(::testing::Message() << x << "," << y);
        Menu.Popup(x, y, Area);
        const auto opener = At(0, 2);
        Menu.MouseMove(opener.first, opener.second);
        ASSERT_EQ(Menu.Levels().size(), 2u);
        EXPECT_EQ(Menu.Bounds().Intersect(Area), Menu.Bounds());
        // the submenu does not cover its opener
        EXPECT_TRUE(Menu.Levels()[1].Rect.Intersect(Menu.Levels()[0].ItemRects[2]).Width <= 1);
    }
}

TEST_F(TPopupMenuTest, PaintsHighlightOnlyOnTheHoveredItemAndNothingOutside) {
    Menu.Popup(10, 10, Area);
    const auto p = At(0, 3);
    Menu.MouseMove(p.first, p.second);
    TBitmap out(632, 395, 0);
    TCanvas c(out.View());
    Menu.Paint(c);
    const TRect hovered = Menu.Levels()[0].ItemRects[3], plain = Menu.Levels()[0].ItemRects[0];
    EXPECT_NE(out.At(hovered.Left + 2, hovered.Top + 2), out.At(plain.Left + 2, plain.Top + 2));
    const TRect b = Menu.Bounds();
    for (int y = 0; y < 395; ++y)
        for (int x = 0; x < 632; ++x)
            if (!b.Contains(x, y)) {
                ASSERT_EQ(out.At(x, y), 0u) << x << "," << y;
            }
}
