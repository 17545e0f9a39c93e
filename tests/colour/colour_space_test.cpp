#include "colour/colour_space.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "colour/cone_planes.hpp"

using namespace dadimero;

TEST(ColourSpaceTest, RgbToHsvOnPrimariesGreysAndTies) {
    Hsv black = rgbToHsv(0, 0, 0);
    EXPECT_EQ(black.h, 0.0f);
    EXPECT_EQ(black.s, 0.0f);
    EXPECT_EQ(black.v, 0.0f);

    Hsv white = rgbToHsv(255, 255, 255);
    EXPECT_EQ(white.h, 0.0f);
    EXPECT_EQ(white.s, 0.0f);
    EXPECT_EQ(white.v, 1.0f);  // 255 * float(1/255) rounds to exactly 1

    Hsv red = rgbToHsv(255, 0, 0);
    EXPECT_EQ(red.h, 0.0f);
    EXPECT_EQ(red.s, 1.0f);
    EXPECT_EQ(red.v, 1.0f);
    EXPECT_EQ(rgbToHsv(0, 255, 0).h, 120.0f);
    EXPECT_EQ(rgbToHsv(0, 0, 255).h, 240.0f);
    EXPECT_EQ(rgbToHsv(255, 255, 0).h, 60.0f);   // red and green tie: the red formula
    EXPECT_EQ(rgbToHsv(0, 255, 255).h, 180.0f);  // green and blue tie: the green formula
    EXPECT_EQ(rgbToHsv(255, 0, 255).h, 300.0f);

    // A small negative hue wraps: 360 - 60/255, rounded once to float.
    const float b = static_cast<float>(1 * static_cast<double>(kOneOver255));
    const double expected = (0.0 - b) / 1.0 * 60.0 + 360.0;
    EXPECT_EQ(rgbToHsv(255, 0, 1).h, static_cast<float>(expected));
}

TEST(ColourSpaceTest, ConePointsOfPrimaries) {
    const ConePoint red = rgbToCone(255, 0, 0);
    EXPECT_EQ(red.x, 1.0f);
    EXPECT_EQ(red.y, 0.0f);
    EXPECT_EQ(red.z, 1.0f);

    const ConePoint green = rgbToCone(0, 255, 0);
    EXPECT_EQ(green.x, -0.5f);
    EXPECT_FLOAT_EQ(green.y, static_cast<float>(std::sqrt(3.0) / 2.0));
    EXPECT_EQ(green.z, 1.0f);

    const ConePoint white = rgbToCone(255, 255, 255);
    EXPECT_EQ(white.x, 0.0f);
    EXPECT_EQ(white.y, 0.0f);
    EXPECT_EQ(white.z, 1.0f);
}

TEST(ColourSpaceTest, HsvToRgbGreyAndTheHueOf360) {
    Rgb rgb = hsvToRgb(123.0f, 0.0f, 0.4f);
    EXPECT_EQ(rgb.red, 0.4f);
    EXPECT_EQ(rgb.green, 0.4f);
    EXPECT_EQ(rgb.blue, 0.4f);

    // 360 lands in sector 6, which shares the last row: (V, p, q).
    rgb = hsvToRgb(360.0f, 0.5f, 0.8f);
    EXPECT_EQ(rgb.red, 0.8f);
    EXPECT_EQ(rgb.green, static_cast<float>(0.8f * (1.0 - 0.5f)));
    EXPECT_NEAR(rgb.blue, 0.8f, 1e-6f);

    // Sector 2: (p, V, t).
    rgb = hsvToRgb(150.0f, 1.0f, 1.0f);
    EXPECT_EQ(rgb.red, 0.0f);
    EXPECT_EQ(rgb.green, 1.0f);
    EXPECT_NEAR(rgb.blue, 0.5f, 1e-6f);

    // A not-a-number saturation takes the general path and gives not-a-numbers.
    rgb = hsvToRgb(0.0f, std::nanf(""), 0.0f);
    EXPECT_EQ(rgb.red, 0.0f);
    EXPECT_TRUE(std::isnan(rgb.green));
}

TEST(ColourSpaceTest, ConeToHsvBranchesAndBlack) {
    Hsv black = coneToHsv(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(black.h, 0.0f);
    EXPECT_TRUE(std::isnan(black.s));
    EXPECT_EQ(black.v, 0.0f);

    Hsv grey = coneToHsv(0.0f, 0.0f, 0.5f);
    EXPECT_EQ(grey.h, 0.0f);
    EXPECT_EQ(grey.s, 0.0f);
    EXPECT_EQ(grey.v, 0.5f);

    // The cosine of 90 degrees is below 1e-6: the sine branch.
    Hsv up = coneToHsv(0.0f, 0.5f, 1.0f);
    EXPECT_FLOAT_EQ(up.h, 90.0f);
    EXPECT_EQ(up.s, 0.5f);
    EXPECT_EQ(up.v, 1.0f);

    Hsv cyan = coneToHsv(-0.5f, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(cyan.h, 180.0f);
    EXPECT_EQ(cyan.s, 0.5f);

    // A tiny negative angle becomes a hue in [0, 360].
    Hsv wrapped = coneToHsv(1.0f, -1e-9f, 1.0f);
    EXPECT_GE(wrapped.h, 359.9f);
    EXPECT_LE(wrapped.h, 360.0f);
}

TEST(ColourSpaceTest, FloatToByteRoundsHalfUpAndSaturates) {
    EXPECT_EQ(floatToByte(-0.1f), 0);
    EXPECT_EQ(floatToByte(0.49f), 0);
    EXPECT_EQ(floatToByte(0.5f), 1);
    EXPECT_EQ(floatToByte(254.5f), 255);
    EXPECT_EQ(floatToByte(255.0f), 255);
    EXPECT_EQ(floatToByte(300.0f), 255);
    EXPECT_EQ(floatToByte(std::nanf("")), 0);
    EXPECT_EQ(floatToByte(INFINITY), 255);
}

TEST(ColourSpaceTest, ImageToConePlanesSkipsPixelsOutsideTheRegion) {
    cv::Mat image(1, 3, CV_8UC3);
    image.at<cv::Vec3b>(0, 0) = cv::Vec3b(0, 0, 255);  // BGR: red
    image.at<cv::Vec3b>(0, 1) = cv::Vec3b(0, 0, 0);
    image.at<cv::Vec3b>(0, 2) = cv::Vec3b(255, 255, 255);
    RegionOfInterest roi = makeRegionOfInterest({255, 1, 0}, 3);
    PlaneSet planes = allocFloatPlanes(3);
    planes.plane[2][2] = 7.0f;
    imageToConePlanes(image, roi, planes);
    EXPECT_EQ(planes.plane[0][0], 1.0f);
    EXPECT_EQ(planes.plane[2][0], 1.0f);
    EXPECT_EQ(planes.plane[0][1], 0.0f);
    EXPECT_EQ(planes.plane[2][1], 0.0f);
    EXPECT_EQ(planes.plane[2][2], 7.0f);  // outside: untouched
}
