#pragma once
// Ctrl+C ends a run after the tag being read, so the link is closed and the
// summary printed rather than the process killed mid-exchange.

void InstallInterruptHandler();
bool InterruptRequested();
// Sleeps ms milliseconds or until Ctrl+C; true when interrupted.
bool WaitOrInterrupt(unsigned long ms);
