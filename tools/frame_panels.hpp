#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

// Colour for depth pixels without a measurement in the false-colour view.
inline const cv::Vec3b kMissingDepthColour(255, 0, 255);  // magenta (BGR)

// Depth in false colour, near blue to far red, stretched over the frame's
// measured range; missing depth (0) in kMissingDepthColour.
cv::Mat depthFalseColour(const cv::Mat& depth);

// The frame with detected pixels tinted red and, when `groundTruth` is not
// empty, the outline of its moving (255) regions in green.
cv::Mat maskOverlay(const cv::Mat& colour, const cv::Mat& mask, const cv::Mat& groundTruth);

// A BGR copy enlarged `scale` times (nearest neighbour) under a caption strip.
cv::Mat captionedPanel(const cv::Mat& image, const std::string& caption, int scale);

// Panels side by side; all must have the same height.
cv::Mat sideBySide(const std::vector<cv::Mat>& panels);
