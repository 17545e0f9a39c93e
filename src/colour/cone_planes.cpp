#include "colour/cone_planes.hpp"

namespace dadimero {

ConePoint ConeCache::lookup(uint8_t red, uint8_t green, uint8_t blue) {
    const uint32_t colour = (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
    Entry& entry = entries_[(colour * 2654435761u) >> (32 - kBits)];
    if (entry.key != colour + 1) {
        entry.key = colour + 1;
        entry.point = rgbToCone(red, green, blue);
    }
    return entry.point;
}

namespace {

template <typename Convert>
void convertRows(const cv::Mat& image, const RegionOfInterest& roi, PlaneSet& planes, int rowBegin,
                 int rowEnd, Convert&& convert) {
    const int width = image.cols;
    float* x = planes.plane[0].data();
    float* y = planes.plane[1].data();
    float* z = planes.plane[2].data();
    for (int r = rowBegin; r < rowEnd; ++r) {
        const uint8_t* row = image.ptr<uint8_t>(r);
        const size_t rowStart = static_cast<size_t>(r) * width;
        for (int c = 0; c < width; ++c) {
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
    convertRows(image, roi, planes, 0, image.rows, rgbToCone);
}

void imageRowsToConePlanes(const cv::Mat& image, const RegionOfInterest& roi, PlaneSet& planes,
                           ConeCache& cache, int rowBegin, int rowEnd) {
    convertRows(image, roi, planes, rowBegin, rowEnd,
                [&cache](uint8_t r, uint8_t g, uint8_t b) { return cache.lookup(r, g, b); });
}

}  // namespace dadimero
