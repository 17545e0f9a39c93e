#pragma once

#include <cstdint>
#include <vector>

namespace dadimero {

// Working space of one band of an update pass. The passes write the model in
// place, visiting the updating pixels in raster order so that the last writer
// of a cell decides it; every write starts from the cell as it was before the
// pass, kept here for the three pixel rows that writers may still reach.
struct UpdateScratch {
    std::vector<float> rows;
};

// Working space of one band of a matching pass: distances of a row of blocks.
struct MatchScratch {
    std::vector<float> values;
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

}  // namespace dadimero
