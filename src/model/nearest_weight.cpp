#include "model/nearest_weight.hpp"

#include "model/model_grid.hpp"
#include "model/target_clones.hpp"

namespace dadimero {

DADI_TARGET_CLONES __attribute__((flatten)) void firstSmallestOfRow(const float* distances,
                                                                    size_t stride, int n,
                                                                    int blocks, float limit,
                                                                    int* best, float* minimum) {
    withBlockSide(n, [&](auto side) {
        constexpr int N = decltype(side)::value;
        for (int c = 0; c < blocks; ++c)
            best[c] =
                firstSmallest<N>(distances + static_cast<size_t>(c) * N, stride, limit, minimum[c]);
    });
}

}  // namespace dadimero
