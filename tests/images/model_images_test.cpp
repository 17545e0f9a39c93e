#include "images/model_images.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "files/ppm_file.hpp"

using namespace dadimero;

TEST(ModelImagesTest, PpmHeaderSizeAndRedGreenBlueOrder) {
    // 320 x 240 pixels with n = 3.
    const cv::Mat big(720, 960, CV_8UC3, cv::Scalar(0, 0, 0));
    const std::vector<uint8_t> bytes = encodePpm(big);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 15), "P6\n960 720\n255\n");
    EXPECT_EQ(bytes.size(), 15u + 2073600u);

    // Blue, green, red in the image; red, green, blue in the file.
    const cv::Mat two = (cv::Mat_<cv::Vec3b>(1, 2) << cv::Vec3b(3, 2, 1), cv::Vec3b(6, 5, 4));
    const std::vector<uint8_t> small = encodePpm(two);
    EXPECT_EQ(std::vector<uint8_t>(small.end() - 6, small.end()),
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(std::string(small.begin(), small.end() - 6), "P6\n2 1\n255\n");
}

TEST(ModelImagesTest, ColourWeightsRenderThroughHsv) {
    PlaneSet model = allocFloatPlanes(3);
    model.plane[0] = {1.0f, 0.0f, 0.0f};
    model.plane[1] = {0.0f, 0.0f, 0.0f};
    model.plane[2] = {1.0f, 0.0f, 0.5f};
    cv::Mat bgr(1, 3, CV_8UC3);
    colourWeightsToBgr(model, 0, 3, bgr.ptr<cv::Vec3b>());
    EXPECT_EQ(bgr.at<cv::Vec3b>(0), cv::Vec3b(0, 0, 255));      // red
    EXPECT_EQ(bgr.at<cv::Vec3b>(1), cv::Vec3b(0, 0, 0));        // black
    EXPECT_EQ(bgr.at<cv::Vec3b>(2), cv::Vec3b(128, 128, 128));  // grey
}

TEST(ModelImagesTest, DepthValuesScaleByPowersOfTwoWithSaturation) {
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
