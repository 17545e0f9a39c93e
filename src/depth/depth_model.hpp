#pragma once

#include <vector>

#include "colour/neighbourhood_kernel.hpp"
#include "imageio/planes.hpp"
#include "masks/label_mask.hpp"
#include "masks/region_of_interest.hpp"

// The depth model: for every pixel an n x n block of normalised depth weights
// on the model grid, double-buffered like the colour model. A weight not
// greater than 0 marks an empty cell; a sample not greater than 0 is missing.

// Every cell of an inside pixel's block takes the pixel's initial background.
void initDepthModel(std::vector<float>& grid, const std::vector<float>& initialBackground,
                    const ModelGrid& layout, const RegionOfInterest& roi);

void copyFloatGrid(const std::vector<float>& source, size_t count, std::vector<float>& destination);

// Nearest weight (first of equals). A match when the best weight lies at most
// eps above the sample: a sample at or above its nearest weight always matches.
bool findBestDepthMatch(float sample, const std::vector<float>& grid, const ModelGrid& layout,
                        int r, int c, float eps, int& bestRow, int& bestCol);

// Blends the sample into the window around (bestRow, bestCol), where the owner
// of a cell is labelled background; an empty cell takes the sample as it is.
void updateDepthNeighbourhood(float sample, const ModelGrid& layout,
                              const std::vector<float>& current, std::vector<float>& next,
                              const RateMatrix& rateMatrix, int bestRow, int bestCol,
                              const LabelMask& labels);

void depthCalibrationPass(const std::vector<float>& samples, const ModelGrid& layout,
                          const std::vector<float>& current, LabelMask& labels,
                          const RateMatrix& rateMatrix, float e1D, const RegionOfInterest& roi,
                          std::vector<float>& next);

// Labels image rows [rowBegin, rowEnd) of an online frame; rows are independent.
void depthDetectionRows(const std::vector<float>& samples, const ModelGrid& layout,
                        const std::vector<float>& current, float e2D, const RegionOfInterest& roi,
                        int rowBegin, int rowEnd, LabelMask& labels, std::vector<int>& bestRows,
                        std::vector<int>& bestCols);

void depthDetectionPass(const std::vector<float>& samples, const ModelGrid& layout,
                        const std::vector<float>& current, float e2D, const RegionOfInterest& roi,
                        LabelMask& labels, std::vector<int>& bestRows, std::vector<int>& bestCols);

void depthUpdatePass(const std::vector<float>& samples, const ModelGrid& layout,
                     const std::vector<float>& current, const LabelMask& labels,
                     const RateMatrix& rateMatrix, const std::vector<int>& bestRows,
                     const std::vector<int>& bestCols, const RegionOfInterest& roi,
                     std::vector<float>& next);
