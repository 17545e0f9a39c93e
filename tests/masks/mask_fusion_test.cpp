#include "masks/mask_fusion.hpp"

#include <gtest/gtest.h>

using namespace dadimero;

namespace {

// Fuses a one-row frame given as colour and depth label strings:
// colour 'b' background, 's' shadow, 'f' foreground; depth 'b', 'u' undecided, 'f'.
LabelMask fuseRow(const std::string& colour, const std::string& depth) {
    auto code = [](char c) -> uint8_t {
        switch (c) {
            case 'b':
                return LABEL_BACKGROUND;
            case 's':
                return LABEL_SHADOW;
            case 'u':
                return LABEL_DEPTH_UNDECIDED;
            default:
                return LABEL_FOREGROUND;
        }
    };
    LabelMask c, d;
    for (char ch : colour)
        c.push_back(code(ch));
    for (char ch : depth)
        d.push_back(code(ch));
    const int width = static_cast<int>(c.size());
    LabelMask fused(c.size(), 99);
    std::vector<uint8_t> scratch(c.size(), 0);
    fuseColourAndDepth(c, d, width, 1, fused, scratch);
    return fused;
}

std::string asText(const LabelMask& mask) {
    std::string text;
    for (uint8_t v : mask)
        text += v == LABEL_FOREGROUND ? '1' : v == LABEL_BACKGROUND ? '0' : '?';
    return text;
}

}  // namespace

TEST(MaskFusionTest, DepthDecidesWhereItCanAndColourWhereItIsUndecided) {
    // Without any stage-1 background there is no border band.
    EXPECT_EQ(asText(fuseRow("bsf", "fff")), "111");
    EXPECT_EQ(asText(fuseRow("ffffffff", "bfffffff")), "01111111");
    EXPECT_EQ(asText(fuseRow("sf", "uu")), "01");
    EXPECT_EQ(asText(fuseRow("bbb", "bbb")), "000");
}

TEST(MaskFusionTest, BorderBandReachesThreeColumnsFromBackground) {
    // Depth foreground with colour background: 3 columns from background is in
    // the band (cleared), 4 columns is not.
    EXPECT_EQ(asText(fuseRow("bbbbb", "bffff")), "00001");
    // Colour foreground survives inside the band, also for undecided depth.
    EXPECT_EQ(asText(fuseRow("bfbfb", "bffuf")), "01011");
}

TEST(MaskFusionTest, NarrowStripesLieWhollyInTheBand) {
    EXPECT_EQ(asText(fuseRow("bbfbbbbb", "bffffffb")), "00100000");
    // Seven wide: the middle column is 4 from the background on either side.
    EXPECT_EQ(asText(fuseRow("bbbbbbbbb", "bfffffffb")), "000010000");
}

TEST(MaskFusionTest, BandIsASquareAcrossRows) {
    // A 9 x 9 frame: background only in the top-left corner pixel. Pixels
    // within 3 rows and 3 columns of it need colour foreground.
    const int size = 9;
    LabelMask colour(size * size, LABEL_BACKGROUND);
    LabelMask depth(size * size, LABEL_FOREGROUND);
    depth[0] = LABEL_BACKGROUND;
    LabelMask fused(size * size, 0);
    std::vector<uint8_t> scratch(size * size, 0);
    fuseColourAndDepth(colour, depth, size, size, fused, scratch);
    for (int r = 0; r < size; ++r) {
        for (int c = 0; c < size; ++c) {
            const bool inBand = r <= 3 && c <= 3;
            EXPECT_EQ(fused[r * size + c], inBand ? LABEL_BACKGROUND : LABEL_FOREGROUND)
                << r << "," << c;
        }
    }
}
