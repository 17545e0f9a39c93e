#include "sequence_files.hpp"

#include <opencv2/imgcodecs.hpp>

#include "dadimero/internal/program_access.hpp"

#include "image_files.hpp"

#include "fatal_error.hpp"
#include "formatting.hpp"

namespace dadimero {

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

cv::Mat SequenceFiles::loadColourFrame(int64_t frame) const {
    const std::string path = directory.colourFrameToRead(frame);
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
    if (!ProgramAccess::isDepthImage(image)) failToRead("Unsupported depth image %s\n", path);
    checkImageSize(path, image, width, height);
    return image;
}

}  // namespace dadimero
