// The clock of the idle timeout: whole seconds, as time() gives them.
// Tests of the session layer move it; the module never exports the setter,
// so no host can.
#pragma once

#include <ctime>

using SessionClockFunc = time_t (*)();

// Null restores the system clock.
void SetSessionClock(SessionClockFunc pfnClock);
time_t SessionNow();
