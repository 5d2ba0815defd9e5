// vqx_bench: the Windows side of scripts/bench. One subcommand per measurement; run with no
// arguments for the list.
#include "bench/Bench.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vqx::bench {

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

void Put(const char* key, double value) {
    std::printf("%s=%.6f\n", key, value);
    std::fflush(stdout);
}

void Put(const char* key, std::uint64_t value) {
    std::printf("%s=%llu\n", key, static_cast<unsigned long long>(value));
    std::fflush(stdout);
}

void Put(const char* key, const std::string& value) {
    std::printf("%s=%s\n", key, value.c_str());
    std::fflush(stdout);
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "vqx_bench: %s\n", what.c_str());
    std::fflush(stderr);
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1));
    return values[rank];
}

void WaitForNextSample(double& next, double interval) {
    next += interval;
    const double now = Now();
    if (next > now)
        Sleep(static_cast<DWORD>((next - now) * 1000));
    else
        next = now;
}

} // namespace vqx::bench

int wmain(int argc, wchar_t** argv) {
    using namespace vqx::bench;
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const std::vector<std::wstring> args(argv + (argc > 1 ? 2 : argc), argv + argc);
    if (command == L"engine")
        return RunEngine(args);
    if (command == L"copyfile")
        return RunCopyFile(args);
    if (command == L"program")
        return RunProgram(args);
    if (command == L"startup")
        return RunStartup(args);
    if (command == L"device")
        return RunDevice(args);
    std::fputs("usage: vqx_bench engine DATA DEST NAME ON|OFF [NOREADBACK]\n"
               "       vqx_bench copyfile SOURCE TARGET\n"
               "       vqx_bench program DATABASE DEST [DATACENTRE]\n"
               "       vqx_bench startup MINIMAL RUNS\n"
               "       vqx_bench device DATA DEST WRITE_MBPS READ_MBPS [STOP]\n",
               stderr);
    return 2;
}
