// Fuzzes the command-line parser: the input, split on NUL bytes, is the
// argument list after the program name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "run/command_line.hpp"
#include "run/fatal_error.hpp"

using namespace dadimero;

namespace {

bool isSupportedBlockSide(int32_t n) {
    return n == 1 || n == 3 || n == 5 || n == 7 || n == 9;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ArgumentList args = {"DADI-MERO"};
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (size > 0) args.push_back(current);
    const size_t given = args.size();
    try {
        const RunParameters p = parseRunParameters(args);
        // What the driver relies on after a successful parse.
        if (!isSupportedBlockSide(p.n)) std::abort();
        if (args.size() > given || args.empty() || args[0] != "DADI-MERO") std::abort();
    } catch (const FatalError& error) {
        // Option errors are exit 2 on standard error, one line each.
        if (error.exitCode != EXIT_BAD_OPTION || !error.toStandardError) std::abort();
        if (error.message.empty() || error.message.back() != '\n') std::abort();
    }
    return 0;
}
