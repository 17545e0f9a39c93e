#include "sequence_layout.hpp"

#include <cstdio>

namespace dadimero {

std::string numberedName(const char* stem, int64_t frame, const char* extension) {
    char number[32];
    std::snprintf(number, sizeof number, "%.6lld", static_cast<long long>(frame));
    return std::string(stem) + number + extension;
}

std::string colourFrameName(int64_t frame) {
    return numberedName("input/in", frame, ".png");
}

std::string colourFrameJpegName(int64_t frame) {
    return numberedName("input/in", frame, ".jpg");
}

std::string depthFrameName(int64_t frame) {
    return numberedName("depth/d", frame, ".png");
}

std::string groundTruthName(int64_t frame) {
    return numberedName("groundtruth/gt", frame, ".png");
}

std::string maskName(int64_t frame) {
    return numberedName("bin", frame, ".png");
}

}  // namespace dadimero
