#include "bench_options.hpp"

#include <filesystem>
#include <stdexcept>

namespace {

const char* kUsage =
    "usage: dadi-bench [--repeat N] [--json] [--program PATH] [--plot DIR]\n"
    "                  [--scaling-frames N] SEQDIR...\n"
    "  --repeat N          runs of every method; the median is reported (default 3)\n"
    "  --json              print one JSON object instead of the table\n"
    "  --program PATH      the DADI-MERO executable (default: DADI-MERO in the\n"
    "                      directory above this program's)\n"
    "  --plot DIR          draw DIR/speed_vs_fmeasure_WxH.png for every sequence with\n"
    "                      ground truth\n"
    "  --scaling-frames N  frames of each block side's run in the scaling table\n"
    "                      (default 40)\n";

// The build tree puts dadi-bench in build/bench and DADI-MERO in build.
std::string defaultProgram() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "DADI-MERO";
    return (self.parent_path().parent_path() / "DADI-MERO").string();
}

int parsePositive(const std::string& option, const std::string& text) {
    size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || value < 1) {
        throw std::invalid_argument(option + " needs a positive whole number\n" +
                                    std::string(kUsage));
    }
    return value;
}

}  // namespace

BenchOptions parseBenchOptions(int argc, char** argv) {
    BenchOptions options;
    options.program = defaultProgram();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--repeat" && hasValue) {
            options.repeat = parsePositive(arg, argv[++i]);
        } else if (arg == "--scaling-frames" && hasValue) {
            options.scalingFrames = parsePositive(arg, argv[++i]);
        } else if (arg == "--plot" && hasValue) {
            options.plotDir = argv[++i];
        } else if (arg == "--program" && hasValue) {
            options.program = argv[++i];
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg.starts_with("--")) {
            throw std::invalid_argument("unknown or incomplete option " + arg + "\n" + kUsage);
        } else {
            options.sequences.push_back(arg);
        }
    }
    if (options.sequences.empty()) throw std::invalid_argument(kUsage);
    return options;
}
