#include "subtractor/input_checks.hpp"

#include <vector>

#include "images/image_exchange.hpp"
#include "masks/spatial_coherence.hpp"
#include "subtractor/public_errors.hpp"

namespace dadimero {

void failInput(const std::string& sentence) {
    fail(cv::Error::StsBadArg, sentence);
}

std::string describeType(const cv::Mat& image) {
    const char* depth = "?";
    switch (image.depth()) {
        case CV_8U:
            depth = "8-bit unsigned";
            break;
        case CV_8S:
            depth = "8-bit signed";
            break;
        case CV_16U:
            depth = "16-bit unsigned";
            break;
        case CV_16S:
            depth = "16-bit signed";
            break;
        case CV_32S:
            depth = "32-bit integer";
            break;
        case CV_32F:
            depth = "32-bit float";
            break;
        case CV_64F:
            depth = "64-bit float";
            break;
        default:
            break;
    }
    const int channels = image.channels();
    return std::string(depth) + " with " + std::to_string(channels) +
           (channels == 1 ? " channel" : " channels");
}

namespace {

std::string sizeText(cv::Size size) {
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

void requireSize(const cv::Mat& image, cv::Size size, const char* what) {
    if (image.size() == size) return;
    failInput(std::string(what) + " is " + sizeText(image.size()) + ", expected " + sizeText(size));
}

}  // namespace

void requireColourImage(const cv::Mat& image, cv::Size size, const char* what) {
    if (image.empty()) failInput(std::string(what) + " is empty");
    if (image.type() != CV_8UC3) {
        failInput(std::string(what) + " must be 8-bit BGR with 3 channels, got " +
                  describeType(image));
    }
    requireSize(image, size, what);
}

void requireDepthImage(const cv::Mat& image, cv::Size size, const char* what) {
    if (image.empty()) failInput(std::string(what) + " is empty");
    if (image.type() != CV_8UC1 && image.type() != CV_16UC1) {
        failInput(std::string(what) + " must be 8- or 16-bit unsigned with 1 channel, got " +
                  describeType(image));
    }
    requireSize(image, size, what);
}

void requireFilterSize(int Cw, cv::Size size, const char* what) {
    const int minSide = Cw == 5 ? kMinSide5x5 : kMinSide3x3;
    if (size.width < minSide || size.height < minSide) {
        failInput(std::string(what) + " is " + std::to_string(size.width) + "x" +
                  std::to_string(size.height) + ", smaller than the " + std::to_string(minSide) +
                  "x" + std::to_string(minSide) + " the spatial filter needs");
    }
}

RegionOfInterest regionOfInterest(cv::InputArray roi, cv::Size size) {
    const size_t pixels = static_cast<size_t>(size.width) * static_cast<size_t>(size.height);
    if (roi.empty()) return wholeImageRegion(pixels);
    const cv::Mat image = roi.getMat();
    if (image.type() != CV_8UC1) {
        failInput("the region of interest must be 8-bit with 1 channel, got " +
                  describeType(image));
    }
    requireSize(image, size, "the region of interest");
    std::vector<uint8_t> mask(pixels, 0);
    imageToBytes(image, mask);
    return makeRegionOfInterest(std::move(mask), size.width);
}

}  // namespace dadimero
