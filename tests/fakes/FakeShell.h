// A shell for host tests that records what the window asked of it.
#pragma once

#include "platform/Shell.h"

#include <deque>
#include <functional>
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
    int yields = 0;
    std::function<void()> onYield; // runs inside each yield, e.g. to ask for a close
    std::string dataFolder = "C:\\VQX";
    LocalDate today{2026, 12, 7};
    std::uint64_t now = 0;
    std::uint64_t tickStep = 0; // how far the clock moves at each reading

    int MessageBox(const std::string& text, const std::string& title, int style) override {
        messages.push_back({text, title, style});
        if (answers.empty())
            return 1;
        int a = answers.front();
        answers.pop_front();
        return a;
    }
    void Yield() override {
        ++yields;
        if (onYield)
            onYield();
    }
    void SetPointer(int pointer) override { pointers.push_back(pointer); }
    std::string DataFolder() override { return dataFolder; }
    LocalDate Today() override { return today; }
    std::uint64_t TickMs() override { return now += tickStep; }

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
};

} // namespace vqx::fake
