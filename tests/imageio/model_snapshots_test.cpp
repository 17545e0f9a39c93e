#include "imageio/model_snapshots.hpp"

#include <cmath>

#include <gtest/gtest.h>

TEST(ModelSnapshotsTest, PpmHeaderAndSizeForAKnownGrid) {
    // 320 x 240 pixels with n = 3.
    const BytePlaneSet rgb = allocBytePlanes(960 * 720);
    const std::vector<uint8_t> bytes = encodePpm(720, 960, rgb);
    const std::string header(bytes.begin(), bytes.begin() + 15);
    EXPECT_EQ(header, "P6\n960 720\n255\n");
    EXPECT_EQ(bytes.size(), 15u + 2073600u);
}

TEST(ModelSnapshotsTest, PixelsAreInterleavedRedGreenBlue) {
    BytePlaneSet rgb = allocBytePlanes(2);
    rgb.plane[0] = {1, 4};
    rgb.plane[1] = {2, 5};
    rgb.plane[2] = {3, 6};
    const std::vector<uint8_t> bytes = encodePpm(1, 2, rgb);
    const std::vector<uint8_t> pixels(bytes.end() - 6, bytes.end());
    EXPECT_EQ(pixels, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end() - 6), "P6\n2 1\n255\n");
}

TEST(ModelSnapshotsTest, ColourWeightsRenderThroughHsv) {
    PlaneSet model = allocFloatPlanes(3);
    model.plane[0] = {1.0f, 0.0f, 0.0f};
    model.plane[1] = {0.0f, 0.0f, 0.0f};
    model.plane[2] = {1.0f, 0.0f, 0.5f};
    BytePlaneSet rgb = allocBytePlanes(3);
    colourModelToRgbPlanes(model, 3, rgb);
    EXPECT_EQ(rgb.plane[0], (std::vector<uint8_t>{255, 0, 128}));  // red, black, grey
    EXPECT_EQ(rgb.plane[1], (std::vector<uint8_t>{0, 0, 128}));
    EXPECT_EQ(rgb.plane[2], (std::vector<uint8_t>{0, 0, 128}));
}

TEST(ModelSnapshotsTest, DepthValuesScaleByPowersOfTwoWithSaturation) {
    cv::Mat eight(1, 6, CV_8UC1);
    floatPlaneToImage({1.0f, 0.5f, 127.0f / 255.0f, 128.0f / 255.0f, -0.25f, std::nanf("")}, eight);
    EXPECT_EQ(eight.at<uint8_t>(0), 255);
    EXPECT_EQ(eight.at<uint8_t>(1), 128);
    EXPECT_EQ(eight.at<uint8_t>(2), 127);  // below 128 unchanged
    EXPECT_EQ(eight.at<uint8_t>(3), 129);  // from 128 one higher
    EXPECT_EQ(eight.at<uint8_t>(4), 0);
    EXPECT_EQ(eight.at<uint8_t>(5), 0);

    cv::Mat sixteen(1, 3, CV_16UC1);
    // 0.5 / 65536 scales to exactly 0.5 and 1.5 / 65536 to 1.5: halves to even.
    floatPlaneToImage({1.0f, 0.5f / 65536.0f, 1.5f / 65536.0f}, sixteen);
    EXPECT_EQ(sixteen.at<uint16_t>(0), 65535);
    EXPECT_EQ(sixteen.at<uint16_t>(1), 0);
    EXPECT_EQ(sixteen.at<uint16_t>(2), 2);
}
