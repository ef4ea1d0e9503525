#include "module/cryptoki/EntryCheck.h"

#include <cstdio>

#include "core/trace/QyraLog.h"
#include "module/cryptoki/ResultWidening.h"

namespace {
constexpr size_t kStepBufferSize = 512;
}

void EntryPass(const char* pszFunction, const char* pszLabel)
{
    char szMessage[kStepBufferSize] = {0};
    snprintf(szMessage, sizeof(szMessage), "%s - %s SUCCESS", pszFunction, pszLabel);
    TRACE(QYRA_LOG_INFO, "%s", szMessage);
}

CK_RV EntryFail(const char* pszFunction, const char* pszLabel, CK_RV rv)
{
    char szMessage[kStepBufferSize] = {0};
    // The low 32 bits are the core's code, as it was reported.
    snprintf(szMessage, sizeof(szMessage), "%s - %s (Error code: 0x%08X)", pszFunction, pszLabel,
             static_cast<unsigned int>(rv));
    TRACE(QYRA_LOG_ERROR, "%s", szMessage);
    return rv;
}

CK_RV EntryCheck(const char* pszFunction, const char* pszLabel, bool bPassed, CK_RV rvFailed)
{
    if (!bPassed) {
        return EntryFail(pszFunction, pszLabel, rvFailed);
    }
    EntryPass(pszFunction, pszLabel);
    return CKR_OK;
}

CK_RV EntryResult(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    return EntryCheck(pszFunction, pszLabel, ulResult == 0, WidenResult(ulResult));
}
