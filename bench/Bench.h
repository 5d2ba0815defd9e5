// Shared pieces of the measuring programs: a clock, the output format and the subcommands.
// Every result goes to stdout as "key=value" lines for scripts/bench to read; problems go to
// stderr.
#pragma once

#include "platform/win32/WinInclude.h"
#include "tests/driver/Harness.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vqx::bench {

// Seconds since an arbitrary start, from the performance counter.
double Now();

void Put(const char* key, double value);
void Put(const char* key, std::uint64_t value);
void Put(const char* key, const std::string& value);
void Fail(const std::string& what); // to stderr

using e2e::Narrow; // the driver's: UTF-16 to UTF-8

// The value below which `fraction` of the values lie (0.5: the median, 1: the largest).
double Percentile(std::vector<double> values, double fraction);
// Sleeps until `next`, then moves it on by `interval` (from now, when it was already past).
void WaitForNextSample(double& next, double interval);

// The subcommands; each returns the process exit code.
int RunEngine(const std::vector<std::wstring>& args);   // engine DATA DEST NAME ON|OFF
int RunCopyFile(const std::vector<std::wstring>& args); // copyfile SOURCE TARGET
int RunProgram(const std::vector<std::wstring>& args);  // program DATABASE DEST [DATACENTRE]
int RunStartup(const std::vector<std::wstring>& args);  // startup MINIMAL RUNS
// device DATA DEST WRITE_MBPS READ_MBPS [STOP]
int RunDevice(const std::vector<std::wstring>& args);

} // namespace vqx::bench
