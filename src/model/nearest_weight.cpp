#include "model/nearest_weight.hpp"

#include <cstring>
#include <type_traits>

#include "model/model_grid.hpp"
#include "model/target_clones.hpp"

namespace dadimero {

namespace {

using Float8 = float __attribute__((vector_size(32)));
// The same, readable from any float: part of a row of distances.
using UnalignedFloat8 = float __attribute__((vector_size(32), aligned(4)));
using Int8 = int32_t __attribute__((vector_size(32)));

// 3 x 3 blocks eight at a time, one block per lane: the block's distances are
// taken in the order of the scan, and a lane keeps a distance only when it is
// strictly smaller, exactly as firstSmallest does block by block, but with
// no reduction across lanes. Returns the number of blocks done.
int firstSmallestOfRow3(const float* distances, size_t stride, int blocks, float limit, int* best,
                        float* minimum) {
    // Lane b of column j takes element 3b + j of 24 consecutive floats: from
    // the first 16, then the last 8.
    auto column = [](const Float8& a, const Float8& b, const Float8& c, auto j, Float8& d) {
        if constexpr (decltype(j)::value == 0) {
            d = __builtin_shufflevector(__builtin_shufflevector(a, b, 0, 3, 6, 9, 12, 15, 0, 0), c,
                                        0, 1, 2, 3, 4, 5, 10, 13);
        } else if constexpr (decltype(j)::value == 1) {
            d = __builtin_shufflevector(__builtin_shufflevector(a, b, 1, 4, 7, 10, 13, 0, 0, 0), c,
                                        0, 1, 2, 3, 4, 8, 11, 14);
        } else {
            d = __builtin_shufflevector(__builtin_shufflevector(a, b, 2, 5, 8, 11, 14, 0, 0, 0), c,
                                        0, 1, 2, 3, 4, 9, 12, 15);
        }
    };
    int c = 0;
    for (; c + 8 <= blocks; c += 8) {
        Float8 low = {limit, limit, limit, limit, limit, limit, limit, limit};
        Int8 index = {-1, -1, -1, -1, -1, -1, -1, -1};
        for (int i = 0; i < 3; ++i) {
            const float* row = distances + i * stride + static_cast<size_t>(c) * 3;
            const Float8 part[3] = {*reinterpret_cast<const UnalignedFloat8*>(row),
                                    *reinterpret_cast<const UnalignedFloat8*>(row + 8),
                                    *reinterpret_cast<const UnalignedFloat8*>(row + 16)};
            auto take = [&](auto j) {
                Float8 d;
                column(part[0], part[1], part[2], j, d);
                const Int8 smaller = d < low;
                Int8 lowBits;
                Int8 dBits;
                std::memcpy(&lowBits, &low, sizeof low);
                std::memcpy(&dBits, &d, sizeof d);
                lowBits = (dBits & smaller) | (lowBits & ~smaller);
                std::memcpy(&low, &lowBits, sizeof low);
                const int32_t order = i * 3 + decltype(j)::value;
                index = (smaller & order) | (index & ~smaller);
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
        for (; c < blocks; ++c)
            best[c] =
                firstSmallest<N>(distances + static_cast<size_t>(c) * N, stride, limit, minimum[c]);
    });
}

}  // namespace dadimero
