#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

// Pixel counts of a binary detection against ground truth.
struct ConfusionCounts {
    uint64_t truePositives = 0;
    uint64_t falsePositives = 0;
    uint64_t falseNegatives = 0;
    uint64_t trueNegatives = 0;
    // The false positives on pixels the ground truth labels hard shadow: a
    // detector that takes cast shadows for objects shows up here.
    uint64_t shadowErrors = 0;
};

ConfusionCounts& operator+=(ConfusionCounts& total, const ConfusionCounts& more);

// Adds one frame: GT 255 is positive, GT 0 and 50 negative, GT 85 and 170 and
// pixels where `roi` is zero are ignored; a mask pixel is positive when nonzero.
// A positive on GT 50 also counts as a shadow error.
// All three images are one-channel 8-bit of the same size (checked by caller).
void addFrame(const cv::Mat& mask, const cv::Mat& groundTruth, const cv::Mat& roi,
              ConfusionCounts& counts);

// The usual change-detection measures. A measure whose denominator is zero is
// NaN: it is undefined, not zero.
struct ChangeDetectionMeasures {
    double recall = 0;
    double specificity = 0;
    double falsePositiveRate = 0;
    double falseNegativeRate = 0;
    double percentWrong = 0;  // PWC, in percent
    double precision = 0;
    double fMeasure = 0;
};

ChangeDetectionMeasures measuresOf(const ConfusionCounts& counts);

// Mean of each measure over the given sets, skipping the undefined ones.
ChangeDetectionMeasures averageOf(const std::vector<ChangeDetectionMeasures>& all);
