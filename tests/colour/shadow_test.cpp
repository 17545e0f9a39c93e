#include "colour/shadow.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "colour/colour_space.hpp"

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
    bool test(ConePoint pixel, int& row, int& col) const {
        return isShadow(pixel.x, pixel.y, pixel.z, model, grid, 0, 0, params, row, col);
    }
};

// Cone point of hue 0 with saturation s and value v: exact in floats.
ConePoint hueZero(float s, float v) {
    return {s * v, 0.0f, v};
}

}  // namespace

TEST(ShadowTest, ValueRatioBoundsAreInclusive) {
    int row = -1, col = -1;
    ShadowFixture same(1, hueZero(0.5f, 0.5f));
    EXPECT_TRUE(same.test(hueZero(0.5f, 0.5f), row, col));  // ratio 1 == beta
    EXPECT_EQ(row, 0);
    EXPECT_EQ(col, 0);

    // 0.35 / 0.5 in double is the float 0.7 exactly: passes the lower bound.
    ShadowFixture darker(1, {0.0f, 0.0f, 0.5f});
    EXPECT_TRUE(darker.test({0.0f, 0.0f, 0.35f}, row, col));
    // Brighter than every weight: never a shadow.
    EXPECT_FALSE(darker.test({0.0f, 0.0f, 0.55f}, row, col));
}

TEST(ShadowTest, SaturationAndHueThresholdsAreStrict) {
    int row = -1, col = -1;
    ShadowFixture f(1, hueZero(0.5f, 0.5f));
    f.params.tauS = 0.25f;
    EXPECT_FALSE(f.test(hueZero(0.25f, 0.5f), row, col));  // difference equals tau_S
    f.params.tauS = std::nextafter(0.25f, 1.0f);
    EXPECT_TRUE(f.test(hueZero(0.25f, 0.5f), row, col));

    // Weight at 45 degrees, pixel at 0: the hue distance is the weight's hue.
    ShadowFixture g(1, {0.25f, 0.25f, 0.5f});
    const ConePoint pixel = {static_cast<float>(std::sqrt(0.125)) * 0.5f / 0.5f, 0.0f, 0.5f};
    const float weightHue = coneToHsv(0.25f, 0.25f, 0.5f).h;
    g.params.tauS = 1.0f;
    g.params.tauH = weightHue;
    EXPECT_FALSE(g.test(pixel, row, col));
    g.params.tauH = std::nextafter(weightHue, 100.0f);
    EXPECT_TRUE(g.test(pixel, row, col));
}

TEST(ShadowTest, HueDistanceIsCircular) {
    int row = -1, col = -1;
    const float degrees = static_cast<float>(3.14159265358979323846 / 180.0);
    auto atHue = [degrees](double hue) {
        return ConePoint{static_cast<float>(0.25 * std::cos(hue * degrees)),
                         static_cast<float>(0.25 * std::sin(hue * degrees)), 0.5f};
    };
    ShadowFixture f(1, atHue(355.0));
    EXPECT_TRUE(f.test(atHue(4.0), row, col));    // 9 degrees apart across 0
    EXPECT_FALSE(f.test(atHue(15.0), row, col));  // 20 degrees apart
}

TEST(ShadowTest, BlackNeverMatchesAndFailureLeavesThePositionAlone) {
    int row = -1, col = -1;
    ShadowFixture blackWeights(3, {0.0f, 0.0f, 0.0f});
    EXPECT_FALSE(blackWeights.test(hueZero(0.5f, 0.5f), row, col));
    EXPECT_EQ(row, -1);
    EXPECT_EQ(col, -1);
    ShadowFixture f(3, hueZero(0.5f, 0.5f));
    f.params.gamma = 0.0f;
    EXPECT_FALSE(f.test({0.0f, 0.0f, 0.0f}, row, col));  // black pixel: saturation not-a-number
    EXPECT_EQ(row, -1);
}

TEST(ShadowTest, FirstQualifyingWeightInRowMajorOrderWins) {
    int row = -1, col = -1;
    ShadowFixture f(3, hueZero(0.5f, 0.1f));  // far too dark to explain the pixel
    f.set(5, hueZero(0.5f, 0.5f));            // grid (1, 2)
    f.set(7, hueZero(0.5f, 0.5f));            // grid (2, 1)
    EXPECT_TRUE(f.test(hueZero(0.5f, 0.4f), row, col));
    EXPECT_EQ(row, 1);
    EXPECT_EQ(col, 2);
}
