#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "masks/label_mask.hpp"

namespace dadimero {

// Writes a label mask into an 8-bit one-channel image of the same size: 255
// exactly where the label is LABEL_FOREGROUND, 0 for every other code.
void maskToImage(const LabelMask& mask, cv::Mat& image);
// The same for image rows [rowBegin, rowEnd) only.
void maskRowsToImage(const LabelMask& mask, cv::Mat& image, int rowBegin, int rowEnd);

// Copies an 8-bit one-channel image into a byte buffer, row by row.
void imageToBytes(const cv::Mat& image, std::vector<uint8_t>& out);

}  // namespace dadimero
