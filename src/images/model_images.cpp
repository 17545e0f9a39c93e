#include "images/model_images.hpp"

#include <cmath>

#include "colour/colour_space.hpp"

namespace dadimero {

cv::Vec3b colourWeightToBgr(float x, float y, float z) {
    const Hsv hsv = coneToHsv(x, y, z);
    const Rgb rgb = hsvToRgb(hsv.h, hsv.s, hsv.v);
    return cv::Vec3b(floatToByte(static_cast<float>(rgb.blue * 255.0)),
                     floatToByte(static_cast<float>(rgb.green * 255.0)),
                     floatToByte(static_cast<float>(rgb.red * 255.0)));
}

void colourWeightsToBgr(const PlaneSet& weights, size_t first, size_t count, cv::Vec3b* out) {
    for (size_t i = first; i < first + count; ++i)
        *out++ = colourWeightToBgr(weights.plane[0][i], weights.plane[1][i], weights.plane[2][i]);
}

namespace {

template <typename Pixel>
void storeScaled(const std::vector<float>& values, double scale, double maximum, cv::Mat& image) {
    const int w = image.cols;
    for (int i = 0; i < image.rows; ++i) {
        Pixel* row = image.ptr<Pixel>(i);
        const float* in = values.data() + static_cast<size_t>(i) * w;
        for (int j = 0; j < w; ++j) {
            const double v = in[j] * scale;
            // Not-a-number and negatives give 0; the rest rounds half to even.
            double stored = 0.0;
            if (v >= maximum) {
                stored = maximum;
            } else if (v > 0.0) {
                stored = std::nearbyint(v);
            }
            row[j] = static_cast<Pixel>(stored);
        }
    }
}

}  // namespace

void floatPlaneToImage(const std::vector<float>& values, cv::Mat& image) {
    if (image.depth() == CV_16U) {
        storeScaled<uint16_t>(values, 65536.0, 65535.0, image);
    } else {
        storeScaled<uint8_t>(values, 256.0, 255.0, image);
    }
}

}  // namespace dadimero
