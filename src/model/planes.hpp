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

}  // namespace dadimero
