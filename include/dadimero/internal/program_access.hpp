// The door through which DADI-MERO's own programs reach what the library keeps
// from its users: the command line's outputs and rules. Not part of the API,
// and not installed: the programs include the public header, this one and
// their own folders, never the library's sources.
#pragma once

#include <opencv2/core.hpp>

#include "dadimero/dadimero.hpp"

namespace dadimero {

class ProgramAccess {
  public:
    // The initial depth background as the command line's DinitImage.png shows
    // it: every sample s stored as s x 2^b for the first frame's bit depth b,
    // rounded and saturated, as the depth model's picture stores its weights.
    static cv::Mat initialDepthPicture(const InitialDepthBackground& background);
};

}  // namespace dadimero
