#include "change_detection_scores.hpp"

#include <cmath>
#include <limits>

#include "ground_truth_labels.hpp"

void addFrame(const cv::Mat& mask, const cv::Mat& groundTruth, const cv::Mat& roi,
              ConfusionCounts& counts) {
    for (int y = 0; y < groundTruth.rows; ++y) {
        const uint8_t* m = mask.ptr<uint8_t>(y);
        const uint8_t* g = groundTruth.ptr<uint8_t>(y);
        const uint8_t* r = roi.ptr<uint8_t>(y);
        for (int x = 0; x < groundTruth.cols; ++x) {
            if (r[x] == 0) continue;
            const bool detected = m[x] != 0;
            if (g[x] == GT_MOVING) {
                ++(detected ? counts.truePositives : counts.falseNegatives);
            } else if (g[x] == GT_STATIC || g[x] == GT_HARD_SHADOW) {
                ++(detected ? counts.falsePositives : counts.trueNegatives);
                if (detected && g[x] == GT_HARD_SHADOW) ++counts.shadowErrors;
            }
        }
    }
}

ConfusionCounts& operator+=(ConfusionCounts& total, const ConfusionCounts& more) {
    total.truePositives += more.truePositives;
    total.falsePositives += more.falsePositives;
    total.falseNegatives += more.falseNegatives;
    total.trueNegatives += more.trueNegatives;
    total.shadowErrors += more.shadowErrors;
    return total;
}

namespace {

double ratio(double numerator, double denominator) {
    return denominator > 0 ? numerator / denominator : std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

ChangeDetectionMeasures measuresOf(const ConfusionCounts& c) {
    const auto tp = static_cast<double>(c.truePositives);
    const auto fp = static_cast<double>(c.falsePositives);
    const auto fn = static_cast<double>(c.falseNegatives);
    const auto tn = static_cast<double>(c.trueNegatives);
    ChangeDetectionMeasures m;
    m.recall = ratio(tp, tp + fn);
    m.specificity = ratio(tn, tn + fp);
    m.falsePositiveRate = ratio(fp, fp + tn);
    m.falseNegativeRate = ratio(fn, tp + fn);
    m.percentWrong = ratio(100.0 * (fn + fp), tp + fn + fp + tn);
    m.precision = ratio(tp, tp + fp);
    m.fMeasure = ratio(2.0 * m.precision * m.recall, m.precision + m.recall);
    return m;
}

ChangeDetectionMeasures averageOf(const std::vector<ChangeDetectionMeasures>& all) {
    auto mean = [&all](double ChangeDetectionMeasures::*field) {
        double sum = 0;
        int defined = 0;
        for (const ChangeDetectionMeasures& m : all) {
            if (std::isnan(m.*field)) continue;
            sum += m.*field;
            ++defined;
        }
        return defined > 0 ? sum / defined : std::numeric_limits<double>::quiet_NaN();
    };
    ChangeDetectionMeasures a;
    a.recall = mean(&ChangeDetectionMeasures::recall);
    a.specificity = mean(&ChangeDetectionMeasures::specificity);
    a.falsePositiveRate = mean(&ChangeDetectionMeasures::falsePositiveRate);
    a.falseNegativeRate = mean(&ChangeDetectionMeasures::falseNegativeRate);
    a.percentWrong = mean(&ChangeDetectionMeasures::percentWrong);
    a.precision = mean(&ChangeDetectionMeasures::precision);
    a.fMeasure = mean(&ChangeDetectionMeasures::fMeasure);
    return a;
}
