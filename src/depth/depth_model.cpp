#include "depth/depth_model.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/lanes.hpp"
#include "model/nearest_weight.hpp"
#include "model/spread_values.hpp"
#include "model/target_clones.hpp"

namespace dadimero {

namespace {

inline size_t cellIndex(const ModelGrid& grid, int64_t R, int64_t C) {
    return static_cast<size_t>(R * grid.cols() + C);
}

inline bool blockIsEmpty(const std::vector<float>& weights, const ModelGrid& grid, int r, int c) {
    const int64_t n = grid.n;
    return !(weights[cellIndex(grid, r * n + n / 2, c * n + n / 2)] > 0.0f);
}

// |sample - weight| of `count` cells, each sample spread under its block's
// cells: plain float arithmetic, the same bits on every instruction set.
DADI_TARGET_CLONES void depthDistanceRow(const float* __restrict weights,
                                         const float* __restrict spread, float* __restrict out,
                                         size_t count) {
    for (size_t k = 0; k < count; ++k)
        out[k] = std::fabs(spread[k] - weights[k]);
}

// The match of a searched sample given firstSmallest's `best` among its
// block's distances below 10000; `weights` is the block, rows `stride` apart.
template <int N>
DepthMatch searchDepth(float sample, int best, const float* weights, size_t stride, float eps) {
    // Only not-a-number weights leave no best cell; that is no match.
    if (best < 0) return {LABEL_FOREGROUND, -1};
    const double below =
        static_cast<double>(weights[static_cast<size_t>(best / N) * stride + best % N]) - sample;
    return {below <= eps ? LABEL_BACKGROUND : LABEL_FOREGROUND, best};
}

inline constexpr float kDepthSearchLimit = 10000.0f;

// Calls visit(c, best) for every pixel of row r, best being firstSmallest's
// index in its block's distances, after computing the distances of the row's
// n grid rows at once.
template <int N, typename Visit>
void visitDepthRow(const std::vector<float>& samples, const DepthModel& model, int r,
                   MatchScratch& scratch, Visit&& visit) {
    const ModelGrid& grid = model.grid;
    const size_t cols = static_cast<size_t>(grid.cols());
    float* const spread = scratch.values.data();
    float* const distances = scratch.values.data() + cols;
    const float* rowSamples = samples.data() + static_cast<size_t>(r) * grid.W;
    spreadValues(rowSamples, grid.W, N, spread);
    for (int i = 0; i < N; ++i) {
        const size_t gridRow = (static_cast<size_t>(r) * N + i) * cols;
        depthDistanceRow(model.weights.data() + gridRow, spread, distances + i * cols, cols);
    }
    firstSmallestOfRow(distances, cols, N, grid.W, kDepthSearchLimit, scratch.nearest.data(),
                       scratch.nearestDistance.data());
    for (int c = 0; c < grid.W; ++c)
        visit(c, scratch.nearest[static_cast<size_t>(c)]);
}

}  // namespace

DepthModel::DepthModel(const ModelGrid& modelGrid, int workers)
    : grid(modelGrid),
      weights(modelGrid.cells(), 0.0f),
      labels(modelGrid.pixels(), 0),
      labelsAfter(modelGrid.pixels(), 0),
      bestRow(modelGrid.pixels(), 0),
      bestCol(modelGrid.pixels(), 0),
      action(modelGrid.pixels(), ACTION_NONE) {
    matchScratch = matchScratchFor(modelGrid, 1, workers);  // the samples spread
    updateScratch.assign(static_cast<size_t>(workers), UpdateScratch(modelGrid, 1));
}

void initDepthModel(DepthModel& model, const std::vector<float>& initialBackground,
                    const RegionOfInterest& roi) {
    const ModelGrid& grid = model.grid;
    const int n = grid.n;
    for (int r = 0; r < grid.H; ++r) {
        for (int c = 0; c < grid.W; ++c) {
            const size_t p = static_cast<size_t>(r) * grid.W + c;
            if (roi.mask[p] == 0) continue;
            for (int R = r * n; R < r * n + n; ++R) {
                float* row = model.weights.data() + cellIndex(grid, R, int64_t{c} * n);
                std::fill(row, row + n, initialBackground[p]);
            }
        }
    }
}

DepthMatch findBestDepthMatch(float sample, const float* weights, size_t stride, int n, float eps) {
    return withBlockSide(n, [&](auto side) {
        constexpr int N = decltype(side)::value;
        float distance[N * N + kDistanceReadPast];
        for (int i = 0; i < N; ++i) {
            const float* row = weights + static_cast<size_t>(i) * stride;
            for (int j = 0; j < N; ++j)
                distance[i * N + j] = std::fabs(sample - row[j]);
        }
        const Nearest nearest = firstSmallest<N>(distance, N, kDepthSearchLimit);
        return searchDepth<N>(sample, nearest.index, weights, stride, eps);
    });
}

namespace {

template <int N>
void matchDepthRows(const std::vector<float>& samples, DepthModel& model, float eps,
                    const RegionOfInterest& roi, int rowBegin, int rowEnd, MatchScratch& scratch) {
    const ModelGrid& grid = model.grid;
    const auto cols = static_cast<size_t>(grid.cols());
    for (int r = std::max(rowBegin, roi.firstRow); r < rowEnd; ++r) {
        const float* rowBlocks = model.weights.data() + static_cast<size_t>(r) * N * cols;
        visitDepthRow<N>(samples, model, r, scratch, [&](int c, int best) {
            const size_t k = static_cast<size_t>(r) * grid.W + c;
            if (roi.mask[k] == 0) return;
            const float s = samples[k];
            if (!(s > 0.0f) || blockIsEmpty(model.weights, grid, r, c)) {
                model.labels[k] = LABEL_DEPTH_UNDECIDED;  // the online phase never fills a block
                return;
            }
            const DepthMatch result =
                searchDepth<N>(s, best, rowBlocks + static_cast<size_t>(c) * N, cols, eps);
            const Cell cell = blockCell<N>(r, c, result.weight);
            model.bestRow[k] = cell.row;
            model.bestCol[k] = cell.col;
            model.labels[k] = result.label;
        });
    }
}

template <int N>
void calibrateDepthRows(const std::vector<float>& samples, DepthModel& model, float eps,
                        const RegionOfInterest& roi, int rowBegin, int rowEnd,
                        MatchScratch& scratch) {
    const ModelGrid& grid = model.grid;
    const auto cols = static_cast<size_t>(grid.cols());
    for (int r = rowBegin; r < rowEnd; ++r) {
        const float* rowBlocks = model.weights.data() + static_cast<size_t>(r) * N * cols;
        visitDepthRow<N>(samples, model, r, scratch, [&](int c, int best) {
            const size_t k = static_cast<size_t>(r) * grid.W + c;
            model.labelsAfter[k] = model.labels[k];
            model.action[k] = ACTION_NONE;
            if (roi.mask[k] == 0) return;
            const float s = samples[k];
            if (!(s > 0.0f)) {
                model.labelsAfter[k] = LABEL_DEPTH_UNDECIDED;
            } else if (blockIsEmpty(model.weights, grid, r, c)) {
                model.action[k] = ACTION_FILL;
            } else {
                const DepthMatch result =
                    searchDepth<N>(s, best, rowBlocks + static_cast<size_t>(c) * N, cols, eps);
                const Cell cell = blockCell<N>(r, c, result.weight);
                model.bestRow[k] = cell.row;
                model.bestCol[k] = cell.col;
                model.labelsAfter[k] = result.label;
                if (model.labelsAfter[k] == LABEL_BACKGROUND) model.action[k] = ACTION_UPDATE;
            }
        });
    }
}

}  // namespace

void depthMatchRows(const std::vector<float>& samples, DepthModel& model, float eps,
                    const RegionOfInterest& roi, int rowBegin, int rowEnd, int worker) {
    MatchScratch& scratch = model.matchScratch[static_cast<size_t>(worker)];
    withBlockSide(model.grid.n, [&](auto side) {
        matchDepthRows<decltype(side)::value>(samples, model, eps, roi, rowBegin, rowEnd, scratch);
    });
}

void depthCalibrationMatchRows(const std::vector<float>& samples, DepthModel& model, float eps,
                               const RegionOfInterest& roi, int rowBegin, int rowEnd, int worker) {
    MatchScratch& scratch = model.matchScratch[static_cast<size_t>(worker)];
    withBlockSide(model.grid.n, [&](auto side) {
        calibrateDepthRows<decltype(side)::value>(samples, model, eps, roi, rowBegin, rowEnd,
                                                  scratch);
    });
}

void depthOnlineActionRows(DepthModel& model, const RegionOfInterest& roi, int rowBegin,
                           int rowEnd) {
    const size_t end = static_cast<size_t>(rowEnd) * model.grid.W;
    for (size_t p = static_cast<size_t>(rowBegin) * model.grid.W; p < end; ++p) {
        model.action[p] =
            roi.mask[p] != 0 && model.labels[p] == LABEL_BACKGROUND ? ACTION_UPDATE : ACTION_NONE;
    }
}

namespace {

// Blends `count` cells towards the sample s: cells = (1 - w) before + w s
// wholly in double where `before` is a weight, s where it is empty; with
// `fill`, every cell takes s. Four lanes at a time; only the run's cells are
// written, `before` may be read past it.
template <typename Count>
inline void blendDepthRun(float* cells, const float* before, const double* w, const double* keep,
                          float s, bool fill, Count count) {
    const double sd = s;
    const Double4 sv = {sd, sd, sd, sd};
    const Float4 sf = {s, s, s, s};
    for (int j = 0; j < count; j += 4) {
        if (fill) {
            storeLanes(cells + j, sf, count - j);
            continue;
        }
        const Double4 wd = loadDouble4(w + j);
        const Double4 kd = loadDouble4(keep + j);
        const Float4 old = loadFloat4(before + j);
        const Float4 blended = narrow(kd * widen(old) + wd * sv);
        const Float4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
        storeLanes(cells + j, select(old > zero, blended, sf), count - j);
    }
}

template <int N>
void updateDepthRows(const std::vector<float>& samples, DepthModel& model,
                     const RateMatrix& rateMatrix, const UpdateWriters& writers, int ownedBegin,
                     int ownedEnd, int writerFrom, int writerTo, UpdateScratch& scratch) {
    const ModelGrid& grid = model.grid;
    const size_t cols = static_cast<size_t>(grid.cols());
    float* const planes[1] = {model.weights.data()};
    // The rates in double, zero past the matrix so that four lanes can be read
    // from any entry; 1 - w stays in double.
    double w[N * N + 4] = {};
    double keep[N * N + 4] = {};
    for (int k = 0; k < N * N; ++k) {
        w[k] = rateMatrix[static_cast<size_t>(k)];
        keep[k] = 1.0 - w[k];
    }
    const float* const copies = scratch.rowBefore(0, 0);
    // A missing sample teaches nothing.
    auto write = [&](size_t p, int R, int C, auto count, int entry) {
        const float s = samples[p];
        const bool fill = entry == kFillEntry;
        if (!fill && !(s > 0.0f)) return;
        const size_t cell = static_cast<size_t>(R) * cols + static_cast<size_t>(C);
        const size_t copy = scratch.cellRowOffset<N>(R) + static_cast<size_t>(C);
        const int first = fill ? 0 : entry;
        blendDepthRun(planes[0] + cell, copies + copy, w + first, keep + first, s, fill, count);
    };
    runUpdatePass<N>(grid, writers, model.bestRow.data(), model.bestCol.data(), planes, ownedBegin,
                     ownedEnd, writerFrom, writerTo, scratch, write);
}

}  // namespace

DADI_TARGET_CLONES __attribute__((flatten)) void depthUpdateWriterRows(
    const std::vector<float>& samples, DepthModel& model, const RateMatrix& rateMatrix,
    const UpdateWriters& writers, int ownedBegin, int ownedEnd, int writerFrom, int writerTo,
    int worker) {
    UpdateScratch& scratch = model.updateScratch[static_cast<size_t>(worker)];
    withBlockSide(model.grid.n, [&](auto side) {
        updateDepthRows<decltype(side)::value>(samples, model, rateMatrix, writers, ownedBegin,
                                               ownedEnd, writerFrom, writerTo, scratch);
    });
}

void depthUpdateRows(const std::vector<float>& samples, DepthModel& model,
                     const RateMatrix& rateMatrix, const UpdateWriters& writers, int ownedBegin,
                     int ownedEnd, int worker) {
    depthUpdateWriterRows(samples, model, rateMatrix, writers, ownedBegin, ownedEnd, ownedBegin - 1,
                          ownedEnd + 1, worker);
}

}  // namespace dadimero
