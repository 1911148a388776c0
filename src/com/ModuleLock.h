#pragma once
// The module's count of living objects, outstanding class factory references
// and server locks. While it is above zero the module must stay loaded.

void ComLockModule();
// Never drops below zero, so a stray unlock cannot unload a module in use.
void ComUnlockModule();
bool ComModuleInUse();
