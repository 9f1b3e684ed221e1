#pragma once
// The running program: its file, its id, and what it takes of the machine.
#include <cstdint>
#include <string>

namespace platform {

// The program file's full path; empty when the system does not tell it.
std::u16string ExecutablePath();
// True when name leads to the program file that runs, even one replaced or removed since.
bool IsExecutableFile(const std::u16string& name);
uint32_t CurrentProcessId();

// Figures for statistics; the program's work depends on none of them.
int ProcessorCount();  // processors online, at least 1
double LoadAverage();  // the machine's one-minute load average, 0 when unknown
struct ProcessUsage {
  int64_t UserCpuMSecs = 0;  // CPU time of the process so far
  int64_t SystemCpuMSecs = 0;
  int64_t PeakResidentKB = 0;
};
ProcessUsage CurrentProcessUsage();  // zeros when unknown

}  // namespace platform
