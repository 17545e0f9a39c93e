#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include <opencv2/core.hpp>

#include "dadimero/internal/stage_times.hpp"

#include "fatal_error.hpp"
#include "sequence_files.hpp"

namespace dadimero {

// Reads the depth frames first .. last in order, two at a time: a helper
// thread decodes every second frame while the caller decodes the one before
// it. The caller sees each frame, and each failure, where reading them one by
// one would have given it. Without the helper (not asked for, or not started
// by the system) the caller reads every frame itself.
class PairedDepthReader {
  public:
    PairedDepthReader(const SequenceFiles& files, int64_t first, int64_t last,
                      const char* unreadableFormat, bool helper, StageTimes* times);
    ~PairedDepthReader();
    PairedDepthReader(const PairedDepthReader&) = delete;
    PairedDepthReader& operator=(const PairedDepthReader&) = delete;

    // Calls visit(image) for every frame in order; a frame that cannot be
    // read throws its FatalError before any later frame is visited.
    template <typename Visit>
    void forEach(Visit&& visit) {
        for (int64_t frame = first_; frame <= last_; ++frame) {
            if (helper_.joinable() && (frame - first_) % 2 == 1) {
                visit(takeHelperFrame());
            } else {
                visit(load(frame, 0));
            }
        }
    }

  private:
    cv::Mat load(int64_t frame, int worker) const;
    cv::Mat takeHelperFrame();
    void helperLoop();

    const SequenceFiles& files_;
    const int64_t first_;
    const int64_t last_;
    const char* const unreadableFormat_;
    StageTimes* times_;

    // The helper's one frame, handed over when `ready`.
    cv::Mat image_;
    std::optional<FatalError> error_;
    bool ready_ = false;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread helper_;
};

}  // namespace dadimero
