#include "run_completeness.hpp"

#include <algorithm>
#include <climits>

#include "sequence_directory.hpp"

#include "run_record.hpp"
#include "whole_png.hpp"

namespace dadimero {

namespace {

int64_t clamp32(int64_t value) {
    return std::clamp<int64_t>(value, INT32_MIN, INT32_MAX);
}

}  // namespace

std::optional<RunFrames> framesOfRun(const RunParameters& options,
                                     const std::filesystem::path& sequence) {
    TemporalRange range;
    const TemporalRangeStatus status = SequenceDirectory(sequence).readTemporalRange(range);
    if (status == TemporalRangeStatus::Unreadable) return std::nullopt;
    const int64_t ini = options.ini;
    int64_t end = options.end;
    int64_t K = options.K;
    if (status == TemporalRangeStatus::Read) {
        if (end == 0) end = range.toIdx;
        if (K == 0) K = clamp32(range.fromIdx - ini);
    } else {
        if (end == 0) end = ini;
        if (K == 0) K = 1;
    }
    RunFrames frames{ini + K, end, ini + K, end};
    if (status == TemporalRangeStatus::Read) {
        frames.scoredFirst = std::max<int64_t>(frames.first, range.fromIdx);
        frames.scoredLast = std::min<int64_t>(frames.last, range.toIdx);
    }
    return frames;
}

RunCheck checkRun(const std::filesystem::path& folder, const std::string& options,
                  const std::string& inputs, const std::optional<RunFrames>& frames) {
    RunCheck check;
    const std::optional<std::string> status = readRecord(folder, kStatusRecord);
    if (!status) return check;
    check.status = *status;
    while (!check.status.empty() && check.status.back() == '\n')
        check.status.pop_back();
    if (check.status != "0") {
        check.state = RunState::Failed;
        return check;
    }
    if (readRecord(folder, kOptionsRecord) != options) {
        check.state = RunState::OptionsChanged;
        return check;
    }
    if (readRecord(folder, kInputsRecord) != inputs) {
        check.state = RunState::InputsChanged;
        return check;
    }
    if (!frames) {
        check.state = RunState::FramesUnknown;
        return check;
    }
    std::optional<PngHeader> first;
    for (int64_t frame = frames->first; frame <= frames->last; ++frame) {
        const std::filesystem::path mask = maskPath(folder, frame);
        const std::optional<PngHeader> header = wholePngHeader(mask);
        if (!first) first = header;
        if (!header || header != first) {
            check.state = RunState::MaskDamaged;
            check.badMask = mask.string();
            return check;
        }
    }
    check.state = RunState::Complete;
    return check;
}

}  // namespace dadimero
