#include "model/spread_values.hpp"

#include <cstdint>

#include "model/model_grid.hpp"
#include "model/target_clones.hpp"

namespace dadimero {

namespace {

using Float8 = float __attribute__((vector_size(32)));
using Int8 = int32_t __attribute__((vector_size(32)));
using UnalignedFloat8 = float __attribute__((vector_size(32), aligned(4)));

// Eight values become 8 * N floats: output lane l of vector k repeats value
// (8k + l) / N, one lane permutation a vector.
template <int N>
int spreadEights(const float* values, int count, float* out) {
    Int8 pick[N];
    for (int k = 0; k < N; ++k) {
        for (int l = 0; l < 8; ++l)
            pick[k][l] = (8 * k + l) / N;
    }
    int c = 0;
    for (; c + 8 <= count; c += 8) {
        const Float8 v = *reinterpret_cast<const UnalignedFloat8*>(values + c);
        for (int k = 0; k < N; ++k)
            *reinterpret_cast<UnalignedFloat8*>(out + N * c + 8 * k) =
                __builtin_shuffle(v, pick[k]);
    }
    return c;
}

}  // namespace

DADI_TARGET_CLONES __attribute__((flatten)) void spreadValues(const float* values, int count, int n,
                                                              float* out) {
    withBlockSide(n, [&](auto side) {
        constexpr int N = decltype(side)::value;
        int c = 0;
        if constexpr (N > 1) c = spreadEights<N>(values, count, out);
        for (; c < count; ++c) {
            for (int j = 0; j < N; ++j)
                out[c * N + j] = values[c];
        }
    });
}

}  // namespace dadimero
