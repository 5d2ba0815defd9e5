// A backup to a modelled slow device: the real window and the real file system in this process,
// every file call held to Windows' rules and the destination given a device's speed behind a
// modelled system cache (tests/model). Measures the run against the device's own time for its
// bytes, the window's answer time meanwhile, and how soon a close in the middle of the copy has
// ended the run with its temporary gone.
#include "bench/Bench.h"
#include "bench/QuietShell.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinHandles.h"
#include "tests/driver/ControlIds.h"
#include "tests/model/WindowsModel.h"
#include "window/APLwAPP.h"
#include "window/win32/MainWindow.h"

#include <algorithm>
#include <atomic>
#include <thread>

namespace vqx::bench {
namespace {

constexpr double kSampleInterval = 0.010; // seconds between two WM_NULL round trips
constexpr double kRunDeadline = 600;      // seconds a backup run may take here
constexpr UINT kRoundTripTimeoutMs = 60000;

std::uint64_t SizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The copy's temporaries in a folder, and the bytes of the largest.
int Temporaries(const std::wstring& folder, std::uint64_t* largest = nullptr) {
    WIN32_FIND_DATAW entry;
    const win32::FindHandle find{FindFirstFileW((folder + L"\\*.~rs*").c_str(), &entry)};
    if (!find)
        return 0;
    int count = 0;
    do {
        ++count;
        const std::uint64_t size =
            (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        if (largest)
            *largest = std::max(*largest, size);
    } while (FindNextFileW(find.get(), &entry));
    return count;
}

HWND MainWindowOf(DWORD thread) {
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND hwnd, LPARAM out) {
            if (IsWindowVisible(hwnd) && !GetWindow(hwnd, GW_OWNER)) {
                *reinterpret_cast<HWND*>(out) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

struct Sampled {
    std::vector<double> rounds;
    bool succeeded = false, failed = false;
    double clickedAt = -1, succeededAt = -1;
    double closedAt = -1; // when WM_CLOSE was posted
};

// From another thread, as a user and an observer would: presses "Respaldar", then times a
// WM_NULL round trip to the window every kSampleInterval until the status line shows the
// outcome, or, with `stopHalfWay`, posts WM_CLOSE once half of the database has been written
// and goes on until the window is gone.
Sampled Drive(DWORD windowThread, const std::wstring& dest, std::uint64_t databaseBytes,
              bool stopHalfWay) {
    Sampled s;
    HWND main = nullptr;
    const double start = Now();
    while (!(main = MainWindowOf(windowThread)) && Now() - start < 30)
        Sleep(5);
    HWND button = main ? e2e::ChildById(main, ctl::BotonRespaldar) : nullptr;
    HWND status = main ? e2e::ChildById(main, ctl::EstadoLBL2) : nullptr;
    if (!button || !status) {
        Fail("the window, its \"Respaldar\" button or its status line did not appear");
        s.failed = true;
        if (main)
            PostMessageW(main, WM_CLOSE, 0, 0);
        return s;
    }
    s.clickedAt = Now();
    PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(ctl::BotonRespaldar, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    double next = Now();
    while (IsWindow(main)) {
        const double before = Now();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, kRoundTripTimeoutMs, &result)) {
            if (!IsWindow(main))
                break;
            Fail("the window did not answer WM_NULL within 60 s");
            s.failed = true;
            break;
        }
        s.rounds.push_back(Now() - before);
        wchar_t buffer[128] = L"";
        const int length = InternalGetWindowText(status, buffer, 128);
        const std::wstring text(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
        if (text == L"COMPLETADO CON EXITO") {
            s.succeeded = true;
            s.succeededAt = Now();
            break;
        }
        if (text.rfind(L"ERROR", 0) == 0) {
            Fail("the run failed: " + Narrow(text));
            s.failed = true;
            break;
        }
        std::uint64_t written = 0;
        if (stopHalfWay && s.closedAt < 0 && Temporaries(dest, &written) > 0 &&
            written >= databaseBytes / 2) {
            s.closedAt = Now();
            PostMessageW(main, WM_CLOSE, 0, 0);
        }
        if (Now() - start > kRunDeadline) {
            Fail("the run took longer than 600 s");
            s.failed = true;
            break;
        }
        WaitForNextSample(next, kSampleInterval);
    }
    if (IsWindow(main))
        PostMessageW(main, WM_CLOSE, 0, 0);
    return s;
}

} // namespace

int RunDevice(const std::vector<std::wstring>& args) {
    if ((args.size() != 4 && args.size() != 5) || (args.size() == 5 && args[4] != L"STOP")) {
        Fail("device DATA DEST WRITE_MBPS READ_MBPS [STOP]");
        return 2;
    }
    const std::wstring data = args[0], dest = args[1];
    const double writeRate = _wtof(args[2].c_str()) * 1e6, readRate = _wtof(args[3].c_str()) * 1e6;
    const bool stop = args.size() == 5;
    const std::uint64_t databaseBytes = SizeOf(data + L"\\VQX Datos.mdb");
    if (databaseBytes == 0 || writeRate <= 0 || readRate <= 0) {
        Fail("no database in " + Narrow(data) + ", or no rates");
        return 2;
    }
    // The window starts ready, with the destination filled in and an empty data centre.
    CreateDirectoryW((data + L"\\VQX Datos").c_str(), nullptr);
    {
        const std::string line = "\xEF\xBB\xBF" + Narrow(dest) + "\\\r\n";
        const win32::File log{CreateFileW((data + L"\\RS.log").c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
        DWORD put = 0;
        if (!log ||
            !WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &put, nullptr)) {
            Fail("cannot write RS.log");
            return 1;
        }
    } // closed before the model is installed and the window reads it

    model::WindowsModel windows;
    windows.SetDevice({Narrow(dest), writeRate, readRate});
    QuietShell shell(Narrow(data));
    APLwAPP app(
        []() -> Result<std::unique_ptr<FileSystem>> {
            return std::unique_ptr<FileSystem>(new win32::Win32FileSystem);
        },
        shell);
    win32::MainWindow window(app, shell, GetModuleHandleW(nullptr));
    Sampled sampled;
    std::thread driver(
        [&, thread = GetCurrentThreadId()] { sampled = Drive(thread, dest, databaseBytes, stop); });
    window.Run();
    const double ended = Now();
    driver.join();

    const double device = static_cast<double>(databaseBytes) / writeRate +
                          static_cast<double>(databaseBytes) / readRate;
    Put("database_bytes", databaseBytes);
    Put("device_seconds", device);
    Put("round_trips", static_cast<std::uint64_t>(sampled.rounds.size()));
    Put("worst_ms", Percentile(sampled.rounds, 1.0) * 1000);
    Put("p99_ms", Percentile(sampled.rounds, 0.99) * 1000);
    Put("median_ms", Percentile(sampled.rounds, 0.5) * 1000);
    Put("temporaries_left", static_cast<std::uint64_t>(Temporaries(dest)));
    for (const model::Violation& v : windows.TakeViolations())
        Fail(std::string("broke a rule of Windows: ") + model::NameOf(v.call) + " on " + v.path +
             ": " + v.rule);
    const model::WindowsModel::Waits waits = windows.TakeSerialisedWaits();
    Put("serialised_waits", static_cast<std::uint64_t>(waits.calls));
    Put("longest_serialised_wait_ms", waits.longestSeconds * 1000);
    if (stop) {
        if (sampled.closedAt < 0) {
            Fail("the run ended before half of the database was written");
            return 1;
        }
        Put("stop_seconds", ended - sampled.closedAt);
        return sampled.failed || shell.boxes != 0 ? 1 : 0;
    }
    Put("run_seconds", sampled.succeededAt - sampled.clickedAt);
    Put("ok", std::uint64_t{sampled.succeeded});
    return sampled.succeeded && !sampled.failed && shell.boxes == 0 ? 0 : 1;
}

} // namespace vqx::bench
