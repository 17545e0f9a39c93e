// Backgrounds estimated from a few frames: the per-pixel median of the colour
// frames, and the depth background the program builds.
#include <algorithm>
#include <string>

#include "dadimero/dadimero.hpp"
#include "depth/initial_depth_background.hpp"
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
