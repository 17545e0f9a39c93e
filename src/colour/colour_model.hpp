#pragma once

#include <vector>

#include "colour/neighbourhood_kernel.hpp"
#include "imageio/model_update.hpp"
#include "imageio/planes.hpp"
#include "masks/label_mask.hpp"
#include "masks/region_of_interest.hpp"
#include "run/run_parameters.hpp"

// The colour model: for every pixel an n x n block of cone-space weights on the
// model grid, n one of 1, 3, 5, 7 and 9. A frame is first matched against the
// model as it stands, then the model learns in place (see UpdateScratch), so
// matching always sees the model of the previous frame and updates never
// compound within a frame.

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

// Labels the inside pixels of image rows [rowBegin, rowEnd) (background,
// shadow or foreground) and records each one's best weight. Rows are
// independent, so bands may run in parallel.
void colourMatchRows(const PlaneSet& framePlanes, const ModelGrid& grid, const PlaneSet& model,
                     float eps, const RunParameters& params, const RegionOfInterest& roi,
                     int rowBegin, int rowEnd, LabelMask& labels, std::vector<int>& bestRows,
                     std::vector<int>& bestCols, MatchScratch& scratch);

// Calibration matching for rows [rowBegin, rowEnd): labelsAfter receives the
// new labels (labelsBefore where a pixel is not visited) and action marks the
// matched pixels, which update the model.
void colourCalibrationMatchRows(const PlaneSet& framePlanes, const ModelGrid& grid,
                                const PlaneSet& model, float eps, const RunParameters& params,
                                const RegionOfInterest& roi, int rowBegin, int rowEnd,
                                const LabelMask& labelsBefore, LabelMask& labelsAfter,
                                std::vector<uint8_t>& action, std::vector<int>& bestRows,
                                std::vector<int>& bestCols, MatchScratch& scratch);

// Online: every inside pixel labelled background updates the model.
void colourOnlineActionRows(const LabelMask& filteredMask, const RegionOfInterest& roi, int width,
                            int rowBegin, int rowEnd, std::vector<uint8_t>& action);

// Working space of one band of the colour passes, sized for the grid. A pass
// given smaller working space grows it on first use.
MatchScratch colourMatchScratch(const ModelGrid& grid);
UpdateScratch colourUpdateScratch(const ModelGrid& grid);

// The update of the cells owned by pixel rows [ownedBegin, ownedEnd): each
// updating pixel pulls the weights of the window around its best weight
// towards its colour, at the rates of the rate matrix, where the owner of a
// cell is labelled background. Bands of owned rows may run in parallel.
void colourUpdateRows(const PlaneSet& framePlanes, const ModelGrid& grid, PlaneSet& model,
                      const RateMatrix& rateMatrix, const std::vector<int>& bestRows,
                      const std::vector<int>& bestCols, const UpdateWriters& writers,
                      int ownedBegin, int ownedEnd, UpdateScratch& scratch);
