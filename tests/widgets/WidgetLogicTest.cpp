// Geometry and colour rules of the widgets, without windows.
#include <gtest/gtest.h>

#include "widgets/EnTabCtrl.h"
#include "widgets/KCBusyProgressCtrl.h"
#include "widgets/LabelEx.h"
#include "widgets/MyButtonST.h"

// The main window's meters: 20 blocks over 0..512, one pixel apart. A client
// width of 219 gives blocks of 9.95 pixels.
TEST(MeterBlocks, LitBlocksAndPartialWidthOverTheLevelRange) {
    struct Case {
        int nPos, nLit, nPartial;
    } cases[] = {
        {0, 0, 0},      // silence: 20 unlit blocks
        {128, 5, 0},    // 25.6 units a block: exactly five
        {140, 5, 4},    // five and 47 % of the sixth: 0.46875 * 9.95 = 4.66
        {512, 20, 0},   // full scale
        {600, 20, 0},   // beyond the range: all lit, nothing past the last block
        {-30, 0, 0},    // a negative level lights nothing
    };
    for (const Case& c : cases) {
        MeterBlocks mb = ComputeMeterBlocks(219, 20, 1, 0, 512, c.nPos);
        EXPECT_DOUBLE_EQ(mb.dBlockWidth, 9.95) << c.nPos;
        EXPECT_EQ(mb.nLit, c.nLit) << c.nPos;
        EXPECT_EQ(mb.nPartialWidth, c.nPartial) << c.nPos;
    }
}

TEST(MeterBlocks, BlocksTileTheClientWidthWithTheirGaps) {
    MeterBlocks mb = ComputeMeterBlocks(219, 20, 1, 0, 512, 0);
    RECT rc0 = MeterBlockRect(0, 8, mb.dBlockWidth, 1);
    RECT rc1 = MeterBlockRect(1, 8, mb.dBlockWidth, 1);
    RECT rc19 = MeterBlockRect(19, 8, mb.dBlockWidth, 1);
    EXPECT_EQ(rc0.left, 0);
    EXPECT_EQ(rc0.right, 9);
    EXPECT_EQ(rc1.left, 10);  // 10.95 truncated
    EXPECT_EQ(rc19.left, 208);
    EXPECT_LE(rc19.right, 219);
    EXPECT_EQ(rc19.bottom, 8);
}

TEST(MeterBlocks, DegenerateRangesAndSizesDoNotDivideByZero) {
    MeterBlocks mb = ComputeMeterBlocks(219, 20, 1, 100, 100, 100);
    EXPECT_EQ(mb.nLit, 0);
    mb = ComputeMeterBlocks(219, 0, 1, 0, 512, 300);
    EXPECT_EQ(mb.nLit, 0);
    // Narrower than its gaps: blocks of no width, no partial fill.
    mb = ComputeMeterBlocks(10, 20, 1, 0, 512, 140);
    EXPECT_EQ(mb.dBlockWidth, 0.0);
    EXPECT_EQ(mb.nPartialWidth, 0);
    // The partial fill never reaches past the block it is in.
    mb = ComputeMeterBlocks(219, 20, 1, 0, 512, 153);  // 0.977 of a block
    EXPECT_EQ(mb.nLit, 5);
    EXPECT_LE(mb.nPartialWidth, 8);
}

TEST(ButtonSlots, TableOfPressedAndHoverForEachNumberOfSlots) {
    // {pressed, hover} -> slot, for 1, 2, 3 and 4 slots set.
    struct Case {
        bool bPressed, bHover;
        int slot[4];
    } cases[] = {
        {false, true, {0, 0, 0, 0}},
        {false, false, {0, 1, 1, 1}},
        {true, true, {0, 0, 2, 2}},
        {true, false, {0, 1, 1, 1}},
    };
    for (const Case& c : cases)
        for (int n = 1; n <= 4; ++n)
            EXPECT_EQ(ChooseButtonSlot(c.bPressed, c.bHover, n), c.slot[n - 1])
                << "pressed " << c.bPressed << " hover " << c.bHover << " slots " << n;
}

TEST(ButtonSlots, DisabledPixelsTurnIntoTheirLuminance) {
    EXPECT_EQ(GreyOf(RGB(255, 0, 0)), RGB(76, 76, 76));
    EXPECT_EQ(GreyOf(RGB(0, 255, 0)), RGB(150, 150, 150));
    EXPECT_EQ(GreyOf(RGB(0, 0, 255)), RGB(28, 28, 28));
    EXPECT_EQ(GreyOf(RGB(255, 255, 255)), RGB(255, 255, 255));
    EXPECT_EQ(GreyOf(RGB(51, 150, 253)), RGB(131, 131, 131));
}

TEST(LabelColours, DisabledIsGreyWhateverTheTextColour) {
    EXPECT_EQ(LabelTextColor(true, RGB(226, 0, 0)), RGB(226, 0, 0));
    EXPECT_EQ(LabelTextColor(false, RGB(226, 0, 0)), RGB(189, 189, 189));
    EXPECT_EQ(LabelTextColor(false, LABEL_COLOR_HOVER), RGB(189, 189, 189));
    EXPECT_EQ(LabelTextLeft(true, false), 20);
    EXPECT_EQ(LabelTextLeft(false, false), 4);
    EXPECT_EQ(LabelTextLeft(false, true), 5);
}

TEST(TabColours, UnselectedTextIsTheHalvedButtonFace) {
    EXPECT_EQ(HalveColor(RGB(240, 240, 240)), RGB(120, 120, 120));
    EXPECT_EQ(HalveColor(RGB(255, 1, 3)), RGB(127, 0, 1));
    EXPECT_EQ(FlatTabTextColor(false, RGB(212, 208, 200), RGB(0, 0, 0)), RGB(106, 104, 100));
    EXPECT_EQ(FlatTabTextColor(true, RGB(212, 208, 200), RGB(1, 2, 3)), RGB(1, 2, 3));
}
