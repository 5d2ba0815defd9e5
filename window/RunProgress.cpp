#include "window/RunProgress.h"

#include <algorithm>

namespace vqx {

int ShareOf(std::uint64_t done, std::uint64_t total) {
    if (total == 0)
        return 0;
    // In floating point: a product of a byte count and 1000 may not fit 64 bits.
    const double share =
        1000.0 * static_cast<double>(std::min(done, total)) / static_cast<double>(total);
    return std::clamp(static_cast<int>(share), 0, 1000);
}

void RunProgress::StageBegins(Clock::time_point at) {
    stageStart_ = at;
    share_ = 0;
    line_ = {};
    taskbar_ = {TaskbarState::Normal, 0};
}

void RunProgress::Advances(int share, Clock::time_point at) {
    share_ = share;
    taskbar_ = {TaskbarState::Normal, share};
    if (line_.shown)
        line_.share = share;
    Tick(at);
}

void RunProgress::Tick(Clock::time_point now) {
    if (auto due = LineDue(); due && now >= *due)
        line_ = {true, share_};
}

void RunProgress::Ends(bool failed) {
    stageStart_.reset();
    line_ = {};
    // Red over the whole button, so that a failure shows whatever point the stage had reached.
    taskbar_ = failed ? TaskbarProgress{TaskbarState::Error, 1000} : TaskbarProgress{};
}

std::optional<RunProgress::Clock::time_point> RunProgress::LineDue() const {
    if (!stageStart_ || line_.shown)
        return std::nullopt;
    // "Longer than": the first tick of the clock after the limit.
    return *stageStart_ + kLineAfter + Clock::duration(1);
}

} // namespace vqx
