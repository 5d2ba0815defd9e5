// An observer of the backup run for tests: records what the run reported, in order, and asks
// a test-given question whether to stop.
#pragma once

#include "engine/Respaldar.h"

#include <functional>
#include <string>
#include <vector>

namespace vqx::fake {

class RecordingObserver : public engine::RunObserver {
public:
    // "1/6 COPIANDO BASE DE DATOS" when a stage begins, "2/3" when two of three are done.
    std::vector<std::string> events;
    std::vector<engine::LeftOutFile> leftOut;
    int advances = 0;                                  // progress reports in the run
    std::function<bool()> stop = [] { return false; }; // asked at each StopRequested

    void StageBegins(const engine::Stage& s) override {
        events.push_back(std::string(s.counter) + " " + std::string(s.caption));
    }
    void StageAdvances(std::uint64_t done, std::uint64_t total) override {
        ++advances;
        events.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    void FileLeftOut(const engine::LeftOutFile& file) override { leftOut.push_back(file); }
    bool StopRequested() override { return stop(); }
};

} // namespace vqx::fake
