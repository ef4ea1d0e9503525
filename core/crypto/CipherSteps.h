// Step reporting and argument helpers shared by the Cipher sources.
// Internal to core/crypto.
#pragma once

#include <climits>

#include "core/token/ResultCodes.h"
#include "core/trace/TraceStep.h"

// Writes the failure line of a step and returns its code, so a failing
// check reads `return CipherStepFailed(fn, "label", code);`.
inline RESULT CipherStepFailed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

inline void CipherStepPassed(const char* pszFunction, const char* pszLabel)
{
    TraceStepSuccess(pszFunction, pszLabel);
}

// A count the library can take as its int argument.
inline bool CipherFitsInt(long nLength)
{
    return nLength >= 0 && nLength <= INT_MAX;
}
