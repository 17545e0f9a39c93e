#pragma once

#include <string>

namespace dadimero {

// Ends a run: `message` goes to standard output (standard error for option
// errors) and the process exits with `exitCode`. Thrown by the driver and the
// loaders; caught only in main.
struct FatalError {
    int exitCode;
    std::string message;
    bool toStandardError = false;
};

inline constexpr int EXIT_MISSING_INPUT = 1;
inline constexpr int EXIT_BAD_OPTION = 2;
inline constexpr int EXIT_WRITE_FAILED = 3;
inline constexpr int EXIT_UNEXPECTED = 4;

}  // namespace dadimero
