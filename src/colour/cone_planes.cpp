#include "colour/cone_planes.hpp"

#include <algorithm>

namespace dadimero {

namespace {

constexpr int kPrefetchAhead = 16;  // pixels

template <typename Convert, typename Prefetch>
void convertRows(const cv::Mat& image, const RegionOfInterest& roi, PlaneSet& planes, int rowBegin,
                 int rowEnd, Convert&& convert, Prefetch&& prefetch) {
    const int width = image.cols;
    float* x = planes.plane[0].data();
    float* y = planes.plane[1].data();
    float* z = planes.plane[2].data();
    for (int r = rowBegin; r < rowEnd; ++r) {
        const uint8_t* row = image.ptr<uint8_t>(r);
        const size_t rowStart = static_cast<size_t>(r) * width;
        for (int c = 0; c < std::min(width, kPrefetchAhead); ++c)
            prefetch(row[3 * c + 2], row[3 * c + 1], row[3 * c]);
        for (int c = 0; c < width; ++c) {
            if (c + kPrefetchAhead < width) {
                const uint8_t* ahead = row + 3 * (c + kPrefetchAhead);
                prefetch(ahead[2], ahead[1], ahead[0]);
            }
            const size_t k = rowStart + c;
            if (roi.mask[k] == 0) continue;
            const uint8_t* bgr = row + 3 * c;
            const ConePoint point = convert(bgr[2], bgr[1], bgr[0]);
            x[k] = point.x;
            y[k] = point.y;
            z[k] = point.z;
        }
    }
}

}  // namespace

void imageToConePlanes(const cv::Mat& image, const RegionOfInterest& roi, PlaneSet& planes) {
    convertRows(image, roi, planes, 0, image.rows, rgbToCone, [](uint8_t, uint8_t, uint8_t) {});
}

void imageRowsToConePlanes(const cv::Mat& image, const RegionOfInterest& roi, PlaneSet& planes,
                           ConeCache& cache, int rowBegin, int rowEnd) {
    convertRows(
        image, roi, planes, rowBegin, rowEnd,
        [&cache](uint8_t r, uint8_t g, uint8_t b) { return cache.lookup(r, g, b); },
        [&cache](uint8_t r, uint8_t g, uint8_t b) { cache.prefetch(r, g, b); });
}

}  // namespace dadimero
