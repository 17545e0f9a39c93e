#include "model/nearest_weight.hpp"

#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "model/model_grid.hpp"

using namespace dadimero;

namespace {

// The rule as a plain scan: the first distance strictly below the smallest so far.
int scanFirstSmallest(const float* distance, size_t stride, int n, float limit, float& minimum) {
    int best = -1;
    minimum = limit;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            if (distance[i * stride + j] < minimum) {
                minimum = distance[i * stride + j];
                best = i * n + j;
            }
        }
    }
    return best;
}

// Blocks drawn from few values, so that ties, the limit itself and
// not-a-number distances are common, inside a wider row whose other cells
// (read past the block) must not count.
TEST(NearestWeightTest, VectorSearchAgreesWithAPlainScanOnTiesLimitsAndNaN) {
    std::mt19937 random(7);
    const float limit = 100.0f;
    const float values[] = {0.0f, 1.0f, 2.5f, limit, 250.0f, NAN, -1.0f};
    for (int n : {1, 3, 5, 7, 9}) {
        const size_t stride = static_cast<size_t>(n) * 3;
        std::vector<float> rows(stride * static_cast<size_t>(n) + kDistanceReadPast);
        for (int trial = 0; trial < 4000; ++trial) {
            for (float& d : rows)
                d = values[random() % std::size(values)];
            const float* block = rows.data() + n;  // the middle block of each row
            float expectedMinimum = 0.0f;
            const int expected = scanFirstSmallest(block, stride, n, limit, expectedMinimum);
            const Nearest nearest = withBlockSide(n, [&](auto side) {
                return firstSmallest<decltype(side)::value>(block, stride, limit);
            });
            ASSERT_EQ(nearest.index, expected) << "n " << n << ", trial " << trial;
            ASSERT_EQ(nearest.distance, expectedMinimum) << "n " << n << ", trial " << trial;
        }
    }
}

// A row of blocks, searched eight blocks at a time where it can and one by
// one for the rest, agrees block by block with the plain scan.
TEST(NearestWeightTest, RowSearchAgreesWithAPlainScanForEveryBlock) {
    std::mt19937 random(11);
    const float limit = 100.0f;
    const float values[] = {0.0f, 1.0f, 2.5f, limit, 250.0f, NAN, 3.0f};
    for (int n : {1, 3, 5, 9}) {
        const int blocks = 21;
        const size_t stride = static_cast<size_t>(n) * blocks;
        std::vector<float> rows(stride * static_cast<size_t>(n) + kDistanceReadPast);
        std::vector<int> best(blocks);
        std::vector<float> minimum(blocks);
        for (int trial = 0; trial < 300; ++trial) {
            for (float& d : rows)
                d = values[random() % std::size(values)];
            firstSmallestOfRow(rows.data(), stride, n, blocks, limit, best.data(), minimum.data());
            for (int c = 0; c < blocks; ++c) {
                float expectedMinimum = 0.0f;
                const int expected = scanFirstSmallest(rows.data() + static_cast<size_t>(c) * n,
                                                       stride, n, limit, expectedMinimum);
                ASSERT_EQ(best[c], expected) << "n " << n << ", block " << c;
                ASSERT_EQ(minimum[c], expectedMinimum) << "n " << n << ", block " << c;
            }
        }
    }
}

}  // namespace
