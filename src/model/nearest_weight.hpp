#pragma once

#include <cstddef>

namespace dadimero {

// The first strictly smallest of a block's N x N distances (row-major, rows
// `stride` apart) that is below `limit`: its index in the block, or -1 when
// none is (not-a-number distances never are). `minimum` receives it, or
// `limit`. Branch-free: which distance wins depends on the data.
template <int N>
int firstSmallest(const float* distance, size_t stride, float limit, float& minimum) {
    int best = -1;
    minimum = limit;
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            const float d = distance[i * stride + j];
            const bool smaller = d < minimum;
            minimum = smaller ? d : minimum;
            best = smaller ? i * N + j : best;
        }
    }
    return best;
}

}  // namespace dadimero
