#pragma once

#include <vector>

#include "colour/neighbourhood_kernel.hpp"
#include "masks/label_mask.hpp"
#include "masks/region_of_interest.hpp"
#include "model/model_grid.hpp"
#include "model/model_update.hpp"

namespace dadimero {

// The depth model: for every pixel an n x n block of normalised depth weights
// on the model grid, matched and then updated in place like the colour model,
// with the per-pixel results of the passes over it. A weight not greater than
// 0 marks an empty cell; a sample not greater than 0 is missing depth.
struct DepthModel {
    // Allocates every buffer, zero-filled, with working space for `workers`
    // threads.
    DepthModel(const ModelGrid& modelGrid, int workers);
    DepthModel(const DepthModel&) = delete;
    DepthModel& operator=(const DepthModel&) = delete;
    DepthModel(DepthModel&&) = default;
    DepthModel& operator=(DepthModel&&) = default;

    ModelGrid grid;
    std::vector<float> weights;  // grid.cells() floats
    LabelMask labels;            // per pixel: background, foreground or undecided
    LabelMask labelsAfter;       // calibration: this frame's labels beside the last frame's
    std::vector<int> bestRow;    // per pixel: grid row and column of its best weight
    std::vector<int> bestCol;
    std::vector<uint8_t> action;             // per pixel: ACTION_NONE, ACTION_UPDATE or ACTION_FILL
    std::vector<MatchScratch> matchScratch;  // per worker
    std::vector<UpdateScratch> updateScratch;
};

// Every cell of an inside pixel's block takes the pixel's initial background.
void initDepthModel(DepthModel& model, const std::vector<float>& initialBackground,
                    const RegionOfInterest& roi);

// A sample's search of its block: LABEL_BACKGROUND or LABEL_FOREGROUND, and
// the nearest weight (row * n + column; -1 for none).
struct DepthMatch {
    uint8_t label;
    int weight;
};

// The search of `sample` in an n x n block of depth weights (its first cell,
// rows `stride` cells apart): the nearest weight, first of equals; background
// when it lies at most eps above the sample: a sample at or above its nearest
// weight always matches.
DepthMatch findBestDepthMatch(float sample, const float* weights, size_t stride, int n, float eps);

// Online labels of the inside pixels of rows [rowBegin, rowEnd) into
// model.labels: undecided for missing samples and empty blocks, else
// background or foreground, with each searched pixel's best cell.
void depthMatchRows(const std::vector<float>& samples, DepthModel& model, float eps,
                    const RegionOfInterest& roi, int rowBegin, int rowEnd, int worker);

// Calibration matching of rows [rowBegin, rowEnd) into model.labelsAfter:
// missing samples are undecided; a pixel whose block is empty fills it with its
// sample and keeps its label; the others are labelled and, when matched,
// update the model.
void depthCalibrationMatchRows(const std::vector<float>& samples, DepthModel& model, float eps,
                               const RegionOfInterest& roi, int rowBegin, int rowEnd, int worker);

// Online: every inside pixel that model.labels calls background updates.
void depthOnlineActionRows(DepthModel& model, const RegionOfInterest& roi, int rowBegin,
                           int rowEnd);

// The update of the cells owned by pixel rows [ownedBegin, ownedEnd): samples
// blend into the windows around the best cells where the owner is labelled
// background (an empty cell takes the sample as it is), and empty blocks are
// filled. Bands of owned rows may run in parallel, each with its own worker.
void depthUpdateRows(const std::vector<float>& samples, DepthModel& model,
                     const RateMatrix& rateMatrix, const UpdateWriters& writers, int ownedBegin,
                     int ownedEnd, int worker);
// The same pass in steps: the writers of rows [writerFrom, writerTo) only,
// each step continuing the last (see runUpdatePass).
void depthUpdateWriterRows(const std::vector<float>& samples, DepthModel& model,
                           const RateMatrix& rateMatrix, const UpdateWriters& writers,
                           int ownedBegin, int ownedEnd, int writerFrom, int writerTo, int worker);

}  // namespace dadimero
