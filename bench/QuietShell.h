// The program's own shell for a measurement inside the bench's process: it waits for the run's
// worker as in the program, but reports message boxes on stderr and answers them with OK, and
// names the data folder given instead of the folder of the bench.
#pragma once

#include "bench/Bench.h"
#include "platform/win32/Win32Shell.h"

#include <string>
#include <utility>

namespace vqx::bench {

class QuietShell : public win32::Win32Shell {
public:
    explicit QuietShell(std::string dataFolder) : dataFolder_(std::move(dataFolder)) {}

    int MessageBox(const std::string& text, const std::string& title, int) override {
        Fail("message box \"" + title + "\": " + text);
        ++boxes;
        return mb::AnswerOk;
    }
    std::string DataFolder() override { return dataFolder_; }

    int boxes = 0;

private:
    std::string dataFolder_;
};

} // namespace vqx::bench
