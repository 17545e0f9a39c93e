#include "colour/colour_space.hpp"

#include <algorithm>
#include <cmath>

namespace dadimero {

Hsv rgbToHsv(uint8_t red, uint8_t green, uint8_t blue) {
    const float r = static_cast<float>(red * static_cast<double>(kOneOver255));
    const float g = static_cast<float>(green * static_cast<double>(kOneOver255));
    const float b = static_cast<float>(blue * static_cast<double>(kOneOver255));
    const float max = std::max(r, std::max(g, b));
    const float min = std::min(r, std::min(g, b));
    const float delta = static_cast<float>(static_cast<double>(max) - min);
    if (max == 0.0f) return {0.0f, 0.0f, 0.0f};
    const float s = static_cast<float>(static_cast<double>(delta) / max);
    if (s == 0.0f) return {0.0f, s, max};
    double h;
    if (r == max) {
        h = (static_cast<double>(g) - b) / delta;
    } else if (g == max) {
        h = (static_cast<double>(b) - r) / delta + 2.0;
    } else {
        h = (static_cast<double>(r) - g) / delta + 4.0;
    }
    double hue = h * 60.0;
    if (hue < 0.0) hue += 360.0;
    return {static_cast<float>(hue), s, max};
}

Rgb hsvToRgb(float h, float s, float v) {
    if (s == 0.0f) return {v, v, v};
    const double sector = h * static_cast<double>(kOneOver60);
    const float sectorStored = static_cast<float>(sector);
    const double whole = std::floor(sector);
    const float f = static_cast<float>(sectorStored - whole);
    const float p = static_cast<float>(v * (1.0 - s));
    const float q = static_cast<float>(v * (1.0 - static_cast<double>(s) * f));
    const float t = static_cast<float>(v * (1.0 - static_cast<double>(s) * (1.0 - f)));
    // Sectors outside 0..4 (5, 6 for a hue of 360, anything odd) share the last row.
    const int i = (whole >= 0.0 && whole <= 4.0) ? static_cast<int>(whole) : 5;
    switch (i) {
        case 0:
            return {v, t, p};
        case 1:
            return {q, v, p};
        case 2:
            return {p, v, t};
        case 3:
            return {p, q, v};
        case 4:
            return {t, p, v};
        default:
            return {v, p, q};
    }
}

double coneAngle(float x, float y) {
    const double a = std::atan2(static_cast<double>(y), static_cast<double>(x));
    return a < 0.0 ? a + static_cast<double>(kTwoPi) : a;
}

float hueOfAngle(double angle) {
    return static_cast<float>(angle / static_cast<double>(kDegreesToRadians));
}

float coneSaturation(float x, float y, float z, double angle) {
    const double cosine = std::cos(angle);
    if (std::fabs(cosine) > static_cast<double>(kCosineEpsilon)) {
        return static_cast<float>(x / (cosine * z));
    }
    return static_cast<float>(y / (static_cast<double>(z) * std::sin(angle)));
}

Hsv coneToHsv(float x, float y, float z) {
    const double angle = coneAngle(x, y);
    return {hueOfAngle(angle), coneSaturation(x, y, z, angle), z};
}

uint8_t floatToByte(float value) {
    if (value < 0.0f) return 0;
    if (value > 255.0f) return 255;
    if (!(value >= 0.0f)) return 0;  // not-a-number
    return static_cast<uint8_t>(static_cast<int>(value + 0.5));
}

ConePoint rgbToCone(uint8_t red, uint8_t green, uint8_t blue) {
    const Hsv hsv = rgbToHsv(red, green, blue);
    const double angle = hsv.h * static_cast<double>(kDegreesToRadians);
    const float x = static_cast<float>(std::cos(angle) * hsv.s * hsv.v);
    const float y = static_cast<float>(std::sin(angle) * hsv.s * hsv.v);
    return {x, y, hsv.v};
}

}  // namespace dadimero
