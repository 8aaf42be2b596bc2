#include <gtest/gtest.h>

#include "editor/widgets/Graphics.h"

#include <vector>

TEST(BlendOver, OpaqueReplacesAndTransparentKeeps) {
    EXPECT_EQ(BlendOver(0xFF102030u, 0xFF405060u), 0xFF405060u);
    EXPECT_EQ(BlendOver(0xFF102030u, 0x00405060u), 0xFF102030u);
    EXPECT_EQ(BlendOver(0x00000000u, 0x80FF0000u), 0x80FF0000u);
}

TEST(TDamage, JoinsOnlyWhereOneRectangleCostsLessThanTwoAndCoversEverythingAdded) {
    TDamage d;
    d.Add({0, 0, 10, 10});
    d.Add({300, 200, 10, 10});   // far apart: two
    EXPECT_EQ(d.Rects().size(), 2u);
    d.Add({2, 2, 3, 3});         // inside the first: nothing more
    EXPECT_EQ(d.Rects().size(), 2u);
    EXPECT_EQ(d.Area(), 200);
    d.Add({10, 0, 10, 10});      // touching: one rectangle of exactly both
    EXPECT_EQ(d.Rects().size(), 2u);
    EXPECT_EQ(d.Area(), 300);
    d.Add({}); // empty: ignored
    EXPECT_EQ(d.Rects().size(), 2u);

    // many scattered ones: capped in number, and every added pixel still covered
    TDamage many;
    std::vector<TRect> added;
    for (int i = 0; i < 200; ++i) {
        const TRect r{(i * 37) % 600, (i * 53) % 380, 1 + i % 3, 1 + i % 4};
        added.push_back(r);
        many.Add(r);
    }
    EXPECT_LE(many.Rects().size(), TDamage::kMaxRects);
    for (const TRect& r : added) {
        bool covered = false;
        for (const TRect& q : many.Rects()) covered = covered || q.Intersect(r) == r;
        EXPECT_TRUE(covered) << r.Left << ", " << r.Top;
    }
    std::vector<TRect> out;
    many.TakeInto(out);
    EXPECT_TRUE(many.Empty());
    EXPECT_FALSE(out.empty());
}
