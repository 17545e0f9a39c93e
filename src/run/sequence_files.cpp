#include "sequence_files.hpp"

#include <utility>

#include <opencv2/imgcodecs.hpp>

#include "dadimero/internal/program_access.hpp"

#include "image_files.hpp"

#include "fatal_error.hpp"
#include "formatting.hpp"

namespace dadimero {

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

cv::Mat SequenceFiles::loadColourFrame(int64_t frame) const {
    const std::string path = directory.colourFrameToRead(frame);
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
    if (!ProgramAccess::isDepthImage(image)) failToRead("Unsupported depth image %s\n", path);
    checkImageSize(path, image, width, height);
    return image;
}

}  // namespace dadimero
