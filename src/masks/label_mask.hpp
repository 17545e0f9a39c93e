#pragma once

#include <cstdint>
#include <vector>

namespace dadimero {

// One byte per image pixel, row-major, holding one of these codes.
using LabelMask = std::vector<uint8_t>;

inline constexpr uint8_t LABEL_BACKGROUND = 0;
inline constexpr uint8_t LABEL_SHADOW = 85;
inline constexpr uint8_t LABEL_DEPTH_UNDECIDED = 127;
inline constexpr uint8_t LABEL_SUPPRESSED = 170;
inline constexpr uint8_t LABEL_FOREGROUND = 255;

}  // namespace dadimero
