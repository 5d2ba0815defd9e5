// How the window shows a run's progress: the line under the status line, which appears only in a
// stage that has lasted longer than two seconds and shows that stage's share, and the taskbar
// button. First the decisions alone, on a timeline; then a run through the window, on a clock the
// test moves.
#include "tests/fakes/World.h"
#include "window/RunProgress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace vqx {
namespace {

using namespace std::chrono_literals;
using Clock = RunProgress::Clock;
using ::testing::ElementsAreArray;

std::string Describe(const ProgressLine& line) {
    return line.shown ? "Line=" + std::to_string(line.share) : "Line=off";
}

std::string Describe(const TaskbarProgress& p) {
    switch (p.state) {
    case TaskbarState::None:
        return "Taskbar=None";
    case TaskbarState::Normal:
        return "Taskbar=Normal " + std::to_string(p.share);
    case TaskbarState::Error:
        return "Taskbar=Error " + std::to_string(p.share);
    }
    return "?";
}

TEST(RunProgressTest, TheLineShowsAStageLongerThanTwoSecondsAndTheButtonFollowsTheRun) {
    enum class Do { Begin, Advance, Tick, Succeed, Fail };
    struct Step {
        Do what;
        Clock::duration at; // since the run began
        int share;
        const char* line;
        const char* taskbar;
    };
    const std::vector<std::vector<Step>> runs = {
        {
            {Do::Begin, 0ms, 0, "Line=off", "Taskbar=Normal 0"},
            {Do::Advance, 1500ms, 100, "Line=off", "Taskbar=Normal 100"},
            {Do::Tick, 2000ms, 0, "Line=off", "Taskbar=Normal 100"}, // not longer than 2 s yet
            {Do::Tick, 2001ms, 0, "Line=100", "Taskbar=Normal 100"}, // without a report
            {Do::Advance, 2500ms, 400, "Line=400", "Taskbar=Normal 400"},
            {Do::Begin, 2600ms, 0, "Line=off", "Taskbar=Normal 0"}, // a new stage starts hidden
            {Do::Advance, 4600ms, 999, "Line=off", "Taskbar=Normal 999"},
            {Do::Advance, 4601ms, 1000, "Line=1000", "Taskbar=Normal 1000"}, // a report, too
            {Do::Succeed, 4700ms, 0, "Line=off", "Taskbar=None"},
        },
        {
            {Do::Begin, 0ms, 0, "Line=off", "Taskbar=Normal 0"},
            {Do::Advance, 3000ms, 300, "Line=300", "Taskbar=Normal 300"},
            {Do::Fail, 3100ms, 0, "Line=off", "Taskbar=Error 1000"},
        },
        {
            // Short stages never show the line, however long the run.
            {Do::Begin, 0ms, 0, "Line=off", "Taskbar=Normal 0"},
            {Do::Begin, 1900ms, 0, "Line=off", "Taskbar=Normal 0"},
            {Do::Advance, 3800ms, 1000, "Line=off", "Taskbar=Normal 1000"},
            {Do::Begin, 3800ms, 0, "Line=off", "Taskbar=Normal 0"},
            {Do::Succeed, 5000ms, 0, "Line=off", "Taskbar=None"},
            {Do::Tick, 9000ms, 0, "Line=off", "Taskbar=None"}, // after the outcome
        },
    };
    for (std::size_t r = 0; r < runs.size(); ++r) {
        RunProgress progress;
        const Clock::time_point start{};
        for (const Step& step : runs[r]) {
            SCOPED_TRACE("run " + std::to_string(r) + " at " + std::to_string((step.at / 1ms)) +
                         " ms");
            switch (step.what) {
            case Do::Begin:
                progress.StageBegins(start + step.at);
                break;
            case Do::Advance:
                progress.Advances(step.share, start + step.at);
                break;
            case Do::Tick:
                progress.Tick(start + step.at);
                break;
            case Do::Succeed:
            case Do::Fail:
                progress.Ends(step.what == Do::Fail);
                break;
            }
            EXPECT_EQ(Describe(progress.Line()), step.line);
            EXPECT_EQ(Describe(progress.Taskbar()), step.taskbar);
        }
    }
    EXPECT_EQ(ShareOf(0, 0), 0);
    EXPECT_EQ(ShareOf(1, 3), 333);
    EXPECT_EQ(ShareOf(7, 5), 1000);
    // Bytes of a database far beyond what times a thousand fits 64 bits.
    EXPECT_EQ(ShareOf(std::uint64_t{1} << 62, std::uint64_t{1} << 63), 500);
}

// --- Through the window: the run's worker reports, the window thread shows -------------------

const std::string kData = "C:\\VQX";
const std::string kDest = "D:\\Copias\\";
const std::string kName = "Copia";

struct Window : fake::World {
    Window() {
        fs.AddFile(kData + "\\VQX Datos.mdb", "sixteen bytes..."); // in four parts of four
        fs.AddFile(kData + "\\VQX Datos\\raiz.txt", "raiz");
        fs.AddFile(kData + "\\VQX Datos\\Archivo\\a1.pdf", "a1");
        fs.AddFile(kData + "\\VQX Datos\\Archivo\\a2.pdf", "a2");
        fs.AddFolder(kData + "\\VQX Datos\\Plantillas");
        fs.AddFolder(kData + "\\VQX Datos\\Referencias");
        fs.AddFile(kData + "\\VQX Datos\\Informes\\i.xlsx", "i");
        fs.AddFolder("D:\\Copias");
        app.ItemCheck.SetTag("ON");
        fs.SetCopyChunks(4);
        host.onProgress = [this] {
            std::lock_guard lock(mutex);
            lineShown = lineShown || host.progress.back() == "Line=0";
            changed.notify_all();
        };
        // Once the window has taken the stage's start and waits, the database copy finds
        // itself three seconds into the stage, and reports nothing until the line shows: only
        // the wake asked for the line's due time brings it.
        fs.OnCopy([this](const std::string& source) {
            if (!source.ends_with("VQX Datos.mdb"))
                return;
            // The second task runs only after the window's look that followed the first.
            shell.OnWindowThread([] {});
            shell.OnWindowThread([] {});
            shell.Advance(3s);
            std::unique_lock lock(mutex);
            EXPECT_TRUE(changed.wait_for(lock, 10s, [this] { return lineShown; }))
                << "no line three seconds into the stage";
        });
    }

    std::mutex mutex; // guards what follows
    std::condition_variable changed;
    bool lineShown = false;
};

TEST(ProgressWindowTest, ALongStageShowsItsLineAndTheButtonEndsAsTheRunDoes) {
    const std::vector<std::string> longDatabaseStage = {"Taskbar=Normal 0", "Line=0",
                                                        "Line=250",         "Taskbar=Normal 250",
                                                        "Line=500",         "Taskbar=Normal 500",
                                                        "Line=750",         "Taskbar=Normal 750",
                                                        "Line=1000",        "Taskbar=Normal 1000"};
    {
        SCOPED_TRACE("completed");
        Window w;
        ASSERT_TRUE(w.app.proFN_Respaldar(kDest, kName));
        std::vector<std::string> expected = longDatabaseStage;
        // The stages of the data centre begin with the clock where the database left it: each
        // is short, and shows its share on the button only.
        for (const char* stage : {"Line=off", "Taskbar=Normal 0", "Taskbar=Normal 1000", // 2/6
                                  "Taskbar=Normal 0", "Taskbar=Normal 500", "Taskbar=Normal 1000",
                                  "Taskbar=Normal 0",       // 4/6, then 5/6: empty
                                  "Taskbar=Normal 1000"}) { // 6/6
            expected.push_back(stage);
        }
        expected.push_back("Taskbar=None");
        EXPECT_THAT(w.host.progress, ElementsAreArray(expected));
        EXPECT_THAT(w.shell.wakeAts, ::testing::Contains(2s + Clock::duration(1)));
    }
    {
        SCOPED_TRACE("database copy fails");
        Window w;
        w.fs.FailOn(fake::Op::CopyFile, kDest + kName + ".vqxdb",
                    fake::FakeFileSystem::MakeError(errnum::AccessDenied, "CopyFile"));
        ASSERT_FALSE(w.app.proFN_Respaldar(kDest, kName));
        EXPECT_THAT(w.host.progress, ElementsAreArray({"Taskbar=Normal 0", "Line=0", "Line=off",
                                                       "Taskbar=Error 1000"}));
        EXPECT_EQ(w.shell.messages.size(), 1u); // the report of the failure
    }
}

} // namespace
} // namespace vqx
