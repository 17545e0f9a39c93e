#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "dadimero/dadimero.hpp"
#include "masks/region_of_interest.hpp"

namespace dadimero {

// What an InitialDepthBackground holds: per pixel inside the region the
// largest sample of the frames added.
struct DepthMaximum {
    // Adds a frame already checked against the others and the region; the
    // first frame sets the size and type, and the region when there is none.
    void add(const cv::Mat& frame);
    // The background of the frames added, in the first frame's type; empty before the first.
    cv::Mat result() const;
    // The samples as DADI-MERO's DinitImage.png shows them (see ProgramAccess).
    cv::Mat picture() const;

    RegionOfInterest roi;  // empty until the region or the first frame gives it
    cv::Size size;         // of the region of interest, or else of the first frame
    int type = 0;          // of the first frame
    int frames = 0;
    std::vector<float> samples;
};

}  // namespace dadimero
