#include "dadimero/internal/stage_times.hpp"

namespace dadimero {

const char* stageName(Stage stage) {
    switch (stage) {
        case Stage::Decode:
            return "decode";
        case Stage::ColourConversion:
            return "colour conversion";
        case Stage::ColourDetection:
            return "colour detection";
        case Stage::DepthDetection:
            return "depth detection";
        case Stage::Fusion:
            return "fusion";
        case Stage::Filter:
            return "filter";
        case Stage::Encode:
            return "encode";
        case Stage::ColourUpdate:
            return "colour update";
        case Stage::DepthUpdate:
            return "depth update";
        case Stage::Snapshots:
            return "snapshots";
        case Stage::Count:
            break;
    }
    return "?";
}

}  // namespace dadimero
