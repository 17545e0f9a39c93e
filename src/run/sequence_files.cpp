#include "run/sequence_files.hpp"

#include <sys/stat.h>

#include <cerrno>

#include <opencv2/imgcodecs.hpp>

#include "depth/depth_samples.hpp"
#include "files/image_files.hpp"
#include "files/sequence_layout.hpp"
#include "run/fatal_error.hpp"
#include "run/formatting.hpp"

namespace dadimero {

std::string SequenceFiles::temporalRangePath() const {
    return prefix + kTemporalRangeName;
}

std::string SequenceFiles::roiPath() const {
    return prefix + kRegionOfInterestName;
}

std::string SequenceFiles::colourFramePath(int64_t frame) const {
    return prefix + "/" + colourFrameName(frame);
}

std::string SequenceFiles::depthFramePath(int64_t frame) const {
    return prefix + "/" + depthFrameName(frame);
}

void checkImageSize(const std::string& path, const cv::Mat& image, int width, int height) {
    if (image.cols == width && image.rows == height) return;
    throw FatalError{EXIT_MISSING_INPUT,
                     formatText("Image %s has size %dx%d, expected %dx%d\n", path.c_str(),
                                image.cols, image.rows, width, height)};
}

namespace {

[[noreturn]] void failToRead(const char* format, const std::string& path) {
    throw FatalError{EXIT_MISSING_INPUT, formatText(format, path.c_str())};
}

}  // namespace

std::string SequenceFiles::colourFrameJpegPath(int64_t frame) const {
    return prefix + "/" + colourFrameJpegName(frame);
}

cv::Mat SequenceFiles::loadColourFrame(int64_t frame) const {
    // The change-detection benchmarks store colour frames as JPEG: one is read
    // where no PNG of the frame exists.
    std::string path = colourFramePath(frame);
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 && errno == ENOENT) {
        const std::string jpeg = colourFrameJpegPath(frame);
        if (stat(jpeg.c_str(), &status) == 0) path = jpeg;
    }
    cv::Mat image = readImage(path, cv::IMREAD_COLOR);
    if (image.empty()) failToRead("Unable to read expected RGB file %s\n", path);
    checkImageSize(path, image, width, height);
    return image;
}

cv::Mat SequenceFiles::loadRoiImage() const {
    const std::string path = roiPath();
    cv::Mat image = readImage(path, cv::IMREAD_GRAYSCALE);
    if (image.empty()) failToRead("Unable to read expected file %s\n", path);
    checkImageSize(path, image, width, height);
    return image;
}

cv::Mat SequenceFiles::loadDepthFrame(int64_t frame, const char* unreadableFormat) const {
    const std::string path = depthFramePath(frame);
    cv::Mat image = readImage(path, cv::IMREAD_ANYDEPTH);
    if (image.empty()) failToRead(unreadableFormat, path);
    if (!isSupportedDepthImage(image)) failToRead("Unsupported depth image %s\n", path);
    checkImageSize(path, image, width, height);
    return image;
}

}  // namespace dadimero
