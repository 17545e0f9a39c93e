#include "depth/depth_samples.hpp"

#include <vector>

bool isSupportedDepthImage(const cv::Mat& image) {
    return image.channels() == 1 && (image.depth() == CV_8U || image.depth() == CV_16U);
}

float depthNormaliser(const cv::Mat& image) {
    return image.depth() == CV_16U ? 65535.0f : 255.0f;
}

namespace {

// The sample of every possible value, computed once: value / normaliser in
// double, rounded to float.
std::vector<float> sampleTable(int values, float normaliser) {
    std::vector<float> table(static_cast<size_t>(values));
    for (int v = 0; v < values; ++v) {
        table[v] = static_cast<float>(static_cast<double>(v) / normaliser);
    }
    return table;
}

template <typename Pixel>
void convertRows(const cv::Mat& image, const RegionOfInterest& roi, const float* samples,
                 float* plane) {
    const int width = image.cols;
    for (int r = 0; r < image.rows; ++r) {
        const Pixel* row = image.ptr<Pixel>(r);
        const size_t rowStart = static_cast<size_t>(r) * width;
        for (int c = 0; c < width; ++c) {
            const size_t k = rowStart + c;
            if (roi.mask[k] == 0) continue;
            plane[k] = samples[row[c]];
        }
    }
}

}  // namespace

void depthImageToPlane(const cv::Mat& image, const RegionOfInterest& roi,
                       std::vector<float>& plane) {
    static const std::vector<float> eightBit = sampleTable(256, 255.0f);
    static const std::vector<float> sixteenBit = sampleTable(65536, 65535.0f);
    if (image.depth() == CV_16U) {
        convertRows<uint16_t>(image, roi, sixteenBit.data(), plane.data());
    } else {
        convertRows<uint8_t>(image, roi, eightBit.data(), plane.data());
    }
}

void takeDepthMaximum(const std::vector<float>& scratch, std::vector<float>& background) {
    for (size_t k = 0; k < background.size(); ++k) {
        if (scratch[k] > background[k]) background[k] = scratch[k];
    }
}
