// End-to-end tests of the program's failure paths: message, exit code, and the
// masks that exist afterwards.
#include <gtest/gtest.h>

#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "support/test_sequence.hpp"

namespace fs = std::filesystem;

namespace {

struct FailureFixture : ::testing::Test {
    TempDir dir;
    SequencePlan plan;
    fs::path seq() const { return dir / "seq"; }
    fs::path out() const { return dir / "out"; }
    std::string prefix() const { return seq().string() + "/"; }

    void SetUp() override { fs::create_directories(out()); }
    ProgramRun run(std::vector<std::string> options) {
        options.insert(options.begin(), seq().string());
        return runProgram(out(), options);
    }
    // The last line the program printed on standard output.
    static std::string lastLine(const std::string& text) {
        const size_t end = text.size() > 0 ? text.size() - 1 : 0;
        const size_t start = text.rfind('\n', end - 1);
        return text.substr(start == std::string::npos ? 0 : start + 1);
    }
};

std::string frameFile(const char* stem, int frame) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%06d.png", stem, frame);
    return name;
}

}  // namespace

TEST_F(FailureFixture, OptionErrorsGoToStandardErrorWithExitTwo) {
    writeSequence(seq(), plan);
    ProgramRun result = run({"-n", "3.5"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error: please, provide value for option \"-n\"\n");

    result = run({"-K", "-n", "5"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Error: please, provide value for option \"-K\"\n");

    result = run({"-n", "4"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err,
              "Error: unsupported value 4 for option \"-n\" (supported: 1, 3, 5, 7, 9)\n");
    EXPECT_TRUE(listFiles(out()).empty());
}

TEST_F(FailureFixture, MissingBackgroundImageNamesThePath) {
    writeSequence(seq(), plan);
    ProgramRun result = run({"-nameCE", "nothere.png"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "Unable to read estimated color BG image " + prefix() +
                              "nothere.png. Check value for option \"-nameCE\"\n");
    EXPECT_EQ(result.err, "");

    // An option before the sequence path becomes the path.
    result = runProgram(out(), {"-n", "3", seq().string()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
              "Unable to read estimated color BG image -n/CinitImageL.png. Check value "
              "for option \"-nameCE\"\n");
}

TEST_F(FailureFixture, TemporalRangeFileThatCannotBeRead) {
    writeSequence(seq(), plan);
    for (const char* text : {"", "42\n", "from to\n"}) {
        writeText(seq() / "temporalROI.txt", text);
        const ProgramRun result = run({});
        EXPECT_EQ(result.exitCode, 1) << text;
        EXPECT_EQ(result.out,
                  "Unable to read temporal ROI from file " + prefix() + "temporalROI.txt\n");
    }
    fs::remove(seq() / "temporalROI.txt");
    fs::create_directory(seq() / "temporalROI.txt");
    EXPECT_EQ(run({}).exitCode, 1);
}

TEST_F(FailureFixture, WithoutTemporalRangeNothingIsProcessed) {
    plan.fromIdx = 0;
    writeSequence(seq(), plan);
    const ProgramRun result = run({"-DADI", "0"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("No. of images =            1 (from 1 to 1)\n"), std::string::npos);
    EXPECT_NE(result.out.find("Temporal ROI:              [2,1]\n"), std::string::npos);
    EXPECT_NE(result.out.find("\nCalibration phase on 1 frames (from 1 to 1) ...\n"
                              "\nOnline phase on 0 frames (from 2 to 1) ...\n"),
              std::string::npos);
    EXPECT_TRUE(listFiles(out()).empty());

    // Explicit -K and -end override the defaults; frame numbers keep six digits.
    const ProgramRun explicitRange = run({"-DADI", "0", "-K", "10", "-end", "11"});
    EXPECT_EQ(explicitRange.exitCode, 0);
    EXPECT_EQ(listFiles(out()), (std::vector<std::string>{"bin000011.png"}));
}

TEST_F(FailureFixture, RegionOfInterestMissingOrOfTheWrongSize) {
    plan.writeRoi = false;
    writeSequence(seq(), plan);
    ProgramRun result = run({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out), "Unable to read expected file " + prefix() + "ROI.bmp\n");
    // The report comes first.
    EXPECT_NE(result.out.find("Save all masks  (0/1):     0\n"), std::string::npos);

    writeImage(seq() / "ROI.bmp", cv::Mat(5, 7, CV_8UC1, cv::Scalar(255)));
    result = run({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out), "Image " + prefix() + "ROI.bmp has size 7x5, expected 24x18\n");
    EXPECT_EQ(run({"-ROI", "0", "-DADI", "0"}).exitCode, 0);
}

TEST_F(FailureFixture, MissingColourFramesInCalibrationAndOnline) {
    writeSequence(seq(), plan);
    fs::remove(seq() / "input" / frameFile("in", 3));
    ProgramRun result = run({"-DADI", "0"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out), "Unable to read expected RGB file " + prefix() + "/input/" +
                                        frameFile("in", 3) + "\n");
    EXPECT_TRUE(listFiles(out()).empty());

    // Online: the masks before the missing frame stay, byte for byte.
    writeSequence(seq(), plan);
    ASSERT_EQ(run({"-DADI", "0"}).exitCode, 0);
    const std::string before = readText(out() / "bin000007.png");
    fs::remove_all(out());
    fs::create_directories(out());
    writeText(seq() / "input" / frameFile("in", 9), "not an image");
    result = run({"-DADI", "0"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out), "Unable to read expected RGB file " + prefix() + "/input/" +
                                        frameFile("in", 9) + "\n");
    EXPECT_EQ(listFiles(out()), (std::vector<std::string>{"bin000005.png", "bin000006.png",
                                                          "bin000007.png", "bin000008.png"}));
    EXPECT_EQ(readText(out() / "bin000007.png"), before);

    writeImage(seq() / "input" / frameFile("in", 9), cv::Mat(18, 25, CV_8UC3, cv::Scalar(1, 2, 3)));
    result = run({"-DADI", "0"});
    EXPECT_EQ(lastLine(result.out), "Image " + prefix() + "/input/" + frameFile("in", 9) +
                                        " has size 25x18, expected 24x18\n");
}

TEST_F(FailureFixture, DepthFramesMissingUnsupportedOrOfTheWrongSize) {
    writeSequence(seq(), plan);
    const fs::path third = seq() / "depth" / frameFile("d", 3);
    fs::remove(third);
    ProgramRun result = run({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out),
              "Unable to read expected file " + prefix() + "/depth/" + frameFile("d", 3) + "\n");
    EXPECT_NE(result.out.find("  Depth BG image computed using depths from 1 to 12\n"),
              std::string::npos);

    // Past the initial range the phases have their own message. With -ini 2
    // and -end 1 the initial range is frame 2 alone; calibration reads 3.
    result = run({"-ini", "2", "-end", "1", "-K", "3"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out), "Unable to read expected Depth file " + prefix() + "/depth/" +
                                        frameFile("d", 3) + "\n");

    // A 32-bit float image under the frame's name.
    const cv::Mat floats(18, 24, CV_32FC1, cv::Scalar(0.5));
    const fs::path tiff = dir / "float.tiff";
    ASSERT_TRUE(cv::imwrite(tiff.string(), floats));
    fs::copy_file(tiff, third);
    result = run({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out),
              "Unsupported depth image " + prefix() + "/depth/" + frameFile("d", 3) + "\n");

    fs::remove(third);
    writeImage(third, cv::Mat(17, 24, CV_16UC1, cv::Scalar(100)));
    result = run({});
    EXPECT_EQ(lastLine(result.out), "Image " + prefix() + "/depth/" + frameFile("d", 3) +
                                        " has size 24x17, expected 24x18\n");
    EXPECT_EQ(run({"-DADI", "0"}).exitCode, 0);  // colour alone never opens a depth file
}

TEST_F(FailureFixture, MasksThatCannotBeWrittenEndTheRunWithExitThree) {
    writeSequence(seq(), plan);
    fs::create_symlink("/dev/full", out() / "bin000006.png");
    ProgramRun result = run({"-DADI", "0"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(lastLine(result.out), "Unable to write file bin000006.png\n");
    EXPECT_TRUE(fs::exists(out() / "bin000005.png"));
    EXPECT_FALSE(fs::exists(out() / "bin000007.png"));

    fs::remove(out() / "bin000006.png");
    fs::create_directory(out() / "Cbin000005.png");
    result = run({"-DADI", "0", "-l", "1"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(lastLine(result.out), "Unable to write file Cbin000005.png\n");
}

TEST_F(FailureFixture, BackgroundTooSmallForTheFilter) {
    writeSequence(seq(), plan);
    writeImage(seq() / "CinitImageL.png", cv::Mat(4, 30, CV_8UC3, cv::Scalar(9, 9, 9)));
    ProgramRun result = run({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "Image " + prefix() +
                              "CinitImageL.png is too small (30x4) for the spatial coherence "
                              "filter\n");
    // The 3 x 3 filter takes it; the frames then have the wrong size.
    result = run({"-Cw", "3", "-ROI", "0"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(lastLine(result.out).find("has size 24x18, expected 30x4"), std::string::npos);

    writeImage(seq() / "CinitImageL.png", cv::Mat(1, 1, CV_8UC3, cv::Scalar(9, 9, 9)));
    result = run({"-Cw", "3"});
    EXPECT_EQ(result.out, "Image " + prefix() +
                              "CinitImageL.png is too small (1x1) for the spatial coherence "
                              "filter\n");
}

TEST_F(FailureFixture, DamagedFramesAreUnreadableAndSilentOnStandardError) {
    writeSequence(seq(), plan);
    const fs::path frame = seq() / "input" / frameFile("in", 6);
    const std::string good = readText(frame);
    const std::string expected =
        "Unable to read expected RGB file " + prefix() + "/input/" + frameFile("in", 6) + "\n";
    auto damage = [&](const std::string& what) {
        fs::remove_all(frame);
        if (what == "directory") {
            fs::create_directory(frame);
        } else if (what == "empty") {
            writeText(frame, "");
        } else if (what == "truncated") {
            writeText(frame, good.substr(0, good.size() / 2));
        } else {
            writeText(frame, "GIF89a certainly not a frame");
        }
    };
    for (const char* what : {"truncated", "empty", "directory", "garbage"}) {
        damage(what);
        fs::remove_all(out());
        fs::create_directories(out());
        const ProgramRun result = run({});
        EXPECT_EQ(result.exitCode, 1) << what;
        EXPECT_EQ(lastLine(result.out), expected) << what;
        EXPECT_EQ(result.err, "") << what;
        EXPECT_EQ(listFiles(out()), (std::vector<std::string>{"bin000005.png"})) << what;
    }
}
