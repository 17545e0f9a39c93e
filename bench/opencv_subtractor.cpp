#include "opencv_subtractor.hpp"

#include <stdexcept>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/video/background_segm.hpp>

#include "mask_file.hpp"

const char* openCvMethodName(OpenCvMethod method) {
    return method == OpenCvMethod::Mog2 ? "OpenCV MOG2" : "OpenCV KNN";
}

void runOpenCvSubtractor(OpenCvMethod method, const SequenceLayout& layout,
                         const std::string& outDir) {
    cv::Ptr<cv::BackgroundSubtractor> subtractor;
    if (method == OpenCvMethod::Mog2) {
        subtractor = cv::createBackgroundSubtractorMOG2();
    } else {
        subtractor = cv::createBackgroundSubtractorKNN();
    }
    cv::Mat mask;
    for (int64_t frame = SequenceLayout::kFirstFrame; frame <= layout.toIdx; ++frame) {
        const std::string path = layout.colourPath(frame);
        const cv::Mat colour = cv::imread(path, cv::IMREAD_COLOR);
        if (colour.empty()) throw std::runtime_error("cannot decode " + path);
        subtractor->apply(colour, mask);
        writeMaskFile(outDir, frame, mask);
    }
}
