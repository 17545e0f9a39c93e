#include "depth/depth_model.hpp"

#include <algorithm>
#include <cmath>

namespace {

inline size_t cellIndex(const ModelGrid& layout, int64_t R, int64_t C) {
    return static_cast<size_t>(R * layout.cols() + C);
}

inline bool blockIsEmpty(const std::vector<float>& grid, const ModelGrid& layout, int r, int c) {
    const int64_t n = layout.n;
    return !(grid[cellIndex(layout, r * n + n / 2, c * n + n / 2)] > 0.0f);
}

void fillBlock(std::vector<float>& grid, const ModelGrid& layout, int r, int c, float value) {
    const int n = layout.n;
    for (int R = r * n; R < r * n + n; ++R) {
        float* row = grid.data() + cellIndex(layout, R, int64_t{c} * n);
        std::fill(row, row + n, value);
    }
}

}  // namespace

void initDepthModel(std::vector<float>& grid, const std::vector<float>& initialBackground,
                    const ModelGrid& layout, const RegionOfInterest& roi) {
    for (int r = 0; r < layout.H; ++r) {
        for (int c = 0; c < layout.W; ++c) {
            const size_t p = static_cast<size_t>(r) * layout.W + c;
            if (roi.mask[p] != 0) fillBlock(grid, layout, r, c, initialBackground[p]);
        }
    }
}

void copyFloatGrid(const std::vector<float>& source, size_t count,
                   std::vector<float>& destination) {
    std::copy_n(source.begin(), count, destination.begin());
}

bool findBestDepthMatch(float sample, const std::vector<float>& grid, const ModelGrid& layout,
                        int r, int c, float eps, int& bestRow, int& bestCol) {
    const int n = layout.n;
    bestRow = -1;
    bestCol = -1;
    float minimum = 10000.0f;
    for (int R = r * n; R < r * n + n; ++R) {
        const float* row = grid.data() + cellIndex(layout, R, 0);
        for (int C = c * n; C < c * n + n; ++C) {
            const float d = std::fabs(sample - row[C]);
            if (d < minimum) {
                minimum = d;
                bestRow = R;
                bestCol = C;
            }
        }
    }
    // Only not-a-number weights leave no best cell; that is no match.
    if (bestRow < 0) return false;
    const double below = static_cast<double>(grid[cellIndex(layout, bestRow, bestCol)]) - sample;
    return below <= eps;
}

void updateDepthNeighbourhood(float sample, const ModelGrid& layout,
                              const std::vector<float>& current, std::vector<float>& next,
                              const RateMatrix& rateMatrix, int bestRow, int bestCol,
                              const LabelMask& labels) {
    if (!(sample > 0.0f)) return;
    const int n = layout.n;
    const int h = n / 2;
    const int R0 = std::max(bestRow - h, 0);
    const int R1 = static_cast<int>(std::min<int64_t>(int64_t{bestRow} + h + 1, layout.rows()));
    const int C0 = std::max(bestCol - h, 0);
    const int C1 = static_cast<int>(std::min<int64_t>(int64_t{bestCol} + h + 1, layout.cols()));
    for (int R = R0; R < R1; ++R) {
        const size_t ownerRow = static_cast<size_t>(R / n) * layout.W;
        const size_t rowStart = cellIndex(layout, R, 0);
        for (int C = C0; C < C1; ++C) {
            if (labels[ownerRow + C / n] != LABEL_BACKGROUND) continue;
            const size_t k = rowStart + C;
            const float old = current[k];
            if (old > 0.0f) {
                const double w = rateMatrix[(R - R0) * n + (C - C0)];
                next[k] = static_cast<float>((1.0 - w) * old + w * sample);
            } else {
                next[k] = sample;
            }
        }
    }
}

void depthCalibrationPass(const std::vector<float>& samples, const ModelGrid& layout,
                          const std::vector<float>& current, LabelMask& labels,
                          const RateMatrix& rateMatrix, float e1D, const RegionOfInterest& roi,
                          std::vector<float>& next) {
    for (int r = roi.firstRow; r < layout.H; ++r) {
        for (int c = 0; c < layout.W; ++c) {
            const size_t k = static_cast<size_t>(r) * layout.W + c;
            if (roi.mask[k] == 0) continue;
            const float s = samples[k];
            if (!(s > 0.0f)) {
                labels[k] = LABEL_DEPTH_UNDECIDED;
                continue;
            }
            if (blockIsEmpty(current, layout, r, c)) {
                fillBlock(next, layout, r, c, s);
                continue;
            }
            int bestRow = -1;
            int bestCol = -1;
            if (!findBestDepthMatch(s, current, layout, r, c, e1D, bestRow, bestCol)) {
                labels[k] = LABEL_FOREGROUND;
                continue;
            }
            labels[k] = LABEL_BACKGROUND;
            updateDepthNeighbourhood(s, layout, current, next, rateMatrix, bestRow, bestCol,
                                     labels);
        }
    }
}

void depthDetectionRows(const std::vector<float>& samples, const ModelGrid& layout,
                        const std::vector<float>& current, float e2D, const RegionOfInterest& roi,
                        int rowBegin, int rowEnd, LabelMask& labels, std::vector<int>& bestRows,
                        std::vector<int>& bestCols) {
    for (int r = std::max(rowBegin, roi.firstRow); r < rowEnd; ++r) {
        for (int c = 0; c < layout.W; ++c) {
            const size_t k = static_cast<size_t>(r) * layout.W + c;
            if (roi.mask[k] == 0) continue;
            const float s = samples[k];
            if (!(s > 0.0f) || blockIsEmpty(current, layout, r, c)) {
                labels[k] = LABEL_DEPTH_UNDECIDED;
                continue;
            }
            const bool match =
                findBestDepthMatch(s, current, layout, r, c, e2D, bestRows[k], bestCols[k]);
            labels[k] = match ? LABEL_BACKGROUND : LABEL_FOREGROUND;
        }
    }
}

void depthDetectionPass(const std::vector<float>& samples, const ModelGrid& layout,
                        const std::vector<float>& current, float e2D, const RegionOfInterest& roi,
                        LabelMask& labels, std::vector<int>& bestRows, std::vector<int>& bestCols) {
    depthDetectionRows(samples, layout, current, e2D, roi, 0, layout.H, labels, bestRows, bestCols);
}

void depthUpdatePass(const std::vector<float>& samples, const ModelGrid& layout,
                     const std::vector<float>& current, const LabelMask& labels,
                     const RateMatrix& rateMatrix, const std::vector<int>& bestRows,
                     const std::vector<int>& bestCols, const RegionOfInterest& roi,
                     std::vector<float>& next) {
    const size_t count = layout.pixels();
    for (size_t k = static_cast<size_t>(roi.firstRow) * layout.W; k < count; ++k) {
        if (roi.mask[k] == 0 || labels[k] != LABEL_BACKGROUND) continue;
        updateDepthNeighbourhood(samples[k], layout, current, next, rateMatrix, bestRows[k],
                                 bestCols[k], labels);
    }
}
