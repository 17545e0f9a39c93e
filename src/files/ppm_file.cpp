#include "ppm_file.hpp"

#include <cstdio>
#include <cstring>

namespace dadimero {

std::vector<uint8_t> encodePpm(const cv::Mat& bgr) {
    char header[64];
    const int headerLength =
        std::snprintf(header, sizeof header, "P6\n%d %d\n%d\n", bgr.cols, bgr.rows, 255);
    const size_t width = static_cast<size_t>(bgr.cols);
    std::vector<uint8_t> bytes(static_cast<size_t>(headerLength) +
                               3 * width * static_cast<size_t>(bgr.rows));
    std::memcpy(bytes.data(), header, static_cast<size_t>(headerLength));
    uint8_t* out = bytes.data() + headerLength;
    for (int r = 0; r < bgr.rows; ++r) {
        const cv::Vec3b* row = bgr.ptr<cv::Vec3b>(r);
        for (size_t c = 0; c < width; ++c, out += 3) {
            out[0] = row[c][2];
            out[1] = row[c][1];
            out[2] = row[c][0];
        }
    }
    return bytes;
}

WriteResult writePpm(const cv::Mat& bgr, const std::string& path) {
    const std::vector<uint8_t> bytes = encodePpm(bgr);
    return writeFileBytes(path, bytes.data(), bytes.size());
}

}  // namespace dadimero
