#include "dadi_process.hpp"

#include <filesystem>

namespace {

int64_t countMasks(const std::string& dir) {
    int64_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("bin") && name.ends_with(".png")) ++count;
    }
    return count;
}

}  // namespace

ChildOutcome runDadiProcess(const std::string& program, const BenchSequence& layout,
                            const std::vector<std::string>& options, const std::string& workDir) {
    std::vector<std::string> args{program, layout.dir};
    args.insert(args.end(), options.begin(), options.end());
    ChildOutcome outcome = runProgram(program, args, workDir);
    const int64_t expected = int64_t{layout.toIdx} - layout.fromIdx + 1;
    if (countMasks(workDir) != expected) outcome.succeeded = false;
    return outcome;
}
