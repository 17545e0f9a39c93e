#pragma once

#include <cstdint>
#include <cstring>

namespace dadimero {

// Float lanes, and the doubles they are computed in, as the compiler's own
// vector types: plain IEEE arithmetic lane by lane, so a vector loop gives
// exactly the bits of the scalar one on every instruction set. A lane mask
// holds -1 (all bits set) where a comparison is true and 0 elsewhere. The
// helpers are always inlined: no call passes a vector, so the calling
// convention of 32-byte vectors, which differs with and without AVX (the
// build's -Wno-psabi), never matters, even inside the AVX2 clones.
using Float4 = float __attribute__((vector_size(16)));
using Double4 = double __attribute__((vector_size(32)));
using Lanes4 = int32_t __attribute__((vector_size(16)));
using Float8 = float __attribute__((vector_size(32)));
using Lanes8 = int32_t __attribute__((vector_size(32)));

// Lanes from anywhere in a row: no alignment needed.
[[gnu::always_inline]] inline Float4 loadFloat4(const float* source) {
    Float4 v;
    std::memcpy(&v, source, sizeof v);
    return v;
}
[[gnu::always_inline]] inline Float8 loadFloat8(const float* source) {
    Float8 v;
    std::memcpy(&v, source, sizeof v);
    return v;
}
[[gnu::always_inline]] inline Double4 loadDouble4(const double* source) {
    Double4 v;
    std::memcpy(&v, source, sizeof v);
    return v;
}

// Stores the first `count` lanes (at most four) of v, and nothing past them.
[[gnu::always_inline]] inline void storeLanes(float* destination, Float4 v, int count) {
    if (count >= 4) {
        std::memcpy(destination, &v, sizeof v);
        return;
    }
    for (int l = 0; l < count; ++l)
        destination[l] = v[l];
}

// `chosen` in the lanes of `mask`, `other` elsewhere, bit for bit.
[[gnu::always_inline]] inline Lanes4 select(Lanes4 mask, Lanes4 chosen, Lanes4 other) {
    return (chosen & mask) | (other & ~mask);
}
[[gnu::always_inline]] inline Lanes8 select(Lanes8 mask, Lanes8 chosen, Lanes8 other) {
    return (chosen & mask) | (other & ~mask);
}
[[gnu::always_inline]] inline Float4 select(Lanes4 mask, Float4 chosen, Float4 other) {
    return __builtin_bit_cast(Float4, select(mask, __builtin_bit_cast(Lanes4, chosen),
                                             __builtin_bit_cast(Lanes4, other)));
}
[[gnu::always_inline]] inline Float8 select(Lanes8 mask, Float8 chosen, Float8 other) {
    return __builtin_bit_cast(Float8, select(mask, __builtin_bit_cast(Lanes8, chosen),
                                             __builtin_bit_cast(Lanes8, other)));
}

// The four floats as doubles, exactly. Widened lane by lane: GCC 12 makes its
// conversion builtin two half-width conversions through the stack, this one
// instruction.
[[gnu::always_inline]] inline Double4 widen(Float4 v) {
    return Double4{v[0], v[1], v[2], v[3]};
}

// The four doubles rounded to floats, to nearest as a scalar cast rounds.
[[gnu::always_inline]] inline Float4 narrow(Double4 v) {
    return __builtin_convertvector(v, Float4);
}

}  // namespace dadimero
