#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

// Colour for depth pixels without a measurement in the false-colour view.
inline const cv::Vec3b kMissingDepthColour(255, 0, 255);  // magenta (BGR)

// Every panel is a caption strip, the enlarged image, and a key strip below it
// (a colour scale, a legend, or nothing); the strips have the same height in
// every panel, so panels line up side by side.
inline constexpr int kCaptionHeight = 22;
inline constexpr int kKeyHeight = 36;

// The measured (nonzero) depth values of a frame, in the file's units.
struct MeasuredDepthRange {
    bool measured = false;  // false: no pixel has depth
    double nearest = 0;
    double farthest = 0;
};

MeasuredDepthRange measuredDepthRange(const cv::Mat& depth);

// Depth in false colour, near blue to far red, stretched over the frame's
// measured range; missing depth (0) in kMissingDepthColour.
cv::Mat depthFalseColour(const cv::Mat& depth);

// A key strip `width` pixels wide: the false-colour scale with the nearest
// value under its left end and the farthest under its right end.
cv::Mat depthKey(int width, const MeasuredDepthRange& range);

// A key strip `width` pixels wide with one line of text.
cv::Mat textKey(int width, const std::string& text);

// The frame darkened, as a quiet background for other marks.
cv::Mat dimmedFrame(const cv::Mat& colour);

// The frame with detected pixels tinted red and, when `groundTruth` is not
// empty, the outline of its moving (255) regions in green.
cv::Mat maskOverlay(const cv::Mat& colour, const cv::Mat& mask, const cv::Mat& groundTruth);

// A BGR copy enlarged `scale` times (nearest neighbour) between a caption strip
// and `key` (kKeyHeight rows, as wide as the enlarged image; empty for a blank
// strip).
cv::Mat captionedPanel(const cv::Mat& image, const std::string& caption, int scale,
                       const cv::Mat& key = cv::Mat());

// Panels side by side; all must have the same height.
cv::Mat sideBySide(const std::vector<cv::Mat>& panels);
