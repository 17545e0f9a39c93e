#pragma once

#include "colour/colour_space.hpp"
#include "model/planes.hpp"

namespace dadimero {

// The four numbers of the shadow test.
struct ShadowThresholds {
    float gamma;  // lowest brightness ratio pixel / weight
    float beta;   // highest brightness ratio
    float tauS;   // largest saturation difference
    float tauH;   // largest hue difference, degrees
};

// The first weight of an n x n block of cone-space weights, in row-major
// order, that explains a pixel of cone coordinates `pixel` as background
// darkened by a cast shadow: one with about the same hue and saturation and a
// value between gamma and beta times the pixel's. Its index in the block (row
// * n + column), or -1 when none does.
int shadowWeight(ConePoint pixel, const PlaneBlock& weights, int n,
                 const ShadowThresholds& thresholds);

}  // namespace dadimero
