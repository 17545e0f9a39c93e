#include "cli_arguments.hpp"

#include <cerrno>
#include <cstdlib>

int64_t parseIntegerArgument(const std::string& option, const std::string& text, int64_t lowest,
                             int64_t highest) {
    const std::string expected = option + " needs a whole number from " + std::to_string(lowest) +
                                 " to " + std::to_string(highest) + ", got '" + text + "'";
    if (text.empty()) throw UsageError(expected);
    char* stop = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &stop, 10);
    if (*stop != '\0' || errno == ERANGE || value < lowest || value > highest) {
        throw UsageError(expected);
    }
    return value;
}

bool asksForHelp(const std::vector<std::string>& args) {
    for (size_t i = 1; i < args.size(); ++i)
        if (args[i] == "-h" || args[i] == "--help") return true;
    return false;
}

std::string takeOptionValue(const std::vector<std::string>& args, size_t& i) {
    if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
    ++i;
    return args[i];
}

std::vector<int> parseFrameList(const std::string& option, const std::string& text) {
    constexpr int64_t kLastFrame = 999999;
    std::vector<int> frames;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string item = text.substr(start, comma - start);
        const size_t dash = item.find('-', 1);
        if (dash == std::string::npos) {
            frames.push_back(static_cast<int>(parseIntegerArgument(option, item, 0, kLastFrame)));
        } else {
            const int64_t first = parseIntegerArgument(option, item.substr(0, dash), 0, kLastFrame);
            const int64_t last =
                parseIntegerArgument(option, item.substr(dash + 1), first, kLastFrame);
            for (int64_t f = first; f <= last; ++f)
                frames.push_back(static_cast<int>(f));
        }
        start = comma + 1;
    }
    return frames;
}
