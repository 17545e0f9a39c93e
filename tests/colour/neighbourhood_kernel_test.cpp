#include "colour/neighbourhood_kernel.hpp"

#include <gtest/gtest.h>

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
