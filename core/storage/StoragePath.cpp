#include "core/storage/StoragePath.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <pwd.h>
#include <unistd.h>

#include "core/platform/Platform.h"
#include "core/storage/NewBlock.h"
#include "core/token/Records.h"
#include "core/token/TokenGlobalData.h"
#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

namespace {

// Home folder of a named account; false when there is no such account.
bool LookUpHomeOf(const std::string& strUser, std::string& strHome)
{
    long nHint = sysconf(_SC_GETPW_R_SIZE_MAX);
    size_t nSize = nHint > 0 ? static_cast<size_t>(nHint) : 16384;
    for (int nTry = 0; nTry < 8; ++nTry) {
        std::vector<char> vtrBuffer(nSize);
        struct passwd stPwd;
        struct passwd* pResult = nullptr;
        int nErr = getpwnam_r(strUser.c_str(), &stPwd, vtrBuffer.data(), vtrBuffer.size(), &pResult);
        if (nErr == ERANGE) {
            nSize *= 2;
            continue;
        }
        if (nErr == EINTR) {
            continue;
        }
        if (nErr != 0 || pResult == nullptr || stPwd.pw_dir == nullptr || stPwd.pw_dir[0] == '\0') {
            return false;
        }
        strHome = stPwd.pw_dir;
        return true;
    }
    return false;
}

// "~" and "~/x" take the user's home, "~name" and "~name/x" that account's;
// an unknown account leaves the path as it is.
RESULT ExpandTilde(const std::string& strPath, std::string& strExpanded)
{
    if (strPath.empty() || strPath[0] != '~') {
        strExpanded = strPath;
        return 0;
    }
    size_t nSlash = strPath.find('/');
    std::string strUser = strPath.substr(1, nSlash == std::string::npos ? std::string::npos : nSlash - 1);
    std::string strRest = nSlash == std::string::npos ? std::string() : strPath.substr(nSlash);
    std::string strHome;
    if (strUser.empty()) {
        RESULT ulResult = PlatformGetHomeDirectory(strHome);
        if (ulResult != 0) {
            return ulResult;
        }
    } else if (!LookUpHomeOf(strUser, strHome)) {
        strExpanded = strPath;
        return 0;
    }
    while (!strHome.empty() && strHome.back() == '/') {
        strHome.pop_back();
    }
    strExpanded = strHome + strRest;
    if (strExpanded.empty()) {
        strExpanded = "/";
    }
    return 0;
}

bool FitsPathBuffer(const std::string& strPath)
{
    return strPath.size() < static_cast<size_t>(MAX_PATH_LEN);
}

// Data folder plus the base folder text, not yet checked for length.
RESULT GetBaseFolder(std::string& strBase)
{
    std::string strData;
    RESULT ulResult = PlatformGetDataDirectory(strData);
    if (ulResult != 0) {
        return ulResult;
    }
    strBase = strData + "/" + STORAGE_BASE_FOLDER;
    return 0;
}

bool IsSinglePathComponent(const char* pszName)
{
    return pszName[0] != '\0' && strchr(pszName, '/') == nullptr && strcmp(pszName, ".") != 0 &&
           strcmp(pszName, "..") != 0;
}


}  // namespace

RESULT GetRealPath(const char* pszFilePath, char** ppszRealPath)
{
    if (pszFilePath == nullptr) {
        TraceStepFailed(__func__, "Check pszFilePath", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (ppszRealPath == nullptr) {
        TraceStepFailed(__func__, "Check ppszRealPath", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    std::string strExpanded;
    if (ExpandTilde(pszFilePath, strExpanded) != 0) {
        TraceStepFailed(__func__, "stringByExpandingTildeInPath for pnsFilePath", E_FAIL);
        return E_FAIL;
    }
    if (!FitsPathBuffer(strExpanded)) {
        TraceStepFailed(__func__, "Check real path length", E_FAIL);
        return E_FAIL;
    }
    return HandOutText(__func__, strExpanded, ppszRealPath);
}

RESULT GetRealKeySetPath(char** ppszKeySetPath)
{
    if (ppszKeySetPath == nullptr) {
        TraceStepFailed(__func__, "Check ppszKeySetPath", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    std::string strBase;
    RESULT ulResult = GetBaseFolder(strBase);
    char* pszRealBase = nullptr;
    if (ulResult == 0) {
        ulResult = GetRealPath(strBase.c_str(), &pszRealBase);
    }
    if (ulResult != 0) {
        TraceStepFailed(__func__, "GetRealPath for pszKeySetPath", ulResult);
        return ulResult;
    }
    const char* pszFolderName = TokenGlobalData::GetP11KeySetFolderName();
    char szKeySetPath[MAX_PATH_LEN] = {0};
    int nLength = snprintf(szKeySetPath, sizeof(szKeySetPath), "%s/%s", pszRealBase, pszFolderName);
    delete[] pszRealBase;
    if (nLength < 0 || nLength >= MAX_PATH_LEN) {
        TraceStepFailed(__func__, "Check pszKeySetPath length", E_FAIL);
        return E_FAIL;
    }
    return HandOutText(__func__, szKeySetPath, ppszKeySetPath);
}

RESULT GetRealTokenPath(const char* pszTokenName, char** ppszTokenPath)
{
    if (pszTokenName == nullptr || !IsSinglePathComponent(pszTokenName)) {
        TraceStepFailed(__func__, "Check pszTokenName", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (ppszTokenPath == nullptr) {
        TraceStepFailed(__func__, "Check ppszTokenPath", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    std::string strBase;
    RESULT ulResult = GetBaseFolder(strBase);
    if (ulResult != 0) {
        TraceStepFailed(__func__, "GetRealPath for pszRealTokenPath", ulResult);
        return ulResult;
    }
    char szTokenPath[MAX_PATH_LEN] = {0};
    int nLength = snprintf(szTokenPath, sizeof(szTokenPath), "%s/%s/%s/", strBase.c_str(),
                           TokenGlobalData::GetP11KeySetFolderName(), pszTokenName);
    if (nLength < 0 || nLength >= MAX_PATH_LEN) {
        TraceStepFailed(__func__, "Check pszRealTokenPath length", E_FAIL);
        return E_FAIL;
    }
    ulResult = GetRealPath(szTokenPath, ppszTokenPath);
    if (ulResult != 0) {
        TraceStepFailed(__func__, "GetRealPath for pszRealTokenPath", ulResult);
        return ulResult;
    }
    TraceStepSuccess(__func__, "GetRealPath for pszRealTokenPath");
    return 0;
}

RESULT PathFindFileName(const char* pszFilePath, char** ppszFileName)
{
    if (pszFilePath == nullptr) {
        TraceStepFailed(__func__, "Check pszFilePath", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (ppszFileName == nullptr) {
        TraceStepFailed(__func__, "Check ppszFileName", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    std::string strPath(pszFilePath);
    size_t nEnd = strPath.find_last_not_of('/');
    std::string strName;
    if (nEnd == std::string::npos) {
        // Nothing but slashes: the root is its own last component.
        strName = strPath.empty() ? std::string() : std::string("/");
    } else {
        size_t nStart = strPath.rfind('/', nEnd);
        strName = strPath.substr(nStart == std::string::npos ? 0 : nStart + 1,
                                 nStart == std::string::npos ? nEnd + 1 : nEnd - nStart);
    }
    if (strName.empty()) {
        TraceStepFailed(__func__, "Check pnsFileName length", E_FAIL);
        return E_FAIL;
    }
    return HandOutText(__func__, strName, ppszFileName);
}

RESULT GetDirectoryFromFilePath(const char* pszFilePath, char** ppszDirectory)
{
    if (pszFilePath == nullptr) {
        TraceStepFailed(__func__, "Check pszFilePath", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    if (ppszDirectory == nullptr) {
        TraceStepFailed(__func__, "Check ppszDirectory", ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    std::string strPath(pszFilePath);
    std::string strDirectory;
    size_t nEnd = strPath.find_last_not_of('/');
    if (nEnd == std::string::npos) {
        strDirectory = strPath.empty() ? std::string() : std::string("/");
    } else {
        size_t nSlash = strPath.rfind('/', nEnd);
        if (nSlash != std::string::npos) {
            size_t nKeep = strPath.find_last_not_of('/', nSlash);
            strDirectory = nKeep == std::string::npos ? std::string("/") : strPath.substr(0, nKeep + 1);
        }
    }
    std::string strExpanded;
    if (strDirectory.empty() || ExpandTilde(strDirectory, strExpanded) != 0) {
        TraceStepFailed(__func__, "Check pnsDdirectory", E_FAIL);
        return E_FAIL;
    }
    return HandOutText(__func__, strExpanded, ppszDirectory);
}
