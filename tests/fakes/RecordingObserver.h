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
    // "1/6 COPIANDO BASE DE DATOS" when a stage begins, "copy" before each copy, "done 2"
    // after the second entry of a stage.
    std::vector<std::string> events;
    std::vector<engine::LeftOutFile> leftOut;
    int chunks = 0;                                    // progress calls during copies
    int entries = 0;                                   // data-centre entries dealt with in the run
    std::function<bool()> stop = [] { return false; }; // asked at each StopRequested

    void StageBegins(const engine::Stage& s) override {
        events.push_back(std::string(s.counter) + " " + std::string(s.caption));
    }
    void CopyBegins() override { events.push_back("copy"); }
    void CopyAdvances() override { ++chunks; }
    void EntryDone(std::size_t done) override {
        ++entries;
        events.push_back("done " + std::to_string(done));
    }
    void FileLeftOut(const engine::LeftOutFile& file) override { leftOut.push_back(file); }
    bool StopRequested() override { return stop(); }
};

} // namespace vqx::fake
