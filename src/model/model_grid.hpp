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
    // The index of the first cell of pixel (r, c)'s block.
    size_t blockStart(int r, int c) const {
        return static_cast<size_t>(int64_t{r} * n * cols() + int64_t{c} * n);
    }
};

// A cell of the grid; (-1, -1) for none.
struct Cell {
    int row;
    int col;
};

// The cell of weight `weight` (row * N + column) of pixel (r, c)'s block;
// none for a negative weight.
template <int N>
Cell blockCell(int r, int c, int weight) {
    if (weight < 0) return {-1, -1};
    return {r * N + weight / N, c * N + weight % N};
}

}  // namespace dadimero
