#include "masks/spatial_coherence.hpp"

#include <gtest/gtest.h>

using namespace dadimero;

namespace {

struct FilterCase {
    int H;
    int W;
    LabelMask input;
    LabelMask output;
    std::vector<uint8_t> scratch;
    RegionOfInterest roi;

    FilterCase(int h, int w, uint8_t fill, uint8_t before = 99)
        : H(h),
          W(w),
          input(static_cast<size_t>(h) * w, fill),
          output(static_cast<size_t>(h) * w, before),
          scratch(static_cast<size_t>(h) * w, 0),
          roi(wholeImageRegion(static_cast<size_t>(h) * w)) {}
    uint8_t& at(int r, int c) { return input[static_cast<size_t>(r) * W + c]; }
    uint8_t out(int r, int c) const { return output[static_cast<size_t>(r) * W + c]; }
    void run3() { spatialCoherence3x3(H, W, input, roi, output, scratch); }
    void run5() { spatialCoherence5x5(H, W, input, roi, output, scratch); }
};

}  // namespace

TEST(SpatialCoherenceTest, MajorityRule) {
    EXPECT_EQ(majorityLabel(4, 4, LABEL_BACKGROUND), LABEL_FOREGROUND);  // equal: never suppresses
    EXPECT_EQ(majorityLabel(4, 4, LABEL_SHADOW), LABEL_SHADOW);
    EXPECT_EQ(majorityLabel(5, 4, LABEL_FOREGROUND), LABEL_SUPPRESSED);
    EXPECT_EQ(majorityLabel(5, 4, LABEL_DEPTH_UNDECIDED), LABEL_DEPTH_UNDECIDED);
    EXPECT_EQ(majorityLabel(0, 4, LABEL_SUPPRESSED), LABEL_FOREGROUND);
    EXPECT_TRUE(isBackgroundLike(169));
    EXPECT_FALSE(isBackgroundLike(LABEL_SUPPRESSED));
}

TEST(SpatialCoherenceTest, ThreeByThreeInteriorCounts) {
    FilterCase lone(5, 5, LABEL_BACKGROUND);
    lone.at(2, 2) = LABEL_FOREGROUND;
    lone.run3();
    EXPECT_EQ(lone.out(2, 2), LABEL_SUPPRESSED);
    EXPECT_EQ(lone.out(1, 1), LABEL_BACKGROUND);

    FilterCase hole(5, 5, LABEL_FOREGROUND);
    hole.at(2, 2) = LABEL_BACKGROUND;
    hole.run3();
    EXPECT_EQ(hole.out(2, 2), LABEL_FOREGROUND);

    // Four background-like neighbours: count 4 keeps foreground; five suppress.
    FilterCase edge(3, 3, LABEL_FOREGROUND);
    edge.at(0, 0) = LABEL_SHADOW;
    edge.at(0, 1) = LABEL_DEPTH_UNDECIDED;
    edge.at(0, 2) = LABEL_BACKGROUND;
    edge.at(1, 0) = 169;
    edge.run3();
    EXPECT_EQ(edge.out(1, 1), LABEL_FOREGROUND);
    edge.at(2, 0) = LABEL_BACKGROUND;
    edge.run3();
    EXPECT_EQ(edge.out(1, 1), LABEL_SUPPRESSED);
}

TEST(SpatialCoherenceTest, ThreeByThreeBordersAndCornersUseTheirThresholds) {
    // Top row window of 6 with threshold 2: three background-like suppress.
    FilterCase top(3, 4, LABEL_FOREGROUND);
    top.at(0, 0) = top.at(1, 0) = LABEL_BACKGROUND;
    top.run3();
    EXPECT_EQ(top.out(0, 1), LABEL_FOREGROUND);  // count 2
    top.at(1, 2) = LABEL_BACKGROUND;
    top.run3();
    EXPECT_EQ(top.out(0, 1), LABEL_SUPPRESSED);  // count 3
    // Corner window of 4 with threshold 1.
    FilterCase corner(2, 2, LABEL_FOREGROUND);
    corner.at(1, 1) = LABEL_BACKGROUND;
    corner.run3();
    EXPECT_EQ(corner.out(0, 0), LABEL_FOREGROUND);
    corner.at(0, 1) = LABEL_BACKGROUND;
    corner.run3();
    EXPECT_EQ(corner.out(0, 0), LABEL_SUPPRESSED);
    EXPECT_EQ(corner.out(1, 1), LABEL_BACKGROUND);
}

TEST(SpatialCoherenceTest, FiveByFiveThresholdsAndShadows) {
    FilterCase f(7, 7, LABEL_FOREGROUND);
    // Twelve background-like labels in the centre's 25: stays foreground.
    int placed = 0;
    for (int r = 1; r <= 5 && placed < 12; ++r) {
        for (int c = 1; c <= 5 && placed < 12; ++c) {
            if (r == 3 && c == 3) continue;
            f.at(r, c) = LABEL_BACKGROUND;
            ++placed;
        }
    }
    f.run5();
    EXPECT_EQ(f.out(3, 3), LABEL_FOREGROUND);
    f.at(5, 5) = LABEL_BACKGROUND;
    f.run5();
    EXPECT_EQ(f.out(3, 3), LABEL_SUPPRESSED);

    FilterCase shadow(6, 6, LABEL_FOREGROUND);
    shadow.at(3, 3) = LABEL_SHADOW;
    shadow.run5();
    EXPECT_EQ(shadow.out(3, 3), LABEL_SHADOW);
}

TEST(SpatialCoherenceTest, FiveByFiveLeavesTheTwelvePixelsNextToTheCorners) {
    FilterCase f(6, 7, LABEL_FOREGROUND);
    f.run5();
    int untouched = 0;
    for (int r = 0; r < f.H; ++r) {
        for (int c = 0; c < f.W; ++c) {
            const bool nearCorner = (r <= 1 || r >= f.H - 2) && (c <= 1 || c >= f.W - 2);
            const bool corner = (r == 0 || r == f.H - 1) && (c == 0 || c == f.W - 1);
            if (nearCorner && !corner) {
                EXPECT_EQ(f.out(r, c), 99) << r << "," << c;
                ++untouched;
            } else {
                EXPECT_EQ(f.out(r, c), LABEL_FOREGROUND) << r << "," << c;
            }
        }
    }
    EXPECT_EQ(untouched, 12);
}

TEST(SpatialCoherenceTest, PixelsOutsideTheRegionAreCountedButNotWritten) {
    FilterCase f(3, 3, LABEL_FOREGROUND);
    f.roi = makeRegionOfInterest({255, 255, 255, 255, 255, 0, 255, 255, 255}, 3);
    for (int c = 0; c < 3; ++c)
        f.at(0, c) = LABEL_BACKGROUND;
    f.at(1, 2) = LABEL_BACKGROUND;
    f.at(2, 2) = LABEL_BACKGROUND;
    f.run3();
    EXPECT_EQ(f.out(1, 2), 99);
    EXPECT_EQ(f.out(1, 1), LABEL_SUPPRESSED);  // five background-like, one outside
}
