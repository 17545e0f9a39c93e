#include "model/spread_values.hpp"

#include <cstdint>

#include "model/target_clones.hpp"

namespace dadimero {

namespace {

using Float8 = float __attribute__((vector_size(32)));
using Int8 = int32_t __attribute__((vector_size(32)));
using UnalignedFloat8 = float __attribute__((vector_size(32), aligned(4)));

}  // namespace

DADI_TARGET_CLONES void spreadValues(const float* values, int count, int n, float* out) {
    int c = 0;
    if (n == 3) {
        // Eight values become 24 floats through three lane permutations.
        const Int8 pick[3] = {
            {0, 0, 0, 1, 1, 1, 2, 2}, {2, 3, 3, 3, 4, 4, 4, 5}, {5, 5, 6, 6, 6, 7, 7, 7}};
        for (; c + 8 <= count; c += 8) {
            const Float8 v = *reinterpret_cast<const UnalignedFloat8*>(values + c);
            for (int k = 0; k < 3; ++k)
                *reinterpret_cast<UnalignedFloat8*>(out + 3 * c + 8 * k) =
                    __builtin_shuffle(v, pick[k]);
        }
    }
    for (; c < count; ++c) {
        for (int j = 0; j < n; ++j)
            out[c * n + j] = values[c];
    }
}

}  // namespace dadimero
