#include "colour/neighbourhood_kernel.hpp"

#include <gtest/gtest.h>

using namespace dadimero;

namespace {

std::vector<float> builtKernel(int n) {
    NeighbourhoodKernel kernel(static_cast<size_t>(n) * n, 0.0f);
    buildNeighbourhoodKernel(n, kernelVariance(n), kernel);
    return kernel;
}

}  // namespace

TEST(NeighbourhoodKernelTest, MatchesTheIntegerKernelsForEverySupportedSide) {
    EXPECT_EQ(builtKernel(1), (std::vector<float>{1}));
    EXPECT_EQ(builtKernel(3), (std::vector<float>{1, 2, 1, 2, 4, 2, 1, 2, 1}));
    EXPECT_EQ(builtKernel(5), (std::vector<float>{1, 2, 2, 2, 1, 2, 4, 5, 4, 2, 2, 5, 6,
                                                  5, 2, 2, 4, 5, 4, 2, 1, 2, 2, 2, 1}));
    EXPECT_EQ(builtKernel(7), (std::vector<float>{1, 2, 2, 3, 2, 2, 1, 2, 3, 4, 5, 4, 3, 2, 2, 4, 6,
                                                  7, 6, 4, 2, 3, 5, 7, 8, 7, 5, 3, 2, 4, 6, 7, 6, 4,
                                                  2, 2, 3, 4, 5, 4, 3, 2, 1, 2, 2, 3, 2, 2, 1}));
    const std::vector<float> nine = builtKernel(9);
    const std::vector<float> middleRow = {3, 5, 7, 9, 10, 9, 7, 5, 3};
    EXPECT_EQ(std::vector<float>(nine.begin() + 36, nine.begin() + 45), middleRow);
    const std::vector<float> firstRow = {1, 2, 2, 3, 3, 3, 2, 2, 1};
    EXPECT_EQ(std::vector<float>(nine.begin(), nine.begin() + 9), firstRow);
    EXPECT_EQ(std::vector<float>(nine.begin() + 72, nine.end()), firstRow);
}

TEST(NeighbourhoodKernelTest, OnlineRateMatrixScalesTheKernel) {
    const NeighbourhoodKernel kernel = builtKernel(3);
    RateMatrix rates(9, 0.0f);
    const float a2 = baseRate(0.05f, 3);
    EXPECT_EQ(a2, static_cast<float>(0.05f * 0.25));
    fillRateMatrix(3, a2, kernel, rates);
    EXPECT_EQ(rates[4], static_cast<float>(a2 * 4.0));  // centre, about 0.05
    EXPECT_EQ(rates[1], static_cast<float>(a2 * 2.0));  // edge, about 0.025
    EXPECT_EQ(rates[0], a2);                            // corner
    EXPECT_NEAR(rates[4], 0.05f, 1e-8f);

    // c2 = 2 gives a centre of exactly 2; nothing is clamped.
    fillRateMatrix(3, baseRate(2.0f, 3), kernel, rates);
    EXPECT_EQ(rates[4], 2.0f);
    EXPECT_EQ(baseRate(0.1f, 9), static_cast<float>(0.1f * (1.0 / 10)));
}

TEST(NeighbourhoodKernelTest, CalibrationRateFallsLinearlyAndEndsOnTheOnlineRate) {
    const float a1 = baseRate(0.1f, 3);
    const float a2 = baseRate(0.05f, 3);
    // K = 2: the only calibration frame already uses a2.
    EXPECT_EQ(calibrationRate(a1, a2, 1, 2), a2);
    // K = 11: frame 1 is one tenth of the way down, frame 10 is exactly a2.
    EXPECT_EQ(calibrationRate(a1, a2, 1, 11),
              static_cast<float>(a1 - (static_cast<double>(a1) - a2) * 1 / 10));
    EXPECT_EQ(calibrationRate(a1, a2, 10, 11), a2);
    EXPECT_GT(calibrationRate(a1, a2, 1, 11), calibrationRate(a1, a2, 2, 11));
    EXPECT_LT(calibrationRate(a1, a2, 1, 11), a1);
    // c1 below c2: the rate rises towards a2.
    EXPECT_LT(calibrationRate(a2, a1, 1, 11), calibrationRate(a2, a1, 2, 11));
}
