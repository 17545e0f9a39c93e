#include "images/image_exchange.hpp"

#include <cstring>

namespace dadimero {

void maskToImage(const LabelMask& mask, cv::Mat& image) {
    maskRowsToImage(mask, image, 0, image.rows);
}

void maskRowsToImage(const LabelMask& mask, cv::Mat& image, int rowBegin, int rowEnd) {
    const int width = image.cols;
    for (int r = rowBegin; r < rowEnd; ++r) {
        const uint8_t* in = mask.data() + static_cast<size_t>(r) * width;
        uint8_t* out = image.ptr<uint8_t>(r);
        for (int c = 0; c < width; ++c)
            out[c] = in[c] == LABEL_FOREGROUND ? 255 : 0;
    }
}

void imageToBytes(const cv::Mat& image, std::vector<uint8_t>& out) {
    const size_t width = static_cast<size_t>(image.cols);
    for (int r = 0; r < image.rows; ++r) {
        std::memcpy(out.data() + r * width, image.ptr<uint8_t>(r), width);
    }
}

}  // namespace dadimero
