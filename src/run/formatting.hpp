#pragma once

#include <string>

namespace dadimero {

// printf-style formatting into a std::string of any length.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace dadimero
