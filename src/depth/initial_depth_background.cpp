#include "depth/initial_depth_background.hpp"

#include <string>

#include "dadimero/dadimero.hpp"
#include "depth/depth_samples.hpp"
#include "subtractor/input_checks.hpp"
#include "subtractor/public_errors.hpp"

namespace dadimero {

void DepthMaximum::add(const cv::Mat& frame, const RegionOfInterest& roi) {
    if (frames++ == 0) {
        bits = frame.depth() == CV_16U ? 16 : 8;
        depthImageToPlane(frame, roi, background);
        return;
    }
    depthImageToPlane(frame, roi, scratch);
    takeDepthMaximum(scratch, background);
}

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
    const RegionOfInterest roi = regionOfInterest(roiImage, first.size());
    DepthMaximum maximum(roi.mask.size());
    for (const cv::Mat& frame : depthFrames)
        maximum.add(frame, roi);
    cv::Mat background(first.size(), first.type());
    depthPlaneToImage(maximum.background, background);
    return background;
}

cv::Mat initialDepthBackground(const std::vector<cv::Mat>& depthFrames, cv::InputArray roiImage) {
    return asPublic("dadimero::initialDepthBackground",
                    [&] { return depthMaximumOf(depthFrames, roiImage); });
}

}  // namespace dadimero
