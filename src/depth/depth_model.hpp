#pragma once

#include <vector>

#include "colour/neighbourhood_kernel.hpp"
#include "imageio/model_update.hpp"
#include "imageio/planes.hpp"
#include "masks/label_mask.hpp"
#include "masks/region_of_interest.hpp"

// The depth model: for every pixel an n x n block of normalised depth weights
// on the model grid, matched and then updated in place like the colour model.
// A weight not greater than 0 marks an empty cell; a sample not greater than 0
// is missing depth.

// Every cell of an inside pixel's block takes the pixel's initial background.
void initDepthModel(std::vector<float>& grid, const std::vector<float>& initialBackground,
                    const ModelGrid& layout, const RegionOfInterest& roi);

// Nearest weight (first of equals). A match when the best weight lies at most
// eps above the sample: a sample at or above its nearest weight always matches.
bool findBestDepthMatch(float sample, const std::vector<float>& grid, const ModelGrid& layout,
                        int r, int c, float eps, int& bestRow, int& bestCol);

// Online labels of the inside pixels of rows [rowBegin, rowEnd): undecided for
// missing samples and empty blocks, else background or foreground, with each
// searched pixel's best cell.
void depthMatchRows(const std::vector<float>& samples, const ModelGrid& layout,
                    const std::vector<float>& grid, float eps, const RegionOfInterest& roi,
                    int rowBegin, int rowEnd, LabelMask& labels, std::vector<int>& bestRows,
                    std::vector<int>& bestCols);

// Calibration matching of rows [rowBegin, rowEnd): missing samples are
// undecided; a pixel whose block is empty fills it with its sample and keeps
// its label; the others are labelled and, when matched, update the model.
void depthCalibrationMatchRows(const std::vector<float>& samples, const ModelGrid& layout,
                               const std::vector<float>& grid, float eps,
                               const RegionOfInterest& roi, int rowBegin, int rowEnd,
                               const LabelMask& labelsBefore, LabelMask& labelsAfter,
                               std::vector<uint8_t>& action, std::vector<int>& bestRows,
                               std::vector<int>& bestCols);

// Online: every inside pixel that depth alone labelled background updates.
void depthOnlineActionRows(const LabelMask& depthMask, const RegionOfInterest& roi, int width,
                           int rowBegin, int rowEnd, std::vector<uint8_t>& action);

// Working space of one band of the depth update, sized for the grid. A pass
// given smaller working space grows it on first use.
UpdateScratch depthUpdateScratch(const ModelGrid& layout);

// The update of the cells owned by pixel rows [ownedBegin, ownedEnd): samples
// blend into the windows around the best cells where the owner is labelled
// background (an empty cell takes the sample as it is), and empty blocks are
// filled. Bands of owned rows may run in parallel.
void depthUpdateRows(const std::vector<float>& samples, const ModelGrid& layout,
                     std::vector<float>& grid, const RateMatrix& rateMatrix,
                     const std::vector<int>& bestRows, const std::vector<int>& bestCols,
                     const UpdateWriters& writers, int ownedBegin, int ownedEnd,
                     UpdateScratch& scratch);
