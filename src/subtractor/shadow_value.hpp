#pragma once

#include <opencv2/core.hpp>

#include "masks/label_mask.hpp"

namespace dadimero {

// Writes `value` into the final mask where the colour labels call a pixel
// shadow and the mask calls it background (0).
void markShadows(const LabelMask& colourLabels, int value, cv::Mat& mask);

}  // namespace dadimero
