#pragma once

#include <cstddef>

#include "model/lanes.hpp"

namespace dadimero {

// Floats past a block's last distance that firstSmallest may read (and ignore):
// it reads whole four-lane groups.
inline constexpr size_t kDistanceReadPast = 3;

// The nearest of a block's weights: its index in the block (row * N +
// column), or -1 for none, and its distance, or the limit for none.
struct Nearest {
    int index;
    float distance;
};

// The first strictly smallest of a block's N x N distances (row-major, rows
// `stride` apart) that is below `limit` (not-a-number distances never are).
// The first strictly smallest is the first distance equal to the smallest,
// so both are found with vector selects and no branch: which distance wins
// depends on the data and would defeat branch prediction.
template <int N>
Nearest firstSmallest(const float* distance, size_t stride, float limit) {
    constexpr int groups = (N + 3) / 4;
    const Lanes4 lane = {0, 1, 2, 3};
    Float4 low = {limit, limit, limit, limit};
    for (int i = 0; i < N; ++i) {
        for (int g = 0; g < groups; ++g) {
            const Float4 d = loadFloat4(distance + i * stride + g * 4);
            const Lanes4 inBlock = lane < N - g * 4;
            low = select((d < low) & inBlock, d, low);
        }
    }
    float smallest = low[0];
    for (int l = 1; l < 4; ++l)
        smallest = low[l] < smallest ? low[l] : smallest;
    const Float4 target = {smallest, smallest, smallest, smallest};
    constexpr int kNone = N * N;
    Lanes4 first = {kNone, kNone, kNone, kNone};
    for (int i = 0; i < N; ++i) {
        for (int g = 0; g < groups; ++g) {
            const Float4 d = loadFloat4(distance + i * stride + g * 4);
            const Lanes4 inBlock = lane < N - g * 4;
            const Lanes4 index = lane + (i * N + g * 4);
            const Lanes4 hit = (d == target) & inBlock & (index < first);
            first = select(hit, index, first);
        }
    }
    int best = first[0];
    for (int l = 1; l < 4; ++l)
        best = first[l] < best ? first[l] : best;
    if (!(smallest < limit)) return {-1, limit};
    return {best, distance[(best / N) * stride + best % N]};
}

// firstSmallest of each of `blocks` side-by-side n x n blocks, whose n rows
// of distances lie `stride` apart: block c's index into best[c] and its
// minimum into minimum[c].
void firstSmallestOfRow(const float* distances, size_t stride, int n, int blocks, float limit,
                        int* best, float* minimum);

}  // namespace dadimero
