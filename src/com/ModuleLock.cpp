#include "com/ModuleLock.h"

#include <windows.h>

namespace {

LONG g_moduleLockCount = 0;

}  // namespace

void ComLockModule() {
    InterlockedIncrement(&g_moduleLockCount);
}

void ComUnlockModule() {
    LONG count = g_moduleLockCount;
    while (count > 0) {
        LONG seen = InterlockedCompareExchange(&g_moduleLockCount, count - 1, count);
        if (seen == count) return;
        count = seen;
    }
}

bool ComModuleInUse() {
    return InterlockedCompareExchange(&g_moduleLockCount, 0, 0) != 0;
}
