// How far a backup run has come, as the window shows it: a slim line under the status line once
// a stage has gone on for a while, and the progress of the taskbar button. Decided here from the
// run's reports and the time; the window's realisation only draws what this decides.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace vqx {

// The share of a stage done, in thousandths: 0 to 1000.
int ShareOf(std::uint64_t done, std::uint64_t total);

struct ProgressLine {
    bool shown = false;
    int share = 0; // thousandths of the line drawn in green, from its left end
    bool operator==(const ProgressLine&) const = default;
};

enum class TaskbarState {
    None,   // no progress on the button
    Normal, // `share` of the current stage
    Error,  // the run failed
};

struct TaskbarProgress {
    TaskbarState state = TaskbarState::None;
    int share = 0; // thousandths
    bool operator==(const TaskbarProgress&) const = default;
};

class RunProgress {
public:
    using Clock = std::chrono::steady_clock;
    // A stage shows its line once it has lasted longer than this: a run of short stages looks
    // exactly as it always did, a long one shows that it is still moving.
    static constexpr Clock::duration kLineAfter = std::chrono::seconds(2);

    // Each report carries the time it was made, so that the line shows the same whenever the
    // window gets round to the report.
    void StageBegins(Clock::time_point at);
    void Advances(int share, Clock::time_point at);
    // Time has passed without a report: a stage may have grown long meanwhile.
    void Tick(Clock::time_point now);
    // The run is over: the line goes; the button shows an error after a failure, else nothing.
    void Ends(bool failed);

    const ProgressLine& Line() const { return line_; }
    const TaskbarProgress& Taskbar() const { return taskbar_; }
    // When the current stage's line is to appear, while it has not appeared yet.
    std::optional<Clock::time_point> LineDue() const;

private:
    std::optional<Clock::time_point> stageStart_; // none outside a stage
    int share_ = 0;
    ProgressLine line_;
    TaskbarProgress taskbar_;
};

} // namespace vqx
