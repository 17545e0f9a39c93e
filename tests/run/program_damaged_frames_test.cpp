// End-to-end tests of damaged input files met in each phase of a run: the
// message names the file, the exit code is 1, nothing goes to standard error,
// and the masks written before the fault stay byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "support/sequence_fixture.hpp"

namespace fs = std::filesystem;

namespace {

enum class Damage { Truncated, NotAnImage, Empty, Directory, WrongSize, FloatImage };

const Damage kEveryDamage[] = {Damage::Truncated, Damage::NotAnImage, Damage::Empty,
                               Damage::Directory, Damage::WrongSize,  Damage::FloatImage};

const char* nameOf(Damage damage) {
    switch (damage) {
        case Damage::Truncated:
            return "truncated";
        case Damage::NotAnImage:
            return "not an image";
        case Damage::Empty:
            return "empty";
        case Damage::Directory:
            return "directory";
        case Damage::WrongSize:
            return "wrong size";
        case Damage::FloatImage:
            return "32-bit float";
    }
    return "";
}

// Replaces `file` (24 x 18) with a damaged version of itself.
void damage(const fs::path& file, Damage how, const fs::path& scratch) {
    const std::string good = readText(file);
    fs::remove_all(file);
    switch (how) {
        case Damage::Truncated:
            writeText(file, good.substr(0, good.size() / 2));
            break;
        case Damage::NotAnImage:
            writeText(file, "GIF89a certainly not a frame");
            break;
        case Damage::Empty:
            writeText(file, "");
            break;
        case Damage::Directory:
            fs::create_directory(file);
            break;
        case Damage::WrongSize:
            writeImage(scratch / "small.png", cv::Mat(17, 24, CV_16UC3, cv::Scalar(90, 90, 90)));
            fs::copy_file(scratch / "small.png", file);
            break;
        case Damage::FloatImage:
            writeImage(scratch / "float.tiff", cv::Mat(18, 24, CV_32FC1, cv::Scalar(0.5)));
            fs::copy_file(scratch / "float.tiff", file);
            break;
    }
}

// Frames 95 to 106, so that a run can start past the 100 frames from which the
// initial depth background is taken: then depth frames are first read in the
// calibration or the online phase.
struct DamagedFrameFixture : SequenceFixture {
    void SetUp() override {
        SequenceFixture::SetUp();
        plan.frames = 0;
        plan.objectFrom = 101;
        writeSequence(seq(), plan);
        for (int f = 95; f <= 106; ++f) {
            writeImage(seq() / "input" / frameFile("in", f), sequenceColourFrame(plan, f));
            writeImage(seq() / "depth" / frameFile("d", f), sequenceDepthFrame(plan, f));
        }
    }
    // Initial depth background from 99 and 100, calibration on 100 to 102,
    // online phase from 103 to 106.
    ProgramRun runFrom99(const char* depth = "1") {
        return run({"-ini", "99", "-K", "4", "-end", "106", "-DADI", depth});
    }
    std::string expectedMessage(Damage how, const std::string& file, const char* unreadable) {
        if (how == Damage::WrongSize) return "Image " + file + " has size 24x17, expected 24x18\n";
        if (how == Damage::FloatImage && file.find("/depth/") != std::string::npos) {
            return "Unsupported depth image " + file + "\n";
        }
        return unreadable + file + "\n";
    }

    // Damages one file, runs, and checks the message and that the masks
    // present are exactly the first `masksKept` of the undamaged run's.
    void expectFault(const fs::path& file, const char* unreadable, size_t masksKept,
                     const char* depth = "1") {
        clearOutput();
        ASSERT_EQ(runFrom99(depth).exitCode, 0);
        auto complete = fileContents(out());
        ASSERT_EQ(complete.size(), 4u);
        complete.resize(masksKept);
        const std::string saved = readText(file);
        for (Damage how : kEveryDamage) {
            // A float image is a fault for depth only: colour and region loads
            // convert it to 8 bits.
            if (how == Damage::FloatImage && file.string().find("/depth/") == std::string::npos) {
                continue;
            }
            damage(file, how, dir.path());
            clearOutput();
            const ProgramRun result = runFrom99(depth);
            EXPECT_EQ(result.exitCode, 1) << nameOf(how);
            EXPECT_EQ(lastLine(result.out), expectedMessage(how, file.string(), unreadable))
                << nameOf(how);
            EXPECT_EQ(result.err, "") << nameOf(how);
            EXPECT_EQ(fileContents(out()), complete) << nameOf(how);
            fs::remove_all(file);
            writeText(file, saved);
        }
    }
};

// Rows enough for two worker threads: the initial depth background is then
// read two frames at a time, the caller's frame and a helper's.
struct TwoThreadDamagedFrameFixture : DamagedFrameFixture {
    void SetUp() override {
        plan.height = 32;
        DamagedFrameFixture::SetUp();
    }
};

}  // namespace

TEST_F(TwoThreadDamagedFrameFixture, DepthFrameOfEitherReaderInTheInitialBackground) {
    // From 97: the caller reads 97 and 99, the helper 98 and 100.
    for (const int frame : {98, 99}) {
        const std::string file = prefix() + "/depth/" + frameFile("d", frame);
        const std::string saved = readText(file);
        damage(file, Damage::NotAnImage, dir.path());
        clearOutput();
        const ProgramRun result = run({"-ini", "97", "-K", "4", "-end", "106", "-threads", "2"});
        EXPECT_EQ(result.exitCode, 1) << frame;
        EXPECT_EQ(lastLine(result.out), "Unable to read expected file " + file + "\n") << frame;
        EXPECT_TRUE(listFiles(out()).empty()) << frame;
        fs::remove_all(file);
        writeText(file, saved);
    }
}

TEST_F(DamagedFrameFixture, ColourFrameInTheCalibrationPhase) {
    expectFault(prefix() + "/input/" + frameFile("in", 101), "Unable to read expected RGB file ",
                0);
    expectFault(prefix() + "/input/" + frameFile("in", 100), "Unable to read expected RGB file ", 0,
                "0");
}

TEST_F(DamagedFrameFixture, ColourFrameInTheOnlinePhase) {
    expectFault(prefix() + "/input/" + frameFile("in", 105), "Unable to read expected RGB file ", 2,
                "0");
}

TEST_F(DamagedFrameFixture, DepthFrameInTheInitialBackground) {
    expectFault(prefix() + "/depth/" + frameFile("d", 100), "Unable to read expected file ", 0);
}

TEST_F(DamagedFrameFixture, DepthFrameInTheCalibrationPhase) {
    expectFault(prefix() + "/depth/" + frameFile("d", 102), "Unable to read expected Depth file ",
                0);
}

TEST_F(DamagedFrameFixture, DepthFrameInTheOnlinePhase) {
    expectFault(prefix() + "/depth/" + frameFile("d", 104), "Unable to read expected Depth file ",
                1);
    expectFault(prefix() + "/depth/" + frameFile("d", 106), "Unable to read expected Depth file ",
                3);
}

TEST_F(DamagedFrameFixture, RegionOfInterestFile) {
    expectFault(seq() / "ROI.bmp", "Unable to read expected file ", 0);
}

TEST_F(DamagedFrameFixture, ColourBackgroundImage) {
    const fs::path file = seq() / "CinitImageL.png";
    const std::string saved = readText(file);
    for (Damage how : {Damage::Truncated, Damage::NotAnImage, Damage::Empty, Damage::Directory}) {
        damage(file, how, dir.path());
        const ProgramRun result = runFrom99();
        EXPECT_EQ(result.exitCode, 1) << nameOf(how);
        EXPECT_EQ(result.out, "Unable to read estimated color BG image " + file.string() +
                                  ". Check value for option \"-nameCE\"\n")
            << nameOf(how);
        EXPECT_EQ(result.err, "") << nameOf(how);
        EXPECT_TRUE(listFiles(out()).empty()) << nameOf(how);
        fs::remove_all(file);
        writeText(file, saved);
    }
}
