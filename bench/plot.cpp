#include "plot.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

constexpr int kWidth = 880;
constexpr int kHeight = 560;
constexpr int kLeft = 70;
constexpr int kRight = 260;  // room for the labels of the points
constexpr int kTop = 64;
constexpr int kBottom = 60;

const cv::Scalar kInk(40, 40, 40);
const cv::Scalar kGrid(225, 225, 225);

cv::Scalar colourOf(MethodKind kind) {
    switch (kind) {
        case MethodKind::Mog2:
            return {200, 120, 30};  // blue
        case MethodKind::Knn:
            return {40, 160, 230};  // orange
        case MethodKind::DadiRgbd:
            return {40, 40, 210};  // red
        case MethodKind::DadiColour:
            return {60, 160, 60};  // green
        default:
            return kInk;
    }
}

std::string format(const char* pattern, double value) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

void text(cv::Mat& image, const std::string& words, cv::Point at, double scale = 0.45) {
    cv::putText(image, words, at, cv::FONT_HERSHEY_SIMPLEX, scale, kInk, 1, cv::LINE_AA);
}

}  // namespace

bool drawSpeedAccuracyPlot(const SequenceResult& result, const std::string& path) {
    double slowest = 1.0;
    for (const MethodResult& m : result.methods)
        if (!std::isnan(m.fMeasure)) slowest = std::max(slowest, m.msPerFrame());
    // Whole milliseconds on the axis, with a tick every fifth of it.
    const double range = std::ceil(slowest * 1.1 / 5.0) * 5.0;
    cv::Mat image(kHeight, kWidth, CV_8UC3, cv::Scalar(255, 255, 255));
    const int plotWidth = kWidth - kLeft - kRight;
    const int plotHeight = kHeight - kTop - kBottom;
    auto at = [&](double ms, double f) {
        return cv::Point(kLeft + static_cast<int>(std::lround(ms / range * plotWidth)),
                         kTop + plotHeight - static_cast<int>(std::lround(f * plotHeight)));
    };
    for (int tick = 0; tick <= 5; ++tick) {
        const double ms = range * tick / 5.0;
        const double f = tick / 5.0;
        cv::line(image, at(ms, 0.0), at(ms, 1.0), kGrid);
        cv::line(image, at(0.0, f), at(range, f), kGrid);
        text(image, format("%.0f", ms), at(ms, 0.0) + cv::Point(-8, 20));
        text(image, format("%.1f", f), at(0.0, f) + cv::Point(-32, 5));
    }
    cv::rectangle(image, at(0.0, 0.0), at(range, 1.0), kInk);
    text(image, "ms per frame, end to end (decode, subtract, write the mask)",
         cv::Point(kLeft, kHeight - 18));
    text(image, "F-measure", cv::Point(8, kTop - 14));
    text(image,
         std::to_string(result.layout.width) + "x" + std::to_string(result.layout.height) +
             ": accuracy against speed (better: up and to the left)",
         cv::Point(kLeft, 24), 0.55);
    int legendRow = 0;
    for (const MethodResult& m : result.methods) {
        if (std::isnan(m.fMeasure) || m.seconds.empty()) continue;
        const cv::Point point = at(m.msPerFrame(), m.fMeasure);
        cv::circle(image, point, 6, colourOf(m.kind), cv::FILLED, cv::LINE_AA);
        cv::putText(image, std::to_string(legendRow + 1), point + cv::Point(8, -6),
                    cv::FONT_HERSHEY_SIMPLEX, 0.4, kInk, 1, cv::LINE_AA);
        const cv::Point legend(kWidth - kRight + 20, kTop + 12 + 22 * legendRow);
        cv::circle(image, legend, 6, colourOf(m.kind), cv::FILLED, cv::LINE_AA);
        text(image, std::to_string(legendRow + 1) + " " + m.name + format(" (%.2f)", m.fMeasure),
             legend + cv::Point(12, 5), 0.4);
        ++legendRow;
    }
    try {
        return cv::imwrite(path, image);
    } catch (const cv::Exception&) {
        return false;
    }
}
