#include <gtest/gtest.h>

#include <fstream>

#include <opencv2/imgcodecs.hpp>

#include "evaluated_range.hpp"
#include "tool_test_support.hpp"

namespace {

// The codecs complain on their own about damaged files ("libpng error: ...",
// OpenCV's "[ WARN:0@...] imread_..."); the tools must say it once, naming the file.
TEST(QuietToolsTest, DamagedMaskGivesOneLineNamingItFromEachTool) {
    TemporaryDirectory dir;
    const std::filesystem::path seq = dir.path() / "seq";
    const std::filesystem::path masks = dir.path() / "masks";
    ASSERT_EQ(
        runProgram(MAKE_SAMPLE_SEQUENCE_EXE,
                   {"--out", seq.string(), "--width", "48", "--height", "40", "--frames", "8"},
                   dir.path())
            .exitCode,
        0);
    std::filesystem::create_directories(masks);
    for (int frame = 3; frame <= 8; ++frame)
        cv::imwrite(dadimero::maskPath(masks, frame).string(), cv::Mat::zeros(40, 48, CV_8UC1));
    const std::filesystem::path damaged = dadimero::maskPath(masks, 5);
    const std::string whole = readFileBytes(damaged);
    const std::string truncated = whole.substr(0, whole.size() / 2);

    for (const std::string& bytes : {truncated, std::string("not a png")}) {
        std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
        const CommandResult scored =
            runProgram(EVALUATE_MASKS_EXE, {seq.string(), masks.string()}, dir.path());
        EXPECT_EQ(scored.exitCode, 1);
        EXPECT_EQ(scored.err, "evaluate-masks: cannot read mask " + damaged.string() + "\n");

        const CommandResult drawn = runProgram(
            DRAW_FRAMES_EXE,
            {seq.string(), masks.string(), "--frames", "5", "--out", (dir.path() / "p").string()},
            dir.path());
        EXPECT_EQ(drawn.exitCode, 1);
        EXPECT_EQ(drawn.err, "draw-frames: cannot read mask " + damaged.string() + "\n");
    }
}

}  // namespace
