#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dadimero {

// The pixels a run looks at: nonzero mask bytes are inside. Without a region of
// interest every byte is 255. `firstRow` is the first image row holding an
// inside pixel (0 when none does); the model passes start there.
struct RegionOfInterest {
    std::vector<uint8_t> mask;
    int firstRow = 0;
};

// Builds the region from a W x H byte image (nonzero = inside).
RegionOfInterest makeRegionOfInterest(std::vector<uint8_t> mask, int width);

// A region in which every one of `count` pixels is inside.
RegionOfInterest wholeImageRegion(size_t count);

}  // namespace dadimero
