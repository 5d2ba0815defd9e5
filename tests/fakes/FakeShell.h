// A shell for host tests that records what the window asked of it.
#pragma once

#include "platform/ScopeExit.h"
#include "platform/Shell.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vqx::fake {

class FakeShell : public Shell {
public:
    struct Message {
        std::string text, title;
        int style;
    };
    std::vector<Message> messages;
    std::deque<int> answers; // answers to give, in order; OK (1) when empty
    std::vector<int> pointers;
    std::string dataFolder = "C:\\VQX";
    LocalDate today{2026, 12, 7};

    int MessageBox(const std::string& text, const std::string& title, int style) override {
        messages.push_back({text, title, style});
        if (answers.empty())
            return 1;
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    // Waits for wakes and for work handed over by OnWindowThread, on the calling thread.
    void RunUntil(const std::function<bool()>& done) override {
        std::unique_lock lock(mutex_);
        for (;;) {
            while (!tasks_.empty()) {
                std::function<void()> task = std::move(tasks_.front());
                tasks_.pop_front();
                lock.unlock();
                // A task that throws has run all the same: its caller is let go.
                const ScopeExit counted([&] {
                    lock.lock();
                    ++tasksRun_;
                    changed_.notify_all();
                });
                task();
            }
            woken_ = false;
            lock.unlock();
            if (done())
                return;
            lock.lock();
            changed_.wait(lock, [this] { return woken_ || !tasks_.empty(); });
        }
    }
    void Wake() override {
        std::lock_guard lock(mutex_);
        woken_ = true;
        changed_.notify_all();
    }
    // A clock that moves only when a test moves it; a wake asked for by WakeAt comes when the
    // clock reaches it, as a timer's would.
    void WakeAt(Clock::time_point when) override {
        std::lock_guard lock(mutex_);
        wakeAts.push_back(when - Clock::time_point());
        wakeAt_ = when;
        WakeIfDue();
    }
    Clock::time_point Now() override {
        std::lock_guard lock(mutex_);
        return now_;
    }
    void Advance(Clock::duration by) {
        std::lock_guard lock(mutex_);
        now_ += by;
        WakeIfDue();
    }
    // The wakes asked for, as times since the clock's start; guarded, read once the run ended.
    std::vector<Clock::duration> wakeAts;
    // Runs `task` on the thread in RunUntil, between two reports of the run, and returns once
    // it has run: a worker's hook uses it to act on the window (a close) at a chosen moment.
    void OnWindowThread(std::function<void()> task) {
        std::unique_lock lock(mutex_);
        tasks_.push_back(std::move(task));
        const std::size_t until = tasksRun_ + tasks_.size();
        changed_.notify_all();
        changed_.wait(lock, [&] { return tasksRun_ >= until; });
    }
    void SetPointer(int pointer) override { pointers.push_back(pointer); }
    std::string DataFolder() override { return dataFolder; }
    LocalDate Today() override { return today; }

    struct IconCall {
        std::uintptr_t window;
        std::string resource;
        bool ownerChain;
    };
    std::vector<IconCall> iconCalls;
    void SetWindowIcons(std::uintptr_t window, const std::string& resource,
                        bool ownerChain) override {
        iconCalls.push_back({window, resource, ownerChain});
    }
    std::deque<std::string> folders; // what the folder dialog gives, in order; "" = cancel
    std::vector<std::string> folderTitles;
    std::string PickFolder(std::uintptr_t, const std::string& title) override {
        folderTitles.push_back(title);
        if (folders.empty())
            return {};
        std::string f = folders.front();
        folders.pop_front();
        return f;
    }

private:
    void WakeIfDue() {
        if (wakeAt_ && *wakeAt_ <= now_) {
            wakeAt_.reset();
            woken_ = true;
            changed_.notify_all();
        }
    }

    std::mutex mutex_; // guards what follows
    std::condition_variable changed_;
    std::deque<std::function<void()>> tasks_;
    std::size_t tasksRun_ = 0;
    bool woken_ = false;
    Clock::time_point now_{};
    std::optional<Clock::time_point> wakeAt_;
};

} // namespace vqx::fake
