#pragma once

#include <vector>

#include "colour/neighbourhood_kernel.hpp"
#include "imageio/planes.hpp"
#include "masks/label_mask.hpp"
#include "masks/region_of_interest.hpp"
#include "run/run_parameters.hpp"

// The colour model: for every pixel an n x n block of cone-space weights on the
// model grid, double-buffered. Passes read `current` and write only `next`;
// the driver copies next into current after every writing pass.

inline constexpr int MATCH_NONE = 0;
inline constexpr int MATCH_BACKGROUND = 1;
inline constexpr int MATCH_SHADOW = 2;

// Every cell of an inside pixel's block takes the pixel's background colour.
void initColourModel(PlaneSet& model, const PlaneSet& background, const ModelGrid& grid,
                     const RegionOfInterest& roi);

// Nearest weight of pixel (r, c)'s block (squared distance, first of equals,
// the centre on a tie). Returns MATCH_BACKGROUND when it lies within eps,
// else MATCH_SHADOW when the shadow test explains the pixel, else MATCH_NONE.
int findBestColourMatch(float x, float y, float z, const PlaneSet& model, const ModelGrid& grid,
                        int r, int c, float eps, const RunParameters& params, int& bestRow,
                        int& bestCol);

// Pulls the weights of the window around (bestRow, bestCol) towards the pixel,
// where the owner of a cell is labelled background.
void updateColourNeighbourhood(const float pixel[3], const ModelGrid& grid, const PlaneSet& current,
                               PlaneSet& next, const RateMatrix& rateMatrix, int bestRow,
                               int bestCol, const LabelMask& labels);

void colourCalibrationPass(const PlaneSet& framePlanes, const ModelGrid& grid,
                           const PlaneSet& current, LabelMask& colourMask,
                           const RateMatrix& rateMatrix, float e1, const RunParameters& params,
                           const RegionOfInterest& roi, PlaneSet& next);

// Labels image rows [rowBegin, rowEnd) of an online frame and records each
// pixel's best weight. Rows are independent, so ranges may run in parallel.
void colourDetectionRows(const PlaneSet& framePlanes, const ModelGrid& grid,
                         const PlaneSet& current, float e2, const RunParameters& params,
                         const RegionOfInterest& roi, int rowBegin, int rowEnd,
                         LabelMask& colourMask, std::vector<int>& bestRows,
                         std::vector<int>& bestCols);

void colourDetectionPass(const PlaneSet& framePlanes, const ModelGrid& grid,
                         const PlaneSet& current, float e2, const RunParameters& params,
                         const RegionOfInterest& roi, LabelMask& colourMask,
                         std::vector<int>& bestRows, std::vector<int>& bestCols);

void colourUpdatePass(const PlaneSet& framePlanes, const ModelGrid& grid, const PlaneSet& current,
                      const LabelMask& filteredMask, const RateMatrix& rateMatrix,
                      const std::vector<int>& bestRows, const std::vector<int>& bestCols,
                      const RegionOfInterest& roi, PlaneSet& next);
