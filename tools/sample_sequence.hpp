#pragma once

#include <cstdint>

#include <opencv2/core.hpp>

#include "evaluated_range.hpp"
#include "sample_room.hpp"

struct SampleSettings {
    int width = 320;
    int height = 240;
    int frames = 200;
    int depthBits = 16;
    uint64_t seed = 1;
    bool partialRoi = true;
};

// One rendered frame of the synthetic sequence.
struct SampleFrame {
    cv::Mat colour;       // CV_8UC3
    cv::Mat depth;        // CV_16UC1 in millimetres, or CV_8UC1 scaled; 0 = missing
    cv::Mat groundTruth;  // CV_8UC1 with the GT_* labels
};

// A synthetic RGB-D recording of a room that objects cross, holding the hard
// cases of real footage: shadows, noise, missing depth, an illumination drift,
// camouflage in colour and in depth. Every frame depends only on the settings.
class SampleSequence {
  public:
    explicit SampleSequence(const SampleSettings& settings);

    const cv::Mat& backgroundImage() const { return room_.colour; }
    const cv::Mat& regionOfInterest() const { return roi_; }
    // Calibration takes the first quarter; the rest is evaluated.
    EvaluatedRange evaluatedRange() const;
    // Frames are numbered from 1.
    SampleFrame render(int frame) const;

  private:
    SampleSettings settings_;
    SampleRoom room_;
    cv::Mat roi_;
};
