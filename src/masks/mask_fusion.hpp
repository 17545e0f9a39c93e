#pragma once

#include <cstdint>
#include <vector>

#include "masks/label_mask.hpp"

namespace dadimero {

// Fuses the colour and depth labels of a W x H frame into a mask of 0 and 255.
// Depth decides where it could; where it is undecided, colour decides. In the
// band of foreground pixels that have background within 3 rows and 3 columns,
// a pixel stays foreground only where colour says LABEL_FOREGROUND.
// `scratch` is working space of W*H bytes.
void fuseColourAndDepth(const LabelMask& colourMask, const LabelMask& depthMask, int width,
                        int height, LabelMask& fusedMask, std::vector<uint8_t>& scratch);

// The same in two steps over bands of rows [rowBegin, rowEnd), which may run
// in parallel: first the labels of depth and colour and, in `scratch`, where
// background lies within 3 columns; then, once every row has had the first
// step, the band along the border of the foreground, which reads 3 rows above
// and below.
void fuseFirstStageRows(const LabelMask& colourMask, const LabelMask& depthMask, int width,
                        int rowBegin, int rowEnd, LabelMask& fusedMask,
                        std::vector<uint8_t>& scratch);
void fuseBorderRows(const LabelMask& colourMask, int width, int height, int rowBegin, int rowEnd,
                    LabelMask& fusedMask, const std::vector<uint8_t>& scratch);

}  // namespace dadimero
