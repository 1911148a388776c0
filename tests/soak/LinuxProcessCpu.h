#pragma once
// The CPU time of a Wine program as Linux counts it, for the monitor soak's
// figure: Wine answers GetProcessTimes for another process with numbers
// that are not that process's, so the soak reads the program's Linux
// process from /proc, which Wine shows as Z:\proc.
#include <string>

// The Linux process whose command line holds part; 0 when none does.
int FindLinuxProcess(const std::string& part);
// Its user and system time so far, in milliseconds; -1 once it is gone.
double LinuxProcessCpuMs(int pid);
