#pragma once

#include <optional>
#include <string>

#include <opencv2/core.hpp>

namespace dadimero {

// The width and height a PNG (IHDR), BMP (its info header) or JPEG (its frame
// header) file declares, read without decoding a pixel: a file that declares
// the wrong size costs no more than its header. Empty for any other format, or
// for a header too short or damaged to tell; the decoder then decides.
std::optional<cv::Size> declaredImageSize(const std::string& path);

}  // namespace dadimero
