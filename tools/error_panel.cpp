#include "error_panel.hpp"

#include <opencv2/imgproc.hpp>

#include "frame_panels.hpp"
#include "ground_truth_labels.hpp"

cv::Mat errorPicture(const cv::Mat& colour, const cv::Mat& mask, const cv::Mat& groundTruth,
                     const cv::Mat& roi) {
    cv::Mat picture = dimmedFrame(colour);
    for (int y = 0; y < picture.rows; ++y) {
        const uint8_t* m = mask.ptr<uint8_t>(y);
        const uint8_t* g = groundTruth.ptr<uint8_t>(y);
        const uint8_t* r = roi.empty() ? nullptr : roi.ptr<uint8_t>(y);
        cv::Vec3b* out = picture.ptr<cv::Vec3b>(y);
        for (int x = 0; x < picture.cols; ++x) {
            if (r != nullptr && r[x] == 0) continue;
            const bool detected = m[x] != 0;
            if (g[x] == GT_MOVING) {
                out[x] = detected ? kTruePositiveColour : kFalseNegativeColour;
            } else if (g[x] == GT_STATIC || g[x] == GT_HARD_SHADOW) {
                if (detected) {
                    out[x] = kFalsePositiveColour;
                } else if (g[x] == GT_HARD_SHADOW) {
                    out[x] = kShadowColour;
                }
            }
        }
    }
    return picture;
}

cv::Mat errorKey(int width) {
    cv::Mat key(kKeyHeight, width, CV_8UC3, cv::Scalar(40, 40, 40));
    struct Entry {
        cv::Vec3b colour;
        const char* name;
        cv::Point at;
    };
    // Two rows of two, so the legend fits a panel of 160 pixels.
    const int second = width / 2;
    const Entry entries[] = {{kTruePositiveColour, "TP", {4, 4}},
                             {kFalsePositiveColour, "FP", {second, 4}},
                             {kFalseNegativeColour, "FN", {4, 20}},
                             {kShadowColour, "shadow", {second, 20}}};
    for (const Entry& e : entries) {
        cv::rectangle(key, cv::Rect(e.at.x, e.at.y, 10, 10),
                      cv::Scalar(e.colour[0], e.colour[1], e.colour[2]), cv::FILLED);
        cv::putText(key, e.name, cv::Point(e.at.x + 14, e.at.y + 10), cv::FONT_HERSHEY_SIMPLEX, 0.4,
                    cv::Scalar(255, 255, 255), 1, cv::LINE_AA);
    }
    return key;
}
