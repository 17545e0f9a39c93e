#pragma once

#include <chrono>
#include <cstdint>

namespace dadimero {

// One self-updating line on the terminal during the long phases: phase, frame
// k of N, frames per second, time left. Shown only when standard error is a
// terminal; otherwise nothing at all is written. The line is cleared when the
// object goes away, also when a failure ends the run.
class ProgressLine {
  public:
    ProgressLine();
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Starts a phase of `total` frames.
    void begin(const char* phase, int64_t total);
    // Frame `done` of the phase is finished; redraws a few times a second.
    void advance(int64_t done);
    // Removes the line, so that other output starts on a clean line.
    void clear();

  private:
    void draw(int64_t done);

    int fd_ = -1;  // a copy of standard error, immune to the codecs' silencing
    const char* phase_ = "";
    int64_t total_ = 0;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_{};
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace dadimero
