#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "masks/label_mask.hpp"
#include "model/model_grid.hpp"
#include "model/nearest_weight.hpp"

namespace dadimero {

// What a pixel does to the model in an update pass.
inline constexpr uint8_t ACTION_NONE = 0;
inline constexpr uint8_t ACTION_UPDATE = 1;  // pull the window around its best weight
inline constexpr uint8_t ACTION_FILL = 2;    // depth: fill its empty block with the sample

// The updating pixels of a pass and the labels that guard the cells they
// reach. A cell owned by pixel q, reached by the update of pixel p, is guarded
// by labelsAfter[q] when q <= p in raster order and by labelsBefore[q] when q
// comes later: the labels as they stand at p's turn in a raster scan that
// labels each pixel just before it updates.
struct UpdateWriters {
    const uint8_t* action;
    const uint8_t* labelsBefore;
    const uint8_t* labelsAfter;
};

// Working space of one band of a matching pass: distances of a row of blocks,
// and each block's nearest weight and its distance.
struct MatchScratch {
    std::vector<float> values;
    std::vector<int> nearest;
    std::vector<float> nearestDistance;
};

// Matching space for each of `workers` threads: `planes` rows of each pixel's
// values spread under its n cells, then n grid rows of distances, which the
// search for the nearest may read a few floats past.
inline std::vector<MatchScratch> matchScratchFor(const ModelGrid& grid, int planes, int workers) {
    const size_t rows = static_cast<size_t>(planes) + static_cast<size_t>(grid.n);
    const size_t width = static_cast<size_t>(grid.W);
    return std::vector<MatchScratch>(
        static_cast<size_t>(workers),
        MatchScratch{
            std::vector<float>(rows * static_cast<size_t>(grid.cols()) + kDistanceReadPast),
            std::vector<int>(width), std::vector<float>(width)});
}

// An update pass visits the updating pixels in raster order, and each writes
// the cells of its window from their values before the pass: the last writer
// of a cell decides it, and updates never compound. So each writer blends
// from a copy of the rows its window reaches, taken before any writer touched
// them, and writes into the model; a later writer simply overwrites. Copies of
// three pixel rows are kept: the writers of pixel row r reach rows r - 1 ..
// r + 1 only.
struct UpdateScratch {
    // Floats a four-lane read of a run's copy may reach past the last row.
    static constexpr size_t kPad = 8;

    UpdateScratch() = default;
    UpdateScratch(const ModelGrid& grid, int planeCount)
        : rowCells(static_cast<size_t>(grid.n) * static_cast<size_t>(grid.cols())),
          cellRowLength(static_cast<size_t>(grid.cols())),
          planes(planeCount),
          before(static_cast<size_t>(planeCount) * 3 * rowCells + kPad, 0.0f),
          open(static_cast<size_t>(grid.W)) {}

    size_t rowCells = 0;       // cells of one pixel row
    size_t cellRowLength = 0;  // cells of one cell row
    int planes = 0;
    std::vector<float> before;  // per plane, three pixel rows of cells as the pass found them
    std::vector<uint8_t> open;  // a row's writers that may write their whole window

    // Plane `plane` of pixel row q's copy, from its first cell.
    float* rowBefore(int plane, int q) {
        return before.data() +
               (static_cast<size_t>(plane) * 3 + static_cast<size_t>(q % 3)) * rowCells;
    }

    // Where cell row R's copy starts, from the start of its plane's copies
    // (N: the block side): the three pixel rows' copies lie one after the
    // other, so cell row R lies at R mod 3N.
    template <int N>
    size_t cellRowOffset(int R) const {
        return static_cast<size_t>(static_cast<unsigned>(R) % (3 * N)) * cellRowLength;
    }
};

// The owners that guard a window of N x N cells lying wholly inside the grid,
// starting at cell (rowStart, colStart): the window covers at most 2 x 2
// blocks, split after `rowSplit` rows and `colSplit` columns (N: no split).
// guard[a][b] tells whether writer p may write the cells of block (a, b),
// that is whether its owner is labelled background as p sees it. Only owners
// in pixel rows [ownedBegin, ownedEnd) are looked at: the labels of other rows
// may be changing in another band.
template <int N>
struct WindowGuards {
    int rowSplit;
    int colSplit;
    bool guard[2][2];

    WindowGuards(const UpdateWriters& writers, int width, size_t p, int rowStart, int colStart,
                 int ownedBegin, int ownedEnd) {
        const int firstRow = rowStart / N;
        const int firstCol = colStart / N;
        rowSplit = (firstRow + 1) * N - rowStart;
        colSplit = (firstCol + 1) * N - colStart;
        const size_t first = static_cast<size_t>(firstRow) * width + firstCol;
        auto background = [&](size_t owner) {
            const uint8_t* labels = owner <= p ? writers.labelsAfter : writers.labelsBefore;
            return labels[owner] == LABEL_BACKGROUND;
        };
        const bool right = colSplit < N;
        const bool below = rowSplit < N;
        const bool top = firstRow >= ownedBegin && firstRow < ownedEnd;
        const bool bottom = below && firstRow + 1 >= ownedBegin && firstRow + 1 < ownedEnd;
        guard[0][0] = top && background(first);
        guard[0][1] = top && right && background(first + 1);
        guard[1][0] = bottom && background(first + width);
        guard[1][1] = bottom && right && background(first + width + 1);
        open = (!top || (guard[0][0] && (guard[0][1] || !right))) &&
               (!bottom || (guard[1][0] && (guard[1][1] || !right)));
    }

    bool open;  // every block of the window in the owned rows may be written
};

inline constexpr int kFillEntry = -1;  // a filling pixel's entry: no rate, the value as it is

// The length of a run that is a whole window row, known when compiling.
template <int N>
inline constexpr std::integral_constant<int, N> kWholeRow{};

// Calls write(p, R, C, count, entry) for every run of `count` cells (R, C),
// (R, C + 1), ... that a pixel p of row r writes, in the order of the pass,
// where R lies in [cellBegin, cellEnd): `entry` is the first cell's index in
// the rate matrix (the others follow it), or kFillEntry for the cells of a
// filling pixel's own block.
// Marks in open[c] the writers of row r (not in the first or last row or
// column of the image) that update, have their best cell in their own block
// and whose owners all let them write: they write N whole rows from (bestRow
// - N / 2, bestCol - N / 2). Owners come before the writer up to itself in
// its row and after it from there on. One pass over the row without
// branches, which the compiler may vectorise: most writers are of this kind.
template <int N>
void markOpenWriters(int r, int W, const UpdateWriters& writers, const int* bestRows,
                     const int* bestCols, uint8_t* open) {
    constexpr int h = N / 2;
    const size_t row = static_cast<size_t>(r) * W;
    const uint8_t* up = writers.labelsAfter + row - W;
    const uint8_t* here = writers.labelsAfter + row;
    const uint8_t* ahead = writers.labelsBefore + row;
    const uint8_t* down = writers.labelsBefore + row + W;
    const uint8_t* action = writers.action + row;
    // Flags as 0 or 1 in int, combined with bitwise operators: no branch.
    auto free = [](uint8_t label) -> int { return label == LABEL_BACKGROUND; };
    open[0] = 0;
    open[W - 1] = 0;
    for (int c = 1; c < W - 1; ++c) {
        const int rowOffset = bestRows[row + c] - r * N;
        const int colOffset = bestCols[row + c] - c * N;
        const int inBlock = static_cast<unsigned>(rowOffset) < static_cast<unsigned>(N) &&
                            static_cast<unsigned>(colOffset) < static_cast<unsigned>(N);
        // Whether the window stays out of the block row above, below, and
        // the block columns left and right.
        const int notAbove = rowOffset >= h;
        const int notBelow = rowOffset <= h;
        const int notLeft = colOffset >= h;
        const int notRight = colOffset <= h;
        const int middle =
            free(here[c]) & (notLeft | free(here[c - 1])) & (notRight | free(ahead[c + 1]));
        const int top =
            notAbove | (free(up[c]) & (notLeft | free(up[c - 1])) & (notRight | free(up[c + 1])));
        const int bottom = notBelow | (free(down[c]) & (notLeft | free(down[c - 1])) &
                                       (notRight | free(down[c + 1])));
        const int updates = action[c] == ACTION_UPDATE;
        open[c] = static_cast<uint8_t>(updates & inBlock & middle & top & bottom);
    }
}

template <int N, typename CellBegin, typename CellEnd, typename Write>
void visitWritersOfRow(int r, const ModelGrid& grid, const UpdateWriters& writers,
                       const int* bestRows, const int* bestCols, CellBegin cellBegin,
                       CellEnd cellEnd, uint8_t* open, Write&& write) {
    constexpr int h = N / 2;
    constexpr bool interior = !std::is_same_v<CellBegin, int>;
    const int W = grid.W;
    const int rows = static_cast<int>(grid.rows());
    const int cols = static_cast<int>(grid.cols());
    if constexpr (interior) markOpenWriters<N>(r, W, writers, bestRows, bestCols, open);
    for (int c = 0; c < W; ++c) {
        const size_t p = static_cast<size_t>(r) * W + c;
        if constexpr (interior) {
            if (open[c]) {
                const int rowStart = bestRows[p] - h;
                const int colStart = bestCols[p] - h;
                for (int i = 0; i < N; ++i)
                    write(p, rowStart + i, colStart, kWholeRow<N>, i * N);
                continue;
            }
        }
        const uint8_t action = writers.action[p];
        if (action == ACTION_NONE) continue;
        const int bestRow = bestRows[p];
        const int bestCol = bestCols[p];
        if (action == ACTION_FILL || (bestRow == r * N + h && bestCol == c * N + h)) {
            // The pixel's own block, whose owner is the pixel itself.
            if (r * N < cellBegin || r * N >= cellEnd) continue;
            const bool fill = action == ACTION_FILL;
            for (int i = 0; i < N; ++i)
                write(p, r * N + i, c * N, kWholeRow<N>, fill ? kFillEntry : i * N);
            continue;
        }
        const int rowStart = std::max(bestRow - h, 0);
        const int rowLast = std::min(bestRow + h, rows - 1);
        const int colStart = std::max(bestCol - h, 0);
        const int colLast = std::min(bestCol + h, cols - 1);
        if (rowLast - rowStart == N - 1 && colLast - colStart == N - 1) {
            // A whole window: the guards of at most four owners.
            const WindowGuards<N> guards(writers, W, p, rowStart, colStart, cellBegin / N,
                                         cellEnd / N);
            const int firstRow = std::max(cellBegin - rowStart, 0);
            const int endRow = std::min(cellEnd - rowStart, N);
            if (guards.open) {
                for (int i = firstRow; i < endRow; ++i)
                    write(p, rowStart + i, colStart, kWholeRow<N>, i * N);
                continue;
            }
            const int split = guards.colSplit;
            for (int i = firstRow; i < endRow; ++i) {
                const int R = rowStart + i;
                const bool* rowGuard = guards.guard[i < guards.rowSplit ? 0 : 1];
                if (rowGuard[0] && (rowGuard[1] || split == N)) {
                    write(p, R, colStart, kWholeRow<N>, i * N);
                } else if (rowGuard[0]) {
                    write(p, R, colStart, split, i * N);
                } else if (rowGuard[1]) {
                    write(p, R, colStart + split, N - split, i * N + split);
                }
            }
            continue;
        }
        // A window cut by the border of the grid keeps its rates from its first cell.
        for (int R = std::max<int>(rowStart, cellBegin); R <= std::min<int>(rowLast, cellEnd - 1);
             ++R) {
            const size_t ownerRow = static_cast<size_t>(R / N) * W;
            for (int C = colStart; C <= colLast; ++C) {
                const size_t owner = ownerRow + C / N;
                const uint8_t label =
                    owner <= p ? writers.labelsAfter[owner] : writers.labelsBefore[owner];
                if (label == LABEL_BACKGROUND) {
                    write(p, R, C, 1, (R - rowStart) * N + (C - colStart));
                }
            }
        }
    }
}

// Cell rows [0, kEveryCellRow) hold every cell of any supported grid.
inline constexpr int kEveryCellRow = 1 << 30;

// `open` is working space of a row of pixels.
template <int N, typename Write>
void visitWriterRow(int r, const ModelGrid& grid, const UpdateWriters& writers, const int* bestRows,
                    const int* bestCols, int cellBegin, int cellEnd, uint8_t* open, Write&& write) {
    // Most rows' writers reach owned rows only: for them the checks of
    // ownership are compiled away, and most writers are found at once.
    if ((r - 1) * N >= cellBegin && (r + 2) * N <= cellEnd) {
        visitWritersOfRow<N>(r, grid, writers, bestRows, bestCols, std::integral_constant<int, 0>{},
                             std::integral_constant<int, kEveryCellRow>{}, open, write);
    } else {
        visitWritersOfRow<N>(r, grid, writers, bestRows, bestCols, cellBegin, cellEnd, open, write);
    }
}

// Runs an update pass over the cells owned by pixel rows [ownedBegin,
// ownedEnd) of the planes `model` (scratch.planes of them): every writer of
// those cells, in the order of the pass, calls write(p, R, C, count, entry)
// (see visitWriterRow), which blends from the copies in `scratch` into the
// model. A row is copied before any writer reaches it. The writers lie in
// pixel rows [ownedBegin - 1, ownedEnd + 1) of the image; a call visits those
// of rows [writerFrom, writerTo) only, so that a pass may run in steps, each
// continuing the last, while later rows are still being labelled.
template <int N, typename Write>
void runUpdatePass(const ModelGrid& grid, const UpdateWriters& writers, const int* bestRows,
                   const int* bestCols, float* const* model, int ownedBegin, int ownedEnd,
                   int writerFrom, int writerTo, UpdateScratch& scratch, Write&& write) {
    auto copyRow = [&](int q) {
        if (q < ownedBegin || q >= ownedEnd) return;
        for (int i = 0; i < scratch.planes; ++i) {
            const float* row = model[i] + static_cast<size_t>(q) * scratch.rowCells;
            std::copy(row, row + scratch.rowCells, scratch.rowBefore(i, q));
        }
    };
    // Windows reach at most one pixel row beyond their own block.
    const int writerBegin = std::max(ownedBegin - 1, 0);
    const int writerEnd = std::min(ownedEnd + 1, grid.H);
    const int from = std::max(writerFrom, writerBegin);
    const int to = std::min(writerTo, writerEnd);
    if (from == writerBegin) copyRow(writerBegin);
    for (int r = from; r < to; ++r) {
        copyRow(r + 1);
        visitWriterRow<N>(r, grid, writers, bestRows, bestCols, ownedBegin * N, ownedEnd * N,
                          scratch.open.data(), write);
    }
}

}  // namespace dadimero
