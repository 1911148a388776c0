#pragma once
// korvel-poll's exit codes, which scripts rely on.

enum ExitCode : int {
    kExitAllSucceeded = 0,
    kExitSomeFailed = 1,
    kExitBadArguments = 2,
};
