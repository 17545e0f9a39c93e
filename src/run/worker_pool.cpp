#include "run/worker_pool.hpp"

#include <algorithm>

WorkerPool::WorkerPool(int threads) {
    for (int i = 1; i < threads; ++i)
        workers_.emplace_back([this, i] { workerLoop(i); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

void WorkerPool::runBands(int count, BandCall call, void* context) {
    const int bands = size();
    if (bands == 1 || count < bands) {
        call(context, 0, count);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        call_ = call;
        context_ = context;
        count_ = count;
        pending_ = bands - 1;
        ++generation_;
    }
    wake_.notify_all();
    call(context, 0, bandStart(count, bands, 1));
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    call_ = nullptr;
}

void WorkerPool::workerLoop(int index) {
    long long seen = 0;
    for (;;) {
        BandCall call = nullptr;
        void* context = nullptr;
        int count = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this, seen] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
            call = call_;
            context = context_;
            count = count_;
        }
        const int bands = size();
        call(context, bandStart(count, bands, index), bandStart(count, bands, index + 1));
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
