#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace dadimero {

// One self-updating line on standard error while runs go on, only when it is
// a terminal: "runs: 12 of 40 done, 2 running, 1 failed, about 3:10 left".
// Cleared when the object goes away, so the summary starts on a clean line.
class ProgressDisplay {
  public:
    ProgressDisplay();
    ~ProgressDisplay();
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // Redraws at most a few times a second. `extra` is added as it is
    // (", 3 pending").
    void show(size_t done, size_t total, size_t running, size_t failed,
              const std::string& extra = "");
    void clear();

  private:
    bool terminal_ = false;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace dadimero
