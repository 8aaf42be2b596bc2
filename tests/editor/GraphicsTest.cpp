#include <gtest/gtest.h>

#include "editor/widgets/Graphics.h"

TEST(BlendOver, OpaqueReplacesAndTransparentKeeps) {
    EXPECT_EQ(BlendOver(0xFF102030u, 0xFF405060u), 0xFF405060u);
    EXPECT_EQ(BlendOver(0xFF102030u, 0x00405060u), 0xFF102030u);
    EXPECT_EQ(BlendOver(0x00000000u, 0x80FF0000u), 0x80FF0000u);
}
