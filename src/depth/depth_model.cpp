#include "depth/depth_model.hpp"

#include <algorithm>
#include <cmath>

namespace dadimero {

namespace {

inline size_t cellIndex(const ModelGrid& layout, int64_t R, int64_t C) {
    return static_cast<size_t>(R * layout.cols() + C);
}

inline bool blockIsEmpty(const std::vector<float>& grid, const ModelGrid& layout, int r, int c) {
    const int64_t n = layout.n;
    return !(grid[cellIndex(layout, r * n + n / 2, c * n + n / 2)] > 0.0f);
}

// Shared by both phases: the label of a searched sample, or undecided.
inline uint8_t searchDepth(float s, const std::vector<float>& grid, const ModelGrid& layout, int r,
                           int c, float eps, int& bestRow, int& bestCol) {
    return findBestDepthMatch(s, grid, layout, r, c, eps, bestRow, bestCol) ? LABEL_BACKGROUND
                                                                            : LABEL_FOREGROUND;
}

}  // namespace

DepthModel::DepthModel(const ModelGrid& layout, int workers)
    : grid(layout),
      weights(layout.cells(), 0.0f),
      labels(layout.pixels(), 0),
      labelsAfter(layout.pixels(), 0),
      bestRow(layout.pixels(), 0),
      bestCol(layout.pixels(), 0),
      action(layout.pixels(), ACTION_NONE) {
    // Three pixel rows of n grid rows.
    updateScratch.assign(
        static_cast<size_t>(workers),
        UpdateScratch{std::vector<float>(3 * static_cast<size_t>(layout.n * layout.cols()))});
}

void initDepthModel(DepthModel& model, const std::vector<float>& initialBackground,
                    const RegionOfInterest& roi) {
    const ModelGrid& layout = model.grid;
    const int n = layout.n;
    for (int r = 0; r < layout.H; ++r) {
        for (int c = 0; c < layout.W; ++c) {
            const size_t p = static_cast<size_t>(r) * layout.W + c;
            if (roi.mask[p] == 0) continue;
            for (int R = r * n; R < r * n + n; ++R) {
                float* row = model.weights.data() + cellIndex(layout, R, int64_t{c} * n);
                std::fill(row, row + n, initialBackground[p]);
            }
        }
    }
}

namespace {

template <int N>
int nearestDepthWeight(float sample, const float* grid, int64_t cols, int r, int c) {
    int best = -1;
    float minimum = 10000.0f;
    for (int i = 0; i < N; ++i) {
        const float* row = grid + static_cast<size_t>((int64_t{r} * N + i) * cols + int64_t{c} * N);
        for (int j = 0; j < N; ++j) {
            const float d = std::fabs(sample - row[j]);
            if (d < minimum) {
                minimum = d;
                best = i * N + j;
            }
        }
    }
    return best;
}

}  // namespace

bool findBestDepthMatch(float sample, const std::vector<float>& grid, const ModelGrid& layout,
                        int r, int c, float eps, int& bestRow, int& bestCol) {
    const int n = layout.n;
    const int64_t cols = layout.cols();
    const int best = withBlockSide(n, [&](auto side) {
        return nearestDepthWeight<decltype(side)::value>(sample, grid.data(), cols, r, c);
    });
    // Only not-a-number weights leave no best cell; that is no match.
    if (best < 0) {
        bestRow = bestCol = -1;
        return false;
    }
    bestRow = r * n + best / n;
    bestCol = c * n + best % n;
    const double below = static_cast<double>(grid[cellIndex(layout, bestRow, bestCol)]) - sample;
    return below <= eps;
}

void depthMatchRows(const std::vector<float>& samples, DepthModel& model, float eps,
                    const RegionOfInterest& roi, int rowBegin, int rowEnd) {
    const ModelGrid& layout = model.grid;
    const std::vector<float>& grid = model.weights;
    for (int r = std::max(rowBegin, roi.firstRow); r < rowEnd; ++r) {
        for (int c = 0; c < layout.W; ++c) {
            const size_t k = static_cast<size_t>(r) * layout.W + c;
            if (roi.mask[k] == 0) continue;
            const float s = samples[k];
            if (!(s > 0.0f) || blockIsEmpty(grid, layout, r, c)) {
                model.labels[k] = LABEL_DEPTH_UNDECIDED;  // the online phase never fills a block
                continue;
            }
            model.labels[k] =
                searchDepth(s, grid, layout, r, c, eps, model.bestRow[k], model.bestCol[k]);
        }
    }
}

void depthCalibrationMatchRows(const std::vector<float>& samples, DepthModel& model, float eps,
                               const RegionOfInterest& roi, int rowBegin, int rowEnd) {
    const ModelGrid& layout = model.grid;
    const std::vector<float>& grid = model.weights;
    for (int r = rowBegin; r < rowEnd; ++r) {
        for (int c = 0; c < layout.W; ++c) {
            const size_t k = static_cast<size_t>(r) * layout.W + c;
            model.labelsAfter[k] = model.labels[k];
            model.action[k] = ACTION_NONE;
            if (roi.mask[k] == 0) continue;
            const float s = samples[k];
            if (!(s > 0.0f)) {
                model.labelsAfter[k] = LABEL_DEPTH_UNDECIDED;
            } else if (blockIsEmpty(grid, layout, r, c)) {
                model.action[k] = ACTION_FILL;
            } else {
                model.labelsAfter[k] =
                    searchDepth(s, grid, layout, r, c, eps, model.bestRow[k], model.bestCol[k]);
                if (model.labelsAfter[k] == LABEL_BACKGROUND) model.action[k] = ACTION_UPDATE;
            }
        }
    }
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

template <int N>
void updateDepthRows(const std::vector<float>& samples, DepthModel& model,
                     const RateMatrix& rateMatrix, const UpdateWriters& writers, int ownedBegin,
                     int ownedEnd, std::vector<float>& scratch) {
    const ModelGrid& layout = model.grid;
    std::vector<float>& grid = model.weights;
    const std::vector<int>& bestRows = model.bestRow;
    const std::vector<int>& bestCols = model.bestCol;
    constexpr int h = N / 2;
    const int W = layout.W;
    const int64_t cols = layout.cols();
    const size_t pixelRowCells = static_cast<size_t>(N * cols);
    const int ownedCellBegin = ownedBegin * N;
    const int ownedCellEnd = ownedEnd * N;
    float* const cells = grid.data();
    // Three slots of one pixel row each, holding the cells as they were before the pass.
    float* const before = scratch.data();
    auto keepRow = [&](int q) {
        if (q < ownedBegin || q >= ownedEnd) return;
        std::copy_n(cells + q * pixelRowCells, pixelRowCells, before + (q % 3) * pixelRowCells);
    };
    double rate[N * N];
    for (int k = 0; k < N * N; ++k)
        rate[k] = rateMatrix[k];
    // An empty cell takes the sample as it is; the others blend, wholly in double.
    auto blend = [&](int R, int C, int entry, float s) {
        const float old = before[((R / N) % 3) * pixelRowCells + (R % N) * cols + C];
        const size_t k = static_cast<size_t>(R * cols + C);
        if (old > 0.0f) {
            const double w = rate[entry];
            cells[k] = static_cast<float>((1.0 - w) * old + w * s);
        } else {
            cells[k] = s;
        }
    };
    const int writerBegin = std::max(ownedBegin - 1, 0);
    const int writerEnd = std::min(ownedEnd + 1, layout.H);
    keepRow(ownedBegin);
    for (int r = writerBegin; r < writerEnd; ++r) {
        if (r + 1 > ownedBegin) keepRow(r + 1);
        for (int c = 0; c < W; ++c) {
            const size_t p = static_cast<size_t>(r) * W + c;
            const uint8_t action = writers.action[p];
            if (action == ACTION_NONE) continue;
            const float s = samples[p];
            if (action == ACTION_FILL) {
                // The whole block takes the sample; no label guards it.
                if (r < ownedBegin || r >= ownedEnd) continue;
                for (int i = 0; i < N; ++i) {
                    std::fill_n(cells + (int64_t{r} * N + i) * cols + int64_t{c} * N, N, s);
                }
                continue;
            }
            if (!(s > 0.0f)) continue;
            const int bestRow = bestRows[p];
            const int bestCol = bestCols[p];
            if (bestRow == r * N + h && bestCol == c * N + h) {
                // The window is the pixel's own block, whose label is background.
                if (r < ownedBegin || r >= ownedEnd) continue;
                for (int i = 0; i < N; ++i) {
                    for (int j = 0; j < N; ++j)
                        blend(r * N + i, c * N + j, i * N + j, s);
                }
                continue;
            }
            const int R0 = std::max(bestRow - h, 0);
            const int R1 =
                static_cast<int>(std::min<int64_t>(int64_t{bestRow} + h + 1, layout.rows()));
            const int C0 = std::max(bestCol - h, 0);
            const int C1 = static_cast<int>(std::min<int64_t>(int64_t{bestCol} + h + 1, cols));
            const int fromRow = std::max(R0, ownedCellBegin);
            const int toRow = std::min(R1, ownedCellEnd);
            for (int R = fromRow; R < toRow; ++R) {
                const size_t ownerRow = static_cast<size_t>(R / N) * W;
                for (int C = C0; C < C1; ++C) {
                    const size_t owner = ownerRow + C / N;
                    const uint8_t label =
                        owner <= p ? writers.labelsAfter[owner] : writers.labelsBefore[owner];
                    if (label != LABEL_BACKGROUND) continue;
                    blend(R, C, (R - R0) * N + (C - C0), s);
                }
            }
        }
    }
}

}  // namespace

void depthUpdateRows(const std::vector<float>& samples, DepthModel& model,
                     const RateMatrix& rateMatrix, const UpdateWriters& writers, int ownedBegin,
                     int ownedEnd, int worker) {
    std::vector<float>& scratch = model.updateScratch[static_cast<size_t>(worker)].rows;
    withBlockSide(model.grid.n, [&](auto side) {
        updateDepthRows<decltype(side)::value>(samples, model, rateMatrix, writers, ownedBegin,
                                               ownedEnd, scratch);
    });
}

}  // namespace dadimero
