#include "io_floor.hpp"

#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

#include "mask_file.hpp"

namespace {

cv::Mat decode(const std::string& path, int flags) {
    cv::Mat image = cv::imread(path, flags);
    if (image.empty()) throw std::runtime_error("cannot decode " + path);
    return image;
}

}  // namespace

cv::Size warmUpSequence(const BenchSequence& layout) {
    cv::Size size;
    for (int64_t frame = BenchSequence::kFirstFrame; frame <= layout.toIdx; ++frame) {
        size = decode(layout.colourPath(frame), cv::IMREAD_COLOR).size();
        decode(layout.depthPath(frame), cv::IMREAD_ANYDEPTH);
    }
    return size;
}

void runIoFloor(const BenchSequence& layout, const std::string& outDir, bool depth) {
    cv::setNumThreads(1);
    cv::Mat mask;
    for (int64_t frame = BenchSequence::kFirstFrame; frame <= layout.toIdx; ++frame) {
        const cv::Mat colour = decode(layout.colourPath(frame), cv::IMREAD_COLOR);
        if (depth) decode(layout.depthPath(frame), cv::IMREAD_ANYDEPTH);
        if (mask.empty()) mask = cv::Mat::zeros(colour.size(), CV_8UC1);
        writeMaskFile(outDir, frame, mask);
    }
}
