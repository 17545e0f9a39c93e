#pragma once

#include <cstdint>
#include <cstring>

namespace dadimero {

// Four float lanes, and the doubles they are computed in, as the compiler's
// own vector types: plain IEEE arithmetic lane by lane, so a vector loop gives
// exactly the bits of the scalar one on every instruction set.
using Float4 = float __attribute__((vector_size(16)));
using Double4 = double __attribute__((vector_size(32)));
using Lanes4 = int32_t __attribute__((vector_size(16)));

inline Float4 loadFloat4(const float* source) {
    Float4 v;
    std::memcpy(&v, source, sizeof v);
    return v;
}

// Stores the first `count` lanes (at most four) of v, and nothing past them.
inline void storeLanes(float* destination, Float4 v, int count) {
    if (count >= 4) {
        std::memcpy(destination, &v, sizeof v);
        return;
    }
    for (int l = 0; l < count; ++l)
        destination[l] = v[l];
}

// `chosen` in the lanes of `mask`, `other` elsewhere, bit for bit.
inline Float4 chooseLanes(Lanes4 mask, Float4 chosen, Float4 other) {
    Lanes4 a;
    Lanes4 b;
    std::memcpy(&a, &chosen, sizeof a);
    std::memcpy(&b, &other, sizeof b);
    const Lanes4 mixed = (a & mask) | (b & ~mask);
    Float4 result;
    std::memcpy(&result, &mixed, sizeof result);
    return result;
}

}  // namespace dadimero
