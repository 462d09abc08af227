#include <windows.h>

#include "SystemClock.h"

void TSystemClock::Sleep(uint32_t ms) { ::Sleep(ms); }

uint64_t TSystemClock::NowMs() { return GetTickCount64(); }
