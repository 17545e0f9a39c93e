#include "imageio/model_snapshots.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "colour/colour_space.hpp"

void colourModelToRgbPlanes(const PlaneSet& model, size_t count, BytePlaneSet& rgb) {
    for (size_t i = 0; i < count; ++i) {
        const Hsv hsv = coneToHsv(model.plane[0][i], model.plane[1][i], model.plane[2][i]);
        float red;
        float green;
        float blue;
        hsvToRgb(hsv.h, hsv.s, hsv.v, red, green, blue);
        rgb.plane[0][i] = floatToByte(static_cast<float>(red * 255.0));
        rgb.plane[1][i] = floatToByte(static_cast<float>(green * 255.0));
        rgb.plane[2][i] = floatToByte(static_cast<float>(blue * 255.0));
    }
}

std::vector<uint8_t> encodePpm(int height, int width, const BytePlaneSet& rgb) {
    char header[64];
    const int headerLength =
        std::snprintf(header, sizeof header, "P6\n%d %d\n%d\n", width, height, 255);
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint8_t> bytes(static_cast<size_t>(headerLength) + 3 * pixels);
    std::memcpy(bytes.data(), header, static_cast<size_t>(headerLength));
    uint8_t* out = bytes.data() + headerLength;
    for (size_t i = 0; i < pixels; ++i) {
        out[3 * i] = rgb.plane[0][i];
        out[3 * i + 1] = rgb.plane[1][i];
        out[3 * i + 2] = rgb.plane[2][i];
    }
    return bytes;
}

WriteResult writePpm(int height, int width, const BytePlaneSet& rgb, const std::string& path) {
    const std::vector<uint8_t> bytes = encodePpm(height, width, rgb);
    return writeFileBytes(path, bytes.data(), bytes.size());
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
