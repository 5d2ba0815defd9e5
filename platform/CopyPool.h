// A few threads of their own that copy files side by side: while one copy waits for its flush
// or for a name look-up, the others read and write. A copy's data is on the disk before it
// takes its name, as each copy does its steps in turn; the copies are independent of each other.
#pragma once

#include "platform/FileSystem.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vqx {

class CopyPool {
public:
    // One copy. Destroying a job that did not end with its file in place discards the copy.
    class Job {
    public:
        virtual ~Job() = default;
        // Does the whole copy; `goOn` says false once the pool is going.
        virtual Status Run(const GoOn& goOn) = 0;
    };

    // `threads` threads, started with the first job; at most `most` jobs handed over and not
    // yet ended.
    CopyPool(std::size_t threads, std::size_t most);
    // Discards the jobs not yet started and waits for those under way, which are told to stop.
    ~CopyPool();
    CopyPool(const CopyPool&) = delete;
    CopyPool& operator=(const CopyPool&) = delete;

    // Hands a job over, once there is room; false when `goOn` said stop first (the job is then
    // discarded). Where no thread can be started, the job runs here, at once.
    bool Add(std::string target, std::unique_ptr<Job> job, const GoOn& goOn);
    // As CopyBatch::Collect: the jobs ended since the last call, in the order they ended.
    std::vector<CopyBatch::Finished> Collect(bool all, const GoOn& goOn);

private:
    struct Item {
        std::string target;
        std::unique_ptr<Job> job;
    };

    void Work();
    bool Started();

    const std::size_t threadCount_, most_;
    std::mutex mutex_; // guards what follows
    std::condition_variable changed_;
    std::list<Item> waiting_;
    std::size_t running_ = 0;
    std::vector<CopyBatch::Finished> finished_;
    std::atomic<bool> stopping_ = false; // also read by the jobs under way
    std::vector<std::thread> threads_;
};

} // namespace vqx
