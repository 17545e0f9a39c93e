#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

// A fixed set of threads that split a range of rows into contiguous bands, one
// band per thread, the calling thread included. With one thread everything runs
// on the caller. The bands depend only on the range and the thread count.
class WorkerPool {
  public:
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int size() const { return static_cast<int>(workers_.size()) + 1; }

    // Calls body(begin, end) for every band of [0, count) and returns when all
    // bands are done. Not reentrant.
    template <typename Body>
    void forEachBand(int count, Body&& body) {
        using Callable = std::remove_reference_t<Body>;
        runBands(
            count,
            [](void* context, int begin, int end) {
                (*static_cast<Callable*>(context))(begin, end);
            },
            const_cast<void*>(static_cast<const void*>(&body)));
    }

    // The index of the band of [0, count) that starts at `begin`, for per-band
    // working space.
    int bandIndex(int count, int begin) const {
        const int bands = count < size() ? 1 : size();
        for (int index = bands - 1; index > 0; --index) {
            if (bandStart(count, bands, index) <= begin) return index;
        }
        return 0;
    }

    // The band `index` of `bands` equal parts of [0, count).
    static int bandStart(int count, int bands, int index) {
        return static_cast<int>(static_cast<long long>(count) * index / bands);
    }

  private:
    using BandCall = void (*)(void* context, int begin, int end);
    void runBands(int count, BandCall call, void* context);
    void workerLoop(int index);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    BandCall call_ = nullptr;
    void* context_ = nullptr;
    int count_ = 0;
    long long generation_ = 0;
    int pending_ = 0;
    bool stopping_ = false;
};

// Threads to use for `requested` (0: one per core).
int resolveThreadCount(int requested);
