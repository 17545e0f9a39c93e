#include "colour/colour_model.hpp"

#include <algorithm>

#include "colour/shadow.hpp"

namespace {

// Squared cone-space distance, summed in double as ((dz^2 + dy^2) + dx^2) and
// rounded once, so that equal weights give exactly equal distances.
inline float coneDistance(float x, float y, float z, const float* mx, const float* my,
                          const float* mz, size_t k) {
    const double dz = static_cast<double>(mz[k]) - z;
    const double dy = static_cast<double>(my[k]) - y;
    const double dx = static_cast<double>(mx[k]) - x;
    return static_cast<float>(dz * dz + dy * dy + dx * dx);
}

inline uint8_t labelOf(int match) {
    if (match == MATCH_BACKGROUND) return LABEL_BACKGROUND;
    if (match == MATCH_SHADOW) return LABEL_SHADOW;
    return LABEL_FOREGROUND;
}

}  // namespace

void initColourModel(PlaneSet& model, const PlaneSet& background, const ModelGrid& grid,
                     const RegionOfInterest& roi) {
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
                        model.plane[i][k] = background.plane[i][p];
                }
            }
        }
    }
}

int findBestColourMatch(float x, float y, float z, const PlaneSet& model, const ModelGrid& grid,
                        int r, int c, float eps, const RunParameters& params, int& bestRow,
                        int& bestCol) {
    const float* mx = model.plane[0].data();
    const float* my = model.plane[1].data();
    const float* mz = model.plane[2].data();
    const int n = grid.n;
    const int64_t cols = grid.cols();
    bestRow = -1;
    bestCol = -1;
    float minimum = 100.0f;
    bool matched = false;
    for (int R = r * n; R < r * n + n; ++R) {
        for (int C = c * n; C < c * n + n; ++C) {
            const float d = coneDistance(x, y, z, mx, my, mz, static_cast<size_t>(R * cols + C));
            if (d < minimum) {
                minimum = d;
                bestRow = R;
                bestCol = C;
                if (d <= eps) matched = true;
            }
        }
    }
    if (matched) {
        const int centreRow = r * n + n / 2;
        const int centreCol = c * n + n / 2;
        const float centre =
            coneDistance(x, y, z, mx, my, mz, static_cast<size_t>(centreRow * cols + centreCol));
        if (centre <= minimum) {
            bestRow = centreRow;
            bestCol = centreCol;
        }
        return MATCH_BACKGROUND;
    }
    if (params.shadowRemoval != 0 &&
        isShadow(x, y, z, model, grid, r, c, params, bestRow, bestCol)) {
        return MATCH_SHADOW;
    }
    return MATCH_NONE;
}

void updateColourNeighbourhood(const float pixel[3], const ModelGrid& grid, const PlaneSet& current,
                               PlaneSet& next, const RateMatrix& rateMatrix, int bestRow,
                               int bestCol, const LabelMask& labels) {
    const int n = grid.n;
    const int h = n / 2;
    const int64_t cols = grid.cols();
    const int rowStart = std::max(bestRow - h, 0);
    const int rowEnd = static_cast<int>(std::min<int64_t>(int64_t{bestRow} + h, grid.rows() - 1));
    const int colStart = std::max(bestCol - h, 0);
    const int colEnd = static_cast<int>(std::min<int64_t>(int64_t{bestCol} + h, cols - 1));
    for (int R = rowStart; R <= rowEnd; ++R) {
        const size_t ownerRow = static_cast<size_t>(R / n) * grid.W;
        for (int C = colStart; C <= colEnd; ++C) {
            if (labels[ownerRow + C / n] != LABEL_BACKGROUND) continue;
            const float w = rateMatrix[(R - rowStart) * n + (C - colStart)];
            const float keep = static_cast<float>(1.0 - w);
            const size_t k = static_cast<size_t>(R * cols + C);
            for (int i = 0; i < 3; ++i) {
                next.plane[i][k] =
                    static_cast<float>(static_cast<double>(keep) * current.plane[i][k] +
                                       static_cast<double>(w) * pixel[i]);
            }
        }
    }
}

void colourCalibrationPass(const PlaneSet& framePlanes, const ModelGrid& grid,
                           const PlaneSet& current, LabelMask& colourMask,
                           const RateMatrix& rateMatrix, float e1, const RunParameters& params,
                           const RegionOfInterest& roi, PlaneSet& next) {
    for (int r = roi.firstRow; r < grid.H; ++r) {
        for (int c = 0; c < grid.W; ++c) {
            const size_t p = static_cast<size_t>(r) * grid.W + c;
            if (roi.mask[p] == 0) continue;
            const float pixel[3] = {framePlanes.plane[0][p], framePlanes.plane[1][p],
                                    framePlanes.plane[2][p]};
            int bestRow = -1;
            int bestCol = -1;
            const int match = findBestColourMatch(pixel[0], pixel[1], pixel[2], current, grid, r, c,
                                                  e1, params, bestRow, bestCol);
            colourMask[p] = labelOf(match);
            if (match == MATCH_BACKGROUND) {
                updateColourNeighbourhood(pixel, grid, current, next, rateMatrix, bestRow, bestCol,
                                          colourMask);
            }
        }
    }
}

void colourDetectionRows(const PlaneSet& framePlanes, const ModelGrid& grid,
                         const PlaneSet& current, float e2, const RunParameters& params,
                         const RegionOfInterest& roi, int rowBegin, int rowEnd,
                         LabelMask& colourMask, std::vector<int>& bestRows,
                         std::vector<int>& bestCols) {
    for (int r = std::max(rowBegin, roi.firstRow); r < rowEnd; ++r) {
        for (int c = 0; c < grid.W; ++c) {
            const size_t p = static_cast<size_t>(r) * grid.W + c;
            if (roi.mask[p] == 0) continue;
            const int match = findBestColourMatch(framePlanes.plane[0][p], framePlanes.plane[1][p],
                                                  framePlanes.plane[2][p], current, grid, r, c, e2,
                                                  params, bestRows[p], bestCols[p]);
            colourMask[p] = labelOf(match);
        }
    }
}

void colourDetectionPass(const PlaneSet& framePlanes, const ModelGrid& grid,
                         const PlaneSet& current, float e2, const RunParameters& params,
                         const RegionOfInterest& roi, LabelMask& colourMask,
                         std::vector<int>& bestRows, std::vector<int>& bestCols) {
    colourDetectionRows(framePlanes, grid, current, e2, params, roi, 0, grid.H, colourMask,
                        bestRows, bestCols);
}

void colourUpdatePass(const PlaneSet& framePlanes, const ModelGrid& grid, const PlaneSet& current,
                      const LabelMask& filteredMask, const RateMatrix& rateMatrix,
                      const std::vector<int>& bestRows, const std::vector<int>& bestCols,
                      const RegionOfInterest& roi, PlaneSet& next) {
    const size_t count = grid.pixels();
    for (size_t p = static_cast<size_t>(roi.firstRow) * grid.W; p < count; ++p) {
        if (roi.mask[p] == 0 || filteredMask[p] != LABEL_BACKGROUND) continue;
        const float pixel[3] = {framePlanes.plane[0][p], framePlanes.plane[1][p],
                                framePlanes.plane[2][p]};
        updateColourNeighbourhood(pixel, grid, current, next, rateMatrix, bestRows[p], bestCols[p],
                                  filteredMask);
    }
}
