#pragma once

#include <cstdint>
#include <string>

#include "dadimero/dadimero.hpp"

namespace dadimero {

// Settings of one run, filled from the command line; the model's settings
// default to the library's (Settings). `end` and `K` are completed from the
// sequence's temporal range, and `e2D` follows the bit depth of the depth
// frames; nothing else changes after parsing.
struct RunParameters {
    int32_t ini = 1;
    int32_t end = 0;
    int32_t n = Settings().n;
    int32_t K = 0;
    float e1 = Settings().e1;
    float e2 = Settings().e2;
    float e1D = Settings().e1D;
    float e2D = Settings().e2D;
    float c1 = Settings().c1;
    float c2 = Settings().c2;
    int32_t Cw = Settings().Cw;
    float gamma = Settings().gamma;
    float beta = Settings().beta;
    float tauS = Settings().tauS;
    float tauH = Settings().tauH;
    int32_t shadowRemoval = Settings().shadowRemoval ? 1 : 0;
    int32_t saveModels = 0;
    int32_t saveMasks = 0;
    int32_t useRoi = 1;
    int32_t useDepth = 1;
    std::string backgroundName = "CinitImageL.png";
    // Worker threads for the order-independent passes; 0 means one per core.
    int32_t threads = 0;
};

}  // namespace dadimero
