#pragma once

#include <cstdint>
#include <vector>

#include "masks/label_mask.hpp"
#include "masks/region_of_interest.hpp"

namespace dadimero {

// A label below LABEL_SUPPRESSED counts as background-like.
inline bool isBackgroundLike(uint8_t label) {
    return label < LABEL_SUPPRESSED;
}

// The majority rule for one pixel: `count` background-like labels in its window.
uint8_t majorityLabel(int count, int threshold, uint8_t centre);

// Smallest image side each filter is defined for.
inline constexpr int kMinSide3x3 = 2;
inline constexpr int kMinSide5x5 = 5;

// Majority filters over the 3 x 3 (or 5 x 5) square around each inside pixel,
// cut at the image border. With the 5 x 5 filter the corner pixels use their
// 2 x 2 block and the twelve pixels next to the corners are not written.
// Pixels outside the region are not written; `output` keeps its bytes there.
// `scratch` is working space of W*H bytes; input and output must differ.
void spatialCoherence3x3(int H, int W, const LabelMask& input, const RegionOfInterest& roi,
                         LabelMask& output, std::vector<uint8_t>& scratch);
void spatialCoherence5x5(int H, int W, const LabelMask& input, const RegionOfInterest& roi,
                         LabelMask& output, std::vector<uint8_t>& scratch);

// The same filter (`window` 3 or 5) in two steps over bands of rows
// [rowBegin, rowEnd), which may run in parallel: first each row's counts into
// `scratch`; then, once every row has its counts, the rule for the band's
// rows, which reads the counts of `window` / 2 rows above and below.
void coherenceRowCounts(int W, int window, const LabelMask& input, int rowBegin, int rowEnd,
                        std::vector<uint8_t>& scratch);
void coherenceRows(int H, int W, int window, const LabelMask& input, const RegionOfInterest& roi,
                   LabelMask& output, const std::vector<uint8_t>& scratch, int rowBegin,
                   int rowEnd);

}  // namespace dadimero
