// Backgrounds estimated from frames of the scene: the per-pixel median of the
// colour frames, and the initial depth background, whole or a frame at a time.
#include <algorithm>
#include <string>

#include "dadimero/dadimero.hpp"
#include "depth/depth_samples.hpp"
#include "images/model_images.hpp"
#include "masks/region_of_interest.hpp"
#include "subtractor/depth_maximum.hpp"
#include "subtractor/input_checks.hpp"
#include "subtractor/public_errors.hpp"

namespace dadimero {

namespace {

cv::Mat colourMedian(const std::vector<cv::Mat>& frames) {
    if (frames.empty()) failInput("estimating a background needs at least one colour frame");
    const cv::Size size = frames.front().size();
    requireColourImage(frames.front(), size, "the first colour frame");
    for (size_t i = 1; i < frames.size(); ++i) {
        const std::string what = "colour frame " + std::to_string(i);
        requireColourImage(frames[i], size, what.c_str());
    }
    const size_t count = frames.size();
    const size_t middle = count / 2;
    cv::Mat median(size, CV_8UC3);
    std::vector<uint8_t> values(count);
    const auto rowBytes = static_cast<size_t>(size.width) * 3;
    for (int r = 0; r < size.height; ++r) {
        uint8_t* out = median.ptr<uint8_t>(r);
        for (size_t b = 0; b < rowBytes; ++b) {
            for (size_t f = 0; f < count; ++f)
                values[f] = frames[f].ptr<uint8_t>(r)[b];
            std::nth_element(values.begin(), values.begin() + middle, values.end());
            int value = values[middle];
            if (count % 2 == 0) {
                // The mean of the two middle values, rounded up.
                const int below = *std::max_element(values.begin(), values.begin() + middle);
                value = (below + value + 1) / 2;
            }
            out[b] = static_cast<uint8_t>(value);
        }
    }
    return median;
}

}  // namespace

void DepthMaximum::add(const cv::Mat& frame) {
    if (frames++ == 0) {
        size = frame.size();
        type = frame.type();
        if (roi.mask.empty()) roi = wholeImageRegion(static_cast<size_t>(size.area()));
        samples.assign(roi.mask.size(), 0.0f);
        depthImageToPlane(frame, roi, samples);
        return;
    }
    takeDepthMaximum(frame, roi, samples);
}

cv::Mat DepthMaximum::result() const {
    if (frames == 0) return cv::Mat();
    cv::Mat background(size, type);
    depthPlaneToImage(samples, background);
    return background;
}

cv::Mat DepthMaximum::picture() const {
    if (frames == 0) return cv::Mat();
    cv::Mat image(size, type);
    floatPlaneToImage(samples, image);
    return image;
}

namespace {

void requireMaximum(const void* maximum) {
    if (maximum == nullptr) failInput("this initial depth background was moved from");
}

// initialDepthBackground without naming itself in its errors.
cv::Mat depthMaximumOf(const std::vector<cv::Mat>& depthFrames, cv::InputArray roiImage) {
    if (depthFrames.empty()) {
        failInput("initialDepthBackground needs at least one depth frame");
    }
    const cv::Mat& first = depthFrames.front();
    requireDepthImage(first, first.size(), "the first depth frame");
    for (size_t i = 1; i < depthFrames.size(); ++i) {
        const std::string what = "depth frame " + std::to_string(i);
        requireDepthImage(depthFrames[i], first.size(), what.c_str());
        if (depthFrames[i].depth() != first.depth()) {
            failInput(what +
                      " has another bit depth than the first; all must be 8-bit or all "
                      "16-bit");
        }
    }
    DepthMaximum maximum;
    maximum.roi = regionOfInterest(roiImage, first.size());
    for (const cv::Mat& frame : depthFrames)
        maximum.add(frame);
    return maximum.result();
}

}  // namespace

cv::Mat initialDepthBackground(const std::vector<cv::Mat>& depthFrames, cv::InputArray roiImage) {
    return asPublic("dadimero::initialDepthBackground",
                    [&] { return depthMaximumOf(depthFrames, roiImage); });
}

InitialDepthBackground::InitialDepthBackground(cv::InputArray roi)
    : maximum_(std::make_unique<DepthMaximum>()) {
    asPublic("dadimero::InitialDepthBackground::InitialDepthBackground", [&] {
        if (roi.empty()) return;
        const cv::Mat image = roi.getMat();
        maximum_->roi = regionOfInterest(image, image.size());
        maximum_->size = image.size();
    });
}

InitialDepthBackground::~InitialDepthBackground() = default;
InitialDepthBackground::InitialDepthBackground(InitialDepthBackground&& other) noexcept = default;
InitialDepthBackground& InitialDepthBackground::operator=(InitialDepthBackground&& other) noexcept =
    default;

void InitialDepthBackground::add(cv::InputArray depthFrame) {
    asPublic("dadimero::InitialDepthBackground::add", [&] {
        requireMaximum(maximum_.get());
        DepthMaximum& maximum = *maximum_;
        const cv::Mat frame = depthFrame.getMat();
        if (maximum.frames == 0) {
            requireDepthImage(frame, maximum.size.empty() ? frame.size() : maximum.size,
                              "the first depth frame");
        } else {
            const std::string what = "depth frame " + std::to_string(maximum.frames);
            requireDepthImage(frame, maximum.size, what.c_str());
        }
        maximum.add(frame);
    });
}

cv::Mat InitialDepthBackground::result() const {
    return asPublic("dadimero::InitialDepthBackground::result", [&] {
        requireMaximum(maximum_.get());
        return maximum_->result();
    });
}

int InitialDepthBackground::frames() const {
    return asPublic("dadimero::InitialDepthBackground::frames", [&] {
        requireMaximum(maximum_.get());
        return maximum_->frames;
    });
}

Backgrounds estimateBackground(const std::vector<cv::Mat>& colourFrames,
                               const std::vector<cv::Mat>& depthFrames) {
    return asPublic("dadimero::estimateBackground", [&] {
        Backgrounds backgrounds;
        backgrounds.colour = colourMedian(colourFrames);
        if (!depthFrames.empty()) {
            requireDepthImage(depthFrames.front(), backgrounds.colour.size(),
                              "the first depth frame");
            backgrounds.depth = depthMaximumOf(depthFrames, cv::noArray());
        }
        return backgrounds;
    });
}

}  // namespace dadimero
