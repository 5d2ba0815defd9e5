// The window on the in-memory file system and shell, for the tests of its handlers. The host's
// log records, in the order they happened, the control changes and also message boxes
// ("Message 36"), the window's pointer ("Pointer=11"), control pointers, moves and showing.
#pragma once

#include "tests/fakes/Borrowed.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeShell.h"
#include "tests/fakes/RecordingHost.h"
#include "window/APLwAPP.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vqx::fake {

class EventShell : public FakeShell {
public:
    std::vector<std::string>* log = nullptr;
    int MessageBox(const std::string& text, const std::string& title, int style) override {
        log->push_back("Message " + std::to_string(style));
        return FakeShell::MessageBox(text, title, style);
    }
    void SetPointer(int pointer) override {
        log->push_back("Pointer=" + std::to_string(pointer));
        FakeShell::SetPointer(pointer);
    }
};

class EventHost : public RecordingHost {
public:
    void ShowNow() override {
        RecordingHost::ShowNow();
        log.push_back("ShowNow");
    }
    void Changed(const Control& c, Prop what) override {
        if (what == Prop::MousePointer)
            log.push_back(c.FullName() + ".Pointer=" + c.MouseIcon() + "/" +
                          std::to_string(c.MousePointer()));
        else if (what == Prop::Geometry)
            log.push_back(c.FullName() + ".Move=" + std::to_string(c.Left()) + "," +
                          std::to_string(c.Top()) + "," + std::to_string(c.Width()) + "," +
                          std::to_string(c.Height()));
        else
            RecordingHost::Changed(c, what);
    }
};

struct World {
    FakeFileSystem fs;
    EventShell shell;
    EventHost host;
    // Whether making a file-system service fails (asked each time one is made).
    std::function<bool()> serviceFails = [] { return false; };
    APLwAPP app;

    World()
        : app(
              [this]() -> Result<std::unique_ptr<FileSystem>> {
                  if (serviceFails())
                      return FakeFileSystem::MakeError(errnum::Win32(429), "CreateObject");
                  return std::unique_ptr<FileSystem>(new BorrowedFileSystem(fs));
              },
              shell) {
        shell.log = &host.log;
        app.AttachHost(&host);
        fs.windowThread = std::this_thread::get_id();
        fs.windowBusy = [this] { return app.Running(); };
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;
};

} // namespace vqx::fake
