#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dadimero {

// Three zero-filled float planes (x, y, z) of equal length, row-major.
struct PlaneSet {
    std::array<std::vector<float>, 3> plane;
    size_t size() const { return plane[0].size(); }
};

PlaneSet allocFloatPlanes(size_t len);

// An n x n block of cells in three planes: its first cell in each plane, and
// the cells from one of its rows to the next.
struct PlaneBlock {
    const float* plane[3];
    size_t stride;
};

}  // namespace dadimero
