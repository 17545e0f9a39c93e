#pragma once

#include <cstdint>

namespace dadimero {

// Conversions between 8-bit RGB, HSV and the cone colour space
// x = S*V*cos(H), y = S*V*sin(H), z = V. Every stored value is a float, the
// arithmetic between stores runs in double, and the constants are the floats
// nearest to 1/255, 1/60, pi/180, 2*pi and 1e-6.

inline constexpr float kOneOver255 = 1.0f / 255.0f;
inline constexpr float kOneOver60 = 1.0f / 60.0f;
inline constexpr float kDegreesToRadians = static_cast<float>(3.14159265358979323846 / 180.0);
inline constexpr float kTwoPi = static_cast<float>(2.0 * 3.14159265358979323846);
inline constexpr float kCosineEpsilon = 1e-6f;

struct Hsv {
    float h;  // degrees
    float s;
    float v;
};

struct Rgb {
    float red;  // 0 .. 1
    float green;
    float blue;
};

struct ConePoint {
    float x;
    float y;
    float z;
};

Hsv rgbToHsv(uint8_t red, uint8_t green, uint8_t blue);

Rgb hsvToRgb(float h, float s, float v);

// Black gives a not-a-number saturation, on purpose: comparisons with it fail.
Hsv coneToHsv(float x, float y, float z);

// coneToHsv in parts, with the same bits, for callers that may not need the
// saturation: the hue angle in radians, 0 .. 2 pi; the hue in degrees of that
// angle; the saturation of a point with that angle.
double coneAngle(float x, float y);
float hueOfAngle(double angle);
float coneSaturation(float x, float y, float z, double angle);

// Rounds half up and saturates to 0..255; not-a-number gives 0.
uint8_t floatToByte(float value);

// The cone point of one 8-bit colour.
ConePoint rgbToCone(uint8_t red, uint8_t green, uint8_t blue);

}  // namespace dadimero
