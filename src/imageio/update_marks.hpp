#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

// One byte per model cell telling whether the current update pass has written
// the cell. Passes write the model in place, visiting the updating pixels in
// reverse raster order and skipping cells already written: each cell then ends
// with the value the last pixel in raster order gives it, computed from the
// model as it was before the pass, with no second buffer and no copy.
struct UpdateMarks {
    std::vector<uint8_t> mark;
    uint8_t generation = 0;

    explicit UpdateMarks(size_t cells = 0) : mark(cells, 0) {}

    // Starts a pass: no cell counts as written.
    void beginPass() {
        if (++generation == 0) {
            std::fill(mark.begin(), mark.end(), uint8_t{0});
            generation = 1;
        }
    }
    // True the first time a cell is claimed in a pass.
    bool claim(size_t cell) {
        if (mark[cell] == generation) return false;
        mark[cell] = generation;
        return true;
    }
};

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
