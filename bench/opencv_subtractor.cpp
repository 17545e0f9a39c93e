#include "opencv_subtractor.hpp"

#include <stdexcept>
#include <vector>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/video/background_segm.hpp>

#include "cpu_time.hpp"
#include "mask_file.hpp"

namespace {

cv::Ptr<cv::BackgroundSubtractor> create(OpenCvMethod method) {
    if (method == OpenCvMethod::Mog2) return cv::createBackgroundSubtractorMOG2();
    return cv::createBackgroundSubtractorKNN();
}

cv::Mat decodeColour(const BenchSequence& layout, int64_t frame) {
    const std::string path = layout.colourPath(frame);
    cv::Mat colour = cv::imread(path, cv::IMREAD_COLOR);
    if (colour.empty()) throw std::runtime_error("cannot decode " + path);
    return colour;
}

}  // namespace

const char* openCvMethodName(OpenCvMethod method) {
    return method == OpenCvMethod::Mog2 ? "OpenCV MOG2" : "OpenCV KNN";
}

void runOpenCvSubtractor(OpenCvMethod method, const BenchSequence& layout,
                         const std::string& outDir) {
    const cv::Ptr<cv::BackgroundSubtractor> subtractor = create(method);
    cv::Mat mask;
    cv::Mat foreground;
    for (int64_t frame = BenchSequence::kFirstFrame; frame <= layout.toIdx; ++frame) {
        subtractor->apply(decodeColour(layout, frame), mask);
        cv::compare(mask, 255, foreground, cv::CMP_EQ);
        writeMaskFile(outDir, frame, foreground);
    }
}

double openCvApplyCpuMs(OpenCvMethod method, const BenchSequence& layout) {
    std::vector<cv::Mat> frames;
    for (int64_t frame = BenchSequence::kFirstFrame; frame <= layout.toIdx; ++frame)
        frames.push_back(decodeColour(layout, frame));
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    const cv::Ptr<cv::BackgroundSubtractor> subtractor = create(method);
    cv::Mat mask;
    const double start = processCpuSeconds();
    for (const cv::Mat& colour : frames)
        subtractor->apply(colour, mask);
    const double seconds = processCpuSeconds() - start;
    cv::setNumThreads(threads);
    return 1e3 * seconds / static_cast<double>(frames.size());
}
