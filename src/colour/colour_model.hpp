#pragma once

#include <vector>

#include "colour/colour_space.hpp"
#include "colour/neighbourhood_kernel.hpp"
#include "colour/shadow.hpp"
#include "masks/label_mask.hpp"
#include "masks/region_of_interest.hpp"
#include "model/model_grid.hpp"
#include "model/model_update.hpp"
#include "model/planes.hpp"

namespace dadimero {

// The colour model: for every pixel an n x n block of cone-space weights on the
// model grid, n one of 1, 3, 5, 7 and 9, with the per-pixel results of the
// passes over it. A frame is first matched against the model as it stands,
// then the model learns in place (see UpdateScratch), so matching always sees
// the model of the previous frame and updates never compound within a frame.
struct ColourModel {
    // Allocates every buffer, zero-filled, with working space for `workers`
    // threads.
    ColourModel(const ModelGrid& modelGrid, int workers);
    ColourModel(const ColourModel&) = delete;
    ColourModel& operator=(const ColourModel&) = delete;
    ColourModel(ColourModel&&) = default;
    ColourModel& operator=(ColourModel&&) = default;

    ModelGrid grid;
    PlaneSet weights;          // three planes of grid.cells() floats
    LabelMask labels;          // per pixel: background, shadow or foreground
    LabelMask labelsAfter;     // calibration: this frame's labels beside the last frame's
    std::vector<int> bestRow;  // per pixel: grid row and column of its best weight
    std::vector<int> bestCol;
    std::vector<uint8_t> action;             // per pixel: ACTION_NONE or ACTION_UPDATE
    std::vector<MatchScratch> matchScratch;  // per worker
    std::vector<UpdateScratch> updateScratch;
};

inline constexpr int MATCH_NONE = 0;
inline constexpr int MATCH_BACKGROUND = 1;
inline constexpr int MATCH_SHADOW = 2;

// Every cell of an inside pixel's block takes the pixel's background colour.
void initColourModel(ColourModel& model, const PlaneSet& background, const RegionOfInterest& roi);

// A pixel's match against its block: MATCH_BACKGROUND, MATCH_SHADOW or
// MATCH_NONE, and the weight it settled on (row * n + column; -1 for none).
struct ColourMatch {
    int match;
    int weight;
};

// The match of a pixel of cone coordinates `pixel` against the n x n block of
// weights of its model: the nearest weight (squared distance, first of equals,
// the centre on a tie); MATCH_BACKGROUND when it lies within eps, else
// MATCH_SHADOW with the shadow's weight when `shadow` is given and explains
// the pixel, else MATCH_NONE.
ColourMatch findBestColourMatch(ConePoint pixel, const PlaneBlock& weights, int n, float eps,
                                const ShadowThresholds* shadow);

// The block of pixel (r, c) in the model's weights.
inline PlaneBlock blockOf(const PlaneSet& weights, const ModelGrid& grid, int r, int c) {
    const size_t first = grid.blockStart(r, c);
    return {{weights.plane[0].data() + first, weights.plane[1].data() + first,
             weights.plane[2].data() + first},
            static_cast<size_t>(grid.cols())};
}

// Labels the inside pixels of image rows [rowBegin, rowEnd) into model.labels
// (background, shadow or foreground) and records each one's best weight. Rows
// are independent, so bands may run in parallel, each with its own worker.
void colourMatchRows(const PlaneSet& frame, ColourModel& model, float eps,
                     const ShadowThresholds* shadow, const RegionOfInterest& roi, int rowBegin,
                     int rowEnd, int worker);

// Calibration matching for rows [rowBegin, rowEnd): model.labelsAfter receives
// the new labels (model.labels where a pixel is not visited) and model.action
// marks the matched pixels, which update the model.
void colourCalibrationMatchRows(const PlaneSet& frame, ColourModel& model, float eps,
                                const ShadowThresholds* shadow, const RegionOfInterest& roi,
                                int rowBegin, int rowEnd, int worker);

// Online: every inside pixel that `filteredMask` calls background updates.
void colourOnlineActionRows(ColourModel& model, const LabelMask& filteredMask,
                            const RegionOfInterest& roi, int rowBegin, int rowEnd);

// The update of the cells owned by pixel rows [ownedBegin, ownedEnd): each
// updating pixel pulls the weights of the window around its best weight
// towards its colour, at the rates of the rate matrix, where the owner of a
// cell is labelled background. Bands of owned rows may run in parallel.
void colourUpdateRows(const PlaneSet& frame, ColourModel& model, const RateMatrix& rateMatrix,
                      const UpdateWriters& writers, int ownedBegin, int ownedEnd, int worker);
// The same pass in steps: the writers of rows [writerFrom, writerTo) only,
// each step continuing the last (see runUpdatePass).
void colourUpdateWriterRows(const PlaneSet& frame, ColourModel& model, const RateMatrix& rateMatrix,
                            const UpdateWriters& writers, int ownedBegin, int ownedEnd,
                            int writerFrom, int writerTo, int worker);

}  // namespace dadimero
