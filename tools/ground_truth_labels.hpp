#pragma once

#include <cstdint>

// Ground truth pixel values of the change-detection convention.
inline constexpr uint8_t GT_STATIC = 0;
inline constexpr uint8_t GT_HARD_SHADOW = 50;
inline constexpr uint8_t GT_OUTSIDE_ROI = 85;
inline constexpr uint8_t GT_UNKNOWN = 170;
inline constexpr uint8_t GT_MOVING = 255;
