#include "colour/colour_model.hpp"

#include <algorithm>
#include <cstring>

#include "colour/shadow.hpp"
#include "model/lanes.hpp"
#include "model/nearest_weight.hpp"
#include "model/spread_values.hpp"
#include "model/target_clones.hpp"

namespace dadimero {

namespace {

inline uint8_t labelOf(int match) {
    if (match == MATCH_BACKGROUND) return LABEL_BACKGROUND;
    if (match == MATCH_SHADOW) return LABEL_SHADOW;
    return LABEL_FOREGROUND;
}

}  // namespace

ColourModel::ColourModel(const ModelGrid& modelGrid, int workers)
    : grid(modelGrid),
      weights(allocFloatPlanes(modelGrid.cells())),
      labels(modelGrid.pixels(), 0),
      labelsAfter(modelGrid.pixels(), 0),
      bestRow(modelGrid.pixels(), 0),
      bestCol(modelGrid.pixels(), 0),
      action(modelGrid.pixels(), ACTION_NONE) {
    matchScratch = matchScratchFor(modelGrid, 3, workers);  // x, y and z spread
    updateScratch.assign(static_cast<size_t>(workers), UpdateScratch(modelGrid, 3));
}

void initColourModel(ColourModel& model, const PlaneSet& background, const RegionOfInterest& roi) {
    const ModelGrid& grid = model.grid;
    const int n = grid.n;
    const int64_t cols = grid.cols();
    for (int r = 0; r < grid.H; ++r) {
        for (int c = 0; c < grid.W; ++c) {
            const size_t p = static_cast<size_t>(r) * grid.W + c;
            if (roi.mask[p] == 0) continue;
            for (int R = r * n; R < r * n + n; ++R) {
                for (int C = c * n; C < c * n + n; ++C) {
                    const size_t k = static_cast<size_t>(R * cols + C);
                    for (int i = 0; i < 3; ++i)
                        model.weights.plane[i][k] = background.plane[i][p];
                }
            }
        }
    }
}

namespace {

// The match of a block's nearest weight, given its distances (rows `stride`
// apart) and firstSmallest's nearest below 100: background when it lies
// within eps, and then the centre takes every tie with it; else none.
template <int N>
ColourMatch nearestMatch(const float* distance, size_t stride, Nearest nearest, float eps) {
    const bool matched = nearest.index >= 0 && nearest.distance <= eps;
    if (!matched) return {MATCH_NONE, nearest.index};
    constexpr int centre = (N / 2) * N + N / 2;
    if (distance[(N / 2) * stride + N / 2] <= nearest.distance) return {MATCH_BACKGROUND, centre};
    return {MATCH_BACKGROUND, nearest.index};
}

// A shadow, with its weight, where the shadow test explains a pixel its
// nearest weight did not match; else `unmatched`. Apart from the nearest
// match, so that the block's pointers are made only for the pixels it tests.
ColourMatch shadowMatch(ConePoint pixel, const PlaneBlock& weights, int n,
                        const ShadowThresholds& shadow, ColourMatch unmatched) {
    const int weight = shadowWeight(pixel, weights, n, shadow);
    return weight >= 0 ? ColourMatch{MATCH_SHADOW, weight} : unmatched;
}

// Squared cone-space distance, summed in double as ((dz^2 + dy^2) + dx^2) and
// rounded once, so that equal weights give exactly equal distances.
inline float coneDistance(double dx, double dy, double dz) {
    return static_cast<float>(dz * dz + dy * dy + dx * dx);
}

// Distances of `count` cells to the pixel colours beside them. Plain IEEE
// arithmetic, so every instruction set gives the same bits.
DADI_TARGET_CLONES void distanceRow(const float* mx, const float* my, const float* mz,
                                    const float* px, const float* py, const float* pz, float* out,
                                    size_t count) {
    for (size_t k = 0; k < count; ++k) {
        out[k] =
            coneDistance(static_cast<double>(mx[k]) - px[k], static_cast<double>(my[k]) - py[k],
                         static_cast<double>(mz[k]) - pz[k]);
    }
}

}  // namespace

ColourMatch findBestColourMatch(ConePoint pixel, const PlaneBlock& weights, int n, float eps,
                                const ShadowThresholds* shadow) {
    float distance[kMaxBlockSide * kMaxBlockSide + kDistanceReadPast];
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const size_t k = static_cast<size_t>(i) * weights.stride + static_cast<size_t>(j);
            distance[i * n + j] = coneDistance(static_cast<double>(weights.plane[0][k]) - pixel.x,
                                               static_cast<double>(weights.plane[1][k]) - pixel.y,
                                               static_cast<double>(weights.plane[2][k]) - pixel.z);
        }
    }
    const ColourMatch nearest = withBlockSide(n, [&](auto side) {
        constexpr int N = decltype(side)::value;
        return nearestMatch<N>(distance, N, firstSmallest<N>(distance, N, 100.0f), eps);
    });
    if (nearest.match != MATCH_NONE || shadow == nullptr) return nearest;
    return shadowMatch(pixel, weights, n, *shadow, nearest);
}

namespace {

// Labels rows [rowBegin, rowEnd) into `labels`.
template <int N>
void matchRowsInto(const PlaneSet& framePlanes, ColourModel& colour, float eps,
                   const ShadowThresholds* shadow, const RegionOfInterest& roi, int rowBegin,
                   int rowEnd, int worker, LabelMask& labels) {
    const ModelGrid& grid = colour.grid;
    const PlaneSet& model = colour.weights;
    const size_t cols = static_cast<size_t>(grid.cols());
    // Per image row: each pixel's colour repeated under its n cells, then the
    // distances of the n grid rows of the row's blocks, in long vector loops.
    MatchScratch& match = colour.matchScratch[static_cast<size_t>(worker)];
    std::vector<float>& scratch = match.values;
    float* const spread[3] = {scratch.data(), scratch.data() + cols, scratch.data() + 2 * cols};
    float* const distances = scratch.data() + 3 * cols;
    for (int r = std::max(rowBegin, roi.firstRow); r < rowEnd; ++r) {
        const size_t rowStart = static_cast<size_t>(r) * grid.W;
        for (int i = 0; i < 3; ++i)
            spreadValues(framePlanes.plane[i].data() + rowStart, grid.W, N, spread[i]);
        for (int i = 0; i < N; ++i) {
            const size_t gridRow = (static_cast<size_t>(r) * N + i) * cols;
            distanceRow(model.plane[0].data() + gridRow, model.plane[1].data() + gridRow,
                        model.plane[2].data() + gridRow, spread[0], spread[1], spread[2],
                        distances + i * cols, cols);
        }
        firstSmallestOfRow(distances, cols, N, grid.W, 100.0f, match.nearest.data(),
                           match.nearestDistance.data());
        for (int c = 0; c < grid.W; ++c) {
            const size_t p = rowStart + c;
            if (roi.mask[p] == 0) continue;
            ColourMatch result = nearestMatch<N>(distances + static_cast<size_t>(c) * N, cols,
                                                 {match.nearest[c], match.nearestDistance[c]}, eps);
            if (result.match == MATCH_NONE && shadow != nullptr) {
                const ConePoint pixel{framePlanes.plane[0][p], framePlanes.plane[1][p],
                                      framePlanes.plane[2][p]};
                result = shadowMatch(pixel, blockOf(model, grid, r, c), N, *shadow, result);
            }
            const Cell best = blockCell<N>(r, c, result.weight);
            colour.bestRow[p] = best.row;
            colour.bestCol[p] = best.col;
            labels[p] = labelOf(result.match);
        }
    }
}

void matchRowsInto(const PlaneSet& framePlanes, ColourModel& colour, float eps,
                   const ShadowThresholds* shadow, const RegionOfInterest& roi, int rowBegin,
                   int rowEnd, int worker, LabelMask& labels) {
    withBlockSide(colour.grid.n, [&](auto side) {
        matchRowsInto<decltype(side)::value>(framePlanes, colour, eps, shadow, roi, rowBegin,
                                             rowEnd, worker, labels);
    });
}

}  // namespace

void colourMatchRows(const PlaneSet& frame, ColourModel& model, float eps,
                     const ShadowThresholds* shadow, const RegionOfInterest& roi, int rowBegin,
                     int rowEnd, int worker) {
    matchRowsInto(frame, model, eps, shadow, roi, rowBegin, rowEnd, worker, model.labels);
}

void colourCalibrationMatchRows(const PlaneSet& frame, ColourModel& model, float eps,
                                const ShadowThresholds* shadow, const RegionOfInterest& roi,
                                int rowBegin, int rowEnd, int worker) {
    const size_t begin = static_cast<size_t>(rowBegin) * model.grid.W;
    const size_t end = static_cast<size_t>(rowEnd) * model.grid.W;
    std::copy(model.labels.begin() + begin, model.labels.begin() + end,
              model.labelsAfter.begin() + begin);
    matchRowsInto(frame, model, eps, shadow, roi, rowBegin, rowEnd, worker, model.labelsAfter);
    for (size_t p = begin; p < end; ++p) {
        model.action[p] = roi.mask[p] != 0 && model.labelsAfter[p] == LABEL_BACKGROUND
                              ? ACTION_UPDATE
                              : ACTION_NONE;
    }
}

void colourOnlineActionRows(ColourModel& model, const LabelMask& filteredMask,
                            const RegionOfInterest& roi, int rowBegin, int rowEnd) {
    const size_t end = static_cast<size_t>(rowEnd) * model.grid.W;
    for (size_t p = static_cast<size_t>(rowBegin) * model.grid.W; p < end; ++p) {
        model.action[p] =
            roi.mask[p] != 0 && filteredMask[p] == LABEL_BACKGROUND ? ACTION_UPDATE : ACTION_NONE;
    }
}

namespace {

// Blends `count` cells of one plane towards v: cells = (1 - w) before + w v,
// with 1 - w rounded to float first (`kept`) and the sum in double, four lanes
// at a time. Only the run's cells are written; `before` may be read past it.
template <typename Count>
inline void blendColourRun(float* cells, const float* before, const double* w, const double* kept,
                           double v, Count count) {
    const Double4 vv = {v, v, v, v};
    for (int j = 0; j < count; j += 4) {
        const Double4 wd = loadDouble4(w + j);
        const Double4 kd = loadDouble4(kept + j);
        const Double4 old = widen(loadFloat4(before + j));
        storeLanes(cells + j, narrow(kd * old + wd * vv), count - j);
    }
}

template <int N>
void updateColourRows(const PlaneSet& framePlanes, ColourModel& colour,
                      const RateMatrix& rateMatrix, const UpdateWriters& writers, int ownedBegin,
                      int ownedEnd, int writerFrom, int writerTo, UpdateScratch& scratch) {
    const ModelGrid& grid = colour.grid;
    const size_t cols = static_cast<size_t>(grid.cols());
    float* const planes[3] = {colour.weights.plane[0].data(), colour.weights.plane[1].data(),
                              colour.weights.plane[2].data()};
    // The rates in double, zero past the matrix so that four lanes can be read
    // from any entry.
    double w[N * N + 4] = {};
    double kept[N * N + 4] = {};
    for (int k = 0; k < N * N; ++k) {
        w[k] = rateMatrix[static_cast<size_t>(k)];
        kept[k] = static_cast<float>(1.0 - w[k]);
    }
    const float* const copies[3] = {scratch.rowBefore(0, 0), scratch.rowBefore(1, 0),
                                    scratch.rowBefore(2, 0)};
    auto write = [&](size_t p, int R, int C, auto count, int entry) {
        const size_t cell = static_cast<size_t>(R) * cols + static_cast<size_t>(C);
        const size_t copy = scratch.cellRowOffset<N>(R) + static_cast<size_t>(C);
        for (int i = 0; i < 3; ++i) {
            blendColourRun(planes[i] + cell, copies[i] + copy, w + entry, kept + entry,
                           framePlanes.plane[i][p], count);
        }
    };
    runUpdatePass<N>(grid, writers, colour.bestRow.data(), colour.bestCol.data(), planes,
                     ownedBegin, ownedEnd, writerFrom, writerTo, scratch, write);
}

}  // namespace

DADI_TARGET_CLONES __attribute__((flatten)) void colourUpdateWriterRows(
    const PlaneSet& frame, ColourModel& model, const RateMatrix& rateMatrix,
    const UpdateWriters& writers, int ownedBegin, int ownedEnd, int writerFrom, int writerTo,
    int worker) {
    UpdateScratch& scratch = model.updateScratch[static_cast<size_t>(worker)];
    withBlockSide(model.grid.n, [&](auto side) {
        updateColourRows<decltype(side)::value>(frame, model, rateMatrix, writers, ownedBegin,
                                                ownedEnd, writerFrom, writerTo, scratch);
    });
}

void colourUpdateRows(const PlaneSet& frame, ColourModel& model, const RateMatrix& rateMatrix,
                      const UpdateWriters& writers, int ownedBegin, int ownedEnd, int worker) {
    colourUpdateWriterRows(frame, model, rateMatrix, writers, ownedBegin, ownedEnd, ownedBegin - 1,
                           ownedEnd + 1, worker);
}

}  // namespace dadimero
