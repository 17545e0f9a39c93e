// End-to-end tests of input names that are not regular files: a directory, a
// FIFO that no one writes to, a device that never ends. Each is unreadable
// input with its message; none may stall the run.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "support/sequence_fixture.hpp"

namespace fs = std::filesystem;

namespace {

using SpecialFileFixture = SequenceFixture;

void makeFifo(const fs::path& path) {
    fs::remove_all(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0) << path;
}

}  // namespace

TEST_F(SpecialFileFixture, TemporalRangeFileThatIsNotARegularFile) {
    writeSequence(seq(), plan);
    const std::string expected =
        "Unable to read temporal ROI from file " + prefix() + "temporalROI.txt\n";
    const fs::path file = seq() / "temporalROI.txt";
    fs::remove(file);
    fs::create_directory(file);
    ProgramRun result = run({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, expected);

    makeFifo(file);
    result = run({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, expected);

    fs::remove(file);
    fs::create_symlink("/dev/zero", file);
    result = run({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(listFiles(out()).empty());
}

TEST_F(SpecialFileFixture, ImagesThatAreFifosOrDevicesAreUnreadable) {
    writeSequence(seq(), plan);
    ASSERT_EQ(run({}).exitCode, 0);
    const auto complete = fileContents(out());
    ASSERT_EQ(complete.size(), 8u);

    // Online frame 7 of colour, then of depth: two masks come before it.
    auto expectStopAt7 = [&](const fs::path& file, const std::string& message) {
        const std::string saved = readText(file);
        for (const char* kind : {"fifo", "device"}) {
            if (std::string(kind) == "fifo") {
                makeFifo(file);
            } else {
                fs::remove(file);
                fs::create_symlink("/dev/urandom", file);
            }
            clearOutput();
            const ProgramRun result = run({});
            EXPECT_EQ(result.exitCode, 1) << kind;
            EXPECT_EQ(lastLine(result.out), message + file.string() + "\n") << kind;
            EXPECT_EQ(result.err, "") << kind;
            EXPECT_EQ(fileContents(out()),
                      decltype(complete)(complete.begin(), complete.begin() + 2))
                << kind;
            fs::remove(file);
            writeText(file, saved);
        }
    };
    expectStopAt7(prefix() + "/input/" + frameFile("in", 7), "Unable to read expected RGB file ");

    // Depth frames are all read for the initial background: stop there.
    const fs::path depth = prefix() + "/depth/" + frameFile("d", 7);
    makeFifo(depth);
    const ProgramRun result = run({});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out), "Unable to read expected file " + depth.string() + "\n");

    makeFifo(seq() / "ROI.bmp");
    EXPECT_EQ(lastLine(run({"-DADI", "0"}).out),
              "Unable to read expected file " + prefix() + "ROI.bmp\n");
    makeFifo(seq() / "CinitImageL.png");
    EXPECT_EQ(run({}).out, "Unable to read estimated color BG image " + prefix() +
                               "CinitImageL.png. Check value for option \"-nameCE\"\n");
}
