#include "module/sessions/SessionClock.h"

namespace {
time_t SystemClock() { return time(nullptr); }

SessionClockFunc g_pfnSessionClock = SystemClock;
}  // namespace

void SetSessionClock(SessionClockFunc pfnClock)
{
    g_pfnSessionClock = pfnClock != nullptr ? pfnClock : SystemClock;
}

time_t SessionNow() { return g_pfnSessionClock(); }
