#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace dadimero {

// A fixed set of threads, the calling thread included, that split a range of
// rows into contiguous bands and take them one by one as they become free, so
// that a thread slowed down by other work holds up no one. With one thread
// everything runs on the caller in a single band. Callers must give results
// that do not depend on how the rows are banded.
class WorkerPool {
  public:
    // Starts threads - 1 threads besides the caller. When the system refuses
    // one, the threads already started are stopped and joined, and the
    // std::system_error (or std::bad_alloc) is thrown on.
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const { return static_cast<int>(workers_.size()) + 1; }

    // Calls body(worker, begin, end) for every band of [0, count), worker being
    // the index (0 .. size() - 1) of the thread that runs it, for per-thread
    // working space; returns when all bands are done. Not reentrant.
    template <typename Body>
    void forEachBand(int count, Body&& body) {
        using Callable = std::remove_reference_t<Body>;
        runBands(
            count,
            [](void* context, int worker, int begin, int end) {
                (*static_cast<Callable*>(context))(worker, begin, end);
            },
            const_cast<void*>(static_cast<const void*>(&body)));
    }

    // The band `index` of `bands` equal parts of [0, count).
    static int bandStart(int count, int bands, int index) {
        return static_cast<int>(static_cast<long long>(count) * index / bands);
    }

  private:
    using BandCall = void (*)(void* context, int worker, int begin, int end);
    void runBands(int count, BandCall call, void* context);
    void takeBands(int worker);
    void workerLoop(int index);
    void stop();

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    BandCall call_ = nullptr;
    void* context_ = nullptr;
    int count_ = 0;
    int bands_ = 0;
    std::atomic<int> nextBand_{0};
    long long generation_ = 0;
    int pending_ = 0;
    bool stopping_ = false;
};

// Threads to use for `requested` (0: one per core), at most 256.
int resolveThreadCount(int requested);

// Bands per thread: enough for a thread to make up for one that was kept busy
// elsewhere, few enough that the rows an update band re-reads stay a small share.
inline constexpr int kBandsPerThread = 4;

// The rows a thread needs at least: a band of fewer than four rows is little
// more than the edge rows its neighbours wait for, so more threads would add
// memory, not speed.
inline constexpr int kRowsPerThread = 4 * kBandsPerThread;

// Threads to use for `requested` over images of `rows` rows: as
// resolveThreadCount, and at most one per kRowsPerThread rows (at least one).
int threadsForRows(int requested, int rows);

}  // namespace dadimero
