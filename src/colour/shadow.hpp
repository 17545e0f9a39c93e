#pragma once

#include "model/model_grid.hpp"
#include "model/planes.hpp"

namespace dadimero {

// The four numbers of the shadow test.
struct ShadowThresholds {
    float gamma;  // lowest brightness ratio pixel / weight
    float beta;   // highest brightness ratio
    float tauS;   // largest saturation difference
    float tauH;   // largest hue difference, degrees
};

// Tells whether pixel (r, c), with cone coordinates (x, y, z), is background
// darkened by a cast shadow: some weight of its block has about the same hue
// and saturation and a value between gamma and beta times the pixel's. The
// first such weight in row-major order is reported through bestRow/bestCol;
// on false they are left untouched.
bool isShadow(float x, float y, float z, const PlaneSet& weights, const ModelGrid& grid, int r,
              int c, const ShadowThresholds& thresholds, int& bestRow, int& bestCol);

}  // namespace dadimero
