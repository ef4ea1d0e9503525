// Text handed across core interfaces travels in array-new blocks that the
// receiver releases with delete[].
#pragma once

#include <cstring>
#include <new>
#include <string>

#include "core/token/ResultCodes.h"
#include "core/trace/TraceStep.h"

// A zero-terminated copy of strText in a new block; null when out of memory.
inline char* NewTextBlock(const std::string& strText)
{
    char* pszBlock = new (std::nothrow) char[strText.size() + 1];
    if (pszBlock != nullptr) {
        memcpy(pszBlock, strText.data(), strText.size());
        pszBlock[strText.size()] = '\0';
    }
    return pszBlock;
}

// Stores a new block with strText in *ppszOut, or reports the failed
// allocation as a step of pszFunction.
inline RESULT HandOutText(const char* pszFunction, const std::string& strText, char** ppszOut)
{
    char* pszBlock = NewTextBlock(strText);
    if (pszBlock == nullptr) {
        TraceStepFailed(pszFunction, "New buffer", E_FAIL);
        return E_FAIL;
    }
    *ppszOut = pszBlock;
    return 0;
}
