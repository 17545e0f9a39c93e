#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include "frame_panels.hpp"
#include "sequence_layout.hpp"
#include "tool_test_support.hpp"

namespace {

TEST(FramePanelsTest, MissingDepthIsMagentaAndNearAndFarGetDifferentColours) {
    const cv::Mat depth = (cv::Mat_<uint16_t>(1, 4) << 0, 1000, 2000, 3000);
    const cv::Mat coloured = depthFalseColour(depth);
    ASSERT_EQ(coloured.type(), CV_8UC3);
    EXPECT_EQ(coloured.at<cv::Vec3b>(0, 0), kMissingDepthColour);
    for (int x = 1; x < 4; ++x)
        EXPECT_NE(coloured.at<cv::Vec3b>(0, x), kMissingDepthColour) << x;
    // Near is blue-ish, far red-ish.
    EXPECT_GT(coloured.at<cv::Vec3b>(0, 1)[0], coloured.at<cv::Vec3b>(0, 1)[2]);
    EXPECT_GT(coloured.at<cv::Vec3b>(0, 3)[2], coloured.at<cv::Vec3b>(0, 3)[0]);
}

TEST(FramePanelsTest, OverlayTintsDetectedPixelsAndOutlinesGroundTruth) {
    const cv::Mat frame(5, 5, CV_8UC3, cv::Scalar(100, 100, 100));
    cv::Mat mask = cv::Mat::zeros(5, 5, CV_8UC1);
    mask.at<uint8_t>(0, 0) = 255;
    cv::Mat truth = cv::Mat::zeros(5, 5, CV_8UC1);
    truth.at<uint8_t>(2, 2) = 255;
    const cv::Mat overlay = maskOverlay(frame, mask, truth);
    const cv::Vec3b tinted = overlay.at<cv::Vec3b>(0, 0);
    EXPECT_GT(tinted[2], 150);
    EXPECT_LT(tinted[0], 100);
    EXPECT_EQ(overlay.at<cv::Vec3b>(2, 3), cv::Vec3b(0, 255, 0));  // around the moving pixel
    EXPECT_EQ(overlay.at<cv::Vec3b>(2, 2), cv::Vec3b(100, 100, 100));
    EXPECT_EQ(overlay.at<cv::Vec3b>(4, 4), cv::Vec3b(100, 100, 100));
}

TEST(DrawFramesCommandTest, WritesOnePicturePerFrameAndNamesAMissingMask) {
    TemporaryDirectory dir;
    const std::filesystem::path seq = dir.path() / "seq";
    const std::filesystem::path masks = dir.path() / "masks";
    const std::filesystem::path out = dir.path() / "pictures";
    ASSERT_EQ(
        runProgram(MAKE_SAMPLE_SEQUENCE_EXE,
                   {"--out", seq.string(), "--width", "48", "--height", "40", "--frames", "8"},
                   dir.path())
            .exitCode,
        0);
    std::filesystem::create_directories(masks);
    for (const int frame : {5, 6})
        cv::imwrite(maskPath(masks, frame).string(), cv::Mat::zeros(40, 48, CV_8UC1));

    CommandResult r = runProgram(DRAW_FRAMES_EXE,
                                 {seq.string(), masks.string(), "--frames", "5-6", "--out",
                                  out.string(), "--overlay", "--scale", "2"},
                                 dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"frame000005.png", "frame000006.png"}) {
        const cv::Mat picture = cv::imread((out / name).string(), cv::IMREAD_COLOR);
        ASSERT_FALSE(picture.empty()) << name;
        // Five panels (frame, depth, mask, overlay, ground truth) of 96 pixels,
        // four gaps of 4, under a 22-pixel caption.
        EXPECT_EQ(picture.cols, 5 * 96 + 4 * 4);
        EXPECT_EQ(picture.rows, 80 + 22);
    }

    r = runProgram(DRAW_FRAMES_EXE,
                   {seq.string(), masks.string(), "--frames", "7", "--out", out.string()},
                   dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(maskPath(masks, 7).string()), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out / "frame000007.png"));

    r = runProgram(DRAW_FRAMES_EXE, {seq.string(), masks.string(), "--frames", "x", "--out", "o"},
                   dir.path());
    EXPECT_EQ(r.exitCode, 2);
}

}  // namespace
