#include "bench_sequence.hpp"

#include <filesystem>
#include <stdexcept>

BenchSequence readBenchSequence(const std::string& dir) {
    BenchSequence sequence;
    sequence.dir = std::filesystem::absolute(dir).lexically_normal().string();
    if (sequence.dir.ends_with('/')) sequence.dir.pop_back();
    sequence.files = dadimero::SequenceDirectory(sequence.dir);
    const dadimero::TemporalRange range = sequence.files.requireTemporalRange();
    sequence.fromIdx = range.fromIdx;
    sequence.toIdx = range.toIdx;
    if (sequence.toIdx <= sequence.fromIdx || sequence.fromIdx <= BenchSequence::kFirstFrame) {
        throw std::runtime_error("the range of " + sequence.files.temporalRange().string() +
                                 " leaves no calibration frame");
    }
    return sequence;
}
