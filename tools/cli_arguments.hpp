#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A command line the user got wrong; the message is one line without a newline.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses a whole decimal integer within [lowest, highest] or throws UsageError
// naming the option.
int64_t parseIntegerArgument(const std::string& option, const std::string& text, int64_t lowest,
                             int64_t highest);

// True when -h or --help is among the arguments after the program name.
bool asksForHelp(const std::vector<std::string>& args);

// Returns the value after argument i, advancing i, or throws UsageError.
std::string takeOptionValue(const std::vector<std::string>& args, size_t& i);

// Parses "3,7,10-12" into 3 7 10 11 12.
std::vector<int> parseFrameList(const std::string& option, const std::string& text);
