#include "depth/depth_model.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "depth/depth_samples.hpp"

namespace {

struct DepthFixture {
    ModelGrid grid;
    RegionOfInterest roi;
    std::vector<float> current;
    std::vector<float> next;

    DepthFixture(int W, int H, int n, float weight)
        : grid{W, H, n},
          roi(wholeImageRegion(grid.pixels())),
          current(grid.cells(), 0.0f),
          next(grid.cells(), 0.0f) {
        initDepthModel(current, std::vector<float>(grid.pixels(), weight), grid, roi);
        copyFloatGrid(current, grid.cells(), next);
    }
    size_t cell(int R, int C) const { return static_cast<size_t>(R * grid.cols() + C); }
};

RateMatrix rates3x3() {
    RateMatrix rates(9);
    for (int k = 0; k < 9; ++k) rates[k] = 0.0625f * static_cast<float>(k + 1);
    return rates;
}

}  // namespace

TEST(DepthSamplesTest, NormalisesByTheBitDepth) {
    cv::Mat eight = (cv::Mat_<uint8_t>(1, 3) << 255, 128, 0);
    cv::Mat sixteen = (cv::Mat_<uint16_t>(1, 3) << 65535, 1, 0);
    const RegionOfInterest roi = wholeImageRegion(3);
    std::vector<float> plane(3, -1.0f);
    depthImageToPlane(eight, roi, plane);
    EXPECT_EQ(plane, (std::vector<float>{1.0f, static_cast<float>(128.0 / 255.0f), 0.0f}));
    depthImageToPlane(sixteen, roi, plane);
    EXPECT_EQ(plane, (std::vector<float>{1.0f, static_cast<float>(1.0 / 65535.0f), 0.0f}));

    const RegionOfInterest partial = makeRegionOfInterest({0, 255, 0}, 3);
    std::vector<float> outside(3, -1.0f);
    depthImageToPlane(eight, partial, outside);
    EXPECT_EQ(outside, (std::vector<float>{-1.0f, static_cast<float>(128.0 / 255.0f), -1.0f}));

    EXPECT_TRUE(isSupportedDepthImage(eight));
    EXPECT_TRUE(isSupportedDepthImage(sixteen));
    EXPECT_FALSE(isSupportedDepthImage(cv::Mat(1, 1, CV_32FC1)));
    EXPECT_FALSE(isSupportedDepthImage(cv::Mat(1, 1, CV_16SC1)));
}

TEST(DepthSamplesTest, MaximumReplacesOnlyOnStrictlyGreater) {
    std::vector<float> background = {0.5f, 0.0f, 0.3f, -0.0f};
    takeDepthMaximum({0.4f, 0.0f, 0.7f, 0.0f}, background);
    EXPECT_EQ(background[0], 0.5f);
    EXPECT_EQ(background[2], 0.7f);
    EXPECT_TRUE(std::signbit(background[3]));  // equal: the stored value stays
}

TEST(DepthModelTest, MatchTestIsSignedAndIncludesEquality) {
    DepthFixture f(1, 1, 3, 0.5f);
    int row = 0, col = 0;
    EXPECT_TRUE(findBestDepthMatch(0.495f, f.current, f.grid, 0, 0, 0.01f, row, col));
    EXPECT_FALSE(findBestDepthMatch(0.48f, f.current, f.grid, 0, 0, 0.01f, row, col));
    EXPECT_EQ(row, 0);  // the best cell is passed back on a miss too
    EXPECT_EQ(col, 0);
    EXPECT_TRUE(findBestDepthMatch(0.25f, f.current, f.grid, 0, 0, 0.25f, row, col));
    EXPECT_FALSE(
        findBestDepthMatch(0.25f, f.current, f.grid, 0, 0, std::nextafter(0.25f, 0.0f), row, col));
    // Far above the weights: always background, whatever the threshold.
    EXPECT_TRUE(findBestDepthMatch(0.9f, f.current, f.grid, 0, 0, 0.0f, row, col));
    EXPECT_FALSE(findBestDepthMatch(0.5f, f.current, f.grid, 0, 0, std::nanf(""), row, col));
    EXPECT_FALSE(findBestDepthMatch(std::nanf(""), f.current, f.grid, 0, 0, 1.0f, row, col));
    EXPECT_EQ(row, -1);
}

TEST(DepthModelTest, FirstOfEquallyCloseWeightsWins) {
    DepthFixture f(1, 1, 3, 0.75f);
    f.current[f.cell(0, 0)] = f.current[f.cell(0, 1)] = f.current[f.cell(0, 2)] = 0.125f;
    f.current[f.cell(1, 0)] = 0.25f;
    int row = 0, col = 0;
    // 0.25 and 0.75 lie exactly 0.25 from the sample; (1, 0) comes first.
    EXPECT_TRUE(findBestDepthMatch(0.5f, f.current, f.grid, 0, 0, 0.0f, row, col));
    EXPECT_EQ(row, 1);
    EXPECT_EQ(col, 0);
    // Now the first of the tie lies above the sample: no match without a threshold.
    f.current[f.cell(1, 0)] = 0.75f;
    f.current[f.cell(2, 2)] = 0.25f;
    EXPECT_FALSE(findBestDepthMatch(0.5f, f.current, f.grid, 0, 0, 0.0f, row, col));
    EXPECT_EQ(row, 1);
    EXPECT_EQ(col, 0);
}

TEST(DepthModelTest, UpdateWindowAtTheGridBordersAndEmptyCells) {
    DepthFixture f(2, 2, 3, 0.5f);
    const RateMatrix rates = rates3x3();
    const LabelMask labels(4, LABEL_BACKGROUND);
    updateDepthNeighbourhood(0.75f, f.grid, f.current, f.next, rates, 0, 0, labels);
    const auto blend = [](double w) { return static_cast<float>((1.0 - w) * 0.5f + w * 0.75f); };
    EXPECT_EQ(f.next[f.cell(0, 0)], blend(rates[0]));  // the kernel's corner entry
    EXPECT_EQ(f.next[f.cell(1, 1)], blend(rates[4]));
    EXPECT_EQ(f.next[f.cell(0, 2)], 0.5f);

    DepthFixture g(2, 2, 3, 0.5f);
    g.current[g.cell(4, 4)] = 0.0f;  // an empty cell takes the sample unblended
    updateDepthNeighbourhood(0.75f, g.grid, g.current, g.next, rates, 5, 5, labels);
    EXPECT_EQ(g.next[g.cell(5, 5)], blend(rates[4]));  // the kernel's centre entry
    EXPECT_EQ(g.next[g.cell(4, 4)], 0.75f);
    EXPECT_EQ(g.next[g.cell(3, 3)], 0.5f);

    // A missing sample learns nothing.
    DepthFixture h(2, 2, 3, 0.5f);
    updateDepthNeighbourhood(0.0f, h.grid, h.current, h.next, rates, 1, 1, labels);
    EXPECT_EQ(h.next, h.current);
}

TEST(DepthModelTest, UpdateComputesTheBlendWhollyInDouble) {
    DepthFixture f(1, 1, 1, 0.3f);
    const RateMatrix rates = {0.1f};
    updateDepthNeighbourhood(0.9f, f.grid, f.current, f.next, rates, 0, 0, LabelMask{0});
    const double w = 0.1f;
    EXPECT_EQ(f.next[0], static_cast<float>((1.0 - w) * 0.3f + w * 0.9f));
}

TEST(DepthModelTest, CalibrationFillsEmptyBlocksOnceAndKeepsTheirLabel) {
    DepthFixture f(2, 1, 3, 0.0f);  // both blocks empty
    f.roi = wholeImageRegion(2);
    for (int C = 3; C < 6; ++C) {
        for (int R = 0; R < 3; ++R) f.current[f.cell(R, C)] = f.next[f.cell(R, C)] = 0.4f;
    }
    LabelMask labels = {LABEL_FOREGROUND, LABEL_FOREGROUND};
    const RateMatrix rates = rates3x3();
    depthCalibrationPass({0.4f, 0.4f}, f.grid, f.current, labels, rates, 0.1f, f.roi, f.next);
    for (int R = 0; R < 3; ++R) {
        for (int C = 0; C < 3; ++C) EXPECT_EQ(f.next[f.cell(R, C)], 0.4f);
    }
    EXPECT_EQ(labels[0], LABEL_FOREGROUND);  // the filled pixel keeps its old label
    EXPECT_EQ(labels[1], LABEL_BACKGROUND);

    // Online, an empty block is never filled and its pixel is undecided.
    DepthFixture g(1, 1, 3, 0.0f);
    LabelMask online = {LABEL_BACKGROUND};
    std::vector<int> rows(1, 9), cols(1, 9);
    depthDetectionPass({0.4f}, g.grid, g.current, 0.1f, g.roi, online, rows, cols);
    EXPECT_EQ(online[0], LABEL_DEPTH_UNDECIDED);
    EXPECT_EQ(rows[0], 9);
}

TEST(DepthModelTest, MissingSamplesAreUndecidedAndTheirBlocksStayUntouched) {
    DepthFixture f(2, 1, 3, 0.5f);
    LabelMask labels = {LABEL_BACKGROUND, LABEL_BACKGROUND};
    // Pixel 0 is missing; pixel 1's best cell lies on the left edge of its
    // block, so its window reaches pixel 0's block, now labelled undecided.
    f.current[f.cell(1, 3)] = 0.45f;
    depthCalibrationPass({0.0f, 0.46f}, f.grid, f.current, labels, rates3x3(), 0.1f, f.roi,
                         f.next);
    EXPECT_EQ(labels, (LabelMask{LABEL_DEPTH_UNDECIDED, LABEL_BACKGROUND}));
    for (int R = 0; R < 3; ++R) {
        for (int C = 0; C < 3; ++C) EXPECT_EQ(f.next[f.cell(R, C)], 0.5f);
    }
    EXPECT_NE(f.next[f.cell(1, 3)], 0.45f);
}

TEST(DepthModelTest, WindowsWriteIntoBlocksOfPixelsOutsideTheRegion) {
    DepthFixture f(2, 1, 3, 0.5f);
    f.roi = makeRegionOfInterest({255, 0}, 2);
    std::vector<float> model(f.grid.cells(), 0.0f);
    initDepthModel(model, {0.5f, 0.5f}, f.grid, f.roi);
    EXPECT_EQ(model[f.cell(1, 4)], 0.0f);  // outside: not initialised
    std::vector<float> next = model;
    LabelMask labels(2, LABEL_BACKGROUND);
    std::vector<int> rows(2, 0), cols(2, 0);
    depthDetectionPass({0.5f, 0.9f}, f.grid, model, 0.01f, f.roi, labels, rows, cols);
    EXPECT_EQ(labels, (LabelMask{LABEL_BACKGROUND, LABEL_BACKGROUND}));
    rows[0] = 1;
    cols[0] = 2;  // best cell on the right edge
    depthUpdatePass({0.5f, 0.9f}, f.grid, model, labels, rates3x3(), rows, cols, f.roi, next);
    EXPECT_EQ(next[f.cell(1, 3)], 0.5f);  // an empty cell of the outside pixel takes the sample
    EXPECT_EQ(next[f.cell(1, 5)], 0.0f);
}
