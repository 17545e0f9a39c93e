#pragma once

#include "dadimero/dadimero.hpp"

namespace dadimero {

// The command line's subtractor: its settings are checked by the rules the
// program has always had (n and threads), not the library's, so that every
// option value it took before gives the same outputs.
Subtractor makeProgramSubtractor(const Settings& settings, const cv::Mat& background,
                                 const cv::Mat& depthBackground, const cv::Mat& roi);

}  // namespace dadimero
