#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "run_parameters.hpp"

namespace dadimero {

// The frames a run of DADI-MERO writes masks for, and of those the frames of
// the sequence's temporal range, which are scored.
struct RunFrames {
    int64_t first = 0;  // ini + K
    int64_t last = 0;   // end
    int64_t scoredFirst = 0;
    int64_t scoredLast = 0;

    bool empty() const { return first > last; }
};

// The frames as the program takes them from its options and the sequence's
// temporalROI.txt: -end 0 means its last frame, -K 0 its first minus ini;
// without the file, end is ini and K is 1. Nothing when the file cannot be
// read: the program then stops before writing a mask.
std::optional<RunFrames> framesOfRun(const RunParameters& options,
                                     const std::filesystem::path& sequence);

// Whether a run's output folder holds a complete run of the current options
// over the current inputs, and if not, why not.
enum class RunState {
    Complete,
    NotRun,          // no status: never run, still running, or cut short
    Failed,          // its status is not 0
    OptionsChanged,  // it ran with other options
    InputsChanged,   // the sequence's files changed since it ran
    MaskDamaged,     // a mask is missing, damaged or unlike the others
    FramesUnknown,   // exit 0, but which masks it should have is unknown
};

struct RunCheck {
    RunState state = RunState::NotRun;
    std::string status;   // the status file's content, without its newline
    std::string badMask;  // the first missing or damaged mask, for MaskDamaged
};

// Complete: the status is 0, the recorded options and input fingerprint equal
// `options` and `inputs`, and every mask of `frames` decodes whole with one
// and the same header.
RunCheck checkRun(const std::filesystem::path& folder, const std::string& options,
                  const std::string& inputs, const std::optional<RunFrames>& frames);

}  // namespace dadimero
