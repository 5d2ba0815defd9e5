// Measurements of the real program, driven from outside as a user would drive it: how long the
// window keeps a caller waiting during a backup, the process's peak memory, and how long the
// window takes to appear.
#include "bench/Bench.h"
#include "platform/win32/WinHandles.h"
#include "tests/driver/ControlIds.h"
#include "tests/driver/Harness.h"

#include <psapi.h>

#include <algorithm>
#include <optional>

namespace vqx::bench {
namespace {

using e2e::App;
using e2e::DataFolder;
using e2e::Layout;

const std::wstring kSuccess = L"COMPLETADO CON EXITO";
constexpr double kSampleInterval = 0.010;   // seconds between two WM_NULL round trips
constexpr double kRunDeadline = 600;        // seconds a backup run may take here
constexpr double kStableFor = 0.5;          // a window picture unchanged this long is final
constexpr UINT kRoundTripTimeoutMs = 60000; // a round trip longer than this is a hung window

// Data folders are made in the current directory, on the disk being measured.
void MakeDataFoldersHere() {
    wchar_t here[MAX_PATH];
    const DWORD n = GetCurrentDirectoryW(MAX_PATH, here);
    if (n > 0 && n < MAX_PATH)
        SetEnvironmentVariableW(L"TMP", here);
}

// Something moved into the data folder for one run and back out afterwards (a rename on the
// same disk: instant, whatever its size).
class Borrowed {
public:
    Borrowed(std::wstring from, std::wstring to) : from_(std::move(from)), to_(std::move(to)) {
        moved_ = MoveFileExW(from_.c_str(), to_.c_str(), 0) != FALSE;
        if (!moved_)
            Fail("cannot move " + Narrow(from_) + " to " + Narrow(to_) + ": error " +
                 std::to_string(GetLastError()));
    }
    ~Borrowed() {
        if (moved_ && !MoveFileExW(to_.c_str(), from_.c_str(), 0))
            Fail("cannot move " + Narrow(to_) + " back: error " + std::to_string(GetLastError()));
    }
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;
    bool Moved() const { return moved_; }

private:
    std::wstring from_, to_;
    bool moved_ = false;
};

std::optional<e2e::Child> ControlById(const App& app, int id) {
    return app.FindChild([id](const e2e::Child& c) { return c.id == id; });
}

std::uint64_t BackupBytes(const std::wstring& dest) {
    WIN32_FIND_DATAW fd;
    const win32::FindHandle find{FindFirstFileW((dest + L"\\*.vqxdb").c_str(), &fd)};
    if (!find)
        return 0;
    return (static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    return path;
}

bool ReportBoxes(const App& app) {
    const auto boxes = app.MessageBoxes();
    for (const auto& box : boxes)
        Fail("message box \"" + Narrow(box.title) + "\": " + Narrow(box.text));
    return !boxes.empty();
}

// The time from the start of the process to the moment its main window showed its final
// picture (one that then stayed unchanged for kStableFor), and to its first being visible.
struct Appearance {
    double visible = -1, painted = -1;
    std::uint64_t peakWorkingSet = 0; // 0 when the system did not say
};

// The peak working set of a process's whole life so far; 0 when the system does not say.
std::uint64_t PeakWorkingSet(DWORD processId, std::uint64_t* peakPagefile = nullptr) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    const win32::Handle process{
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId)};
    const bool have =
        process && GetProcessMemoryInfo(process.get(), &counters, sizeof counters) != FALSE;
    if (!have)
        return 0;
    if (peakPagefile)
        *peakPagefile = counters.PeakPagefileUsage;
    return counters.PeakWorkingSetSize;
}

Appearance TimeAppearance(DataFolder& folder) {
    Appearance a;
    App app;
    const double start = Now();
    if (!app.Start(folder))
        return a;
    HWND main = nullptr;
    while (!main && Now() - start < 30 && app.Running()) {
        for (HWND hwnd : app.TopLevelWindows())
            if (!GetWindow(hwnd, GW_OWNER) && e2e::ClassName(hwnd) != L"#32770")
                main = hwnd;
        if (!main)
            Sleep(1);
    }
    if (!main) {
        Fail("no window within 30 s");
        return a;
    }
    a.visible = Now() - start;
    e2e::Image current;
    double since = a.visible, changed = Now();
    while (Now() - start < 30) {
        RECT r;
        GetWindowRect(main, &r);
        e2e::Image now = e2e::Capture(r);
        const double t = Now();
        if (!(now == current)) {
            current = std::move(now);
            since = t - start;
            changed = t;
        } else if (!current.Empty() && !current.Uniform() && t - changed >= kStableFor) {
            a.painted = since;
            break;
        }
        Sleep(1);
    }
    if (a.painted < 0)
        Fail("the window did not settle within 30 s");
    app.WaitForMainWindow(e2e::Ms(1000));
    a.peakWorkingSet = PeakWorkingSet(app.ProcessId());
    if (!app.Close().has_value())
        Fail("the program did not close on WM_CLOSE");
    return a;
}

} // namespace

int RunProgram(const std::vector<std::wstring>& args) {
    if (args.size() != 2 && args.size() != 3) {
        Fail("program DATABASE DEST [DATACENTRE]");
        return 2;
    }
    MakeDataFoldersHere();
    const std::wstring dest = WithoutTrailingSeparator(args[1]);
    Layout layout;
    layout.database.reset();
    layout.folders.clear();
    layout.files.clear();
    // The destination as the program remembers it: UTF-8 behind a byte-order mark, with "\".
    layout.rsLog = "\xEF\xBB\xBF" + Narrow(dest) + "\\\r\n";
    DataFolder folder(layout);
    Borrowed database(args[0], folder.Full(L"VQX Datos.mdb"));
    std::optional<Borrowed> dataCentre;
    if (args.size() == 3)
        dataCentre.emplace(args[2], folder.Full(L"VQX Datos"));
    else
        folder.MakeFolder(L"VQX Datos"); // the option stays on; stages 2 to 6 find nothing
    if (!database.Moved() || (dataCentre && !dataCentre->Moved()))
        return 1;

    App app;
    if (!app.Start(folder))
        return 1;
    HWND main = app.WaitForMainWindow(e2e::Ms(30000));
    if (!main || !app.WaitUntilPainted() || ReportBoxes(app))
        return 1;
    const auto button = ControlById(app, ctl::BotonRespaldar);
    const auto status = ControlById(app, ctl::EstadoLBL2);
    if (!button || button->text != L"Respaldar" || !status) {
        Fail("the window has no \"Respaldar\" button or no status line");
        return 1;
    }
    if (!app.Click(*button)) {
        Fail("cannot click \"Respaldar\"");
        return 1;
    }

    // A WM_NULL round trip every kSampleInterval until the window reports its success.
    std::vector<double> rounds;
    std::wstring stage, worstStage; // the status line before the slowest round trip
    double worst = 0;
    const double start = Now();
    double next = start;
    bool done = false, failed = false;
    while (!done && !failed) {
        const double before = Now();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, kRoundTripTimeoutMs, &result)) {
            Fail("the window did not answer WM_NULL within 60 s");
            failed = true;
            break;
        }
        rounds.push_back(Now() - before);
        if (rounds.back() > worst) {
            worst = rounds.back();
            worstStage = stage;
        }
        // The text the window last gave the label, read without a message to the window.
        wchar_t buffer[128] = L"";
        const int length = InternalGetWindowText(status->hwnd, buffer, 128);
        const std::wstring text(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
        stage = text;
        done = text == kSuccess;
        if (text.rfind(L"ERROR", 0) == 0) {
            Fail("the run failed: " + Narrow(text));
            failed = true;
        }
        if (rounds.size() % 16 == 0 && ReportBoxes(app))
            failed = true;
        if (Now() - start > kRunDeadline) {
            Fail("the run took longer than 600 s");
            failed = true;
        }
        WaitForNextSample(next, kSampleInterval);
    }
    const double runSeconds = Now() - start;
    failed = failed || ReportBoxes(app);

    // Peak memory of the whole life of the process, read just before it is closed.
    std::uint64_t peakPagefile = 0;
    const std::uint64_t peakWorkingSet = PeakWorkingSet(app.ProcessId(), &peakPagefile);
    if (!app.Close().has_value())
        Fail("the program did not close on WM_CLOSE");

    Put("ok", std::uint64_t{!failed});
    Put("run_seconds", runSeconds);
    Put("round_trips", static_cast<std::uint64_t>(rounds.size()));
    Put("worst_ms", Percentile(rounds, 1.0) * 1000);
    Put("p99_ms", Percentile(rounds, 0.99) * 1000);
    Put("median_ms", Percentile(rounds, 0.5) * 1000);
    Put("worst_during", worstStage.empty() ? std::string("(start)") : Narrow(worstStage));
    Put("backup_bytes", BackupBytes(dest));
    if (peakWorkingSet != 0) {
        Put("peak_working_set", peakWorkingSet);
        Put("peak_pagefile", peakPagefile);
    } else {
        Fail("GetProcessMemoryInfo failed: error " + std::to_string(GetLastError()));
    }
    return failed ? 1 : 0;
}

int RunStartup(const std::vector<std::wstring>& args) {
    const int runs = args.size() == 2 ? _wtoi(args[1].c_str()) : 0;
    if (runs <= 0) {
        Fail("startup MINIMAL RUNS");
        return 2;
    }
    MakeDataFoldersHere();
    std::vector<double> visible[2], painted[2], memory[2];
    bool failed = false;
    // Taken in turns, so that a slow phase of the machine weighs on both alike.
    for (int run = 0; run < runs && !failed; ++run) {
        for (int which = 0; which < 2 && !failed; ++which) {
            // The harness copies VQX_E2E_PROGRAM, else the utility, into each data folder.
            SetEnvironmentVariableW(L"VQX_E2E_PROGRAM", which == 0 ? nullptr : args[0].c_str());
            Layout layout = Layout::Typical(); // no message box at start
            if (which == 1) {
                layout.database.reset();
                layout.folders.clear();
                layout.files.clear();
            }
            DataFolder folder(layout);
            const Appearance a = TimeAppearance(folder);
            failed = a.painted < 0;
            visible[which].push_back(a.visible);
            painted[which].push_back(a.painted);
            memory[which].push_back(static_cast<double>(a.peakWorkingSet));
        }
    }
    if (failed)
        return 1;
    const char* names[2] = {"program", "minimal"};
    for (int which = 0; which < 2; ++which) {
        std::string all;
        for (double p : painted[which]) {
            if (!all.empty())
                all += ' ';
            all += std::to_string(static_cast<int>(p * 1000));
        }
        Put((std::string(names[which]) + "_painted_all_ms").c_str(), all);
        Put((std::string(names[which]) + "_visible_ms").c_str(),
            Percentile(visible[which], 0.5) * 1000);
        Put((std::string(names[which]) + "_painted_ms").c_str(),
            Percentile(painted[which], 0.5) * 1000);
        Put((std::string(names[which]) + "_peak_working_set").c_str(),
            static_cast<std::uint64_t>(Percentile(memory[which], 0.5)));
    }
    return 0;
}

} // namespace vqx::bench
