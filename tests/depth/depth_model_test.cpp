#include "depth/depth_model.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "depth/depth_samples.hpp"

using namespace dadimero;

namespace {

struct DepthFixture {
    ModelGrid grid;
    RegionOfInterest roi;
    DepthModel model;
    std::vector<float>& current;  // the model's weights

    DepthFixture(int W, int H, int n, float weight)
        : grid{W, H, n},
          roi(wholeImageRegion(grid.pixels())),
          model(grid, 1),
          current(model.weights) {
        initDepthModel(model, std::vector<float>(grid.pixels(), weight), roi);
    }
    size_t cell(int R, int C) const { return static_cast<size_t>(R * grid.cols() + C); }
    // The search of `sample` in pixel (r, c)'s block.
    DepthMatch match(float sample, int r, int c, float eps) const {
        return findBestDepthMatch(sample, current.data() + grid.blockStart(r, c),
                                  static_cast<size_t>(grid.cols()), grid.n, eps);
    }
    bool matches(float sample, float eps) const {
        return match(sample, 0, 0, eps).label == LABEL_BACKGROUND;
    }
};

RateMatrix rates3x3() {
    RateMatrix rates(9);
    for (int k = 0; k < 9; ++k)
        rates[k] = 0.0625f * static_cast<float>(k + 1);
    return rates;
}

// One online update pass: the pixels with a best cell update, guarded by fixed
// labels. Pixels not listed do nothing.
void updatePass(DepthFixture& f, const std::vector<float>& samples,
                const std::vector<std::pair<int, int>>& best, const LabelMask& labels,
                const RateMatrix& rates) {
    std::fill(f.model.action.begin(), f.model.action.end(), ACTION_NONE);
    for (size_t p = 0; p < best.size(); ++p) {
        if (best[p].first < 0) continue;
        f.model.action[p] = ACTION_UPDATE;
        f.model.bestRow[p] = best[p].first;
        f.model.bestCol[p] = best[p].second;
    }
    depthUpdateRows(samples, f.model, rates,
                    UpdateWriters{f.model.action.data(), labels.data(), labels.data()}, 0, f.grid.H,
                    0);
}

// A calibration frame as the run drives it.
void calibrate(DepthFixture& f, const std::vector<float>& samples, LabelMask& labels,
               const RateMatrix& rates, float eps) {
    f.model.labels = labels;
    depthCalibrationMatchRows(samples, f.model, eps, f.roi, 0, f.grid.H, 0);
    depthUpdateRows(
        samples, f.model, rates,
        UpdateWriters{f.model.action.data(), f.model.labels.data(), f.model.labelsAfter.data()}, 0,
        f.grid.H, 0);
    labels = f.model.labelsAfter;
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
    // Samples 102 / 255 = 0.4, 0, 179 / 255, 0, and 1 outside the region.
    const cv::Mat image = (cv::Mat_<uint8_t>(1, 5) << 102, 0, 179, 0, 255);
    std::vector<float> background = {0.5f, 0.0f, 0.3f, -0.0f, 0.1f};
    takeDepthMaximum(image, makeRegionOfInterest({1, 1, 1, 1, 0}, 5), background);
    EXPECT_EQ(background[0], 0.5f);
    EXPECT_EQ(background[1], 0.0f);
    EXPECT_EQ(background[2], static_cast<float>(179.0 / 255.0f));
    EXPECT_TRUE(std::signbit(background[3]));  // equal: the stored value stays
    EXPECT_EQ(background[4], 0.1f);
}

TEST(DepthModelTest, MatchTestIsSignedAndIncludesEquality) {
    DepthFixture f(1, 1, 3, 0.5f);
    EXPECT_TRUE(f.matches(0.495f, 0.01f));
    const DepthMatch miss = f.match(0.48f, 0, 0, 0.01f);
    EXPECT_EQ(miss.label, LABEL_FOREGROUND);
    EXPECT_EQ(miss.weight, 0);  // the best cell is passed back on a miss too
    EXPECT_TRUE(f.matches(0.25f, 0.25f));
    EXPECT_FALSE(f.matches(0.25f, std::nextafter(0.25f, 0.0f)));
    // Far above the weights: always background, whatever the threshold.
    EXPECT_TRUE(f.matches(0.9f, 0.0f));
    EXPECT_FALSE(f.matches(0.5f, std::nanf("")));
    const DepthMatch nan = f.match(std::nanf(""), 0, 0, 1.0f);
    EXPECT_EQ(nan.label, LABEL_FOREGROUND);
    EXPECT_EQ(nan.weight, -1);
}

TEST(DepthModelTest, FirstOfEquallyCloseWeightsWins) {
    DepthFixture f(1, 1, 3, 0.75f);
    f.current[f.cell(0, 0)] = f.current[f.cell(0, 1)] = f.current[f.cell(0, 2)] = 0.125f;
    f.current[f.cell(1, 0)] = 0.25f;
    // 0.25 and 0.75 lie exactly 0.25 from the sample; (1, 0) comes first.
    DepthMatch found = f.match(0.5f, 0, 0, 0.0f);
    EXPECT_EQ(found.label, LABEL_BACKGROUND);
    EXPECT_EQ(found.weight, 3);
    // Now the first of the tie lies above the sample: no match without a threshold.
    f.current[f.cell(1, 0)] = 0.75f;
    f.current[f.cell(2, 2)] = 0.25f;
    found = f.match(0.5f, 0, 0, 0.0f);
    EXPECT_EQ(found.label, LABEL_FOREGROUND);
    EXPECT_EQ(found.weight, 3);
}

TEST(DepthModelTest, UpdateWindowAtTheGridBordersAndEmptyCells) {
    DepthFixture f(2, 2, 3, 0.5f);
    const RateMatrix rates = rates3x3();
    const LabelMask labels(4, LABEL_BACKGROUND);
    updatePass(f, {0.75f, 0, 0, 0}, {{0, 0}}, labels, rates);
    const auto blend = [](double w) { return static_cast<float>((1.0 - w) * 0.5f + w * 0.75f); };
    EXPECT_EQ(f.current[f.cell(0, 0)], blend(rates[0]));  // the kernel's corner entry
    EXPECT_EQ(f.current[f.cell(1, 1)], blend(rates[4]));
    EXPECT_EQ(f.current[f.cell(0, 2)], 0.5f);

    DepthFixture g(2, 2, 3, 0.5f);
    g.current[g.cell(4, 4)] = 0.0f;  // an empty cell takes the sample unblended
    updatePass(g, {0, 0, 0, 0.75f}, {{-1, 0}, {-1, 0}, {-1, 0}, {5, 5}}, labels, rates);
    EXPECT_EQ(g.current[g.cell(5, 5)], blend(rates[4]));  // the kernel's centre entry
    EXPECT_EQ(g.current[g.cell(4, 4)], 0.75f);
    EXPECT_EQ(g.current[g.cell(3, 3)], 0.5f);

    // A missing sample learns nothing.
    DepthFixture h(2, 2, 3, 0.5f);
    const std::vector<float> before = h.current;
    updatePass(h, {0.0f, 0, 0, 0}, {{1, 1}}, labels, rates);
    EXPECT_EQ(h.current, before);
}

TEST(DepthModelTest, UpdateComputesTheBlendWhollyInDouble) {
    DepthFixture f(1, 1, 1, 0.3f);
    updatePass(f, {0.9f}, {{0, 0}}, LabelMask{0}, RateMatrix{0.1f});
    const double w = 0.1f;
    EXPECT_EQ(f.current[0], static_cast<float>((1.0 - w) * 0.3f + w * 0.9f));
}

TEST(DepthModelTest, CalibrationFillsEmptyBlocksOnceAndKeepsTheirLabel) {
    DepthFixture f(2, 1, 3, 0.0f);  // both blocks empty...
    for (int C = 3; C < 6; ++C) {
        for (int R = 0; R < 3; ++R)
            f.current[f.cell(R, C)] = 0.4f;  // ...but the second
    }
    LabelMask labels = {LABEL_FOREGROUND, LABEL_FOREGROUND};
    calibrate(f, {0.4f, 0.4f}, labels, rates3x3(), 0.1f);
    for (int R = 0; R < 3; ++R) {
        for (int C = 0; C < 3; ++C)
            EXPECT_EQ(f.current[f.cell(R, C)], 0.4f);
    }
    EXPECT_EQ(labels[0], LABEL_FOREGROUND);  // the filled pixel keeps its old label
    EXPECT_EQ(labels[1], LABEL_BACKGROUND);

    // A later matched pixel whose window covers part of a block filled in the
    // same frame overwrites those cells while the filled pixel's label is 0.
    DepthFixture g(2, 1, 3, 0.0f);
    for (int C = 3; C < 6; ++C) {
        for (int R = 0; R < 3; ++R)
            g.current[g.cell(R, C)] = 0.5f;
    }
    g.current[g.cell(1, 3)] = 0.45f;  // pixel 1's best cell, on its left edge
    LabelMask labels2 = {LABEL_BACKGROUND, LABEL_BACKGROUND};
    calibrate(g, {0.4f, 0.46f}, labels2, rates3x3(), 0.1f);
    EXPECT_EQ(g.current[g.cell(0, 0)], 0.4f);   // outside pixel 1's window: the fill
    EXPECT_EQ(g.current[g.cell(1, 2)], 0.46f);  // empty before the pass: the sample itself

    // Online, an empty block is never filled and its pixel is undecided.
    DepthFixture h(1, 1, 3, 0.0f);
    h.model.labels = {LABEL_BACKGROUND};
    h.model.bestRow.assign(1, 9);
    depthMatchRows({0.4f}, h.model, 0.1f, h.roi, 0, 1, 0);
    EXPECT_EQ(h.model.labels[0], LABEL_DEPTH_UNDECIDED);
    EXPECT_EQ(h.model.bestRow[0], 9);
}

TEST(DepthModelTest, MissingSamplesAreUndecidedAndTheirBlocksStayUntouched) {
    DepthFixture f(2, 1, 3, 0.5f);
    LabelMask labels = {LABEL_BACKGROUND, LABEL_BACKGROUND};
    // Pixel 0 is missing; pixel 1's best cell lies on the left edge of its
    // block, so its window reaches pixel 0's block, now labelled undecided.
    f.current[f.cell(1, 3)] = 0.45f;
    calibrate(f, {0.0f, 0.46f}, labels, rates3x3(), 0.1f);
    EXPECT_EQ(labels, (LabelMask{LABEL_DEPTH_UNDECIDED, LABEL_BACKGROUND}));
    for (int R = 0; R < 3; ++R) {
        for (int C = 0; C < 3; ++C)
            EXPECT_EQ(f.current[f.cell(R, C)], 0.5f);
    }
    EXPECT_NE(f.current[f.cell(1, 3)], 0.45f);
}

TEST(DepthModelTest, WindowsWriteIntoBlocksOfPixelsOutsideTheRegion) {
    DepthFixture f(2, 1, 3, 0.5f);
    f.roi = makeRegionOfInterest({255, 0}, 2);
    f.current.assign(f.grid.cells(), 0.0f);
    initDepthModel(f.model, {0.5f, 0.5f}, f.roi);
    EXPECT_EQ(f.current[f.cell(1, 4)], 0.0f);  // outside: not initialised
    f.model.labels.assign(2, LABEL_BACKGROUND);
    depthMatchRows({0.5f, 0.9f}, f.model, 0.01f, f.roi, 0, 1, 0);
    const LabelMask labels = f.model.labels;
    EXPECT_EQ(labels, (LabelMask{LABEL_BACKGROUND, LABEL_BACKGROUND}));
    f.model.action.assign(2, 9);
    depthOnlineActionRows(f.model, f.roi, 0, 1);
    EXPECT_EQ(f.model.action, (std::vector<uint8_t>{ACTION_UPDATE, ACTION_NONE}));
    updatePass(f, {0.5f, 0.9f}, {{1, 2}}, labels, rates3x3());  // best cell on the right edge
    EXPECT_EQ(f.current[f.cell(1, 3)],
              0.5f);  // an empty cell of the outside pixel takes the sample
    EXPECT_EQ(f.current[f.cell(1, 5)], 0.0f);
}
