#pragma once
// The CPU time the calling thread has used, for measuring what a wait on
// the line costs: the thread's own time, which other load on the system does
// not add to. Wine counts it in steps of about 10 ms, so a measurement
// needs a run some hundred times that long.
#include <windows.h>

#include <cstdint>

// User and kernel time of the calling thread, in milliseconds; 0 where the
// system cannot tell.
inline double ThreadCpuMs() {
    FILETIME created;
    FILETIME exited;
    FILETIME kernel;
    FILETIME user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    const auto hundredNs = [](const FILETIME& time) {
        return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(hundredNs(kernel) + hundredNs(user)) / 10000.0;
}
