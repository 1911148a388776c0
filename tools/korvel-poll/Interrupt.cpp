#include "korvel-poll/Interrupt.h"

#include <windows.h>

namespace {

HANDLE g_interrupted = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    SetEvent(g_interrupted);
    return TRUE;
}

}  // namespace

void InstallInterruptHandler() {
    g_interrupted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool InterruptRequested() {
    return g_interrupted != nullptr && WaitForSingleObject(g_interrupted, 0) == WAIT_OBJECT_0;
}

bool WaitOrInterrupt(unsigned long ms) {
    if (g_interrupted == nullptr) {
        Sleep(ms);
        return false;
    }
    return WaitForSingleObject(g_interrupted, ms) == WAIT_OBJECT_0;
}

void RequestInterrupt() {
    if (g_interrupted != nullptr) SetEvent(g_interrupted);
}

Wake WaitForHandleOrInterrupt(void* handle, unsigned long ms) {
    HANDLE handles[] = {g_interrupted, handle};
    const bool canInterrupt = g_interrupted != nullptr;
    const DWORD count = canInterrupt ? 2 : 1;
    const DWORD woke = WaitForMultipleObjects(count, canInterrupt ? handles : handles + 1, FALSE, ms);
    if (woke == WAIT_TIMEOUT || woke == WAIT_FAILED) return Wake::kTimeout;
    return canInterrupt && woke == WAIT_OBJECT_0 ? Wake::kInterrupt : Wake::kHandle;
}
