#include "platform/CopyPool.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <utility>

namespace vqx {
namespace {

// How often a caller that waits asks whether to go on.
constexpr auto kAskEvery = std::chrono::milliseconds(20);

// A copy that threw: no exception may leave a thread (std::terminate would end the program),
// so it is a failed copy like any other.
Status Guarded(CopyPool::Job& job, const GoOn& goOn) noexcept {
    try {
        return job.Run(goOn);
    } catch (const std::bad_alloc&) {
        return Error{errnum::Win32(8), "No hay suficiente memoria.", "CopyFile"};
    } catch (...) {
        return Error{errnum::Internal, kInternalErrorText, "CopyFile"};
    }
}

} // namespace

CopyPool::CopyPool(std::size_t threads, std::size_t most)
    : threadCount_(std::max<std::size_t>(threads, 1)), most_(std::max<std::size_t>(most, 1)) {}

CopyPool::~CopyPool() {
    std::list<Item> discarded;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        discarded.swap(waiting_);
    }
    changed_.notify_all();
    discarded.clear();
    for (std::thread& thread : threads_)
        thread.join();
}

bool CopyPool::Started() {
    if (!threads_.empty())
        return true;
    try {
        for (std::size_t i = 0; i < threadCount_; ++i)
            threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        // Fewer threads than asked for still do the work; none at all leaves it to the caller.
    }
    return !threads_.empty();
}

bool CopyPool::Add(std::string target, std::unique_ptr<Job> job, const GoOn& goOn) {
    std::unique_lock lock(mutex_);
    if (!Started()) {
        lock.unlock();
        Status done = Guarded(*job, goOn);
        job.reset();
        lock.lock();
        finished_.push_back({std::move(target), std::move(done)});
        return true;
    }
    while (waiting_.size() + running_ >= most_) {
        lock.unlock();
        const bool go = !goOn || goOn();
        lock.lock();
        if (!go) {
            lock.unlock();
            job.reset();
            return false;
        }
        changed_.wait_for(lock, kAskEvery);
    }
    waiting_.push_back(Item{std::move(target), std::move(job)});
    changed_.notify_all();
    return true;
}

std::vector<CopyBatch::Finished> CopyPool::Collect(bool all, const GoOn& goOn) {
    std::unique_lock lock(mutex_);
    while (all && (running_ > 0 || !waiting_.empty())) {
        lock.unlock();
        const bool go = !goOn || goOn();
        lock.lock();
        if (!go)
            break;
        changed_.wait_for(lock, kAskEvery, [this] { return running_ == 0 && waiting_.empty(); });
    }
    return std::exchange(finished_, {});
}

void CopyPool::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty())
            return; // stopping, nothing left to start
        Item item = std::move(waiting_.front());
        waiting_.pop_front();
        ++running_;
        lock.unlock();
        Status done = Guarded(*item.job, [this] { return !stopping_; });
        item.job.reset(); // closes a copy in place, discards any other
        lock.lock();
        --running_;
        try {
            finished_.push_back({std::move(item.target), std::move(done)});
        } catch (const std::bad_alloc&) {
            // Its outcome is lost; the count of copies under way stays right, so no one waits
            // for it.
        }
        changed_.notify_all();
    }
}

} // namespace vqx
