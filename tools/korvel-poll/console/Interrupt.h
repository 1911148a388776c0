#pragma once
// Ctrl+C ends a run after the tag being read, so the link is closed and the
// summary printed rather than the process killed mid-exchange. A key that
// ends a run (q in the watch view) ends it the same way.

void InstallInterruptHandler();
bool InterruptRequested();
// Sleeps ms milliseconds or until Ctrl+C; true when interrupted.
bool WaitOrInterrupt(unsigned long ms);
// As if Ctrl+C had been pressed.
void RequestInterrupt();
