#include "masks/mask_fusion.hpp"

#include <algorithm>

namespace dadimero {

namespace {

// Stage 1 label: depth background or foreground decides; undecided depth falls
// back on colour, where anything up to LABEL_SHADOW counts as background.
inline uint8_t firstStageLabel(uint8_t colour, uint8_t depth) {
    if (depth == LABEL_DEPTH_UNDECIDED) {
        return colour <= LABEL_SHADOW ? LABEL_BACKGROUND : LABEL_FOREGROUND;
    }
    return depth == LABEL_BACKGROUND ? LABEL_BACKGROUND : LABEL_FOREGROUND;
}

constexpr int kBandReach = 3;

}  // namespace

void fuseFirstStageRows(const LabelMask& colourMask, const LabelMask& depthMask, int width,
                        int rowBegin, int rowEnd, LabelMask& fusedMask,
                        std::vector<uint8_t>& scratch) {
    for (int r = rowBegin; r < rowEnd; ++r) {
        const size_t rowStart = static_cast<size_t>(r) * width;
        uint8_t* fused = fusedMask.data() + rowStart;
        for (int c = 0; c < width; ++c)
            fused[c] = firstStageLabel(colourMask[rowStart + c], depthMask[rowStart + c]);
        // scratch: per pixel, whether any stage-1 background lies in the same
        // row within kBandReach columns (a horizontal running maximum).
        uint8_t* out = scratch.data() + rowStart;
        int lastBackground = -1 - 2 * kBandReach;
        for (int c = 0; c < width; ++c) {
            if (fused[c] == LABEL_BACKGROUND) lastBackground = c;
            out[c] = c - lastBackground <= kBandReach;
        }
        lastBackground = width + 2 * kBandReach;
        for (int c = width - 1; c >= 0; --c) {
            if (fused[c] == LABEL_BACKGROUND) lastBackground = c;
            if (lastBackground - c <= kBandReach) out[c] = 1;
        }
    }
}

void fuseBorderRows(const LabelMask& colourMask, int width, int height, int rowBegin, int rowEnd,
                    LabelMask& fusedMask, const std::vector<uint8_t>& scratch) {
    // A foreground pixel is in the band when a row within kBandReach holds a
    // horizontal hit in its column.
    for (int r = rowBegin; r < rowEnd; ++r) {
        const int top = std::max(r - kBandReach, 0);
        const int bottom = std::min(r + kBandReach, height - 1);
        uint8_t* fused = fusedMask.data() + static_cast<size_t>(r) * width;
        const uint8_t* colour = colourMask.data() + static_cast<size_t>(r) * width;
        for (int c = 0; c < width; ++c) {
            if (fused[c] != LABEL_FOREGROUND || colour[c] == LABEL_FOREGROUND) continue;
            bool nearBackground = false;
            for (int rr = top; rr <= bottom && !nearBackground; ++rr) {
                nearBackground = scratch[static_cast<size_t>(rr) * width + c] != 0;
            }
            if (nearBackground) fused[c] = LABEL_BACKGROUND;
        }
    }
}

void fuseColourAndDepth(const LabelMask& colourMask, const LabelMask& depthMask, int width,
                        int height, LabelMask& fusedMask, std::vector<uint8_t>& scratch) {
    fuseFirstStageRows(colourMask, depthMask, width, 0, height, fusedMask, scratch);
    fuseBorderRows(colourMask, width, height, 0, height, fusedMask, scratch);
}

}  // namespace dadimero
