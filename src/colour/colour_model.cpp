#include "colour/colour_model.hpp"

#include <algorithm>

#include "colour/shadow.hpp"

// AVX2 and plain clones of a hot loop, chosen when the program loads. The
// sanitizers' runtimes are not ready that early, so their builds get the plain
// loop alone; both give the same bits.
#ifdef DADI_NO_TARGET_CLONES
#define DADI_TARGET_CLONES
#else
#define DADI_TARGET_CLONES __attribute__((target_clones("avx2", "default")))
#endif

namespace dadimero {

namespace {

inline uint8_t labelOf(int match) {
    if (match == MATCH_BACKGROUND) return LABEL_BACKGROUND;
    if (match == MATCH_SHADOW) return LABEL_SHADOW;
    return LABEL_FOREGROUND;
}

}  // namespace

ColourModel::ColourModel(const ModelGrid& layout, int workers)
    : grid(layout),
      weights(allocFloatPlanes(layout.cells())),
      labels(layout.pixels(), 0),
      labelsAfter(layout.pixels(), 0),
      bestRow(layout.pixels(), 0),
      bestCol(layout.pixels(), 0),
      action(layout.pixels(), ACTION_NONE) {
    // Per image row: each pixel's colour spread under its n cells (3 planes),
    // and n grid rows of distances.
    const auto cols = static_cast<size_t>(layout.cols());
    matchScratch.assign(
        static_cast<size_t>(workers),
        MatchScratch{std::vector<float>((3 + static_cast<size_t>(layout.n)) * cols)});
    // Three pixel rows of n grid rows, for each of the three planes.
    updateScratch.assign(
        static_cast<size_t>(workers),
        UpdateScratch{std::vector<float>(9 * static_cast<size_t>(layout.n) * cols)});
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

// The nearest weight among a block's N x N distances (row-major): the first
// strictly smallest, -1 when none is below 100. `matched` tells whether it lies
// within eps; then the centre takes every tie with it.
template <int N>
int pickNearest(const float* distance, size_t stride, float eps, bool& matched) {
    int best = -1;
    float minimum = 100.0f;
    for (int i = 0; i < N; ++i) {
        for (int j = 0; j < N; ++j) {
            // Branch-free: the outcome depends on the data and mispredicts.
            const float d = distance[i * stride + j];
            const bool smaller = d < minimum;
            minimum = smaller ? d : minimum;
            best = smaller ? i * N + j : best;
        }
    }
    matched = best >= 0 && minimum <= eps;
    constexpr int centre = (N / 2) * N + N / 2;
    if (matched && distance[(N / 2) * stride + N / 2] <= minimum) best = centre;
    return best;
}

int pickNearest(int n, const float* distance, size_t stride, float eps, bool& matched) {
    return withBlockSide(n, [&](auto side) {
        return pickNearest<decltype(side)::value>(distance, stride, eps, matched);
    });
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

// The match of one pixel given its block's distances.
int matchFromDistances(const float* distance, size_t stride, float x, float y, float z,
                       const PlaneSet& model, const ModelGrid& grid, int r, int c, float eps,
                       const ShadowThresholds* shadow, int& bestRow, int& bestCol) {
    const int n = grid.n;
    bool matched = false;
    const int best = pickNearest(n, distance, stride, eps, matched);
    bestRow = best < 0 ? -1 : r * n + best / n;
    bestCol = best < 0 ? -1 : c * n + best % n;
    if (matched) return MATCH_BACKGROUND;
    if (shadow != nullptr && isShadow(x, y, z, model, grid, r, c, *shadow, bestRow, bestCol)) {
        return MATCH_SHADOW;
    }
    return MATCH_NONE;
}

}  // namespace

int findBestColourMatch(float x, float y, float z, const PlaneSet& model, const ModelGrid& grid,
                        int r, int c, float eps, const ShadowThresholds* shadow, int& bestRow,
                        int& bestCol) {
    const int n = grid.n;
    const int64_t cols = grid.cols();
    float distance[kMaxBlockSide * kMaxBlockSide];
    for (int i = 0; i < n; ++i) {
        const size_t rowBase = static_cast<size_t>((int64_t{r} * n + i) * cols + int64_t{c} * n);
        for (int j = 0; j < n; ++j) {
            const size_t k = rowBase + j;
            distance[i * n + j] = coneDistance(static_cast<double>(model.plane[0][k]) - x,
                                               static_cast<double>(model.plane[1][k]) - y,
                                               static_cast<double>(model.plane[2][k]) - z);
        }
    }
    return matchFromDistances(distance, static_cast<size_t>(n), x, y, z, model, grid, r, c, eps,
                              shadow, bestRow, bestCol);
}

namespace {

// Labels rows [rowBegin, rowEnd) into `labels`.
void matchRowsInto(const PlaneSet& framePlanes, ColourModel& colour, float eps,
                   const ShadowThresholds* shadow, const RegionOfInterest& roi, int rowBegin,
                   int rowEnd, int worker, LabelMask& labels) {
    const ModelGrid& grid = colour.grid;
    const PlaneSet& model = colour.weights;
    const int n = grid.n;
    const size_t cols = static_cast<size_t>(grid.cols());
    // Per image row: each pixel's colour repeated under its n cells, then the
    // distances of the n grid rows of the row's blocks, in long vector loops.
    std::vector<float>& scratch = colour.matchScratch[static_cast<size_t>(worker)].values;
    float* const spread[3] = {scratch.data(), scratch.data() + cols, scratch.data() + 2 * cols};
    float* const distances = scratch.data() + 3 * cols;
    for (int r = std::max(rowBegin, roi.firstRow); r < rowEnd; ++r) {
        const size_t rowStart = static_cast<size_t>(r) * grid.W;
        for (int i = 0; i < 3; ++i) {
            const float* values = framePlanes.plane[i].data() + rowStart;
            for (int c = 0; c < grid.W; ++c)
                std::fill_n(spread[i] + c * n, n, values[c]);
        }
        for (int i = 0; i < n; ++i) {
            const size_t gridRow = (static_cast<size_t>(r) * n + i) * cols;
            distanceRow(model.plane[0].data() + gridRow, model.plane[1].data() + gridRow,
                        model.plane[2].data() + gridRow, spread[0], spread[1], spread[2],
                        distances + i * cols, cols);
        }
        for (int c = 0; c < grid.W; ++c) {
            const size_t p = rowStart + c;
            if (roi.mask[p] == 0) continue;
            const int match = matchFromDistances(distances + static_cast<size_t>(c) * n, cols,
                                                 framePlanes.plane[0][p], framePlanes.plane[1][p],
                                                 framePlanes.plane[2][p], model, grid, r, c, eps,
                                                 shadow, colour.bestRow[p], colour.bestCol[p]);
            labels[p] = labelOf(match);
        }
    }
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

template <int N>
void updateColourRows(const PlaneSet& framePlanes, ColourModel& colour,
                      const RateMatrix& rateMatrix, const UpdateWriters& writers, int ownedBegin,
                      int ownedEnd, std::vector<float>& scratch) {
    const ModelGrid& grid = colour.grid;
    PlaneSet& model = colour.weights;
    const std::vector<int>& bestRows = colour.bestRow;
    const std::vector<int>& bestCols = colour.bestCol;
    constexpr int h = N / 2;
    const int W = grid.W;
    const int64_t cols = grid.cols();
    const size_t pixelRowCells = static_cast<size_t>(N * cols);  // cells of one pixel row
    const int ownedCellBegin = ownedBegin * N;
    const int ownedCellEnd = ownedEnd * N;
    float* const planes[3] = {model.plane[0].data(), model.plane[1].data(), model.plane[2].data()};
    // Three slots of one pixel row each, per plane, holding the cells as they
    // were before the pass.
    float* const before = scratch.data();
    auto keepRow = [&](int q) {
        if (q < ownedBegin || q >= ownedEnd) return;
        for (int i = 0; i < 3; ++i) {
            std::copy_n(planes[i] + q * pixelRowCells, pixelRowCells,
                        before + (i * 3 + q % 3) * pixelRowCells);
        }
    };
    // w and 1 - w (rounded to float first) of every rate, as the blend uses them.
    double rate[N * N];
    double keep[N * N];
    for (int k = 0; k < N * N; ++k) {
        rate[k] = rateMatrix[k];
        keep[k] = static_cast<float>(1.0 - rate[k]);
    }
    // Cell (R, C) from its value before the pass; later writers overwrite it.
    auto blend = [&](int R, int C, int entry, double px, double py, double pz) {
        const size_t k = static_cast<size_t>(R * cols + C);
        const size_t slot = ((R / N) % 3) * pixelRowCells + (R % N) * cols + C;
        const double w = rate[entry];
        const double kept = keep[entry];
        planes[0][k] = static_cast<float>(kept * before[slot] + w * px);
        planes[1][k] = static_cast<float>(kept * before[3 * pixelRowCells + slot] + w * py);
        planes[2][k] = static_cast<float>(kept * before[6 * pixelRowCells + slot] + w * pz);
    };
    // Windows reach at most one pixel beyond their own block.
    const int writerBegin = std::max(ownedBegin - 1, 0);
    const int writerEnd = std::min(ownedEnd + 1, grid.H);
    keepRow(ownedBegin);
    for (int r = writerBegin; r < writerEnd; ++r) {
        if (r + 1 > ownedBegin) keepRow(r + 1);
        for (int c = 0; c < W; ++c) {
            const size_t p = static_cast<size_t>(r) * W + c;
            if (writers.action[p] != ACTION_UPDATE) continue;
            const double px = framePlanes.plane[0][p];
            const double py = framePlanes.plane[1][p];
            const double pz = framePlanes.plane[2][p];
            const int bestRow = bestRows[p];
            const int bestCol = bestCols[p];
            if (bestRow == r * N + h && bestCol == c * N + h) {
                // The window is the pixel's own block, whose label is background.
                if (r < ownedBegin || r >= ownedEnd) continue;
                const size_t slotBase = static_cast<size_t>(r % 3) * pixelRowCells + c * N;
                const size_t modelBase = static_cast<size_t>(r) * pixelRowCells + c * N;
                for (int i = 0; i < N; ++i) {
                    const float* fromX = before + slotBase + i * cols;
                    const float* fromY = fromX + 3 * pixelRowCells;
                    const float* fromZ = fromX + 6 * pixelRowCells;
                    const size_t to = modelBase + i * cols;
                    for (int j = 0; j < N; ++j) {
                        const double w = rate[i * N + j];
                        const double kept = keep[i * N + j];
                        planes[0][to + j] = static_cast<float>(kept * fromX[j] + w * px);
                        planes[1][to + j] = static_cast<float>(kept * fromY[j] + w * py);
                        planes[2][to + j] = static_cast<float>(kept * fromZ[j] + w * pz);
                    }
                }
                continue;
            }
            const int rowStart = std::max(bestRow - h, 0);
            const int rowLast =
                static_cast<int>(std::min<int64_t>(int64_t{bestRow} + h, grid.rows() - 1));
            const int colStart = std::max(bestCol - h, 0);
            const int colLast = static_cast<int>(std::min<int64_t>(int64_t{bestCol} + h, cols - 1));
            const int fromRow = std::max(rowStart, ownedCellBegin);
            const int toRow = std::min(rowLast, ownedCellEnd - 1);
            for (int R = fromRow; R <= toRow; ++R) {
                const size_t ownerRow = static_cast<size_t>(R / N) * W;
                for (int C = colStart; C <= colLast; ++C) {
                    const size_t owner = ownerRow + C / N;
                    const uint8_t label =
                        owner <= p ? writers.labelsAfter[owner] : writers.labelsBefore[owner];
                    if (label != LABEL_BACKGROUND) continue;
                    blend(R, C, (R - rowStart) * N + (C - colStart), px, py, pz);
                }
            }
        }
    }
}

}  // namespace

void colourUpdateRows(const PlaneSet& frame, ColourModel& model, const RateMatrix& rateMatrix,
                      const UpdateWriters& writers, int ownedBegin, int ownedEnd, int worker) {
    std::vector<float>& scratch = model.updateScratch[static_cast<size_t>(worker)].rows;
    withBlockSide(model.grid.n, [&](auto side) {
        updateColourRows<decltype(side)::value>(frame, model, rateMatrix, writers, ownedBegin,
                                                ownedEnd, scratch);
    });
}

}  // namespace dadimero
