#include "colour/cone_planes.hpp"

#include "colour/colour_space.hpp"

void imageToConePlanes(const cv::Mat& image, const RegionOfInterest& roi, PlaneSet& planes) {
    const int width = image.cols;
    float* x = planes.plane[0].data();
    float* y = planes.plane[1].data();
    float* z = planes.plane[2].data();
    for (int r = 0; r < image.rows; ++r) {
        const uint8_t* row = image.ptr<uint8_t>(r);
        const size_t rowStart = static_cast<size_t>(r) * width;
        for (int c = 0; c < width; ++c) {
            const size_t k = rowStart + c;
            if (roi.mask[k] == 0) continue;
            const uint8_t* bgr = row + 3 * c;
            const ConePoint point = rgbToCone(bgr[2], bgr[1], bgr[0]);
            x[k] = point.x;
            y[k] = point.y;
            z[k] = point.z;
        }
    }
}
