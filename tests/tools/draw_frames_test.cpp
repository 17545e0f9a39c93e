#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "error_panel.hpp"
#include "evaluated_range.hpp"
#include "frame_panels.hpp"
#include "ground_truth_labels.hpp"
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

// Frames of 48 x 40 pixels, 8 frames: 1 and 2 calibrate, 3..8 are evaluated.
TEST(DrawFramesCommandTest, WritesOnePicturePerFrameMarksCalibrationAndNamesAMissingMask) {
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
        cv::imwrite(dadimero::maskPath(masks, frame).string(), cv::Mat::zeros(40, 48, CV_8UC1));

    // Frame 2 has no mask yet: a calibration frame, drawn all the same.
    CommandResult r = runProgram(DRAW_FRAMES_EXE,
                                 {seq.string(), masks.string(), "--frames", "2,5-6", "--out",
                                  out.string(), "--overlay", "--scale", "2"},
                                 dir.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"frame000002.png", "frame000005.png", "frame000006.png"}) {
        const cv::Mat picture = cv::imread((out / name).string(), cv::IMREAD_COLOR);
        ASSERT_FALSE(picture.empty()) << name;
        // Six panels (frame, depth, mask, overlay, errors, ground truth) of 96
        // pixels, five gaps of 4, between the caption and the key strips.
        EXPECT_EQ(picture.cols, 6 * 96 + 5 * 4);
        EXPECT_EQ(picture.rows, kCaptionHeight + 80 + kKeyHeight);
    }

    // Frame 7 lies inside the temporal range: its mask must exist.
    r = runProgram(DRAW_FRAMES_EXE,
                   {seq.string(), masks.string(), "--frames", "7", "--out", out.string()},
                   dir.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "draw-frames: missing mask " + dadimero::maskPath(masks, 7).string() + "\n");
    EXPECT_FALSE(std::filesystem::exists(out / "frame000007.png"));

    r = runProgram(DRAW_FRAMES_EXE, {seq.string(), masks.string(), "--frames", "x", "--out", "o"},
                   dir.path());
    EXPECT_EQ(r.exitCode, 2);
}

// The pixels of one colour in `picture`'s region.
int pixelsOfColour(const cv::Mat& picture, const cv::Rect& region, const cv::Vec3b& colour) {
    cv::Mat same;
    cv::inRange(picture(region), cv::Scalar(colour[0], colour[1], colour[2]),
                cv::Scalar(colour[0], colour[1], colour[2]), same);
    return cv::countNonZero(same);
}

// The row of `frame` in evaluate-masks' per-frame CSV, split at the commas.
std::vector<std::string> csvRowOfFrame(const std::string& csv, const std::string& prefix,
                                       int frame) {
    const std::string start = "\n" + prefix + std::to_string(frame) + ",";
    const size_t at = csv.find(start);
    if (at == std::string::npos) return {};
    std::vector<std::string> fields;
    std::string field;
    for (size_t i = at + 1; i < csv.size() && csv[i] != '\n'; ++i) {
        if (csv[i] == ',') {
            fields.push_back(field);
            field.clear();
        } else {
            field += csv[i];
        }
    }
    fields.push_back(field);
    return fields;
}

TEST(DrawFramesCommandTest, ErrorPanelColoursThePixelsTheScoresCount) {
    TemporaryDirectory dir;
    const std::filesystem::path data = dir.path() / "data";
    const std::filesystem::path seq = data / "seq";
    const std::filesystem::path masks = dir.path() / "results" / "seq";
    ASSERT_EQ(runProgram(MAKE_SAMPLE_SEQUENCE_EXE,
                         {"--out", seq.string(), "--width", "48", "--height", "40", "--frames",
                          "12", "--seed", "1"},
                         dir.path())
                  .exitCode,
              0);
    // Masks that make every kind of pixel: the moving objects shifted 3 pixels
    // right (past the 2-pixel border band) and every other column of shadow.
    std::filesystem::create_directories(masks);
    for (int frame = 4; frame <= 12; ++frame) {
        const cv::Mat truth = cv::imread(
            dadimero::SequenceDirectory(seq).groundTruth(frame).string(), cv::IMREAD_GRAYSCALE);
        cv::Mat mask = cv::Mat::zeros(truth.size(), CV_8UC1);
        const cv::Mat moving = truth == GT_MOVING;
        moving(cv::Rect(0, 0, truth.cols - 3, truth.rows))
            .copyTo(mask(cv::Rect(3, 0, truth.cols - 3, truth.rows)));
        for (int x = 0; x < truth.cols; x += 2)
            mask.col(x).setTo(255, truth.col(x) == GT_HARD_SHADOW);
        cv::imwrite(dadimero::maskPath(masks, frame).string(), mask);
    }
    const std::filesystem::path csv = dir.path() / "frames.csv";
    const CommandResult scores = runProgram(
        EVALUATE_MASKS_EXE,
        {"--dataset", data.string(), masks.parent_path().string(), "--per-frame", csv.string()},
        dir.path());
    ASSERT_EQ(scores.exitCode, 0) << scores.err;

    constexpr int kFrame = 8;  // walkers, the ball and a cast shadow in view
    const std::filesystem::path out = dir.path() / "pictures";
    const CommandResult drawn =
        runProgram(DRAW_FRAMES_EXE,
                   {seq.string(), masks.string(), "--frames", std::to_string(kFrame), "--out",
                    out.string(), "--scale", "2"},
                   dir.path());
    ASSERT_EQ(drawn.exitCode, 0) << drawn.err;
    const cv::Mat picture = cv::imread((out / "frame000008.png").string(), cv::IMREAD_COLOR);
    ASSERT_FALSE(picture.empty());
    // Panels: frame, depth, mask, errors, ground truth; each 96 wide, gaps of 4.
    const cv::Rect errors(3 * (96 + 4), kCaptionHeight, 96, 80);

    const std::vector<std::string> counts = csvRowOfFrame(readFileBytes(csv), "seq,seq,", kFrame);
    ASSERT_EQ(counts.size(), 7u) << readFileBytes(csv);
    const int truePositives = std::stoi(counts[3]);
    const int falsePositives = std::stoi(counts[4]);
    const int falseNegatives = std::stoi(counts[5]);
    // Every kind is present, so a matching count is no coincidence of zeros.
    EXPECT_GT(truePositives, 0);
    EXPECT_GT(falsePositives, 0);
    EXPECT_GT(falseNegatives, 0);
    // Each mask pixel is a 2 x 2 block in the picture.
    EXPECT_EQ(pixelsOfColour(picture, errors, kTruePositiveColour), 4 * truePositives);
    EXPECT_EQ(pixelsOfColour(picture, errors, kFalsePositiveColour), 4 * falsePositives);
    EXPECT_EQ(pixelsOfColour(picture, errors, kFalseNegativeColour), 4 * falseNegatives);

    const cv::Mat truth = cv::imread(dadimero::SequenceDirectory(seq).groundTruth(kFrame).string(),
                                     cv::IMREAD_GRAYSCALE);
    const cv::Mat mask =
        cv::imread(dadimero::maskPath(masks, kFrame).string(), cv::IMREAD_GRAYSCALE);
    const cv::Mat roi = cv::imread(dadimero::SequenceDirectory(seq).regionOfInterest().string(),
                                   cv::IMREAD_GRAYSCALE);
    const int shadowLeftOut =
        cv::countNonZero((truth == GT_HARD_SHADOW) & (roi != 0) & (mask == 0));
    EXPECT_GT(shadowLeftOut, 0);
    EXPECT_EQ(pixelsOfColour(picture, errors, kShadowColour), 4 * shadowLeftOut);
}

}  // namespace
