#include "progress_line.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace dadimero {

ProgressLine::ProgressLine() {
    if (isatty(STDERR_FILENO) == 1) fd_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
}

ProgressLine::~ProgressLine() {
    clear();
    if (fd_ >= 0) close(fd_);
}

void ProgressLine::begin(const char* phase, int64_t total) {
    phase_ = phase;
    total_ = total;
    start_ = std::chrono::steady_clock::now();
    lastDraw_ = start_;
}

void ProgressLine::advance(int64_t done) {
    if (fd_ < 0) return;
    const auto now = std::chrono::steady_clock::now();
    if (done < total_ && now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    draw(done);
}

void ProgressLine::draw(int64_t done) {
    const double elapsed = std::chrono::duration<double>(lastDraw_ - start_).count();
    const double fps = elapsed > 0.0 ? static_cast<double>(done) / elapsed : 0.0;
    const long long left =
        fps > 0.0 ? static_cast<long long>(static_cast<double>(total_ - done) / fps + 0.5) : 0;
    char line[160];
    const int length = std::snprintf(
        line, sizeof line, "\r%s: frame %lld of %lld, %.1f fps, %lld:%02lld left\033[K", phase_,
        static_cast<long long>(done), static_cast<long long>(total_), fps, left / 60, left % 60);
    if (length > 0 && write(fd_, line, static_cast<size_t>(length)) > 0) shown_ = true;
}

void ProgressLine::clear() {
    if (fd_ < 0 || !shown_) return;
    const char erase[] = "\r\033[K";
    if (write(fd_, erase, sizeof erase - 1) > 0) shown_ = false;
}

}  // namespace dadimero
