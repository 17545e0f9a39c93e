#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

// A throw-away directory, removed with everything in it at the end of a test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// A small synthetic sequence in the layout the program reads: a textured
// background, a bright square that moves right from frame `objectFrom` on, and
// depth that is nearer inside the square.
struct SequencePlan {
    int width = 24;
    int height = 18;
    int frames = 12;
    int fromIdx = 5;  // temporalROI.txt "fromIdx toIdx"; 0 writes no file
    int toIdx = 12;
    int depthBits = 16;
    int objectFrom = 7;
    bool writeRoi = true;
    bool partialRoi = false;  // the top two rows and the left column outside
};

void writeSequence(const std::filesystem::path& dir, const SequencePlan& plan);

// The images writeSequence draws, for tests that need to alter one.
cv::Mat sequenceColourFrame(const SequencePlan& plan, int frame);
cv::Mat sequenceDepthFrame(const SequencePlan& plan, int frame);
cv::Mat sequenceBackground(const SequencePlan& plan);

void writeImage(const std::filesystem::path& path, const cv::Mat& image);
void writeText(const std::filesystem::path& path, const std::string& text);
std::string readText(const std::filesystem::path& path);

// Result of one run of the built program.
struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
    long peakResidentKb = 0;  // with ChildSetup::measurePeakMemory only
};

// What the child process gets besides its arguments.
struct ChildSetup {
    size_t addressSpaceLimit = 0;          // RLIMIT_AS in bytes; 0 leaves it alone
    std::vector<std::string> environment;  // "NAME=value" entries set before exec
    bool measurePeakMemory = false;        // run it under peak_memory
    std::vector<std::string> wrapper;      // a command that runs the program, e.g. strace
};

// Runs DADI-MERO with `args` inside `workDir` (masks land there).
ProgramRun runProgram(const std::filesystem::path& workDir, const std::vector<std::string>& args,
                      const ChildSetup& setup = {});

// Names of the regular files in `dir`, sorted.
std::vector<std::string> listFiles(const std::filesystem::path& dir);
