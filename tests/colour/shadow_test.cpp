#include "colour/shadow.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "colour/colour_space.hpp"
#include "model/model_grid.hpp"

using namespace dadimero;

namespace {

// One pixel with an n x n block whose weights are all `weight`.
struct ShadowFixture {
    ModelGrid grid;
    PlaneSet model;
    ShadowThresholds params{0.7f, 1.0f, 0.1f, 10.0f};

    ShadowFixture(int n, ConePoint weight) : grid{1, 1, n}, model(allocFloatPlanes(grid.cells())) {
        for (size_t k = 0; k < grid.cells(); ++k)
            set(k, weight);
    }
    void set(size_t k, ConePoint p) {
        model.plane[0][k] = p.x;
        model.plane[1][k] = p.y;
        model.plane[2][k] = p.z;
    }
    // The index of the shadow's weight in the block, -1 for none.
    int weight(ConePoint pixel) const {
        const PlaneBlock block{
            {model.plane[0].data(), model.plane[1].data(), model.plane[2].data()},
            static_cast<size_t>(grid.cols())};
        return shadowWeight(pixel, block, grid.n, params);
    }
};

// Cone point of hue 0 with saturation s and value v: exact in floats.
ConePoint hueZero(float s, float v) {
    return {s * v, 0.0f, v};
}

}  // namespace

TEST(ShadowTest, ValueRatioBoundsAreInclusive) {
    ShadowFixture same(1, hueZero(0.5f, 0.5f));
    EXPECT_EQ(same.weight(hueZero(0.5f, 0.5f)), 0);  // ratio 1 == beta

    // 0.35 / 0.5 in double is the float 0.7 exactly: passes the lower bound.
    ShadowFixture darker(1, {0.0f, 0.0f, 0.5f});
    EXPECT_NE(darker.weight({0.0f, 0.0f, 0.35f}), -1);
    // Brighter than every weight: never a shadow.
    EXPECT_EQ(darker.weight({0.0f, 0.0f, 0.55f}), -1);
}

TEST(ShadowTest, SaturationAndHueThresholdsAreStrict) {
    ShadowFixture f(1, hueZero(0.5f, 0.5f));
    f.params.tauS = 0.25f;
    EXPECT_EQ(f.weight(hueZero(0.25f, 0.5f)), -1);  // difference equals tau_S
    f.params.tauS = std::nextafter(0.25f, 1.0f);
    EXPECT_NE(f.weight(hueZero(0.25f, 0.5f)), -1);

    // Weight at 45 degrees, pixel at 0: the hue distance is the weight's hue.
    ShadowFixture g(1, {0.25f, 0.25f, 0.5f});
    const ConePoint pixel = {static_cast<float>(std::sqrt(0.125)) * 0.5f / 0.5f, 0.0f, 0.5f};
    const float weightHue = coneToHsv(0.25f, 0.25f, 0.5f).h;
    g.params.tauS = 1.0f;
    g.params.tauH = weightHue;
    EXPECT_EQ(g.weight(pixel), -1);
    g.params.tauH = std::nextafter(weightHue, 100.0f);
    EXPECT_NE(g.weight(pixel), -1);
}

TEST(ShadowTest, HueDistanceIsCircular) {
    const float degrees = static_cast<float>(3.14159265358979323846 / 180.0);
    auto atHue = [degrees](double hue) {
        return ConePoint{static_cast<float>(0.25 * std::cos(hue * degrees)),
                         static_cast<float>(0.25 * std::sin(hue * degrees)), 0.5f};
    };
    ShadowFixture f(1, atHue(355.0));
    EXPECT_NE(f.weight(atHue(4.0)), -1);   // 9 degrees apart across 0
    EXPECT_EQ(f.weight(atHue(15.0)), -1);  // 20 degrees apart
}

TEST(ShadowTest, BlackNeverMatches) {
    ShadowFixture blackWeights(3, {0.0f, 0.0f, 0.0f});
    EXPECT_EQ(blackWeights.weight(hueZero(0.5f, 0.5f)), -1);
    ShadowFixture f(3, hueZero(0.5f, 0.5f));
    f.params.gamma = 0.0f;
    EXPECT_EQ(f.weight({0.0f, 0.0f, 0.0f}), -1);  // black pixel: saturation not-a-number
}

TEST(ShadowTest, FirstQualifyingWeightInRowMajorOrderWins) {
    ShadowFixture f(3, hueZero(0.5f, 0.1f));  // far too dark to explain the pixel
    f.set(5, hueZero(0.5f, 0.5f));            // row 1, column 2
    f.set(7, hueZero(0.5f, 0.5f));            // row 2, column 1
    EXPECT_EQ(f.weight(hueZero(0.5f, 0.4f)), 5);
}
