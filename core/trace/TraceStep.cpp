#include "core/trace/TraceStep.h"

#include <cstdio>

#include "core/trace/QyraLog.h"

namespace {
constexpr size_t kStepBufferSize = 512;
}

void TraceStepSuccess(const char* pszFunction, const char* pszLabel)
{
    char szMessage[kStepBufferSize] = {0};
    snprintf(szMessage, sizeof(szMessage), "%s - %s success", pszFunction, pszLabel);
    TRACE(QYRA_LOG_INFO, "%s", szMessage);
}

void TraceStepFailed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    char szMessage[kStepBufferSize] = {0};
    snprintf(szMessage, sizeof(szMessage), "%s - %s failed(0x%08lx)", pszFunction, pszLabel,
             static_cast<unsigned long>(ulResult));
    TRACE(QYRA_LOG_ERROR, "%s", szMessage);
}
