#include "colour/colour_model.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "colour/colour_space.hpp"

namespace {

// A W x H frame whose every pixel is `point`, and a model initialised from it.
struct ColourFixture {
    ModelGrid grid;
    RegionOfInterest roi;
    PlaneSet background;
    PlaneSet current;
    RunParameters params;
    UpdateScratch scratch;
    MatchScratch matchScratch;

    ColourFixture(int W, int H, int n, ConePoint point)
        : grid{W, H, n},
          roi(wholeImageRegion(grid.pixels())),
          background(allocFloatPlanes(grid.pixels())),
          current(allocFloatPlanes(grid.cells())) {
        for (size_t p = 0; p < grid.pixels(); ++p) {
            background.plane[0][p] = point.x;
            background.plane[1][p] = point.y;
            background.plane[2][p] = point.z;
        }
        initColourModel(current, background, grid, roi);
    }

    size_t cell(int R, int C) const { return static_cast<size_t>(R * grid.cols() + C); }
    void setWeight(int R, int C, ConePoint p) {
        current.plane[0][cell(R, C)] = p.x;
        current.plane[1][cell(R, C)] = p.y;
        current.plane[2][cell(R, C)] = p.z;
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
    std::vector<uint8_t> action(f.grid.pixels(), ACTION_NONE);
    std::vector<int> rows(f.grid.pixels(), 0), cols(f.grid.pixels(), 0);
    for (const Writer& w : writers) {
        frame.plane[0][w.pixel] = w.colour.x;
        frame.plane[1][w.pixel] = w.colour.y;
        frame.plane[2][w.pixel] = w.colour.z;
        action[w.pixel] = ACTION_UPDATE;
        rows[w.pixel] = w.bestRow;
        cols[w.pixel] = w.bestCol;
    }
    colourUpdateRows(frame, f.grid, f.current, rates, rows, cols,
                     UpdateWriters{action.data(), labels.data(), labels.data()}, 0, f.grid.H,
                     f.scratch);
}

// A calibration frame as the run drives it: match everything, then update.
void calibrate(ColourFixture& f, const PlaneSet& frame, LabelMask& labels, const RateMatrix& rates,
               float eps) {
    LabelMask after(labels.size(), 0);
    std::vector<uint8_t> action(labels.size(), ACTION_NONE);
    std::vector<int> rows(labels.size(), 0), cols(labels.size(), 0);
    colourCalibrationMatchRows(frame, f.grid, f.current, eps, f.params, f.roi, 0, f.grid.H, labels,
                               after, action, rows, cols, f.matchScratch);
    colourUpdateRows(frame, f.grid, f.current, rates, rows, cols,
                     UpdateWriters{action.data(), labels.data(), after.data()}, 0, f.grid.H,
                     f.scratch);
    labels = after;
}

}  // namespace

TEST(ColourModelTest, FreshBlockTiesGoToTheCentreAndMissesToTheFirstWeight) {
    ColourFixture f(2, 2, 3, {0.1f, 0.2f, 0.5f});
    int row = 0, col = 0;
    // Within eps of all nine equal weights: the centre of pixel (1, 1)'s block.
    EXPECT_EQ(
        findBestColourMatch(0.1f, 0.2f, 0.52f, f.current, f.grid, 1, 1, 0.01f, f.params, row, col),
        MATCH_BACKGROUND);
    EXPECT_EQ(row, 4);
    EXPECT_EQ(col, 4);
    // Far away and not a shadow: the block's top-left weight.
    f.params.shadowRemoval = 0;
    EXPECT_EQ(
        findBestColourMatch(-0.5f, 0.0f, 1.0f, f.current, f.grid, 1, 1, 0.01f, f.params, row, col),
        MATCH_NONE);
    EXPECT_EQ(row, 3);
    EXPECT_EQ(col, 3);
}

TEST(ColourModelTest, DistanceEqualToTheThresholdMatchesAndTheNearestWeightWins) {
    ColourFixture f(1, 1, 3, {0.0f, 0.0f, 0.5f});
    f.setWeight(0, 2, {0.0f, 0.0f, 0.75f});
    f.params.shadowRemoval = 0;
    int row = 0, col = 0;
    // Distance 0.0625 exactly, to the weight at (0, 2) only: centre is farther.
    EXPECT_EQ(
        findBestColourMatch(0.0f, 0.0f, 1.0f, f.current, f.grid, 0, 0, 0.0625f, f.params, row, col),
        MATCH_BACKGROUND);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(col, 2);
    EXPECT_EQ(findBestColourMatch(0.0f, 0.0f, 1.0f, f.current, f.grid, 0, 0,
                                  std::nextafter(0.0625f, 0.0f), f.params, row, col),
              MATCH_NONE);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(col, 2);
}

TEST(ColourModelTest, ShadowMatchReportsTheShadowWeightAndNeedsTheSwitch) {
    // Weights of hue 0, saturation 0.5, value 0.8; the pixel is the same colour
    // at value 0.6 (ratio 0.75): too far for eps, but a shadow.
    ColourFixture f(1, 1, 3, {0.4f, 0.0f, 0.8f});
    int row = 0, col = 0;
    EXPECT_EQ(
        findBestColourMatch(0.3f, 0.0f, 0.6f, f.current, f.grid, 0, 0, 0.001f, f.params, row, col),
        MATCH_SHADOW);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(col, 0);
    f.params.shadowRemoval = 0;
    EXPECT_EQ(
        findBestColourMatch(0.3f, 0.0f, 0.6f, f.current, f.grid, 0, 0, 0.001f, f.params, row, col),
        MATCH_NONE);
}

TEST(ColourModelTest, UpdateWindowIsLaidFromTheClippedStartAtTheTopLeft) {
    ColourFixture f(2, 2, 3, {0.0f, 0.0f, 0.0f});
    RateMatrix rates(9);
    for (int k = 0; k < 9; ++k)
        rates[k] = 0.125f * static_cast<float>(k + 1);
    const LabelMask labels(4, LABEL_BACKGROUND);
    updatePass(f, {{0, {0.0f, 0.0f, 1.0f}, 0, 0}}, rates, labels);
    EXPECT_EQ(f.current.plane[2][f.cell(0, 0)], rates[0]);
    EXPECT_EQ(f.current.plane[2][f.cell(0, 1)], rates[1]);
    EXPECT_EQ(f.current.plane[2][f.cell(1, 0)], rates[3]);
    EXPECT_EQ(f.current.plane[2][f.cell(1, 1)], rates[4]);
    EXPECT_EQ(f.current.plane[2][f.cell(0, 2)], 0.0f);
    EXPECT_EQ(f.current.plane[2][f.cell(2, 0)], 0.0f);

    // At the last cell the window only ends early: the best weight gets the centre.
    ColourFixture g(2, 2, 3, {0.0f, 0.0f, 0.0f});
    updatePass(g, {{3, {0.0f, 0.0f, 1.0f}, 5, 5}}, rates, labels);
    EXPECT_EQ(g.current.plane[2][g.cell(4, 4)], rates[0]);
    EXPECT_EQ(g.current.plane[2][g.cell(5, 5)], rates[4]);
    EXPECT_EQ(g.current.plane[2][g.cell(3, 3)], 0.0f);
}

TEST(ColourModelTest, UpdateRoundsOneMinusRateToFloatAndSkipsNonBackgroundOwners) {
    ColourFixture f(2, 1, 3, {0.0f, 0.0f, 0.3f});
    const RateMatrix rates = constantRates(3, 0.1f);
    const LabelMask labels = {LABEL_BACKGROUND, LABEL_SHADOW};
    // Best weight on the right edge of pixel 0's block: the window reaches pixel 1.
    updatePass(f, {{0, {0.2f, -0.1f, 0.9f}, 1, 2}}, rates, labels);
    const float keep = static_cast<float>(1.0 - 0.1f);
    EXPECT_EQ(
        f.current.plane[2][f.cell(1, 2)],
        static_cast<float>(static_cast<double>(keep) * 0.3f + static_cast<double>(0.1f) * 0.9f));
    EXPECT_EQ(f.current.plane[0][f.cell(1, 2)],
              static_cast<float>(static_cast<double>(0.1f) * 0.2f));
    EXPECT_EQ(f.current.plane[2][f.cell(1, 3)], 0.3f);  // owner pixel 1 is a shadow: untouched
}

TEST(ColourModelTest, OverlappingWindowsKeepTheLastWriterWithoutCompounding) {
    ColourFixture f(2, 1, 3, {0.0f, 0.0f, 0.5f});
    const RateMatrix rates = constantRates(3, 0.5f);
    const LabelMask labels(2, LABEL_BACKGROUND);
    updatePass(f, {{0, {0.0f, 0.0f, 1.0f}, 1, 2}, {1, {0.0f, 0.0f, 0.0f}, 1, 3}}, rates, labels);
    // Cells (1, 2) and (1, 3) lie in both windows: the right pixel's value, from
    // the weight as it was before the pass.
    EXPECT_EQ(f.current.plane[2][f.cell(1, 2)], 0.25f);
    EXPECT_EQ(f.current.plane[2][f.cell(1, 3)], 0.25f);
    EXPECT_EQ(f.current.plane[2][f.cell(1, 1)], 0.75f);
    EXPECT_EQ(f.current.plane[2][f.cell(1, 4)], 0.25f);
}

TEST(ColourModelTest, CalibrationGuardsWithThisFramesLabelsBehindAndLastFramesAhead) {
    // Three pixels in a row. The middle one will not match; its label from the
    // previous frame (foreground) protects its block.
    ColourFixture f(3, 1, 1, {0.0f, 0.0f, 0.5f});
    f.params.shadowRemoval = 0;
    PlaneSet frame = allocFloatPlanes(3);
    frame.plane[2] = {0.5f, 1.0f, 0.5f};
    LabelMask labels = {LABEL_BACKGROUND, LABEL_FOREGROUND, LABEL_BACKGROUND};
    calibrate(f, frame, labels, constantRates(1, 0.5f), 0.01f);
    EXPECT_EQ(labels, (LabelMask{LABEL_BACKGROUND, LABEL_FOREGROUND, LABEL_BACKGROUND}));
    EXPECT_EQ(f.current.plane[2][1], 0.5f);

    // With n = 3 a matched pixel's window reaches its neighbour's block while
    // the neighbour's label (from the previous frame) is background...
    ColourFixture g(2, 1, 3, {0.0f, 0.0f, 0.5f});
    g.params.shadowRemoval = 0;
    g.setWeight(1, 2, {0.0f, 0.0f, 0.6f});  // pixel 0's best weight: right edge
    PlaneSet frame2 = allocFloatPlanes(2);
    frame2.plane[2] = {0.6f, 1.0f};
    LabelMask labels2 = {LABEL_BACKGROUND, LABEL_BACKGROUND};
    calibrate(g, frame2, labels2, constantRates(3, 0.5f), 0.01f);
    EXPECT_EQ(labels2, (LabelMask{LABEL_BACKGROUND, LABEL_FOREGROUND}));
    EXPECT_EQ(g.current.plane[2][g.cell(1, 3)], static_cast<float>(0.5 * 0.5f + 0.5 * 0.6f));

    // ...while a later pixel sees the fresh label of an earlier one.
    ColourFixture h(2, 1, 3, {0.0f, 0.0f, 0.5f});
    h.params.shadowRemoval = 0;
    h.setWeight(1, 3, {0.0f, 0.0f, 0.6f});  // pixel 1's best weight: left edge
    PlaneSet frame3 = allocFloatPlanes(2);
    frame3.plane[2] = {1.0f, 0.6f};
    LabelMask labels3 = {LABEL_BACKGROUND, LABEL_BACKGROUND};
    calibrate(h, frame3, labels3, constantRates(3, 0.5f), 0.01f);
    EXPECT_EQ(labels3, (LabelMask{LABEL_FOREGROUND, LABEL_BACKGROUND}));
    EXPECT_EQ(h.current.plane[2][h.cell(1, 2)], 0.5f);  // pixel 0 is foreground by now
    EXPECT_EQ(h.current.plane[2][h.cell(1, 4)], static_cast<float>(0.5 * 0.5f + 0.5 * 0.6f));
}

TEST(ColourModelTest, DetectionRecordsBestWeightsAndUpdateFollowsTheFilteredMask) {
    ColourFixture f(2, 1, 1, {0.0f, 0.0f, 0.5f});
    f.params.shadowRemoval = 0;
    PlaneSet frame = allocFloatPlanes(2);
    frame.plane[2] = {0.5f, 0.9f};
    LabelMask labels(2, 0);
    std::vector<int> rows(2, 7), cols(2, 7);
    colourMatchRows(frame, f.grid, f.current, 0.01f, f.params, f.roi, 0, 1, labels, rows, cols,
                    f.matchScratch);
    EXPECT_EQ(labels, (LabelMask{LABEL_BACKGROUND, LABEL_FOREGROUND}));
    EXPECT_EQ(rows, (std::vector<int>{0, 0}));
    EXPECT_EQ(cols, (std::vector<int>{0, 1}));

    // The filtered mask turned pixel 1 to background: it learns around its
    // nearest weight although colour called it foreground.
    const LabelMask filtered = {LABEL_FOREGROUND, LABEL_BACKGROUND};
    std::vector<uint8_t> action(2, 9);
    colourOnlineActionRows(filtered, f.roi, 2, 0, 1, action);
    EXPECT_EQ(action, (std::vector<uint8_t>{ACTION_NONE, ACTION_UPDATE}));
    colourUpdateRows(frame, f.grid, f.current, constantRates(1, 0.5f), rows, cols,
                     UpdateWriters{action.data(), filtered.data(), filtered.data()}, 0, 1,
                     f.scratch);
    EXPECT_EQ(f.current.plane[2][0], 0.5f);
    EXPECT_EQ(f.current.plane[2][1], static_cast<float>(0.5 * 0.5f + 0.5 * 0.9f));
}

TEST(ColourModelTest, PixelsOutsideTheRegionAreNeitherInitialisedNorLabelled) {
    ColourFixture f(2, 1, 1, {0.0f, 0.0f, 0.5f});
    f.roi = makeRegionOfInterest({0, 255}, 2);
    PlaneSet model = allocFloatPlanes(2);
    initColourModel(model, f.background, f.grid, f.roi);
    EXPECT_EQ(model.plane[2][0], 0.0f);
    EXPECT_EQ(model.plane[2][1], 0.5f);
    LabelMask labels = {99, 99};
    std::vector<int> rows(2, 7), cols(2, 7);
    PlaneSet frame = allocFloatPlanes(2);
    colourMatchRows(frame, f.grid, model, 0.01f, f.params, f.roi, 0, 1, labels, rows, cols,
                    f.matchScratch);
    EXPECT_EQ(labels[0], 99);
    EXPECT_EQ(rows[0], 7);
    const LabelMask filtered = {LABEL_BACKGROUND, LABEL_BACKGROUND};
    std::vector<uint8_t> action(2, 9);
    colourOnlineActionRows(filtered, f.roi, 2, 0, 1, action);
    EXPECT_EQ(action[0], ACTION_NONE);
}

TEST(ColourModelTest, BandsOfRowsGiveTheSameModelAsOnePass) {
    // Windows cross band borders: splitting the owned rows must not change a cell.
    ColourFixture whole(4, 6, 3, {0.1f, 0.1f, 0.5f});
    ColourFixture banded(4, 6, 3, {0.1f, 0.1f, 0.5f});
    PlaneSet frame = allocFloatPlanes(24);
    std::vector<uint8_t> action(24, ACTION_UPDATE);
    std::vector<int> rows(24), cols(24);
    LabelMask labels(24, LABEL_BACKGROUND);
    labels[9] = LABEL_FOREGROUND;
    for (int p = 0; p < 24; ++p) {
        frame.plane[2][p] = 0.01f * static_cast<float>(p);
        rows[p] = (p / 4) * 3 + (p % 3);  // top, middle or bottom row of the block
        cols[p] = (p % 4) * 3 + (p % 2) * 2;
    }
    const RateMatrix rates = constantRates(3, 0.25f);
    const UpdateWriters writers{action.data(), labels.data(), labels.data()};
    colourUpdateRows(frame, whole.grid, whole.current, rates, rows, cols, writers, 0, 6,
                     whole.scratch);
    for (int band = 0; band < 6; band += 2) {
        colourUpdateRows(frame, banded.grid, banded.current, rates, rows, cols, writers, band,
                         band + 2, banded.scratch);
    }
    EXPECT_EQ(banded.current.plane[2], whole.current.plane[2]);
    EXPECT_NE(whole.current.plane[2], ColourFixture(4, 6, 3, {0.1f, 0.1f, 0.5f}).current.plane[2]);
}
