#include "colour/colour_model.hpp"

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "colour/colour_space.hpp"

using namespace dadimero;

namespace {

// A W x H frame whose every pixel is `point`, and a model initialised from it.
struct ColourFixture {
    ModelGrid grid;
    RegionOfInterest roi;
    PlaneSet background;
    ColourModel model;
    ShadowThresholds thresholds{0.7f, 1.0f, 0.1f, 10.0f};
    bool shadowRemoval = true;

    ColourFixture(int W, int H, int n, ConePoint point)
        : grid{W, H, n},
          roi(wholeImageRegion(grid.pixels())),
          background(allocFloatPlanes(grid.pixels())),
          model(grid, 1) {
        for (size_t p = 0; p < grid.pixels(); ++p) {
            background.plane[0][p] = point.x;
            background.plane[1][p] = point.y;
            background.plane[2][p] = point.z;
        }
        initColourModel(model, background, roi);
    }

    const ShadowThresholds* shadow() const { return shadowRemoval ? &thresholds : nullptr; }
    PlaneSet& weights() { return model.weights; }
    // Pixel (r, c), of colour `pixel`, matched against its block.
    ColourMatch match(ConePoint pixel, int r, int c, float eps) const {
        return findBestColourMatch(pixel, blockOf(model.weights, grid, r, c), grid.n, eps,
                                   shadow());
    }
    size_t cell(int R, int C) const { return static_cast<size_t>(R * grid.cols() + C); }
    void setWeight(int R, int C, ConePoint p) {
        model.weights.plane[0][cell(R, C)] = p.x;
        model.weights.plane[1][cell(R, C)] = p.y;
        model.weights.plane[2][cell(R, C)] = p.z;
    }
};

RateMatrix constantRates(int n, float value) {
    return RateMatrix(static_cast<size_t>(n) * n, value);
}

// One update pass in which the given pixels (index, colour, best cell) update
// the model, guarded by fixed labels.
struct Writer {
    size_t pixel;
    ConePoint colour;
    int bestRow;
    int bestCol;
};

void updatePass(ColourFixture& f, const std::vector<Writer>& writers, const RateMatrix& rates,
                const LabelMask& labels) {
    PlaneSet frame = allocFloatPlanes(f.grid.pixels());
    std::fill(f.model.action.begin(), f.model.action.end(), ACTION_NONE);
    for (const Writer& w : writers) {
        frame.plane[0][w.pixel] = w.colour.x;
        frame.plane[1][w.pixel] = w.colour.y;
        frame.plane[2][w.pixel] = w.colour.z;
        f.model.action[w.pixel] = ACTION_UPDATE;
        f.model.bestRow[w.pixel] = w.bestRow;
        f.model.bestCol[w.pixel] = w.bestCol;
    }
    colourUpdateRows(frame, f.model, rates,
                     UpdateWriters{f.model.action.data(), labels.data(), labels.data()}, 0,
                     f.grid.H, 0);
}

// A calibration frame as the run drives it: match everything, then update.
void calibrate(ColourFixture& f, const PlaneSet& frame, LabelMask& labels, const RateMatrix& rates,
               float eps) {
    f.model.labels = labels;
    colourCalibrationMatchRows(frame, f.model, eps, f.shadow(), f.roi, 0, f.grid.H, 0);
    colourUpdateRows(
        frame, f.model, rates,
        UpdateWriters{f.model.action.data(), f.model.labels.data(), f.model.labelsAfter.data()}, 0,
        f.grid.H, 0);
    labels = f.model.labelsAfter;
}

}  // namespace

TEST(ColourModelTest, FreshBlockTiesGoToTheCentreAndMissesToTheFirstWeight) {
    ColourFixture f(2, 2, 3, {0.1f, 0.2f, 0.5f});
    // Within eps of all nine equal weights: the centre of pixel (1, 1)'s block.
    ColourMatch found = f.match({0.1f, 0.2f, 0.52f}, 1, 1, 0.01f);
    EXPECT_EQ(found.match, MATCH_BACKGROUND);
    EXPECT_EQ(found.weight, 4);
    // Far away and not a shadow: the block's top-left weight.
    f.shadowRemoval = false;
    found = f.match({-0.5f, 0.0f, 1.0f}, 1, 1, 0.01f);
    EXPECT_EQ(found.match, MATCH_NONE);
    EXPECT_EQ(found.weight, 0);
}

TEST(ColourModelTest, DistanceEqualToTheThresholdMatchesAndTheNearestWeightWins) {
    ColourFixture f(1, 1, 3, {0.0f, 0.0f, 0.5f});
    f.setWeight(0, 2, {0.0f, 0.0f, 0.75f});
    f.shadowRemoval = false;
    // Distance 0.0625 exactly, to the weight at (0, 2) only: centre is farther.
    ColourMatch found = f.match({0.0f, 0.0f, 1.0f}, 0, 0, 0.0625f);
    EXPECT_EQ(found.match, MATCH_BACKGROUND);
    EXPECT_EQ(found.weight, 2);
    found = f.match({0.0f, 0.0f, 1.0f}, 0, 0, std::nextafter(0.0625f, 0.0f));
    EXPECT_EQ(found.match, MATCH_NONE);
    EXPECT_EQ(found.weight, 2);
}

TEST(ColourModelTest, ShadowMatchReportsTheShadowWeightAndNeedsTheSwitch) {
    // Weights of hue 0, saturation 0.5, value 0.8; the pixel is the same colour
    // at value 0.6 (ratio 0.75): too far for eps, but a shadow.
    ColourFixture f(1, 1, 3, {0.4f, 0.0f, 0.8f});
    const ColourMatch found = f.match({0.3f, 0.0f, 0.6f}, 0, 0, 0.001f);
    EXPECT_EQ(found.match, MATCH_SHADOW);
    EXPECT_EQ(found.weight, 0);
    f.shadowRemoval = false;
    EXPECT_EQ(f.match({0.3f, 0.0f, 0.6f}, 0, 0, 0.001f).match, MATCH_NONE);
}

TEST(ColourModelTest, UpdateWindowIsLaidFromTheClippedStartAtTheTopLeft) {
    ColourFixture f(2, 2, 3, {0.0f, 0.0f, 0.0f});
    RateMatrix rates(9);
    for (int k = 0; k < 9; ++k)
        rates[k] = 0.125f * static_cast<float>(k + 1);
    const LabelMask labels(4, LABEL_BACKGROUND);
    updatePass(f, {{0, {0.0f, 0.0f, 1.0f}, 0, 0}}, rates, labels);
    EXPECT_EQ(f.weights().plane[2][f.cell(0, 0)], rates[0]);
    EXPECT_EQ(f.weights().plane[2][f.cell(0, 1)], rates[1]);
    EXPECT_EQ(f.weights().plane[2][f.cell(1, 0)], rates[3]);
    EXPECT_EQ(f.weights().plane[2][f.cell(1, 1)], rates[4]);
    EXPECT_EQ(f.weights().plane[2][f.cell(0, 2)], 0.0f);
    EXPECT_EQ(f.weights().plane[2][f.cell(2, 0)], 0.0f);

    // At the last cell the window only ends early: the best weight gets the centre.
    ColourFixture g(2, 2, 3, {0.0f, 0.0f, 0.0f});
    updatePass(g, {{3, {0.0f, 0.0f, 1.0f}, 5, 5}}, rates, labels);
    EXPECT_EQ(g.weights().plane[2][g.cell(4, 4)], rates[0]);
    EXPECT_EQ(g.weights().plane[2][g.cell(5, 5)], rates[4]);
    EXPECT_EQ(g.weights().plane[2][g.cell(3, 3)], 0.0f);
}

TEST(ColourModelTest, UpdateRoundsOneMinusRateToFloatAndSkipsNonBackgroundOwners) {
    ColourFixture f(2, 1, 3, {0.0f, 0.0f, 0.3f});
    const RateMatrix rates = constantRates(3, 0.1f);
    const LabelMask labels = {LABEL_BACKGROUND, LABEL_SHADOW};
    // Best weight on the right edge of pixel 0's block: the window reaches pixel 1.
    updatePass(f, {{0, {0.2f, -0.1f, 0.9f}, 1, 2}}, rates, labels);
    const float keep = static_cast<float>(1.0 - 0.1f);
    EXPECT_EQ(
        f.weights().plane[2][f.cell(1, 2)],
        static_cast<float>(static_cast<double>(keep) * 0.3f + static_cast<double>(0.1f) * 0.9f));
    EXPECT_EQ(f.weights().plane[0][f.cell(1, 2)],
              static_cast<float>(static_cast<double>(0.1f) * 0.2f));
    EXPECT_EQ(f.weights().plane[2][f.cell(1, 3)], 0.3f);  // owner pixel 1 is a shadow: untouched
}

TEST(ColourModelTest, OverlappingWindowsKeepTheLastWriterWithoutCompounding) {
    ColourFixture f(2, 1, 3, {0.0f, 0.0f, 0.5f});
    const RateMatrix rates = constantRates(3, 0.5f);
    const LabelMask labels(2, LABEL_BACKGROUND);
    updatePass(f, {{0, {0.0f, 0.0f, 1.0f}, 1, 2}, {1, {0.0f, 0.0f, 0.0f}, 1, 3}}, rates, labels);
    // Cells (1, 2) and (1, 3) lie in both windows: the right pixel's value, from
    // the weight as it was before the pass.
    EXPECT_EQ(f.weights().plane[2][f.cell(1, 2)], 0.25f);
    EXPECT_EQ(f.weights().plane[2][f.cell(1, 3)], 0.25f);
    EXPECT_EQ(f.weights().plane[2][f.cell(1, 1)], 0.75f);
    EXPECT_EQ(f.weights().plane[2][f.cell(1, 4)], 0.25f);
}

TEST(ColourModelTest, CalibrationGuardsWithThisFramesLabelsBehindAndLastFramesAhead) {
    // Three pixels in a row. The middle one will not match; its label from the
    // previous frame (foreground) protects its block.
    ColourFixture f(3, 1, 1, {0.0f, 0.0f, 0.5f});
    f.shadowRemoval = false;
    PlaneSet frame = allocFloatPlanes(3);
    frame.plane[2] = {0.5f, 1.0f, 0.5f};
    LabelMask labels = {LABEL_BACKGROUND, LABEL_FOREGROUND, LABEL_BACKGROUND};
    calibrate(f, frame, labels, constantRates(1, 0.5f), 0.01f);
    EXPECT_EQ(labels, (LabelMask{LABEL_BACKGROUND, LABEL_FOREGROUND, LABEL_BACKGROUND}));
    EXPECT_EQ(f.weights().plane[2][1], 0.5f);

    // With n = 3 a matched pixel's window reaches its neighbour's block while
    // the neighbour's label (from the previous frame) is background...
    ColourFixture g(2, 1, 3, {0.0f, 0.0f, 0.5f});
    g.shadowRemoval = false;
    g.setWeight(1, 2, {0.0f, 0.0f, 0.6f});  // pixel 0's best weight: right edge
    PlaneSet frame2 = allocFloatPlanes(2);
    frame2.plane[2] = {0.6f, 1.0f};
    LabelMask labels2 = {LABEL_BACKGROUND, LABEL_BACKGROUND};
    calibrate(g, frame2, labels2, constantRates(3, 0.5f), 0.01f);
    EXPECT_EQ(labels2, (LabelMask{LABEL_BACKGROUND, LABEL_FOREGROUND}));
    EXPECT_EQ(g.weights().plane[2][g.cell(1, 3)], static_cast<float>(0.5 * 0.5f + 0.5 * 0.6f));

    // ...while a later pixel sees the fresh label of an earlier one.
    ColourFixture h(2, 1, 3, {0.0f, 0.0f, 0.5f});
    h.shadowRemoval = false;
    h.setWeight(1, 3, {0.0f, 0.0f, 0.6f});  // pixel 1's best weight: left edge
    PlaneSet frame3 = allocFloatPlanes(2);
    frame3.plane[2] = {1.0f, 0.6f};
    LabelMask labels3 = {LABEL_BACKGROUND, LABEL_BACKGROUND};
    calibrate(h, frame3, labels3, constantRates(3, 0.5f), 0.01f);
    EXPECT_EQ(labels3, (LabelMask{LABEL_FOREGROUND, LABEL_BACKGROUND}));
    EXPECT_EQ(h.weights().plane[2][h.cell(1, 2)], 0.5f);  // pixel 0 is foreground by now
    EXPECT_EQ(h.weights().plane[2][h.cell(1, 4)], static_cast<float>(0.5 * 0.5f + 0.5 * 0.6f));
}

TEST(ColourModelTest, DetectionRecordsBestWeightsAndUpdateFollowsTheFilteredMask) {
    ColourFixture f(2, 1, 1, {0.0f, 0.0f, 0.5f});
    f.shadowRemoval = false;
    PlaneSet frame = allocFloatPlanes(2);
    frame.plane[2] = {0.5f, 0.9f};
    f.model.bestRow.assign(2, 7);
    f.model.bestCol.assign(2, 7);
    colourMatchRows(frame, f.model, 0.01f, f.shadow(), f.roi, 0, 1, 0);
    EXPECT_EQ(f.model.labels, (LabelMask{LABEL_BACKGROUND, LABEL_FOREGROUND}));
    EXPECT_EQ(f.model.bestRow, (std::vector<int>{0, 0}));
    EXPECT_EQ(f.model.bestCol, (std::vector<int>{0, 1}));

    // The filtered mask turned pixel 1 to background: it learns around its
    // nearest weight although colour called it foreground.
    const LabelMask filtered = {LABEL_FOREGROUND, LABEL_BACKGROUND};
    f.model.action.assign(2, 9);
    colourOnlineActionRows(f.model, filtered, f.roi, 0, 1);
    EXPECT_EQ(f.model.action, (std::vector<uint8_t>{ACTION_NONE, ACTION_UPDATE}));
    colourUpdateRows(frame, f.model, constantRates(1, 0.5f),
                     UpdateWriters{f.model.action.data(), filtered.data(), filtered.data()}, 0, 1,
                     0);
    EXPECT_EQ(f.weights().plane[2][0], 0.5f);
    EXPECT_EQ(f.weights().plane[2][1], static_cast<float>(0.5 * 0.5f + 0.5 * 0.9f));
}

TEST(ColourModelTest, PixelsOutsideTheRegionAreNeitherInitialisedNorLabelled) {
    ColourFixture f(2, 1, 1, {0.0f, 0.0f, 0.5f});
    f.roi = makeRegionOfInterest({0, 255}, 2);
    ColourModel model(f.grid, 1);
    initColourModel(model, f.background, f.roi);
    EXPECT_EQ(model.weights.plane[2][0], 0.0f);
    EXPECT_EQ(model.weights.plane[2][1], 0.5f);
    model.labels = {99, 99};
    model.bestRow.assign(2, 7);
    PlaneSet frame = allocFloatPlanes(2);
    colourMatchRows(frame, model, 0.01f, f.shadow(), f.roi, 0, 1, 0);
    EXPECT_EQ(model.labels[0], 99);
    EXPECT_EQ(model.bestRow[0], 7);
    const LabelMask filtered = {LABEL_BACKGROUND, LABEL_BACKGROUND};
    model.action.assign(2, 9);
    colourOnlineActionRows(model, filtered, f.roi, 0, 1);
    EXPECT_EQ(model.action[0], ACTION_NONE);
}

TEST(ColourModelTest, BandsOfRowsGiveTheSameModelAsOnePass) {
    // Windows cross band borders: splitting the owned rows must not change a cell.
    ColourFixture whole(4, 6, 3, {0.1f, 0.1f, 0.5f});
    ColourFixture banded(4, 6, 3, {0.1f, 0.1f, 0.5f});
    PlaneSet frame = allocFloatPlanes(24);
    LabelMask labels(24, LABEL_BACKGROUND);
    labels[9] = LABEL_FOREGROUND;
    for (ColourFixture* f : {&whole, &banded}) {
        f->model.action.assign(24, ACTION_UPDATE);
        for (int p = 0; p < 24; ++p) {
            frame.plane[2][p] = 0.01f * static_cast<float>(p);
            f->model.bestRow[p] = (p / 4) * 3 + (p % 3);  // top, middle or bottom row of the block
            f->model.bestCol[p] = (p % 4) * 3 + (p % 2) * 2;
        }
    }
    const RateMatrix rates = constantRates(3, 0.25f);
    colourUpdateRows(frame, whole.model, rates,
                     UpdateWriters{whole.model.action.data(), labels.data(), labels.data()}, 0, 6,
                     0);
    for (int band = 0; band < 6; band += 2) {
        colourUpdateRows(frame, banded.model, rates,
                         UpdateWriters{banded.model.action.data(), labels.data(), labels.data()},
                         band, band + 2, 0);
    }
    EXPECT_EQ(banded.weights().plane[2], whole.weights().plane[2]);
    EXPECT_NE(whole.weights().plane[2],
              ColourFixture(4, 6, 3, {0.1f, 0.1f, 0.5f}).weights().plane[2]);
}
