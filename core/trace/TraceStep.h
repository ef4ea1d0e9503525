// Step lines of the core: "%s - %s success" at level 3 for a passed check,
// "%s - %s failed(0x%08lx)" at level 1 for the failed one.
#pragma once

#include "core/token/ResultCodes.h"

void TraceStepSuccess(const char* pszFunction, const char* pszLabel);
void TraceStepFailed(const char* pszFunction, const char* pszLabel, RESULT ulResult);
