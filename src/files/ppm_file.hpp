#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "image_files.hpp"

namespace dadimero {

// A binary PPM ("P6") of an 8-bit BGR image: the header, then red, green and
// blue of every pixel, row by row.
std::vector<uint8_t> encodePpm(const cv::Mat& bgr);

// Writes encodePpm(bgr) to `path` in one buffered write.
WriteResult writePpm(const cv::Mat& bgr, const std::string& path);

}  // namespace dadimero
