#include "colour/shadow.hpp"

#include <cmath>

#include "colour/colour_space.hpp"

bool isShadow(float x, float y, float z, const PlaneSet& model, const ModelGrid& grid, int r, int c,
              const RunParameters& params, int& bestRow, int& bestCol) {
    const Hsv pixel = coneToHsv(x, y, z);
    const int n = grid.n;
    const int64_t cols = grid.cols();
    for (int R = r * n; R < r * n + n; ++R) {
        for (int C = c * n; C < c * n + n; ++C) {
            const size_t k = static_cast<size_t>(R * cols + C);
            const Hsv weight = coneToHsv(model.plane[0][k], model.plane[1][k], model.plane[2][k]);
            const double ratio = static_cast<double>(pixel.v) / weight.v;
            if (!(params.gamma <= ratio && ratio <= params.beta)) continue;
            const double d = std::fabs(static_cast<double>(pixel.h) - weight.h);
            const float e = static_cast<float>(360.0 - d);
            const double hueDistance = d < e ? d : e;
            if (!(std::fabs(static_cast<double>(pixel.s) - weight.s) < params.tauS)) continue;
            if (!(hueDistance < params.tauH)) continue;
            bestRow = R;
            bestCol = C;
            return true;
        }
    }
    return false;
}
