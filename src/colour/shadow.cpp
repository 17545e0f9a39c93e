#include "colour/shadow.hpp"

#include <cmath>

#include "colour/colour_space.hpp"

namespace dadimero {

bool isShadow(float x, float y, float z, const PlaneSet& model, const ModelGrid& grid, int r, int c,
              const ShadowThresholds& thresholds, int& bestRow, int& bestCol) {
    // The pixel's value is its z; its hue and saturation wait for the first
    // weight whose value ratio passes.
    Hsv pixel{0.0f, 0.0f, z};
    bool pixelConverted = false;
    const int n = grid.n;
    const int64_t cols = grid.cols();
    for (int R = r * n; R < r * n + n; ++R) {
        for (int C = c * n; C < c * n + n; ++C) {
            const size_t k = static_cast<size_t>(R * cols + C);
            // The value of a weight is its z: the ratio test needs no trigonometry,
            // so hue and saturation are computed only for weights that pass it.
            const double ratio = static_cast<double>(pixel.v) / model.plane[2][k];
            if (!(thresholds.gamma <= ratio && ratio <= thresholds.beta)) continue;
            if (!pixelConverted) {
                pixel = coneToHsv(x, y, z);
                pixelConverted = true;
            }
            const Hsv weight = coneToHsv(model.plane[0][k], model.plane[1][k], model.plane[2][k]);
            const double d = std::fabs(static_cast<double>(pixel.h) - weight.h);
            const float e = static_cast<float>(360.0 - d);
            const double hueDistance = d < e ? d : e;
            if (!(std::fabs(static_cast<double>(pixel.s) - weight.s) < thresholds.tauS)) continue;
            if (!(hueDistance < thresholds.tauH)) continue;
            bestRow = R;
            bestCol = C;
            return true;
        }
    }
    return false;
}

}  // namespace dadimero
