#pragma once

#include <cstdint>
#include <string>

namespace dadimero {

// Settings of one run, filled from the command line. `end` and `K` are
// completed from the sequence's temporal range, and `e2D` follows the bit depth
// of the depth frames; nothing else changes after parsing.
struct RunParameters {
    int32_t ini = 1;
    int32_t end = 0;
    int32_t n = 3;
    int32_t K = 0;
    float e1 = 0.1f;
    float e2 = 0.008f;
    float e1D = 0.1f;
    float e2D = 0.00075f;
    float c1 = 0.1f;
    float c2 = 0.05f;
    int32_t Cw = 5;
    float gamma = 0.7f;
    float beta = 1.0f;
    float tauS = 0.1f;
    float tauH = 10.0f;
    int32_t shadowRemoval = 1;
    int32_t saveModels = 0;
    int32_t saveMasks = 0;
    int32_t useRoi = 1;
    int32_t useDepth = 1;
    std::string backgroundName = "CinitImageL.png";
    // Worker threads for the order-independent passes; 0 means one per core.
    int32_t threads = 0;
};

}  // namespace dadimero
