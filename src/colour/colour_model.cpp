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

void colourMatchRows(const PlaneSet& framePlanes, const ModelGrid& grid, const PlaneSet& model,
                     float eps, const RunParameters& params, const RegionOfInterest& roi,
                     int rowBegin, int rowEnd, LabelMask& labels, std::vector<int>& bestRows,
                     std::vector<int>& bestCols) {
    for (int r = std::max(rowBegin, roi.firstRow); r < rowEnd; ++r) {
        for (int c = 0; c < grid.W; ++c) {
            const size_t p = static_cast<size_t>(r) * grid.W + c;
            if (roi.mask[p] == 0) continue;
            const int match = findBestColourMatch(framePlanes.plane[0][p], framePlanes.plane[1][p],
                                                  framePlanes.plane[2][p], model, grid, r, c, eps,
                                                  params, bestRows[p], bestCols[p]);
            labels[p] = labelOf(match);
        }
    }
}

void colourCalibrationMatchRows(const PlaneSet& framePlanes, const ModelGrid& grid,
                                const PlaneSet& model, float eps, const RunParameters& params,
                                const RegionOfInterest& roi, int rowBegin, int rowEnd,
                                const LabelMask& labelsBefore, LabelMask& labelsAfter,
                                std::vector<uint8_t>& action, std::vector<int>& bestRows,
                                std::vector<int>& bestCols) {
    const size_t begin = static_cast<size_t>(rowBegin) * grid.W;
    const size_t end = static_cast<size_t>(rowEnd) * grid.W;
    std::copy(labelsBefore.begin() + begin, labelsBefore.begin() + end,
              labelsAfter.begin() + begin);
    colourMatchRows(framePlanes, grid, model, eps, params, roi, rowBegin, rowEnd, labelsAfter,
                    bestRows, bestCols);
    for (size_t p = begin; p < end; ++p) {
        action[p] =
            roi.mask[p] != 0 && labelsAfter[p] == LABEL_BACKGROUND ? ACTION_UPDATE : ACTION_NONE;
    }
}

void colourOnlineActionRows(const LabelMask& filteredMask, const RegionOfInterest& roi, int width,
                            int rowBegin, int rowEnd, std::vector<uint8_t>& action) {
    const size_t end = static_cast<size_t>(rowEnd) * width;
    for (size_t p = static_cast<size_t>(rowBegin) * width; p < end; ++p) {
        action[p] =
            roi.mask[p] != 0 && filteredMask[p] == LABEL_BACKGROUND ? ACTION_UPDATE : ACTION_NONE;
    }
}

void colourUpdateRows(const PlaneSet& framePlanes, const ModelGrid& grid, PlaneSet& model,
                      const RateMatrix& rateMatrix, const std::vector<int>& bestRows,
                      const std::vector<int>& bestCols, const UpdateWriters& writers,
                      UpdateMarks& marks, int ownedBegin, int ownedEnd) {
    const int n = grid.n;
    const int h = n / 2;
    const int W = grid.W;
    const int64_t cols = grid.cols();
    const int ownedCellBegin = ownedBegin * n;
    const int ownedCellEnd = ownedEnd * n;
    float* planes[3] = {model.plane[0].data(), model.plane[1].data(), model.plane[2].data()};
    // Windows reach at most one pixel beyond their own block.
    const int writerBegin = std::max(ownedBegin - 1, 0);
    const int writerEnd = std::min(ownedEnd + 1, grid.H);
    for (int r = writerEnd - 1; r >= writerBegin; --r) {
        for (int c = W - 1; c >= 0; --c) {
            const size_t p = static_cast<size_t>(r) * W + c;
            if (writers.action[p] != ACTION_UPDATE) continue;
            const float pixel[3] = {framePlanes.plane[0][p], framePlanes.plane[1][p],
                                    framePlanes.plane[2][p]};
            const int bestRow = bestRows[p];
            const int bestCol = bestCols[p];
            const int rowStart = std::max(bestRow - h, 0);
            const int rowLast =
                static_cast<int>(std::min<int64_t>(int64_t{bestRow} + h, grid.rows() - 1));
            const int colStart = std::max(bestCol - h, 0);
            const int colLast = static_cast<int>(std::min<int64_t>(int64_t{bestCol} + h, cols - 1));
            const int fromRow = std::max(rowStart, ownedCellBegin);
            const int toRow = std::min(rowLast, ownedCellEnd - 1);
            for (int R = fromRow; R <= toRow; ++R) {
                const size_t ownerRow = static_cast<size_t>(R / n) * W;
                const float* rates = rateMatrix.data() + (R - rowStart) * n;
                for (int C = colStart; C <= colLast; ++C) {
                    const size_t owner = ownerRow + C / n;
                    const uint8_t label =
                        owner <= p ? writers.labelsAfter[owner] : writers.labelsBefore[owner];
                    if (label != LABEL_BACKGROUND) continue;
                    const size_t k = static_cast<size_t>(R * cols + C);
                    if (!marks.claim(k)) continue;
                    const float w = rates[C - colStart];
                    const double keep = static_cast<float>(1.0 - w);
                    for (int i = 0; i < 3; ++i) {
                        planes[i][k] = static_cast<float>(keep * planes[i][k] +
                                                          static_cast<double>(w) * pixel[i]);
                    }
                }
            }
        }
    }
}
