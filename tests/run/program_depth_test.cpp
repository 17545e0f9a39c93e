// End-to-end tests of the colour-and-depth mode and of the model snapshots.
#include <gtest/gtest.h>

#include <filesystem>

#include <opencv2/imgcodecs.hpp>

#include "support/test_sequence.hpp"

namespace fs = std::filesystem;

namespace {

struct DepthRunFixture : ::testing::Test {
    TempDir dir;
    SequencePlan plan;
    fs::path seq() const { return dir / "seq"; }
    fs::path out() const { return dir / "out"; }

    void SetUp() override {
        fs::create_directories(out());
        plan.objectFrom = 1000;  // no moving object: the tests draw their own
    }
    ProgramRun run(std::vector<std::string> options) {
        fs::remove_all(out());
        fs::create_directories(out());
        options.insert(options.begin(), seq().string());
        return runProgram(out(), options);
    }
    // From frame `from` on, the depth of the block rows 3..14, columns 6..17
    // lies `nearer` values closer to the camera; colour stays the background's.
    void bringBlockNearer(int from, int nearer) {
        for (int f = from; f <= plan.frames; ++f) {
            cv::Mat depth = sequenceDepthFrame(plan, f);
            cv::Mat block = depth(cv::Rect(6, 3, 12, 12));
            cv::subtract(block, cv::Scalar(nearer), block);
            char name[32];
            std::snprintf(name, sizeof name, "d%06d.png", f);
            writeImage(seq() / "depth" / name, depth);
        }
    }
    int foregroundIn(const std::string& name) const {
        const cv::Mat mask = cv::imread((out() / name).string(), cv::IMREAD_UNCHANGED);
        return cv::countNonZero(mask);
    }
};

std::vector<std::string> numbered(const std::string& stem, std::initializer_list<int> frames,
                                  const std::string& extension) {
    std::vector<std::string> names;
    char buffer[64];
    for (int f : frames) {
        std::snprintf(buffer, sizeof buffer, "%s%06d%s", stem.c_str(), f, extension.c_str());
        names.push_back(buffer);
    }
    return names;
}

}  // namespace

TEST_F(DepthRunFixture, CamouflagedObjectIsFoundOnlyWithDepth) {
    writeSequence(seq(), plan);
    bringBlockNearer(8, 5000);
    ASSERT_EQ(run({}).exitCode, 0);
    // The block's interior (beyond the 3-pixel border band where colour has the
    // last word) is foreground.
    EXPECT_GE(foregroundIn("bin000010.png"), 20);
    EXPECT_EQ(foregroundIn("bin000007.png"), 0);
    ASSERT_EQ(run({"-DADI", "0"}).exitCode, 0);
    EXPECT_EQ(foregroundIn("bin000010.png"), 0);
}

TEST_F(DepthRunFixture, EightBitDepthUsesTheCoarserOnlineThreshold) {
    // One 8-bit level nearer is 1/255 = 0.0039: beyond the default 0.00075 but
    // within 0.005, which replaces it for 8-bit frames whatever -e2D says.
    plan.depthBits = 8;
    writeSequence(seq(), plan);
    bringBlockNearer(8, 1);
    const ProgramRun eight = run({"-e2D", "0.00075"});
    ASSERT_EQ(eight.exitCode, 0);
    EXPECT_NE(eight.out.find("e2D=0.00075 (online)"), std::string::npos);
    EXPECT_EQ(foregroundIn("bin000010.png"), 0);

    // The same step in 16 bits (257 levels) is foreground.
    plan.depthBits = 16;
    writeSequence(seq(), plan);
    bringBlockNearer(8, 257);
    ASSERT_EQ(run({}).exitCode, 0);
    EXPECT_GE(foregroundIn("bin000010.png"), 20);
}

TEST_F(DepthRunFixture, MasksOptionWritesColourAndDepthMasks) {
    writeSequence(seq(), plan);
    bringBlockNearer(8, 5000);
    ASSERT_EQ(run({"-l", "1"}).exitCode, 0);
    const std::vector<std::string> files = listFiles(out());
    EXPECT_EQ(files.size(), 24u);
    EXPECT_EQ(foregroundIn("Cbin000010.png"), 0);    // colour sees nothing
    EXPECT_EQ(foregroundIn("Dbin000010.png"), 144);  // depth sees the whole block
}

TEST_F(DepthRunFixture, InitialDepthRangeStopsAtFrameHundred) {
    writeSequence(seq(), plan);
    const ProgramRun result = run({"-ini", "150", "-end", "149"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("  Depth BG image computed using depths from 150 to 100\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("/depth/d000150.png\n"), std::string::npos);
}

TEST_F(DepthRunFixture, SnapshotScheduleWithAndWithoutCalibrationAndDepth) {
    writeSequence(seq(), plan);
    ASSERT_EQ(run({"-m", "1"}).exitCode, 0);
    std::vector<std::string> expected = {"DinitImage.png"};
    for (const auto& name : numbered("Cmodel", {1, 4, 5, 6, 7, 8, 9, 10, 11, 12}, ".ppm")) {
        expected.push_back(name);
    }
    for (const auto& name : numbered("Dmodel", {1, 4, 5, 6, 7, 8, 9, 10, 11, 12}, ".png")) {
        expected.push_back(name);
    }
    for (const auto& name : numbered("bin", {5, 6, 7, 8, 9, 10, 11, 12}, ".png")) {
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listFiles(out()), expected);
    // "P6\n72 54\n255\n" and three bytes per weight.
    EXPECT_EQ(fs::file_size(out() / "Cmodel000004.ppm"), 13u + 72u * 54u * 3u);
    const cv::Mat model = cv::imread((out() / "Dmodel000012.png").string(), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(model.type(), CV_16UC1);
    EXPECT_EQ(model.cols, 72);
    EXPECT_EQ(model.rows, 54);

    // K = 1: the end-of-calibration snapshots rewrite frame 1's.
    ASSERT_EQ(run({"-m", "1", "-K", "1", "-end", "3", "-DADI", "0"}).exitCode, 0);
    EXPECT_EQ(listFiles(out()),
              (std::vector<std::string>{"Cmodel000001.ppm", "Cmodel000002.ppm", "Cmodel000003.ppm",
                                        "bin000002.png", "bin000003.png"}));
    ASSERT_EQ(run({"-m", "1", "-K", "1", "-end", "3"}).exitCode, 0);
    EXPECT_EQ(listFiles(out()),
              (std::vector<std::string>{"Cmodel000001.ppm", "Cmodel000002.ppm", "Cmodel000003.ppm",
                                        "DinitImage.png", "Dmodel000001.png", "Dmodel000002.png",
                                        "Dmodel000003.png", "bin000002.png", "bin000003.png"}));
    // K > 1 and colour only: no depth snapshot at all.
    ASSERT_EQ(run({"-m", "1", "-K", "3", "-end", "4", "-DADI", "0"}).exitCode, 0);
    EXPECT_EQ(listFiles(out()), (std::vector<std::string>{"Cmodel000001.ppm", "Cmodel000003.ppm",
                                                          "Cmodel000004.ppm", "bin000004.png"}));
    ASSERT_EQ(run({"-m", "0"}).exitCode, 0);
    EXPECT_EQ(listFiles(out()).size(), 8u);
}

TEST_F(DepthRunFixture, UnwritableDirectoryReportsSnapshotsAndStopsAtTheFirstMask) {
    writeSequence(seq(), plan);
    fs::remove_all(out());
    fs::create_directories(out());
    fs::create_directory(out() / "Cmodel000001.ppm");  // cannot be opened for writing
    fs::create_symlink("/dev/full", out() / "Dmodel000004.png");
    fs::create_directory(out() / "bin000005.png");
    const ProgramRun result = runProgram(out(), {seq().string(), "-m", "1"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.out.find("\nCalibration phase on 4 frames (from 1 to 4) ...\n"
                              "Errore apertura file Cmodel000001.ppm\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("\nUnable to write file Dmodel000004.png\n"), std::string::npos);
    const std::string last = "\nUnable to write file bin000005.png\n";
    ASSERT_GE(result.out.size(), last.size());
    EXPECT_EQ(result.out.substr(result.out.size() - last.size()), last);
}

TEST_F(DepthRunFixture, PixelsNextToTheCornersShowThePreviousFusedLabels) {
    // An object fills the top-left corner from frame 8 on, in colour and depth.
    writeSequence(seq(), plan);
    for (int f = 8; f <= plan.frames; ++f) {
        char name[32];
        cv::Mat colour = sequenceColourFrame(plan, f);
        colour(cv::Rect(0, 0, 9, 9)).setTo(cv::Scalar(10, 240, 20));
        std::snprintf(name, sizeof name, "in%06d.png", f);
        writeImage(seq() / "input" / name, colour);
        cv::Mat depth = sequenceDepthFrame(plan, f);
        depth(cv::Rect(0, 0, 9, 9)).setTo(cv::Scalar(9000));
        std::snprintf(name, sizeof name, "d%06d.png", f);
        writeImage(seq() / "depth" / name, depth);
    }
    auto at = [this](const std::string& name, int r, int c) {
        return cv::imread((out() / name).string(), cv::IMREAD_UNCHANGED).at<uint8_t>(r, c);
    };
    ASSERT_EQ(run({}).exitCode, 0);
    // The 5 x 5 filter never writes (0, 1) or (1, 1): they keep what the buffer
    // held, which is the fused mask of the frame before.
    EXPECT_EQ(at("bin000008.png", 0, 1), 0);
    EXPECT_EQ(at("bin000009.png", 0, 1), 255);
    EXPECT_EQ(at("bin000009.png", 1, 1), 255);
    EXPECT_EQ(at("bin000009.png", 3, 3), 255);
    // Colour alone: the filter's buffer is never written there.
    ASSERT_EQ(run({"-DADI", "0"}).exitCode, 0);
    EXPECT_EQ(at("bin000009.png", 0, 1), 0);
    EXPECT_EQ(at("bin000009.png", 3, 3), 255);
}
