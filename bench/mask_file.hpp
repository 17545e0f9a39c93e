#pragma once

#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

// Encodes `mask` as PNG with default parameters and writes it as
// dir/bin%06d.png, the way every compared method pays for its output.
// Throws std::runtime_error when the file cannot be written.
void writeMaskFile(const std::string& dir, int64_t frame, const cv::Mat& mask);
