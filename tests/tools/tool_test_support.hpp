#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TemporaryDirectory {
  public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program with arguments (each single-quoted for the shell) and
// captures its exit code and both output streams.
CommandResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& scratch);

std::string readFileBytes(const std::filesystem::path& path);
