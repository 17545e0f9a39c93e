// End-to-end tests: the built program on small generated sequences.
#include <gtest/gtest.h>

#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "support/test_sequence.hpp"

namespace fs = std::filesystem;

namespace {

struct ProgramFixture : ::testing::Test {
    TempDir dir;
    SequencePlan plan;
    fs::path seq() const { return dir / "seq"; }
    fs::path out() const { return dir / "out"; }

    void SetUp() override { fs::create_directories(out()); }
    ProgramRun run(std::vector<std::string> options) {
        options.insert(options.begin(), seq().string());
        return runProgram(out(), options);
    }
    std::vector<std::string> outputs() const { return listFiles(out()); }
    cv::Mat mask(const std::string& name) const {
        return cv::imread((out() / name).string(), cv::IMREAD_UNCHANGED);
    }
};

std::string reportFor(const std::string& prefix, bool depth, bool masks = false) {
    std::string text = depth
                           ? "\nDADI-MERO on sequence " + prefix + " (using depth data)\n\n\n"
                           : "\nRGB-MERO  on sequence " + prefix + " (NOT using depth data)\n\n\n";
    text +=
        "No. of images =            12 (from 1 to 12)\n"
        "Image size =               24 x 18\n"
        "Frames for calibration:    K=4\n"
        "Temporal ROI:              [5,12]\n"
        "Neighborhood size:         n=3 (9 weight vectors per pixel)\n"
        "RGB distance thresholds:   e1 =0.10000 (calibration), e2 =0.00800 (online)\n";
    if (depth) {
        text += "Depth distance thresholds: e1D=0.10000 (calibration), e2D=0.00075 (online)\n";
    }
    text +=
        "Learning rates:            c1 =0.10000 (calibration), c2 =0.05000 (online)\n"
        "Shadow removal  (0/1):     1 (gamma = 0.7000, beta = 1.0000, Th_S = 0.1000, Th_H = "
        "10.0000)\n"
        "Spatial Coherence:         Cw = 5\n"
        "ROI (0/1):                 1\n"
        "Save all models (0/1):     0\n"
        "Save all masks  (0/1):     " +
        std::string(masks ? "1" : "0") +
        "\n"
        "\nInitialization of background model(s)  ...\n"
        "  Color BG image read from file CinitImageL.png\n";
    if (depth) text += "  Depth BG image computed using depths from 1 to 12\n";
    text +=
        "\nCalibration phase on 4 frames (from 1 to 4) ...\n"
        "\nOnline phase on 8 frames (from 5 to 12) ...\n";
    return text;
}

std::vector<std::string> numbered(const std::string& stem, int first, int last,
                                  const std::string& extension) {
    std::vector<std::string> names;
    char buffer[64];
    for (int f = first; f <= last; ++f) {
        std::snprintf(buffer, sizeof buffer, "%s%06d%s", stem.c_str(), f, extension.c_str());
        names.push_back(buffer);
    }
    return names;
}

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(ProgramUsageTest, NoArgumentPrintsTheUsageAndSucceeds) {
    TempDir dir;
    const ProgramRun run = runProgram(dir.path(), {});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("DADI-MERO: implementation from:\n\n    ", 0), 0u);
    EXPECT_NE(run.out.find("\n\nUsage: DADI-MERO <SeqName> [Parameters]\n\n<SeqName>:    sequence "
                           "name (complete path)\n[parameters]: optional, including:\n  -DADI #:"),
              std::string::npos);
    EXPECT_NE(run.out.find("\n  -K #:\t        Number of initial frames for training. Default "
                           "fromIdx - 1 (see 'temporal ROI')\n"),
              std::string::npos);
    const std::string tail =
        "  -l #:         To save all detection masks (color, depth, fused). Default: save only "
        "fused\nHit any key to continue...\n";
    ASSERT_GE(run.out.size(), tail.size());
    EXPECT_EQ(run.out.substr(run.out.size() - tail.size()), tail);
}

TEST(ProgramUsageTest, HelpAndVersionAloneSucceedAndAnythingMoreIsASequence) {
    TempDir dir;
    const std::string usage = runProgram(dir.path(), {}).out;
    const std::string hitAnyKey = "Hit any key to continue...\n";
    ASSERT_TRUE(usage.ends_with(hitAnyKey));
    for (const char* help : {"--help", "-h"}) {
        const ProgramRun run = runProgram(dir.path(), {help});
        EXPECT_EQ(run.exitCode, 0) << help;
        EXPECT_EQ(run.out, usage.substr(0, usage.size() - hitAnyKey.size())) << help;
        EXPECT_EQ(run.err, "") << help;
    }
    EXPECT_NE(usage.find("\n  -threads #:   "), std::string::npos);
    const ProgramRun version = runProgram(dir.path(), {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("DADI-MERO ") + DADI_MERO_VERSION + "\n");
    // With anything after it, --help is the sequence directory, as before.
    const ProgramRun sequence = runProgram(dir.path(), {"--help", "-n", "3"});
    EXPECT_EQ(sequence.exitCode, 1);
    EXPECT_EQ(sequence.out,
              "Unable to read estimated color BG image --help/CinitImageL.png. "
              "Check value for option \"-nameCE\"\n");
    EXPECT_TRUE(listFiles(dir.path()).empty());
}

TEST_F(ProgramFixture, ReportAndMasksOfAnRgbdRun) {
    writeSequence(seq(), plan);
    const ProgramRun result = run({});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, reportFor(seq().string() + "/", true));
    EXPECT_EQ(outputs(), numbered("bin", 5, 12, ".png"));
}

TEST_F(ProgramFixture, ReportOfAColourOnlyRunAndTheMovingObject) {
    writeSequence(seq(), plan);
    const ProgramRun result = run({"-DADI", "0", "-l", "1"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, reportFor(seq().string() + "/", false, true));
    std::vector<std::string> expected = numbered("bin", 5, 12, ".png");
    for (const auto& name : numbered("Cbin", 5, 12, ".png"))
        expected.push_back(name);
    EXPECT_EQ(outputs(), sorted(expected));  // no Dbin without depth

    // Frame 10: the square spans rows 6..12 and columns 5..11. It comes out
    // white, the textured background black.
    const cv::Mat bin = mask("bin000010.png");
    ASSERT_EQ(bin.type(), CV_8UC1);
    EXPECT_EQ(bin.at<uint8_t>(9, 8), 255);
    EXPECT_EQ(cv::countNonZero(bin(cv::Rect(6, 7, 5, 5))), 25);
    cv::Mat outside = bin.clone();
    outside(cv::Rect(4, 5, 9, 9)).setTo(0);
    EXPECT_EQ(cv::countNonZero(outside), 0);
}
