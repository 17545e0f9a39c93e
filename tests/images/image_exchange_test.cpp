#include "images/image_exchange.hpp"

#include <gtest/gtest.h>

#include "files/image_files.hpp"

using namespace dadimero;

TEST(ImageExchangeTest, OnlyForegroundBecomesWhite) {
    const LabelMask mask = {0, 85, 127, 170, 254, 255};
    cv::Mat image(2, 3, CV_8UC1, cv::Scalar(7));
    maskToImage(mask, image);
    std::vector<uint8_t> bytes(6, 1);
    imageToBytes(image, bytes);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0, 0, 0, 0, 0, 255}));
}

TEST(ImageExchangeTest, PaddedRowsKeepTheirPadding) {
    // A 5-pixel-wide view into rows of 8 bytes.
    cv::Mat storage(2, 8, CV_8UC1, cv::Scalar(9));
    cv::Mat image = storage.colRange(0, 5);
    const LabelMask mask(10, LABEL_FOREGROUND);
    maskToImage(mask, image);
    EXPECT_EQ(storage.at<uint8_t>(0, 4), 255);
    EXPECT_EQ(storage.at<uint8_t>(0, 5), 9);
    EXPECT_EQ(storage.at<uint8_t>(1, 7), 9);
    std::vector<uint8_t> bytes(10, 0);
    imageToBytes(image, bytes);
    EXPECT_EQ(bytes, std::vector<uint8_t>(10, 255));
}

TEST(ImageFilesTest, WriteFailuresAreReported) {
    const cv::Mat image(2, 2, CV_8UC1, cv::Scalar(255));
    EXPECT_FALSE(writePngFile("/nonexistent-dir/mask.png", image));
    EXPECT_FALSE(writePngFile("/dev/full", image));  // a full disk
    EXPECT_EQ(writeFileBytes("/dev/full", "abc", 3), WriteResult::WriteFailed);
    EXPECT_EQ(writeFileBytes("/nonexistent-dir/x", "abc", 3), WriteResult::OpenFailed);
    EXPECT_TRUE(readImage("/nonexistent-dir/x.png", 1).empty());
}
