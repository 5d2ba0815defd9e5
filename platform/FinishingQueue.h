// The last part of a batch of copies, on a few threads of its own: each copy's flush starts as
// soon as the copy is handed over, several at once, and each copy is named once its own flush
// and every earlier copy's naming have ended, so the names appear in the order of the hand-overs.
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

class FinishingQueue {
public:
    // One copy's last part. Destroying a job that has not been named discards its copy.
    class Job {
    public:
        virtual ~Job() = default;
        // Puts the copy's data on the disk.
        virtual Status Flush() = 0;
        // Gives the copy its real name (never in place of another file) and final attributes;
        // a busy target may be waited for while `goOn` holds.
        virtual Status Name(const GoOn& goOn) = 0;
    };

    // `threads` threads, started with the first job; at most `most` jobs handed over and not
    // yet finished.
    FinishingQueue(std::size_t threads, std::size_t most);
    // Discards the jobs not yet named, waits for the flushes under way, ends the threads.
    ~FinishingQueue();
    FinishingQueue(const FinishingQueue&) = delete;
    FinishingQueue& operator=(const FinishingQueue&) = delete;

    // Hands a job over, once there is room; false when `goOn` said stop first (the job is then
    // discarded). Where no thread can be started, the job is done here, at once.
    bool Add(std::string target, std::unique_ptr<Job> job, const GoOn& goOn);
    // As CopyBatch::Collect.
    std::vector<CopyBatch::Finished> Collect(bool all, const GoOn& goOn);

private:
    enum class State { Waiting, Flushing, Flushed, Naming };
    struct Item {
        std::string target;
        std::unique_ptr<Job> job;
        State state = State::Waiting;
        Status flushed;
    };

    void Work();
    bool Started();

    const std::size_t threadCount_, most_;
    std::mutex mutex_; // guards what follows
    std::condition_variable changed_;
    std::list<Item> items_; // in the order handed over; the first is named next
    std::vector<CopyBatch::Finished> finished_;
    std::atomic<bool> stopping_ = false; // also read by a naming that waits
    std::vector<std::thread> threads_;
};

} // namespace vqx
