#include "platform/FinishingQueue.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

namespace vqx {
namespace {

// How often a caller that waits asks whether to go on.
constexpr auto kAskEvery = std::chrono::milliseconds(20);

} // namespace

FinishingQueue::FinishingQueue(std::size_t threads, std::size_t most)
    : threadCount_(std::max<std::size_t>(threads, 1)), most_(std::max<std::size_t>(most, 1)) {}

FinishingQueue::~FinishingQueue() {
    std::vector<std::unique_ptr<Job>> discarded;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        // A job under way (flushing or naming) is left to its thread, which sees the stop.
        for (auto it = items_.begin(); it != items_.end();) {
            if (it->state == State::Waiting || it->state == State::Flushed) {
                discarded.push_back(std::move(it->job));
                it = items_.erase(it);
            } else {
                ++it;
            }
        }
    }
    changed_.notify_all();
    discarded.clear();
    for (std::thread& thread : threads_)
        thread.join();
}

bool FinishingQueue::Started() {
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

bool FinishingQueue::Add(std::string target, std::unique_ptr<Job> job, const GoOn& goOn) {
    std::unique_lock lock(mutex_);
    if (!Started()) {
        lock.unlock();
        Status done = job->Flush();
        if (done)
            done = job->Name(goOn);
        job.reset();
        lock.lock();
        finished_.push_back({std::move(target), std::move(done)});
        return true;
    }
    while (items_.size() >= most_) {
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
    items_.push_back(Item{std::move(target), std::move(job)});
    changed_.notify_all();
    return true;
}

std::vector<CopyBatch::Finished> FinishingQueue::Collect(bool all, const GoOn& goOn) {
    std::unique_lock lock(mutex_);
    while (all && !items_.empty()) {
        lock.unlock();
        const bool go = !goOn || goOn();
        lock.lock();
        if (!go)
            break;
        changed_.wait_for(lock, kAskEvery, [this] { return items_.empty(); });
    }
    return std::exchange(finished_, {});
}

void FinishingQueue::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        // The first job, once on the disk, is named by whichever thread sees it first.
        if (!items_.empty() && items_.front().state == State::Flushed) {
            Item& item = items_.front();
            item.state = State::Naming;
            std::unique_ptr<Job> job = std::move(item.job);
            Status done = std::move(item.flushed);
            lock.unlock();
            if (done)
                done = job->Name([this] { return !stopping_; });
            job.reset(); // closes a named copy, discards any other
            lock.lock();
            finished_.push_back({std::move(item.target), std::move(done)});
            items_.pop_front();
            changed_.notify_all();
            continue;
        }
        const auto waiting = std::find_if(items_.begin(), items_.end(),
                                          [](const Item& i) { return i.state == State::Waiting; });
        if (waiting != items_.end()) {
            waiting->state = State::Flushing;
            Job* job = waiting->job.get();
            lock.unlock();
            Status flushed = job->Flush();
            lock.lock();
            if (stopping_) {
                std::unique_ptr<Job> discarded = std::move(waiting->job);
                items_.erase(waiting);
                lock.unlock();
                discarded.reset();
                lock.lock();
            } else {
                waiting->flushed = std::move(flushed);
                waiting->state = State::Flushed;
            }
            changed_.notify_all();
            continue;
        }
        if (stopping_)
            return;
        changed_.wait(lock);
    }
}

} // namespace vqx
