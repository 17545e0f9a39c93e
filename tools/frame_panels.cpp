#include "frame_panels.hpp"

#include <cstdio>

#include <opencv2/imgproc.hpp>

namespace {

const cv::Scalar kStripColour(40, 40, 40);
const cv::Scalar kTextColour(255, 255, 255);
constexpr double kKeyFontScale = 0.4;

// The false-colour map of values already stretched to 0..255.
cv::Mat falseColour(const cv::Mat& grey) {
    cv::Mat coloured;
    cv::applyColorMap(grey, coloured, cv::COLORMAP_TURBO);
    return coloured;
}

std::string depthValue(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

void putKeyText(cv::Mat& key, const std::string& text, int x, int baseline) {
    cv::putText(key, text, cv::Point(x, baseline), cv::FONT_HERSHEY_SIMPLEX, kKeyFontScale,
                kTextColour, 1, cv::LINE_AA);
}

}  // namespace

MeasuredDepthRange measuredDepthRange(const cv::Mat& depth) {
    MeasuredDepthRange range;
    const cv::Mat measured = depth != 0;
    range.measured = cv::countNonZero(measured) > 0;
    if (range.measured) {
        cv::minMaxLoc(depth, &range.nearest, &range.farthest, nullptr, nullptr, measured);
    }
    return range;
}

cv::Mat depthFalseColour(const cv::Mat& depth) {
    const MeasuredDepthRange range = measuredDepthRange(depth);
    const double span = range.farthest > range.nearest ? range.farthest - range.nearest : 1.0;
    cv::Mat values;
    depth.convertTo(values, CV_64FC1);
    cv::Mat grey;
    values.convertTo(grey, CV_8UC1, 255.0 / span, -255.0 * range.nearest / span);
    cv::Mat coloured = falseColour(grey);
    coloured.setTo(
        cv::Scalar(kMissingDepthColour[0], kMissingDepthColour[1], kMissingDepthColour[2]),
        depth == 0);
    return coloured;
}

cv::Mat depthKey(int width, const MeasuredDepthRange& range) {
    if (!range.measured) return textKey(width, "no measured depth");
    cv::Mat key(kKeyHeight, width, CV_8UC3, kStripColour);
    constexpr int kMargin = 4;
    const int barWidth = width - 2 * kMargin;
    if (barWidth >= 2) {
        cv::Mat ramp(1, barWidth, CV_8UC1);
        for (int x = 0; x < barWidth; ++x)
            ramp.at<uint8_t>(0, x) = cv::saturate_cast<uint8_t>(255.0 * x / (barWidth - 1));
        cv::Mat bar;
        cv::resize(falseColour(ramp), bar, cv::Size(barWidth, 10), 0, 0, cv::INTER_NEAREST);
        bar.copyTo(key(cv::Rect(kMargin, 4, barWidth, 10)));
    }
    const std::string farthest = depthValue(range.farthest);
    int baseline = 0;
    const cv::Size farSize =
        cv::getTextSize(farthest, cv::FONT_HERSHEY_SIMPLEX, kKeyFontScale, 1, &baseline);
    putKeyText(key, depthValue(range.nearest), kMargin, 30);
    putKeyText(key, farthest, width - kMargin - farSize.width, 30);
    return key;
}

cv::Mat textKey(int width, const std::string& text) {
    cv::Mat key(kKeyHeight, width, CV_8UC3, kStripColour);
    putKeyText(key, text, 4, 22);
    return key;
}

cv::Mat dimmedFrame(const cv::Mat& colour) {
    cv::Mat dimmed;
    colour.convertTo(dimmed, -1, 0.4);
    return dimmed;
}

cv::Mat maskOverlay(const cv::Mat& colour, const cv::Mat& mask, const cv::Mat& groundTruth) {
    cv::Mat tinted;
    cv::addWeighted(colour, 0.45, cv::Mat(colour.size(), CV_8UC3, cv::Scalar(0, 0, 255)), 0.55, 0.0,
                    tinted);
    cv::Mat overlay = colour.clone();
    tinted.copyTo(overlay, mask != 0);
    if (!groundTruth.empty()) {
        const cv::Mat moving = groundTruth == 255;
        cv::Mat grown;
        cv::dilate(moving, grown, cv::Mat());
        overlay.setTo(cv::Scalar(0, 255, 0), grown & ~moving);
    }
    return overlay;
}

cv::Mat captionedPanel(const cv::Mat& image, const std::string& caption, int scale,
                       const cv::Mat& key) {
    cv::Mat bgr;
    if (image.channels() == 1) {
        cv::cvtColor(image, bgr, cv::COLOR_GRAY2BGR);
    } else {
        bgr = image;
    }
    cv::Mat enlarged;
    cv::resize(bgr, enlarged, cv::Size(), scale, scale, cv::INTER_NEAREST);
    cv::Mat panel(kCaptionHeight + enlarged.rows + kKeyHeight, enlarged.cols, CV_8UC3,
                  kStripColour);
    enlarged.copyTo(panel(cv::Rect(0, kCaptionHeight, enlarged.cols, enlarged.rows)));
    if (!key.empty()) {
        key.copyTo(panel(cv::Rect(0, kCaptionHeight + enlarged.rows, enlarged.cols, kKeyHeight)));
    }
    cv::putText(panel, caption, cv::Point(4, 16), cv::FONT_HERSHEY_SIMPLEX, 0.45, kTextColour, 1,
                cv::LINE_AA);
    return panel;
}

cv::Mat sideBySide(const std::vector<cv::Mat>& panels) {
    // A thin gap keeps neighbouring panels apart.
    std::vector<cv::Mat> parts;
    for (size_t i = 0; i < panels.size(); ++i) {
        if (i > 0) parts.emplace_back(panels[i].rows, 4, CV_8UC3, cv::Scalar(255, 255, 255));
        parts.push_back(panels[i]);
    }
    cv::Mat row;
    cv::hconcat(parts, row);
    return row;
}
