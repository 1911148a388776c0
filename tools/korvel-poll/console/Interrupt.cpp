#include "korvel-poll/console/Interrupt.h"

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
