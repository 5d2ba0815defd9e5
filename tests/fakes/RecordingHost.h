// A window host for host tests: records what the model asked the screen to do.
#pragma once

#include "window/APLwAPP.h"

#include <functional>
#include <string>
#include <vector>

namespace vqx::fake {

class RecordingHost : public WindowHost {
public:
    std::vector<std::string> log; // "EstadoLBL1.Caption=1/6", "EstadoLBL1.Repaint", ...
    bool destroyed = false;
    std::string focused;

    void Changed(const Control& c, Prop what) override {
        switch (what) {
        case Prop::Caption:
            log.push_back(c.FullName() + ".Caption=" + c.Caption());
            break;
        case Prop::Visible:
            log.push_back(c.FullName() + ".Visible=" + (c.Visible() ? "1" : "0"));
            break;
        case Prop::ForeColor:
            log.push_back(c.FullName() + ".ForeColor=" + std::to_string(c.ForeColor()));
            break;
        case Prop::BorderColor:
            log.push_back(c.FullName() + ".BorderColor=" + std::to_string(c.BorderColor()));
            break;
        case Prop::Enabled:
            log.push_back(c.FullName() + ".Enabled=" + (c.Enabled() ? "1" : "0"));
            break;
        case Prop::Picture:
            log.push_back(c.FullName() + ".Picture=" + c.Picture());
            break;
        default:
            break;
        }
    }
    void RepaintNow(const Control& c) override { log.push_back(c.FullName() + ".Repaint"); }
    void Focus(const Control& c) override { focused = c.FullName(); }
    void Destroy() override { destroyed = true; }
    int shown = 0, drags = 0;
    void ShowNow() override { ++shown; }
    bool hidden = false;
    void Hide() override {
        hidden = true;
        log.push_back("Hide");
    }
    std::uintptr_t Handle() const override { return 0x1234; }
    void DragByCaption() override { ++drags; }
    // "Line=250" (shown, a quarter in green), "Line=off"; "Taskbar=Normal 250", "Taskbar=None",
    // "Taskbar=Error 1000": in the order they were shown.
    std::vector<std::string> progress;
    std::function<void()> onProgress; // after each entry, on the thread that showed it
    void ShowProgressLine(const ProgressLine& line) override {
        std::string entry = "Line=";
        entry += line.shown ? std::to_string(line.share) : std::string("off");
        progress.push_back(std::move(entry));
        if (onProgress)
            onProgress();
    }
    void ShowTaskbarProgress(const TaskbarProgress& p) override {
        static constexpr const char* kStates[] = {"None", "Normal", "Error"};
        std::string entry = "Taskbar=";
        entry += kStates[static_cast<int>(p.state)];
        if (p.state != TaskbarState::None) {
            entry += ' ';
            entry += std::to_string(p.share);
        }
        progress.push_back(std::move(entry));
        if (onProgress)
            onProgress();
    }

    // Entries of the log that start with `prefix`.
    std::vector<std::string> Only(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& l : log)
            if (l.rfind(prefix, 0) == 0)
                out.push_back(l);
        return out;
    }
};

} // namespace vqx::fake
