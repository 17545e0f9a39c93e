#pragma once

#include "imageio/planes.hpp"
#include "run/run_parameters.hpp"

// Tells whether pixel (r, c), with cone coordinates (x, y, z), is background
// darkened by a cast shadow: some weight of its block has about the same hue
// and saturation and a value between gamma and beta times the pixel's. The
// first such weight in row-major order is reported through bestRow/bestCol;
// on false they are left untouched.
bool isShadow(float x, float y, float z, const PlaneSet& model, const ModelGrid& grid, int r, int c,
              const RunParameters& params, int& bestRow, int& bestCol);
