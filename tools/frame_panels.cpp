#include "frame_panels.hpp"

#include <opencv2/imgproc.hpp>

cv::Mat depthFalseColour(const cv::Mat& depth) {
    cv::Mat values;
    depth.convertTo(values, CV_64FC1);
    const cv::Mat measured = depth != 0;
    double nearest = 0;
    double farthest = 0;
    cv::minMaxLoc(values, &nearest, &farthest, nullptr, nullptr, measured);
    const double span = farthest > nearest ? farthest - nearest : 1.0;
    cv::Mat grey;
    values.convertTo(grey, CV_8UC1, 255.0 / span, -255.0 * nearest / span);
    cv::Mat coloured;
    cv::applyColorMap(grey, coloured, cv::COLORMAP_TURBO);
    coloured.setTo(
        cv::Scalar(kMissingDepthColour[0], kMissingDepthColour[1], kMissingDepthColour[2]),
        ~measured);
    return coloured;
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

cv::Mat captionedPanel(const cv::Mat& image, const std::string& caption, int scale) {
    cv::Mat bgr;
    if (image.channels() == 1) {
        cv::cvtColor(image, bgr, cv::COLOR_GRAY2BGR);
    } else {
        bgr = image;
    }
    cv::Mat enlarged;
    cv::resize(bgr, enlarged, cv::Size(), scale, scale, cv::INTER_NEAREST);
    constexpr int kCaptionHeight = 22;
    cv::Mat panel(enlarged.rows + kCaptionHeight, enlarged.cols, CV_8UC3, cv::Scalar(40, 40, 40));
    enlarged.copyTo(panel(cv::Rect(0, kCaptionHeight, enlarged.cols, enlarged.rows)));
    cv::putText(panel, caption, cv::Point(4, 16), cv::FONT_HERSHEY_SIMPLEX, 0.45,
                cv::Scalar(255, 255, 255), 1, cv::LINE_AA);
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
