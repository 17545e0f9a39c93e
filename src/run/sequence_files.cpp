#include "run/sequence_files.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <utility>

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

namespace {

void checkSize(const std::string& path, cv::Size size, int width, int height) {
    if (size.width == width && size.height == height) return;
    throw FatalError{EXIT_MISSING_INPUT,
                     formatText("Image %s has size %dx%d, expected %dx%d\n", path.c_str(),
                                size.width, size.height, width, height)};
}

[[noreturn]] void failToRead(const char* format, const std::string& path) {
    throw FatalError{EXIT_MISSING_INPUT, formatText(format, path.c_str())};
}

}  // namespace

void checkImageSize(const std::string& path, const cv::Mat& image, int width, int height) {
    checkSize(path, image.size(), width, height);
}

cv::Mat loadImageOfSize(const std::string& path, int flags, const char* unreadableFormat, int width,
                        int height) {
    ImageReading reading = readImageOfSize(path, flags, cv::Size(width, height));
    switch (reading.outcome) {
        case ImageOutcome::Read:
            break;
        case ImageOutcome::Unreadable:
            failToRead(unreadableFormat, path);
        case ImageOutcome::NoMemory:
            failToRead("Not enough memory to read %s\n", path);
        case ImageOutcome::OtherSize:
            checkSize(path, reading.declaredSize, width, height);
            break;
    }
    return std::move(reading.image);
}

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
    cv::Mat image = loadImageOfSize(path, cv::IMREAD_COLOR, "Unable to read expected RGB file %s\n",
                                    width, height);
    checkImageSize(path, image, width, height);
    return image;
}

cv::Mat SequenceFiles::loadRoiImage() const {
    const std::string path = roiPath();
    cv::Mat image = loadImageOfSize(path, cv::IMREAD_GRAYSCALE, "Unable to read expected file %s\n",
                                    width, height);
    checkImageSize(path, image, width, height);
    return image;
}

cv::Mat SequenceFiles::loadDepthFrame(int64_t frame, const char* unreadableFormat) const {
    const std::string path = depthFramePath(frame);
    cv::Mat image = loadImageOfSize(path, cv::IMREAD_ANYDEPTH, unreadableFormat, width, height);
    if (!isSupportedDepthImage(image)) failToRead("Unsupported depth image %s\n", path);
    checkImageSize(path, image, width, height);
    return image;
}

}  // namespace dadimero
