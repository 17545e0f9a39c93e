#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_sequence.hpp"

// A sequence directory "seq" and an empty working directory "out" in a fresh
// temporary directory, for end-to-end tests of the built program.
struct SequenceFixture : ::testing::Test {
    TempDir dir;
    SequencePlan plan;
    std::filesystem::path seq() const { return dir / "seq"; }
    std::filesystem::path out() const { return dir / "out"; }
    std::string prefix() const { return seq().string() + "/"; }

    void SetUp() override { std::filesystem::create_directories(out()); }
    // Empties the working directory between runs.
    void clearOutput() const {
        std::filesystem::remove_all(out());
        std::filesystem::create_directories(out());
    }
    ProgramRun run(std::vector<std::string> options, const ChildSetup& setup = {}) const {
        options.insert(options.begin(), seq().string());
        return runProgram(out(), options, setup);
    }
};

// The last line of `text`, with its newline.
std::string lastLine(const std::string& text);

// "in000007.png" for ("in", 7).
std::string frameFile(const char* stem, long long frame);

// Every regular file of `dir` with its bytes, sorted by name.
std::vector<std::pair<std::string, std::string>> fileContents(const std::filesystem::path& dir);
