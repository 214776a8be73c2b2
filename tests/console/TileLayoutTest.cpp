#include "console/TileLayout.h"

#include <gtest/gtest.h>

using namespace kv::tiles;

namespace {

TEST(TileLayout, FiveTilesTwoWide) {
    // Two tiles and a scroll bar fit across: 2 × 4455 + 255 <= 9200 < 3 × 4455 + 255.
    const auto l = layOut(9200, 4000, 255, 5);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->columns, 2);
    const QList<QPoint> expected{{0, 0}, {4455, 0}, {0, 2415}, {4455, 2415}, {0, 4830}};
    EXPECT_EQ(l->positions, expected);
    EXPECT_EQ(l->slide, QSize(8910, 3 * 2415));
    EXPECT_TRUE(l->scrollEnabled);
    EXPECT_EQ(l->scrollMaximum, 3 * 2415 - 4000);
    EXPECT_EQ(l->smallChange, 2415);
    EXPECT_EQ(l->largeChange, 4000);
}

TEST(TileLayout, EverythingFitsDisablesTheScrollBar) {
    const auto l = layOut(9200, 8000, 255, 4);
    ASSERT_TRUE(l);
    EXPECT_FALSE(l->scrollEnabled);
    EXPECT_EQ(l->scrollMaximum, 0);
}

TEST(TileLayout, ExactFitStillEnablesWithMaximumZero) {
    const auto l = layOut(9200, 2 * 2415, 255, 4);
    ASSERT_TRUE(l);
    EXPECT_TRUE(l->scrollEnabled);
    EXPECT_EQ(l->scrollMaximum, 0);
}

TEST(TileLayout, TwoHundredTilesScrollBeyondSixteenBits) {
    const auto l = layOut(9200, 4000, 255, 200);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->slide.height(), 100 * 2415);
    EXPECT_EQ(l->scrollMaximum, 100 * 2415 - 4000);
    EXPECT_GT(l->scrollMaximum, 32767);
}

TEST(TileLayout, NoColumnMeansNoLayout) {
    EXPECT_FALSE(layOut(4000, 4000, 255, 3));
}

struct SnapCase {
    QSize in;
    std::optional<QSize> out;
};

class Snaps : public ::testing::TestWithParam<SnapCase> {};

TEST_P(Snaps, WidthFirstThenHeight) {
    EXPECT_EQ(snapToMinimum(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Snaps,
                         ::testing::Values(SnapCase{{300, 200}, QSize(346, 200)}, SnapCase{{400, 200}, QSize(400, 378)},
                                           SnapCase{{346, 378}, std::nullopt}, SnapCase{{800, 600}, std::nullopt}));

} // namespace
