#include "model/nearest_weight.hpp"

#include <cstring>
#include <type_traits>

#include "model/lanes.hpp"
#include "model/model_grid.hpp"
#include "model/target_clones.hpp"

namespace dadimero {

namespace {

// 3 x 3 blocks eight at a time, one block per lane: the block's distances are
// taken in the order of the scan, and a lane keeps a distance only when it is
// strictly smaller, exactly as firstSmallest does block by block, but with
// no reduction across lanes. Returns the number of blocks done.
int firstSmallestOfRow3(const float* distances, size_t stride, int blocks, float limit, int* best,
                        float* minimum) {
    // Lane b of column j takes element 3b + j of 24 consecutive floats: from
    // the first 16, then the last 8.
    auto column = [](const Float8& a, const Float8& b, const Float8& c, auto j) -> Float8 {
        if constexpr (decltype(j)::value == 0) {
            return __builtin_shufflevector(__builtin_shufflevector(a, b, 0, 3, 6, 9, 12, 15, 0, 0),
                                           c, 0, 1, 2, 3, 4, 5, 10, 13);
        } else if constexpr (decltype(j)::value == 1) {
            return __builtin_shufflevector(__builtin_shufflevector(a, b, 1, 4, 7, 10, 13, 0, 0, 0),
                                           c, 0, 1, 2, 3, 4, 8, 11, 14);
        } else {
            return __builtin_shufflevector(__builtin_shufflevector(a, b, 2, 5, 8, 11, 14, 0, 0, 0),
                                           c, 0, 1, 2, 3, 4, 9, 12, 15);
        }
    };
    int c = 0;
    for (; c + 8 <= blocks; c += 8) {
        Float8 low = {limit, limit, limit, limit, limit, limit, limit, limit};
        Lanes8 index = {-1, -1, -1, -1, -1, -1, -1, -1};
        for (int i = 0; i < 3; ++i) {
            const float* row = distances + i * stride + static_cast<size_t>(c) * 3;
            const Float8 part[3] = {loadFloat8(row), loadFloat8(row + 8), loadFloat8(row + 16)};
            auto take = [&](auto j) {
                const Float8 d = column(part[0], part[1], part[2], j);
                const Lanes8 smaller = d < low;
                low = select(smaller, d, low);
                const Lanes8 order = Lanes8{} + (i * 3 + decltype(j)::value);
                index = select(smaller, order, index);
            };
            take(std::integral_constant<int, 0>{});
            take(std::integral_constant<int, 1>{});
            take(std::integral_constant<int, 2>{});
        }
        std::memcpy(best + c, &index, sizeof index);
        std::memcpy(minimum + c, &low, sizeof low);
    }
    return c;
}

}  // namespace

DADI_TARGET_CLONES __attribute__((flatten)) void firstSmallestOfRow(const float* distances,
                                                                    size_t stride, int n,
                                                                    int blocks, float limit,
                                                                    int* best, float* minimum) {
    withBlockSide(n, [&](auto side) {
        constexpr int N = decltype(side)::value;
        int c = 0;
        if constexpr (N == 3)
            c = firstSmallestOfRow3(distances, stride, blocks, limit, best, minimum);
        for (; c < blocks; ++c) {
            const Nearest nearest =
                firstSmallest<N>(distances + static_cast<size_t>(c) * N, stride, limit);
            best[c] = nearest.index;
            minimum[c] = nearest.distance;
        }
    });
}

}  // namespace dadimero
