#include "colour/colour_model.hpp"

#include <algorithm>

#include "colour/shadow.hpp"

namespace {

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

namespace {

// The nearest weight for a block side known at compile time, so that the
// distance loops unroll. Returns the block index of the nearest weight (-1
// when no distance is below 100) and whether it lies within eps, with the
// centre taking every tie.
template <int N>
int nearestWeight(double px, double py, double pz, const PlaneSet& model, int64_t cols, int r,
                  int c, float eps, bool& matched) {
    float distance[N * N];
    for (int i = 0; i < N; ++i) {
        const size_t rowBase = static_cast<size_t>((int64_t{r} * N + i) * cols + int64_t{c} * N);
        const float* rx = model.plane[0].data() + rowBase;
        const float* ry = model.plane[1].data() + rowBase;
        const float* rz = model.plane[2].data() + rowBase;
        for (int j = 0; j < N; ++j) {
            const double dz = rz[j] - pz;
            const double dy = ry[j] - py;
            const double dx = rx[j] - px;
            distance[i * N + j] = static_cast<float>(dz * dz + dy * dy + dx * dx);
        }
    }
    int best = -1;
    float minimum = 100.0f;
    for (int k = 0; k < N * N; ++k) {
        if (distance[k] < minimum) {
            minimum = distance[k];
            best = k;
        }
    }
    matched = best >= 0 && minimum <= eps;
    constexpr int centre = (N / 2) * N + N / 2;
    if (matched && distance[centre] <= minimum) best = centre;
    return best;
}

}  // namespace

int findBestColourMatch(float x, float y, float z, const PlaneSet& model, const ModelGrid& grid,
                        int r, int c, float eps, const RunParameters& params, int& bestRow,
                        int& bestCol) {
    const int n = grid.n;
    const int64_t cols = grid.cols();
    bool matched = false;
    int best = -1;
    switch (n) {
        case 1:
            best = nearestWeight<1>(x, y, z, model, cols, r, c, eps, matched);
            break;
        case 3:
            best = nearestWeight<3>(x, y, z, model, cols, r, c, eps, matched);
            break;
        case 5:
            best = nearestWeight<5>(x, y, z, model, cols, r, c, eps, matched);
            break;
        case 7:
            best = nearestWeight<7>(x, y, z, model, cols, r, c, eps, matched);
            break;
        default:
            best = nearestWeight<9>(x, y, z, model, cols, r, c, eps, matched);
            break;
    }
    bestRow = best < 0 ? -1 : r * n + best / n;
    bestCol = best < 0 ? -1 : c * n + best % n;
    if (matched) return MATCH_BACKGROUND;
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

namespace {

template <int N>
void updateColourRows(const PlaneSet& framePlanes, const ModelGrid& grid, PlaneSet& model,
                      const RateMatrix& rateMatrix, const std::vector<int>& bestRows,
                      const std::vector<int>& bestCols, const UpdateWriters& writers,
                      int ownedBegin, int ownedEnd, UpdateScratch& scratch) {
    constexpr int h = N / 2;
    const int W = grid.W;
    const int64_t cols = grid.cols();
    const size_t pixelRowCells = static_cast<size_t>(N * cols);  // cells of one pixel row
    const int ownedCellBegin = ownedBegin * N;
    const int ownedCellEnd = ownedEnd * N;
    float* const planes[3] = {model.plane[0].data(), model.plane[1].data(), model.plane[2].data()};
    // Three slots of one pixel row each, per plane, holding the cells as they
    // were before the pass.
    if (scratch.rows.size() < 9 * pixelRowCells) scratch.rows.assign(9 * pixelRowCells, 0.0f);
    float* const before = scratch.rows.data();
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
                for (int i = 0; i < N; ++i) {
                    for (int j = 0; j < N; ++j)
                        blend(r * N + i, c * N + j, i * N + j, px, py, pz);
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

void colourUpdateRows(const PlaneSet& framePlanes, const ModelGrid& grid, PlaneSet& model,
                      const RateMatrix& rateMatrix, const std::vector<int>& bestRows,
                      const std::vector<int>& bestCols, const UpdateWriters& writers,
                      int ownedBegin, int ownedEnd, UpdateScratch& scratch) {
    switch (grid.n) {
        case 1:
            return updateColourRows<1>(framePlanes, grid, model, rateMatrix, bestRows, bestCols,
                                       writers, ownedBegin, ownedEnd, scratch);
        case 3:
            return updateColourRows<3>(framePlanes, grid, model, rateMatrix, bestRows, bestCols,
                                       writers, ownedBegin, ownedEnd, scratch);
        case 5:
            return updateColourRows<5>(framePlanes, grid, model, rateMatrix, bestRows, bestCols,
                                       writers, ownedBegin, ownedEnd, scratch);
        case 7:
            return updateColourRows<7>(framePlanes, grid, model, rateMatrix, bestRows, bestCols,
                                       writers, ownedBegin, ownedEnd, scratch);
        default:
            return updateColourRows<9>(framePlanes, grid, model, rateMatrix, bestRows, bestCols,
                                       writers, ownedBegin, ownedEnd, scratch);
    }
}
