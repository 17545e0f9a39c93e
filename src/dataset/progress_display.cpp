#include "progress_display.hpp"

#include <unistd.h>

#include <cstdio>

namespace dadimero {

ProgressDisplay::ProgressDisplay()
    : terminal_(isatty(STDERR_FILENO) != 0), start_(std::chrono::steady_clock::now()) {}

ProgressDisplay::~ProgressDisplay() {
    clear();
}

void ProgressDisplay::show(size_t done, size_t total, size_t running, size_t failed,
                           const std::string& extra) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - lastDraw_ < std::chrono::milliseconds(250)) return;
    lastDraw_ = now;
    std::string line = "runs: " + std::to_string(done) + " of " + std::to_string(total) +
                       " done, " + std::to_string(running) + " running, " + std::to_string(failed) +
                       " failed" + extra;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    if (done > 0 && done < total) {
        const long left = static_cast<long>(elapsed / static_cast<double>(done) *
                                            static_cast<double>(total - done));
        char time[64];
        std::snprintf(time, sizeof time, ", about %ld:%02ld left", left / 60, left % 60);
        line += time;
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void ProgressDisplay::clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace dadimero
