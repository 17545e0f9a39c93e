#include "depth/depth_samples.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace dadimero {

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

// The table of the image's bit depth.
const float* samplesOf(const cv::Mat& image) {
    static const std::vector<float> eightBit = sampleTable(256, 255.0f);
    static const std::vector<float> sixteenBit = sampleTable(65536, 65535.0f);
    return image.depth() == CV_16U ? sixteenBit.data() : eightBit.data();
}

// Calls take(k, sample) for every pixel k inside the region in image rows
// [rowBegin, rowEnd).
template <typename Pixel, typename Take>
void visitSamples(const cv::Mat& image, const RegionOfInterest& roi, int rowBegin, int rowEnd,
                  Take&& take) {
    const float* samples = samplesOf(image);
    const int width = image.cols;
    for (int r = rowBegin; r < rowEnd; ++r) {
        const Pixel* row = image.ptr<Pixel>(r);
        const size_t rowStart = static_cast<size_t>(r) * width;
        for (int c = 0; c < width; ++c) {
            const size_t k = rowStart + c;
            if (roi.mask[k] == 0) continue;
            take(k, samples[row[c]]);
        }
    }
}

template <typename Take>
void visitSamples(const cv::Mat& image, const RegionOfInterest& roi, int rowBegin, int rowEnd,
                  Take&& take) {
    if (image.depth() == CV_16U) {
        visitSamples<uint16_t>(image, roi, rowBegin, rowEnd, take);
    } else {
        visitSamples<uint8_t>(image, roi, rowBegin, rowEnd, take);
    }
}

}  // namespace

void depthImageToPlane(const cv::Mat& image, const RegionOfInterest& roi,
                       std::vector<float>& plane) {
    depthRowsToPlane(image, roi, plane, 0, image.rows);
}

void depthRowsToPlane(const cv::Mat& image, const RegionOfInterest& roi, std::vector<float>& plane,
                      int rowBegin, int rowEnd) {
    float* out = plane.data();
    visitSamples(image, roi, rowBegin, rowEnd, [out](size_t k, float sample) { out[k] = sample; });
}

void takeDepthMaximum(const cv::Mat& image, const RegionOfInterest& roi,
                      std::vector<float>& plane) {
    float* out = plane.data();
    visitSamples(image, roi, 0, image.rows, [out](size_t k, float sample) {
        if (sample > out[k]) out[k] = sample;
    });
}

namespace {

template <typename Pixel>
void storeValues(const std::vector<float>& plane, double normaliser, cv::Mat& image) {
    for (int r = 0; r < image.rows; ++r) {
        Pixel* row = image.ptr<Pixel>(r);
        const float* in = plane.data() + static_cast<size_t>(r) * image.cols;
        for (int c = 0; c < image.cols; ++c) {
            const double v = std::nearbyint(static_cast<double>(in[c]) * normaliser);
            row[c] = static_cast<Pixel>(v > 0.0 ? std::min(v, normaliser) : 0.0);
        }
    }
}

}  // namespace

void depthPlaneToImage(const std::vector<float>& plane, cv::Mat& image) {
    if (image.depth() == CV_16U) {
        storeValues<uint16_t>(plane, 65535.0, image);
    } else {
        storeValues<uint8_t>(plane, 255.0, image);
    }
}

}  // namespace dadimero
