#include "core/storage/UserInfo.h"

#include <utility>

#include "core/platform/Platform.h"
#include "core/storage/NewBlock.h"
#include "core/trace/TraceStep.h"

RESULT GetUserName(char** ppszUserName)
{
    if (ppszUserName == nullptr) {
        TraceStepFailed(__func__, "Check ppszUserName", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    std::string strName;
    RESULT ulResult = PlatformGetFullUserName(strName);
    if (ulResult != 0) {
        TraceStepFailed(__func__, "PlatformGetFullUserName", ulResult);
        return ulResult;
    }
    return HandOutText(__func__, strName, ppszUserName);
}

RESULT GetHomeDirectory(char** ppszHomeDirectory)
{
    if (ppszHomeDirectory == nullptr) {
        TraceStepFailed(__func__, "Check ppszHomeDirectory", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    std::string strHome;
    RESULT ulResult = PlatformGetHomeDirectory(strHome);
    if (ulResult != 0) {
        TraceStepFailed(__func__, "PlatformGetHomeDirectory", ulResult);
        return ulResult;
    }
    return HandOutText(__func__, strHome, ppszHomeDirectory);
}

std::string GenerateUniformGUID()
{
    std::string strGUID;
    if (PlatformGenerateUUID(strGUID) != 0) {
        return std::string();
    }
    return strGUID;
}

RESULT CreateGUIDString(char** ppszGUID)
{
    if (ppszGUID == nullptr) {
        TraceStepFailed(__func__, "Check ppszGUID", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    std::string strGUID = GenerateUniformGUID();
    if (strGUID.empty()) {
        TraceStepFailed(__func__, "GenerateUniformGUID", E_FAIL);
        return E_FAIL;
    }
    return HandOutText(__func__, strGUID, ppszGUID);
}

RESULT CreateGUIDStr(std::string& strGUID)
{
    std::string strNew = GenerateUniformGUID();
    if (strNew.empty()) {
        TraceStepFailed(__func__, "GenerateUniformGUID", E_FAIL);
        return E_FAIL;
    }
    strGUID = std::move(strNew);
    return 0;
}

RESULT SwapByteOrder(unsigned char* pbyData, int nDataLen)
{
    if (pbyData == nullptr) {
        TraceStepFailed(__func__, "Check pbyData", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    for (int i = 0, j = nDataLen - 1; i < j; ++i, --j) {
        std::swap(pbyData[i], pbyData[j]);
    }
    return 0;
}
