#include "model/spread_values.hpp"

#include <utility>

#include "model/model_grid.hpp"
#include "model/target_clones.hpp"

namespace dadimero {

namespace {

using Float8 = float __attribute__((vector_size(32)));
using UnalignedFloat8 = float __attribute__((vector_size(32), aligned(4)));

// Output lane l of vector K repeats value (8K + l) / N.
template <int N, int K, int... Lane>
void storeSpreadPart(const Float8& v, float* out, std::integer_sequence<int, Lane...>) {
    *reinterpret_cast<UnalignedFloat8*>(out + 8 * K) =
        __builtin_shufflevector(v, v, ((8 * K + Lane) / N)...);
}

// Eight values become 8 * N floats, one lane permutation a vector.
template <int N, int... K>
int spreadEights(const float* values, int count, float* out, std::integer_sequence<int, K...>) {
    int c = 0;
    for (; c + 8 <= count; c += 8) {
        const Float8 v = *reinterpret_cast<const UnalignedFloat8*>(values + c);
        (storeSpreadPart<N, K>(v, out + N * c, std::make_integer_sequence<int, 8>{}), ...);
    }
    return c;
}

}  // namespace

DADI_TARGET_CLONES __attribute__((flatten)) void spreadValues(const float* values, int count, int n,
                                                              float* out) {
    withBlockSide(n, [&](auto side) {
        constexpr int N = decltype(side)::value;
        int c = 0;
        if constexpr (N > 1) {
            c = spreadEights<N>(values, count, out, std::make_integer_sequence<int, N>{});
        }
        for (; c < count; ++c) {
            for (int j = 0; j < N; ++j)
                out[c * N + j] = values[c];
        }
    });
}

}  // namespace dadimero
