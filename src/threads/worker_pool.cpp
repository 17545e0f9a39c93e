#include "threads/worker_pool.hpp"

#include <algorithm>

namespace dadimero {

WorkerPool::WorkerPool(int threads) {
    try {
        workers_.reserve(static_cast<size_t>(std::max(threads - 1, 0)));
        for (int i = 1; i < threads; ++i)
            workers_.emplace_back([this, i] { workerLoop(i); });
    } catch (...) {
        // No destructor runs for a constructor that throws: the threads
        // already started wait on wake_, which must outlive them.
        stop();
        throw;
    }
}

WorkerPool::~WorkerPool() {
    stop();
}

void WorkerPool::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
}

void WorkerPool::runBands(int count, BandCall call, void* context) {
    if (size() == 1 || count < 2) {
        call(context, 0, 0, count);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        call_ = call;
        context_ = context;
        count_ = count;
        bands_ = std::min(count, size() * kBandsPerThread);
        nextBand_.store(0);
        pending_ = size() - 1;
        ++generation_;
    }
    wake_.notify_all();
    takeBands(0);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    call_ = nullptr;
}

void WorkerPool::takeBands(int worker) {
    for (;;) {
        const int band = nextBand_.fetch_add(1);
        if (band >= bands_) return;
        call_(context_, worker, bandStart(count_, bands_, band),
              bandStart(count_, bands_, band + 1));
    }
}

void WorkerPool::workerLoop(int index) {
    long long seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this, seen] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
        }
        takeBands(index);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            --pending_;
        }
        done_.notify_one();
    }
}

int resolveThreadCount(int requested) {
    if (requested >= 1) return std::min(requested, 256);
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : static_cast<int>(std::min(cores, 256u));
}

int threadsForRows(int requested, int rows) {
    return std::max(1, std::min(resolveThreadCount(requested), rows / kRowsPerThread));
}

}  // namespace dadimero
