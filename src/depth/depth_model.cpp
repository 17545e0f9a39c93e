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

// Shared by both phases: the label of a searched sample, or undecided.
inline uint8_t searchDepth(float s, const std::vector<float>& grid, const ModelGrid& layout, int r,
                           int c, float eps, int& bestRow, int& bestCol) {
    return findBestDepthMatch(s, grid, layout, r, c, eps, bestRow, bestCol) ? LABEL_BACKGROUND
                                                                            : LABEL_FOREGROUND;
}

}  // namespace

void initDepthModel(std::vector<float>& grid, const std::vector<float>& initialBackground,
                    const ModelGrid& layout, const RegionOfInterest& roi) {
    const int n = layout.n;
    for (int r = 0; r < layout.H; ++r) {
        for (int c = 0; c < layout.W; ++c) {
            const size_t p = static_cast<size_t>(r) * layout.W + c;
            if (roi.mask[p] == 0) continue;
            for (int R = r * n; R < r * n + n; ++R) {
                float* row = grid.data() + cellIndex(layout, R, int64_t{c} * n);
                std::fill(row, row + n, initialBackground[p]);
            }
        }
    }
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

void depthMatchRows(const std::vector<float>& samples, const ModelGrid& layout,
                    const std::vector<float>& grid, float eps, const RegionOfInterest& roi,
                    int rowBegin, int rowEnd, LabelMask& labels, std::vector<int>& bestRows,
                    std::vector<int>& bestCols) {
    for (int r = std::max(rowBegin, roi.firstRow); r < rowEnd; ++r) {
        for (int c = 0; c < layout.W; ++c) {
            const size_t k = static_cast<size_t>(r) * layout.W + c;
            if (roi.mask[k] == 0) continue;
            const float s = samples[k];
            if (!(s > 0.0f) || blockIsEmpty(grid, layout, r, c)) {
                labels[k] = LABEL_DEPTH_UNDECIDED;  // the online phase never fills a block
                continue;
            }
            labels[k] = searchDepth(s, grid, layout, r, c, eps, bestRows[k], bestCols[k]);
        }
    }
}

void depthCalibrationMatchRows(const std::vector<float>& samples, const ModelGrid& layout,
                               const std::vector<float>& grid, float eps,
                               const RegionOfInterest& roi, int rowBegin, int rowEnd,
                               const LabelMask& labelsBefore, LabelMask& labelsAfter,
                               std::vector<uint8_t>& action, std::vector<int>& bestRows,
                               std::vector<int>& bestCols) {
    for (int r = rowBegin; r < rowEnd; ++r) {
        for (int c = 0; c < layout.W; ++c) {
            const size_t k = static_cast<size_t>(r) * layout.W + c;
            labelsAfter[k] = labelsBefore[k];
            action[k] = ACTION_NONE;
            if (roi.mask[k] == 0) continue;
            const float s = samples[k];
            if (!(s > 0.0f)) {
                labelsAfter[k] = LABEL_DEPTH_UNDECIDED;
            } else if (blockIsEmpty(grid, layout, r, c)) {
                action[k] = ACTION_FILL;
            } else {
                labelsAfter[k] = searchDepth(s, grid, layout, r, c, eps, bestRows[k], bestCols[k]);
                if (labelsAfter[k] == LABEL_BACKGROUND) action[k] = ACTION_UPDATE;
            }
        }
    }
}

void depthOnlineActionRows(const LabelMask& depthMask, const RegionOfInterest& roi, int width,
                           int rowBegin, int rowEnd, std::vector<uint8_t>& action) {
    const size_t end = static_cast<size_t>(rowEnd) * width;
    for (size_t p = static_cast<size_t>(rowBegin) * width; p < end; ++p) {
        action[p] =
            roi.mask[p] != 0 && depthMask[p] == LABEL_BACKGROUND ? ACTION_UPDATE : ACTION_NONE;
    }
}

void depthUpdateRows(const std::vector<float>& samples, const ModelGrid& layout,
                     std::vector<float>& grid, const RateMatrix& rateMatrix,
                     const std::vector<int>& bestRows, const std::vector<int>& bestCols,
                     const UpdateWriters& writers, UpdateMarks& marks, int ownedBegin,
                     int ownedEnd) {
    const int n = layout.n;
    const int h = n / 2;
    const int W = layout.W;
    const int64_t cols = layout.cols();
    const int ownedCellBegin = ownedBegin * n;
    const int ownedCellEnd = ownedEnd * n;
    float* cells = grid.data();
    const int writerBegin = std::max(ownedBegin - 1, 0);
    const int writerEnd = std::min(ownedEnd + 1, layout.H);
    for (int r = writerEnd - 1; r >= writerBegin; --r) {
        for (int c = W - 1; c >= 0; --c) {
            const size_t p = static_cast<size_t>(r) * W + c;
            const uint8_t action = writers.action[p];
            if (action == ACTION_NONE) continue;
            const float s = samples[p];
            if (action == ACTION_FILL) {
                // The whole block takes the sample; no label guards it.
                const int fromRow = std::max(r * n, ownedCellBegin);
                const int toRow = std::min(r * n + n, ownedCellEnd);
                for (int R = fromRow; R < toRow; ++R) {
                    for (int C = c * n; C < c * n + n; ++C) {
                        const size_t k = static_cast<size_t>(R * cols + C);
                        if (marks.claim(k)) cells[k] = s;
                    }
                }
                continue;
            }
            if (!(s > 0.0f)) continue;
            const int bestRow = bestRows[p];
            const int bestCol = bestCols[p];
            const int R0 = std::max(bestRow - h, 0);
            const int R1 =
                static_cast<int>(std::min<int64_t>(int64_t{bestRow} + h + 1, layout.rows()));
            const int C0 = std::max(bestCol - h, 0);
            const int C1 = static_cast<int>(std::min<int64_t>(int64_t{bestCol} + h + 1, cols));
            const int fromRow = std::max(R0, ownedCellBegin);
            const int toRow = std::min(R1, ownedCellEnd);
            for (int R = fromRow; R < toRow; ++R) {
                const size_t ownerRow = static_cast<size_t>(R / n) * W;
                const float* rates = rateMatrix.data() + (R - R0) * n;
                for (int C = C0; C < C1; ++C) {
                    const size_t owner = ownerRow + C / n;
                    const uint8_t label =
                        owner <= p ? writers.labelsAfter[owner] : writers.labelsBefore[owner];
                    if (label != LABEL_BACKGROUND) continue;
                    const size_t k = static_cast<size_t>(R * cols + C);
                    if (!marks.claim(k)) continue;
                    const float old = cells[k];
                    if (old > 0.0f) {
                        const double w = rates[C - C0];
                        cells[k] = static_cast<float>((1.0 - w) * old + w * s);
                    } else {
                        cells[k] = s;
                    }
                }
            }
        }
    }
}
