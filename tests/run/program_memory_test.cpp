// End-to-end tests of the program's memory: a model or threads too large for
// the memory available are reported, and a long run neither leaks nor grows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "support/sequence_fixture.hpp"

namespace {

using MemoryFixture = SequenceFixture;

uint32_t crc32Of(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= static_cast<uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string bigEndian32(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string pngChunk(const std::string& type, const std::string& data) {
    return bigEndian32(static_cast<uint32_t>(data.size())) + type + data +
           bigEndian32(crc32Of(type + data));
}

// A PNG of a few dozen bytes whose header declares an 8-bit colour image of
// width x height; its data holds no row.
std::string pngDeclaring(uint32_t width, uint32_t height) {
    const std::string header =
        bigEndian32(width) + bigEndian32(height) + "\x08\x02" + std::string(3, '\0');
    return std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) +
           pngChunk("IEND", "");
}

}  // namespace

TEST_F(MemoryFixture, ModelLargerThanTheAddressSpaceIsReported) {
#ifdef DADI_SANITIZE_BUILD
    // AddressSanitizer needs terabytes of address space, and its operator new
    // ends the process instead of throwing std::bad_alloc.
    GTEST_SKIP() << "needs a build without sanitizers";
#endif
    plan.width = 1000;
    plan.height = 1000;
    plan.frames = 0;
    writeSequence(seq(), plan);
    // n = 9 takes 81 cells per pixel: about 2.6 GB of model for these pixels.
    const ChildSetup setup{size_t{1} << 30, {}, false, {}};
    const ProgramRun result = run({"-n", "9", "-ROI", "0"}, setup);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out),
              "Not enough memory for the background model (1000 x 1000 pixels, n=9)\n");
    EXPECT_NE(result.out.find("\nInitialization of background model(s)  ...\n"), std::string::npos);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(listFiles(out()).empty());
    // The same run fits with n = 1.
    const ProgramRun small = run({"-n", "1", "-ROI", "0"}, setup);
    EXPECT_EQ(lastLine(small.out),
              "Unable to read expected file " + prefix() + "/depth/" + frameFile("d", 1) + "\n");
}

TEST_F(MemoryFixture, ThreadsTheSystemRefusesEndTheRunWithoutHanging) {
#ifdef DADI_SANITIZE_BUILD
    GTEST_SKIP() << "needs a build without sanitizers";
#endif
    // 4096 rows take the most threads, 256; their stacks alone need 2 GB of
    // address space, while the model of 16 x 4096 pixels takes a few MB.
    plan.width = 16;
    plan.height = 4096;
    plan.frames = 0;
    writeSequence(seq(), plan);
    // A hang (threads left waiting on a pool being unwound) ends as 124.
    const ChildSetup setup{size_t{1} << 30, {}, false, {"timeout", "60"}};
    const ProgramRun result = run({"-threads", "256"}, setup);
    EXPECT_EQ(result.exitCode, 1) << result.out;
    EXPECT_EQ(lastLine(result.out), "Cannot start 256 threads; give -threads a smaller value\n");
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(listFiles(out()).empty());
}

TEST_F(MemoryFixture, ImageSizesAreCheckedBeforeDecodingAndMemoryIsNamed) {
#ifdef DADI_SANITIZE_BUILD
    GTEST_SKIP() << "needs a build without sanitizers";
#endif
    writeSequence(seq(), plan);
    // 30000 x 30000 x 3 bytes would not fit in 1 GB: the frame's header alone
    // tells that it is not the background's size.
    writeText(seq() / "input" / frameFile("in", 2), pngDeclaring(30000, 30000));
    const ChildSetup setup{size_t{1} << 30, {}, false, {"timeout", "60"}};
    ProgramRun result = run({"-DADI", "0"}, setup);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out), "Image " + prefix() + "/input/" + frameFile("in", 2) +
                                        " has size 30000x30000, expected 24x18\n");
    // The background sets the size, so it is decoded; its pixels do not fit.
    writeText(seq() / "CinitImageL.png", pngDeclaring(30000, 30000));
    result = run({"-DADI", "0"}, setup);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(lastLine(result.out), "Not enough memory to read " + prefix() + "CinitImageL.png\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(MemoryFixture, LongRunKeepsAFlatMemoryProfileAndLeaksNothing) {
#ifndef DADI_SANITIZE_BUILD
    GTEST_SKIP() << "needs -DDADI_SANITIZE=ON for LeakSanitizer";
#endif
    plan.width = 160;
    plan.height = 120;
    plan.frames = 0;
    plan.fromIdx = 5;
    plan.toIdx = 500;
    writeSequence(seq(), plan);
    // The square crosses the image again every 20 frames.
    for (int f = 1; f <= 500; ++f) {
        writeImage(seq() / "input" / frameFile("in", f), sequenceColourFrame(plan, 7 + f % 20));
        writeImage(seq() / "depth" / frameFile("d", f), sequenceDepthFrame(plan, 7 + f % 20));
    }
    // A small quarantine, so that freed memory ASan holds back is soon reused.
    const ChildSetup setup{
        0, {"ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=8:exitcode=86"}, true, {}};
    // Both runs build the initial depth background from frames 1 to 100.
    const ProgramRun shortRun = run({"-end", "100"}, setup);
    ASSERT_EQ(shortRun.exitCode, 0) << shortRun.out << shortRun.err;
    clearOutput();
    const ProgramRun longRun = run({"-end", "500"}, setup);
    ASSERT_EQ(longRun.exitCode, 0) << longRun.out << longRun.err;
    EXPECT_EQ(longRun.err, "");
    EXPECT_EQ(listFiles(out()).size(), 496u);
    // 400 more frames: 23 MB if one colour frame were kept per frame. The
    // allowance covers what ASan's allocator holds back for each thread, which
    // varies by a few megabytes from run to run.
    EXPECT_LE(longRun.peakResidentKb, shortRun.peakResidentKb + 6144)
        << "100 frames: " << shortRun.peakResidentKb
        << " kB, 500 frames: " << longRun.peakResidentKb << " kB";
    std::printf("peak resident: 100 frames %ld kB, 500 frames %ld kB\n", shortRun.peakResidentKb,
                longRun.peakResidentKb);
}
