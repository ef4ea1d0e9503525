// The one upward call of the storage layer: the sealing secret comes from
// the container's token.
#include "core/storage/Container.h"
#include "core/token/TokenHandle.h"
#include "core/trace/TraceStep.h"

RESULT Container::GetRealPIN(char** ppszUserPIN, bool bShowUI, bool bRetry)
{
    const char* pszFunction = "Container::GetRealPIN";
    if (ppszUserPIN == nullptr) {
        TraceStepFailed(pszFunction, "Check ppszUserPIN", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (m_pTokenHandle == nullptr) {
        TraceStepFailed(pszFunction, "Check m_pTokenHandle", E_FAIL);
        return E_FAIL;
    }
    char* pszSecret = nullptr;
    RESULT ulResult = m_pTokenHandle->GetRealPIN(&pszSecret, bShowUI, bRetry);
    if (ulResult != 0) {
        TraceStepFailed(pszFunction, "pTokenHandle->GetPIN", ulResult);
        return ulResult;
    }
    *ppszUserPIN = pszSecret;
    TraceStepSuccess(pszFunction, "pTokenHandle->GetPIN");
    return 0;
}
