#include "subtractor/shadow_value.hpp"

namespace dadimero {

void markShadows(const LabelMask& colourLabels, int value, cv::Mat& mask) {
    const auto width = static_cast<size_t>(mask.cols);
    const auto shade = static_cast<uint8_t>(value);
    for (int r = 0; r < mask.rows; ++r) {
        const uint8_t* labels = colourLabels.data() + static_cast<size_t>(r) * width;
        uint8_t* out = mask.ptr<uint8_t>(r);
        for (size_t c = 0; c < width; ++c)
            if (labels[c] == LABEL_SHADOW && out[c] == 0) out[c] = shade;
    }
}

}  // namespace dadimero
