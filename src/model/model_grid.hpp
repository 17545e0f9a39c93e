#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace dadimero {

// Largest block side the models support.
inline constexpr int kMaxBlockSide = 9;

inline bool isSupportedBlockSide(int n) {
    return n == 1 || n == 3 || n == 5 || n == 7 || n == 9;
}

// Calls f(std::integral_constant<int, N>{}) with N the block side n (1, 3, 5, 7
// or 9), so that the loops over a block unroll for every supported side.
template <typename F>
decltype(auto) withBlockSide(int n, F&& f) {
    switch (n) {
        case 1:
            return f(std::integral_constant<int, 1>{});
        case 3:
            return f(std::integral_constant<int, 3>{});
        case 5:
            return f(std::integral_constant<int, 5>{});
        case 7:
            return f(std::integral_constant<int, 7>{});
        default:
            return f(std::integral_constant<int, kMaxBlockSide>{});
    }
}

// The layout shared by the colour and the depth model: H*n rows of W*n cells in
// which pixel (r, c) owns rows r*n .. r*n+n-1 and columns c*n .. c*n+n-1.
struct ModelGrid {
    int W = 0;
    int H = 0;
    int n = 0;
    int64_t cols() const { return int64_t{W} * n; }
    int64_t rows() const { return int64_t{H} * n; }
    size_t cells() const { return static_cast<size_t>(cols() * rows()); }
    size_t pixels() const { return static_cast<size_t>(W) * static_cast<size_t>(H); }
};

}  // namespace dadimero
