#include "colour/shadow.hpp"

#include <cmath>

#include "colour/colour_space.hpp"

namespace dadimero {

int shadowWeight(ConePoint pixel, const PlaneBlock& weights, int n,
                 const ShadowThresholds& thresholds) {
    // The pixel's value is its z; its hue and saturation wait for the first
    // weight whose value ratio passes.
    Hsv hsv{0.0f, 0.0f, pixel.z};
    bool converted = false;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const size_t k = static_cast<size_t>(i) * weights.stride + static_cast<size_t>(j);
            // The value of a weight is its z: the ratio test needs no trigonometry,
            // so hue and saturation are computed only for weights that pass it.
            const double ratio = static_cast<double>(hsv.v) / weights.plane[2][k];
            if (!(thresholds.gamma <= ratio && ratio <= thresholds.beta)) continue;
            if (!converted) {
                hsv = coneToHsv(pixel.x, pixel.y, pixel.z);
                converted = true;
            }
            // The hue first: a weight of another hue needs no saturation.
            const float x = weights.plane[0][k];
            const float y = weights.plane[1][k];
            const double angle = coneAngle(x, y);
            const double d = std::fabs(static_cast<double>(hsv.h) - hueOfAngle(angle));
            const float e = static_cast<float>(360.0 - d);
            const double hueDistance = d < e ? d : e;
            if (!(hueDistance < thresholds.tauH)) continue;
            const float saturation = coneSaturation(x, y, weights.plane[2][k], angle);
            if (!(std::fabs(static_cast<double>(hsv.s) - saturation) < thresholds.tauS)) continue;
            return i * n + j;
        }
    }
    return -1;
}

}  // namespace dadimero
