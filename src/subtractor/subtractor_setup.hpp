#pragma once

#include <opencv2/core.hpp>

#include "dadimero/dadimero.hpp"
#include "dadimero/internal/stage_times.hpp"

namespace dadimero {

// What a subtractor is built from, kept for clear(), the settings and a state
// file, and how the programs that built it want it kept (see ProgramAccess).
struct Subtractor::Setup {
    Setup() = default;
    // The region of interest is checked as far as it can be before the frames'
    // size is known, and copied.
    Setup(const Settings& s, cv::InputArray regionOfInterest);

    Settings settings;
    cv::Mat roi;               // as given; empty: every pixel
    cv::Mat colourBackground;  // what clear() returns to; empty: the next frame
    cv::Mat depthBackground;
    bool keepsBackgrounds = true;  // false: no copies, as the command line wants
    StageTimes* times = nullptr;   // the clocks of the stages; null: none
};

}  // namespace dadimero
