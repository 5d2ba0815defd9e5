// The copies measured inside one process: the utility's backup run (the real file system and
// shell, no window) and Wine's own CopyFileW followed by a flush of the copy.
#include "bench/Bench.h"
#include "bench/QuietShell.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinHandles.h"
#include "tests/fakes/Borrowed.h"
#include "window/APLwAPP.h"

#include <cstdio>

namespace vqx::bench {

int RunEngine(const std::vector<std::wstring>& args) {
    const bool readBack = args.size() == 4;
    if ((args.size() != 4 && (args.size() != 5 || args[4] != L"NOREADBACK")) ||
        (args[3] != L"ON" && args[3] != L"OFF")) {
        Fail("engine DATA DEST NAME ON|OFF [NOREADBACK]");
        return 2;
    }
    win32::Win32FileSystem fs(readBack);
    QuietShell shell(Narrow(args[0]));
    APLwAPP app(fake::LendFileSystem(fs), shell);
    app.ItemCheck.SetTag(Narrow(args[3]));

    const double start = Now();
    const bool ok = app.proFN_Respaldar(Narrow(args[1]), Narrow(args[2]));
    const double seconds = Now() - start;

    Put("seconds", seconds);
    Put("ok", std::uint64_t{ok});
    Put("left_out", static_cast<std::uint64_t>(app.LeftOut().size()));
    Put("boxes", static_cast<std::uint64_t>(shell.boxes));
    for (const engine::LeftOutFile& f : app.LeftOut())
        Fail("left out: " + f.path + ": " + f.reason.description);
    return ok && shell.boxes == 0 ? 0 : 1;
}

int RunCopyFile(const std::vector<std::wstring>& args) {
    if (args.size() != 2) {
        Fail("copyfile SOURCE TARGET");
        return 2;
    }
    const double start = Now();
    if (!CopyFileW(args[0].c_str(), args[1].c_str(), FALSE)) {
        Fail("CopyFileW failed: error " + std::to_string(GetLastError()));
        return 1;
    }
    win32::File copy{CreateFileW(args[1].c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    const bool flushed = copy && FlushFileBuffers(copy.get());
    const DWORD error = GetLastError();
    copy.reset(); // the close is part of the time measured
    const double seconds = Now() - start;
    if (!flushed) {
        Fail("flushing the copy failed: error " + std::to_string(error));
        return 1;
    }
    Put("seconds", seconds);
    return 0;
}

} // namespace vqx::bench
