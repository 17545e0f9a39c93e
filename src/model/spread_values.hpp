#pragma once

namespace dadimero {

// Writes each of `count` values n times in a row into `out` (count * n
// floats): a pixel's value beside each cell of its block's row, so that
// distances can be taken in long vector loops.
void spreadValues(const float* values, int count, int n, float* out);

}  // namespace dadimero
