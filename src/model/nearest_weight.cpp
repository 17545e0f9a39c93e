#include "model/nearest_weight.hpp"

#include <cstring>

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
    // Lane b of column j gathers element 3b + j of 24 consecutive floats.
    const Int8 firstPart[3] = {
        {0, 3, 6, 9, 12, 15, 0, 0}, {1, 4, 7, 10, 13, 0, 0, 0}, {2, 5, 8, 11, 14, 0, 0, 0}};
    const Int8 lastPart[3] = {
        {0, 1, 2, 3, 4, 5, 10, 13}, {0, 1, 2, 3, 4, 8, 11, 14}, {0, 1, 2, 3, 4, 9, 12, 15}};
    int c = 0;
    for (; c + 8 <= blocks; c += 8) {
        Float8 low = {limit, limit, limit, limit, limit, limit, limit, limit};
        Int8 index = {-1, -1, -1, -1, -1, -1, -1, -1};
        for (int i = 0; i < 3; ++i) {
            const float* row = distances + i * stride + static_cast<size_t>(c) * 3;
            const Float8 part[3] = {*reinterpret_cast<const UnalignedFloat8*>(row),
                                    *reinterpret_cast<const UnalignedFloat8*>(row + 8),
                                    *reinterpret_cast<const UnalignedFloat8*>(row + 16)};
            for (int j = 0; j < 3; ++j) {
                const Float8 d = __builtin_shuffle(
                    __builtin_shuffle(part[0], part[1], firstPart[j]), part[2], lastPart[j]);
                const Int8 smaller = d < low;
                Int8 lowBits;
                Int8 dBits;
                std::memcpy(&lowBits, &low, sizeof low);
                std::memcpy(&dBits, &d, sizeof d);
                lowBits = (dBits & smaller) | (lowBits & ~smaller);
                std::memcpy(&low, &lowBits, sizeof low);
                index = (smaller & (i * 3 + j)) | (index & ~smaller);
            }
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
