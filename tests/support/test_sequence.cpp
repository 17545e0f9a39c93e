#include "support/test_sequence.hpp"
#include "files/sequence_layout.hpp"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "dadi-mero-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

namespace {

cv::Vec3b backgroundColour(int r, int c) {
    // A gentle texture: the program must keep it as background.
    return cv::Vec3b(static_cast<uint8_t>(60 + (r * 7 + c * 3) % 40),
                     static_cast<uint8_t>(90 + (r * 5 + c * 11) % 30),
                     static_cast<uint8_t>(120 + (r * 3 + c * 5) % 50));
}

bool insideObject(const SequencePlan& plan, int frame, int r, int c) {
    if (frame < plan.objectFrom) return false;
    const int left = 2 + (frame - plan.objectFrom);
    const int top = plan.height / 2 - 3;
    return r >= top && r < top + 7 && c >= left && c < left + 7;
}

}  // namespace

cv::Mat sequenceBackground(const SequencePlan& plan) {
    cv::Mat image(plan.height, plan.width, CV_8UC3);
    for (int r = 0; r < plan.height; ++r) {
        for (int c = 0; c < plan.width; ++c)
            image.at<cv::Vec3b>(r, c) = backgroundColour(r, c);
    }
    return image;
}

cv::Mat sequenceColourFrame(const SequencePlan& plan, int frame) {
    cv::Mat image = sequenceBackground(plan);
    for (int r = 0; r < plan.height; ++r) {
        for (int c = 0; c < plan.width; ++c) {
            if (insideObject(plan, frame, r, c))
                image.at<cv::Vec3b>(r, c) = cv::Vec3b(20, 230, 250);
        }
    }
    return image;
}

cv::Mat sequenceDepthFrame(const SequencePlan& plan, int frame) {
    const bool wide = plan.depthBits == 16;
    cv::Mat image(plan.height, plan.width, wide ? CV_16UC1 : CV_8UC1);
    for (int r = 0; r < plan.height; ++r) {
        for (int c = 0; c < plan.width; ++c) {
            const int far = wide ? 40000 + 300 * r : 160 + 2 * r;
            const int near = wide ? 15000 : 60;
            const int value = insideObject(plan, frame, r, c) ? near : far;
            if (wide) {
                image.at<uint16_t>(r, c) = static_cast<uint16_t>(value);
            } else {
                image.at<uint8_t>(r, c) = static_cast<uint8_t>(value);
            }
        }
    }
    return image;
}

void writeImage(const fs::path& path, const cv::Mat& image) {
    fs::create_directories(path.parent_path());
    if (!cv::imwrite(path.string(), image))
        throw std::runtime_error("cannot write " + path.string());
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void writeSequence(const fs::path& dir, const SequencePlan& plan) {
    fs::create_directories(dir);
    writeImage(dir / dadimero::kColourBackgroundName, sequenceBackground(plan));
    if (plan.fromIdx != 0) {
        writeText(dir / dadimero::kTemporalRangeName,
                  std::to_string(plan.fromIdx) + " " + std::to_string(plan.toIdx) + "\n");
    }
    if (plan.writeRoi) {
        cv::Mat roi(plan.height, plan.width, CV_8UC1, cv::Scalar(255));
        if (plan.partialRoi) {
            roi.rowRange(0, 2).setTo(0);
            roi.colRange(0, 1).setTo(0);
        }
        writeImage(dir / dadimero::kRegionOfInterestName, roi);
    }
    for (int f = 1; f <= plan.frames; ++f) {
        writeImage(dir / dadimero::colourFrameName(f), sequenceColourFrame(plan, f));
        writeImage(dir / dadimero::depthFrameName(f), sequenceDepthFrame(plan, f));
    }
}

ProgramRun runProgram(const fs::path& workDir, const std::vector<std::string>& args,
                      const ChildSetup& setup) {
    const fs::path outPath = workDir / ".run-stdout";
    const fs::path errPath = workDir / ".run-stderr";
    const fs::path peakPath = workDir / ".run-peak";
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        if (chdir(workDir.c_str()) != 0) _exit(126);
        std::FILE* out = std::freopen(outPath.c_str(), "w", stdout);
        std::FILE* err = std::freopen(errPath.c_str(), "w", stderr);
        if (out == nullptr || err == nullptr) _exit(126);
#ifdef DADI_SANITIZE_BUILD
        // A sanitizer report exits with 1 by default, which would pass for the
        // program's own "bad input" exit; 86 cannot.
        for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
            const char* existing = std::getenv(name);
            const std::string options = existing == nullptr ? "" : std::string(existing) + ":";
            if (setenv(name, (options + "exitcode=86").c_str(), 1) != 0) _exit(126);
        }
#endif
        for (const std::string& entry : setup.environment) {
            if (putenv(const_cast<char*>(entry.c_str())) != 0) _exit(126);
        }
        if (setup.addressSpaceLimit != 0) {
            const rlimit limit{setup.addressSpaceLimit, setup.addressSpaceLimit};
            if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
        }
        std::vector<char*> argv;
        std::string exe = DADI_MERO_EXE;
        std::string measure = DADI_PEAK_MEMORY_EXE;
        std::string peakFile = peakPath.string();
        std::vector<std::string> wrapper = setup.wrapper;
        for (std::string& w : wrapper)
            argv.push_back(w.data());
        if (setup.measurePeakMemory) {
            argv.push_back(measure.data());
            argv.push_back(peakFile.data());
        }
        argv.push_back(exe.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) throw std::runtime_error("waitpid failed");
    ProgramRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (setup.measurePeakMemory) {
        run.peakResidentKb = std::stol(readText(peakPath));
        fs::remove(peakPath);
    }
    run.out = readText(outPath);
    run.err = readText(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return run;
}

std::vector<std::string> listFiles(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file() || entry.is_symlink()) names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}
