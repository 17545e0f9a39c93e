#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <opencv2/imgcodecs.hpp>

#include "evaluated_range.hpp"
#include "ground_truth_labels.hpp"
#include "tool_test_support.hpp"

namespace {

constexpr int kWidth = 48;
constexpr int kHeight = 40;
constexpr int kFrames = 12;

CommandResult generate(const std::filesystem::path& out, const std::string& seed,
                       const std::filesystem::path& scratch, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--out",    out.string(),
                                     "--width",  std::to_string(kWidth),
                                     "--height", std::to_string(kHeight),
                                     "--frames", std::to_string(kFrames),
                                     "--seed",   seed};
    args.insert(args.end(), extra.begin(), extra.end());
    return runProgram(MAKE_SAMPLE_SEQUENCE_EXE, args, scratch);
}

std::vector<std::filesystem::path> filesUnder(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files.push_back(std::filesystem::relative(entry.path(), root));
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(MakeSampleSequenceTest, SameSeedGivesIdenticalFilesAndAnotherSeedDiffers) {
    TemporaryDirectory dir;
    const std::filesystem::path first = dir.path() / "first";
    const std::filesystem::path again = dir.path() / "again";
    const std::filesystem::path other = dir.path() / "other";
    ASSERT_EQ(generate(first, "7", dir.path()).exitCode, 0);
    ASSERT_EQ(generate(again, "7", dir.path()).exitCode, 0);
    ASSERT_EQ(generate(other, "8", dir.path()).exitCode, 0);

    const std::vector<std::filesystem::path> files = filesUnder(first);
    // Frames, depth and ground truth for every frame, plus the three sequence files.
    EXPECT_EQ(files.size(), 3u * kFrames + 3u);
    EXPECT_EQ(filesUnder(again), files);
    for (const std::filesystem::path& f : files) {
        EXPECT_EQ(readFileBytes(first / f), readFileBytes(again / f)) << f;
    }
    EXPECT_EQ(filesUnder(other), files);
    EXPECT_NE(readFileBytes(first / "CinitImageL.png"), readFileBytes(other / "CinitImageL.png"));
    for (int frame = 1; frame <= kFrames; ++frame) {
        const std::filesystem::path input =
            std::filesystem::relative(dadimero::SequenceDirectory(first).colourFrame(frame), first);
        EXPECT_NE(readFileBytes(first / input), readFileBytes(other / input)) << input;
    }
}

TEST(MakeSampleSequenceTest, WritesTheSequenceLayoutInBothDepthFormats) {
    TemporaryDirectory dir;
    for (const int bits : {8, 16}) {
        const std::filesystem::path seq = dir.path() / std::to_string(bits);
        ASSERT_EQ(generate(seq, "3", dir.path(), {"--depth-bits", std::to_string(bits)}).exitCode,
                  0);
        const EvaluatedRange range = readEvaluatedRange(seq);
        EXPECT_EQ(range.first, kFrames / 4 + 1);
        EXPECT_EQ(range.last, kFrames);
        const cv::Mat background = cv::imread(
            dadimero::SequenceDirectory(seq).background().string(), cv::IMREAD_UNCHANGED);
        EXPECT_EQ(background.type(), CV_8UC3);
        EXPECT_EQ(background.size(), cv::Size(kWidth, kHeight));
        for (int frame = 1; frame <= kFrames; ++frame) {
            const cv::Mat colour = cv::imread(
                dadimero::SequenceDirectory(seq).colourFrame(frame).string(), cv::IMREAD_UNCHANGED);
            const cv::Mat depth = cv::imread(
                dadimero::SequenceDirectory(seq).depthFrame(frame).string(), cv::IMREAD_UNCHANGED);
            EXPECT_EQ(colour.type(), CV_8UC3);
            EXPECT_EQ(depth.type(), bits == 16 ? CV_16UC1 : CV_8UC1);
            EXPECT_EQ(depth.size(), background.size());
            // Every frame has missing depth somewhere, and mostly measured depth.
            const int missing = depth.total() - cv::countNonZero(depth);
            EXPECT_GT(missing, 0) << frame;
            EXPECT_LT(missing, static_cast<int>(depth.total() / 4)) << frame;
        }
    }
}

TEST(MakeSampleSequenceTest, RejectsBadOptionsWithOneLineMessages) {
    TemporaryDirectory dir;
    const std::filesystem::path out = dir.path() / "never";
    const std::vector<std::vector<std::string>> bad = {
        {"--out", out.string(), "--depth-bits", "12"},
        {"--out", out.string(), "--width", "4"},
        {"--out", out.string(), "--frames", "ten"},
        {"--out", out.string(), "--roi", "most"},
        {"--out", out.string(), "--bogus"},
        {"--width", "64"},
        {"--out"}};
    for (const auto& args : bad) {
        const CommandResult r = runProgram(MAKE_SAMPLE_SEQUENCE_EXE, args, dir.path());
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.rfind("make-sample-sequence: ", 0), 0u) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    const CommandResult help = runProgram(MAKE_SAMPLE_SEQUENCE_EXE, {"--help"}, dir.path());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--depth-bits"), std::string::npos);
}

// The ground truth says what was drawn: checked against the pixels alone.
class SampleGroundTruthTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new TemporaryDirectory;
        sequence = dir->path() / "seq";
        ASSERT_EQ(generate(sequence, "11", dir->path(), {"--roi", "partial"}).exitCode, 0);
        background = cv::imread(dadimero::SequenceDirectory(sequence).background().string(),
                                cv::IMREAD_COLOR);
        roi = cv::imread(dadimero::SequenceDirectory(sequence).regionOfInterest().string(),
                         cv::IMREAD_GRAYSCALE);
        for (int frame = 1; frame <= kFrames; ++frame) {
            colour.push_back(
                cv::imread(dadimero::SequenceDirectory(sequence).colourFrame(frame).string(),
                           cv::IMREAD_COLOR));
            depth.push_back(
                cv::imread(dadimero::SequenceDirectory(sequence).depthFrame(frame).string(),
                           cv::IMREAD_ANYDEPTH));
            truth.push_back(
                cv::imread(dadimero::SequenceDirectory(sequence).groundTruth(frame).string(),
                           cv::IMREAD_GRAYSCALE));
        }
    }
    static void TearDownTestSuite() { delete dir; }

    // The illumination drifts; estimate this frame's gain from static pixels.
    static double gainOf(int index) {
        double frameSum = 0;
        double backgroundSum = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                if (truth[index].at<uint8_t>(y, x) != GT_STATIC) continue;
                const cv::Vec3b f = colour[index].at<cv::Vec3b>(y, x);
                const cv::Vec3b b = background.at<cv::Vec3b>(y, x);
                frameSum += f[0] + f[1] + f[2];
                backgroundSum += b[0] + b[1] + b[2];
            }
        }
        return frameSum / backgroundSum;
    }

    // Largest per-channel difference between a pixel and the lit background.
    static double colourDifference(int index, int y, int x, double gain) {
        const cv::Vec3b f = colour[index].at<cv::Vec3b>(y, x);
        const cv::Vec3b b = background.at<cv::Vec3b>(y, x);
        double largest = 0;
        for (int ch = 0; ch < 3; ++ch)
            largest = std::max(largest, std::abs(f[ch] - gain * b[ch]));
        return largest;
    }

    // The farthest depth measured at a pixel while the ground truth shows background there.
    static int backgroundDepth(int y, int x) {
        int farthest = 0;
        for (int i = 0; i < kFrames; ++i) {
            const uint8_t label = truth[i].at<uint8_t>(y, x);
            if (label == GT_STATIC || label == GT_HARD_SHADOW) {
                farthest = std::max(farthest, static_cast<int>(depth[i].at<uint16_t>(y, x)));
            }
        }
        return farthest;
    }

    static inline TemporaryDirectory* dir = nullptr;
    static inline std::filesystem::path sequence;
    static inline cv::Mat background;
    static inline cv::Mat roi;
    static inline std::vector<cv::Mat> colour;
    static inline std::vector<cv::Mat> depth;
    static inline std::vector<cv::Mat> truth;
};

TEST_F(SampleGroundTruthTest, OutsideRoiIsExactlyWhereRoiBmpIsZero) {
    ASSERT_EQ(roi.size(), cv::Size(kWidth, kHeight));
    EXPECT_GT(cv::countNonZero(roi == 0), 0);
    EXPECT_GT(cv::countNonZero(roi), 0);
    for (int i = 0; i < kFrames; ++i) {
        EXPECT_EQ(cv::countNonZero((truth[i] == GT_OUTSIDE_ROI) != (roi == 0)), 0) << i;
    }
}

TEST_F(SampleGroundTruthTest, UsesOnlyTheFiveLabelsAndEveryOneOfThem) {
    int seen[256] = {};
    for (const cv::Mat& gt : truth) {
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                ++seen[gt.at<uint8_t>(y, x)];
    }
    for (int v = 0; v < 256; ++v) {
        const bool label = v == GT_STATIC || v == GT_HARD_SHADOW || v == GT_OUTSIDE_ROI ||
                           v == GT_UNKNOWN || v == GT_MOVING;
        if (label) {
            EXPECT_GT(seen[v], 0) << "label " << v;
        } else {
            EXPECT_EQ(seen[v], 0) << "value " << v;
        }
    }
}

TEST_F(SampleGroundTruthTest, StaticPixelsLookLikeTheBackgroundAndShadowsAreDarker) {
    for (int i = 0; i < kFrames; ++i) {
        const double gain = gainOf(i);
        EXPECT_GT(gain, 0.85) << i;
        EXPECT_LT(gain, 1.02) << i;
        int staticPixels = 0;
        int staticClose = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t label = truth[i].at<uint8_t>(y, x);
                if (label == GT_STATIC) {
                    ++staticPixels;
                    // Soft shadow rims are static too, so allow a few to differ.
                    if (colourDifference(i, y, x, gain) <= 12) ++staticClose;
                } else if (label == GT_HARD_SHADOW) {
                    const cv::Vec3b f = colour[i].at<cv::Vec3b>(y, x);
                    const cv::Vec3b b = background.at<cv::Vec3b>(y, x);
                    for (int ch = 0; ch < 3; ++ch)
                        EXPECT_LT(f[ch] + 10, gain * b[ch]) << i << " " << y << "," << x;
                }
            }
        }
        EXPECT_GE(staticClose, staticPixels * 97 / 100) << i;
    }
}

TEST_F(SampleGroundTruthTest, MovingPixelsDifferInColourOrAreNearerAndBothCasesOccur) {
    int camouflaged = 0;  // same colour as the background, nearer
    int flat = 0;         // background's depth, other colour
    for (int i = 0; i < kFrames; ++i) {
        const double gain = gainOf(i);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                if (truth[i].at<uint8_t>(y, x) != GT_MOVING) continue;
                const int behind = backgroundDepth(y, x);
                const int measured = depth[i].at<uint16_t>(y, x);
                if (behind == 0 || measured == 0) continue;  // depth unknown here
                const bool colourDiffers = colourDifference(i, y, x, gain) > 15;
                const bool nearer = measured < behind - 100;
                EXPECT_TRUE(colourDiffers || nearer)
                    << "frame " << i + 1 << " at " << y << "," << x;
                if (!colourDiffers && nearer) ++camouflaged;
                if (colourDiffers && measured > behind - 40) ++flat;
            }
        }
    }
    EXPECT_GT(camouflaged, 20);
    EXPECT_GT(flat, 10);
}

}  // namespace
