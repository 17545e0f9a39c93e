#include "tool_test_support.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dadi-tools-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace

std::string readFileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

CommandResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::filesystem::path& scratch) {
    const std::filesystem::path outPath = scratch / "command-stdout.txt";
    const std::filesystem::path errPath = scratch / "command-stderr.txt";
    std::string command = shellQuoted(program);
    // Appended piece by piece: GCC 12 warns falsely on `" " + std::string`.
    for (const std::string& a : arguments) {
        command += ' ';
        command += shellQuoted(a);
    }
    command += " >";
    command += shellQuoted(outPath.string());
    command += " 2>";
    command += shellQuoted(errPath.string());
    const int status = std::system(command.c_str());
    CommandResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFileBytes(outPath);
    result.err = readFileBytes(errPath);
    return result;
}
