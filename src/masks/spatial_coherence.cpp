#include "masks/spatial_coherence.hpp"

#include <algorithm>

namespace dadimero {

uint8_t majorityLabel(int count, int threshold, uint8_t centre) {
    if (count <= threshold) return centre == LABEL_SHADOW ? LABEL_SHADOW : LABEL_FOREGROUND;
    return centre == LABEL_FOREGROUND ? LABEL_SUPPRESSED : centre;
}

namespace {

// The threshold of each window size the two filters use: 4 of 9, 2 of 6 and 1
// of 4 for 3 x 3; 12 of 25, 9 of 20 and 6 of 15 for 5 x 5.
constexpr int thresholdForWindow(int size) {
    switch (size) {
        case 4:
            return 1;
        case 6:
            return 2;
        case 9:
            return 4;
        case 15:
            return 6;
        case 20:
            return 9;
        case 25:
            return 12;
        default:
            return (size - 1) / 2;  // unreachable for supported image sizes
    }
}

// scratch[k] = background-like labels in the row segment of `radius` around k.
void countRowSegments(int W, int radius, const LabelMask& input, int rowBegin, int rowEnd,
                      std::vector<uint8_t>& scratch) {
    for (int r = rowBegin; r < rowEnd; ++r) {
        const uint8_t* in = input.data() + static_cast<size_t>(r) * W;
        uint8_t* out = scratch.data() + static_cast<size_t>(r) * W;
        int running = 0;
        for (int c = 0; c < std::min(radius, W); ++c)
            running += isBackgroundLike(in[c]);
        for (int c = 0; c < W; ++c) {
            if (c + radius < W) running += isBackgroundLike(in[c + radius]);
            if (c - radius - 1 >= 0) running -= isBackgroundLike(in[c - radius - 1]);
            out[c] = static_cast<uint8_t>(running);
        }
    }
}

bool isInCornerBlock(int r, int c, int H, int W) {
    const bool nearRow = r <= 1 || r >= H - 2;
    const bool nearCol = c <= 1 || c >= W - 2;
    return nearRow && nearCol;
}

// The majority rule for the columns [cBegin, cEnd) of row r, whose squares
// lie wholly inside the image: one count of rows and one threshold for all,
// and no branch, so that the compiler may vectorise it.
template <int Radius>
void filterWholeSquares(int W, int r, int cBegin, int cEnd, const LabelMask& input,
                        const RegionOfInterest& roi, LabelMask& output,
                        const std::vector<uint8_t>& scratch) {
    constexpr int kThreshold = thresholdForWindow((2 * Radius + 1) * (2 * Radius + 1));
    const size_t rowStart = static_cast<size_t>(r) * W;
    const uint8_t* counts = scratch.data() + static_cast<size_t>(r - Radius) * W;
    const uint8_t* in = input.data() + rowStart;
    const uint8_t* inside = roi.mask.data() + rowStart;
    uint8_t* out = output.data() + rowStart;
    for (int c = cBegin; c < cEnd; ++c) {
        int count = 0;
        for (int i = 0; i <= 2 * Radius; ++i)
            count += counts[static_cast<size_t>(i) * W + c];
        const uint8_t centre = in[c];
        const uint8_t minority = centre == LABEL_SHADOW ? LABEL_SHADOW : LABEL_FOREGROUND;
        const uint8_t majority = centre == LABEL_FOREGROUND ? LABEL_SUPPRESSED : centre;
        const uint8_t label = count <= kThreshold ? minority : majority;
        out[c] = inside[c] != 0 ? label : out[c];
    }
}

// Counts each inside pixel's clipped square and applies the majority rule.
// With `skipCornerBlocks` the 2 x 2 blocks at the four corners are left out.
void filterSquare(int H, int W, int radius, bool skipCornerBlocks, const LabelMask& input,
                  const RegionOfInterest& roi, LabelMask& output,
                  const std::vector<uint8_t>& scratch, int rowBegin, int rowEnd) {
    for (int r = rowBegin; r < rowEnd; ++r) {
        const int top = std::max(r - radius, 0);
        const int bottom = std::min(r + radius, H - 1);
        const int rows = bottom - top + 1;
        const size_t rowStart = static_cast<size_t>(r) * W;
        const bool edgeRow = r <= 1 || r >= H - 2;
        // Rows whose squares are whole but near the ends of the row.
        const bool wholeRows = rows == 2 * radius + 1 && !(skipCornerBlocks && edgeRow);
        const bool wide = W > 2 * radius;
        if (wholeRows && wide) {
            if (radius == 1) {
                filterWholeSquares<1>(W, r, 1, W - 1, input, roi, output, scratch);
            } else {
                filterWholeSquares<2>(W, r, 2, W - 2, input, roi, output, scratch);
            }
        }
        for (int c = 0; c < W; ++c) {
            if (wholeRows && wide && c == radius) c = W - radius;
            if (skipCornerBlocks && edgeRow && isInCornerBlock(r, c, H, W)) continue;
            const size_t k = rowStart + c;
            if (roi.mask[k] == 0) continue;
            int count = 0;
            for (int rr = top; rr <= bottom; ++rr)
                count += scratch[static_cast<size_t>(rr) * W + c];
            const int cols = std::min(c + radius, W - 1) - std::max(c - radius, 0) + 1;
            output[k] = majorityLabel(count, thresholdForWindow(rows * cols), input[k]);
        }
    }
}

void filterCorner(int r, int c, int W, const LabelMask& input, const RegionOfInterest& roi,
                  LabelMask& output) {
    const size_t k = static_cast<size_t>(r) * W + c;
    if (roi.mask[k] == 0) return;
    const int r0 = r == 0 ? 0 : r - 1;
    const int c0 = c == 0 ? 0 : c - 1;
    int count = 0;
    for (int rr = r0; rr <= r0 + 1; ++rr) {
        for (int cc = c0; cc <= c0 + 1; ++cc) {
            count += isBackgroundLike(input[static_cast<size_t>(rr) * W + cc]);
        }
    }
    output[k] = majorityLabel(count, 1, input[k]);
}

int radiusOf(int window) {
    return window == 5 ? 2 : 1;
}

}  // namespace

void coherenceRowCounts(int W, int window, const LabelMask& input, int rowBegin, int rowEnd,
                        std::vector<uint8_t>& scratch) {
    countRowSegments(W, radiusOf(window), input, rowBegin, rowEnd, scratch);
}

void coherenceRows(int H, int W, int window, const LabelMask& input, const RegionOfInterest& roi,
                   LabelMask& output, const std::vector<uint8_t>& scratch, int rowBegin,
                   int rowEnd) {
    const bool fiveByFive = window == 5;
    filterSquare(H, W, radiusOf(window), fiveByFive, input, roi, output, scratch, rowBegin, rowEnd);
    if (!fiveByFive) return;
    // The corner pixels use their 2 x 2 block; its other three pixels stay unwritten.
    if (rowBegin == 0) {
        filterCorner(0, 0, W, input, roi, output);
        filterCorner(0, W - 1, W, input, roi, output);
    }
    if (rowEnd == H) {
        filterCorner(H - 1, 0, W, input, roi, output);
        filterCorner(H - 1, W - 1, W, input, roi, output);
    }
}

void spatialCoherence3x3(int H, int W, const LabelMask& input, const RegionOfInterest& roi,
                         LabelMask& output, std::vector<uint8_t>& scratch) {
    coherenceRowCounts(W, 3, input, 0, H, scratch);
    coherenceRows(H, W, 3, input, roi, output, scratch, 0, H);
}

void spatialCoherence5x5(int H, int W, const LabelMask& input, const RegionOfInterest& roi,
                         LabelMask& output, std::vector<uint8_t>& scratch) {
    coherenceRowCounts(W, 5, input, 0, H, scratch);
    coherenceRows(H, W, 5, input, roi, output, scratch, 0, H);
}

}  // namespace dadimero
