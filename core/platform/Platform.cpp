#include "core/platform/Platform.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include "core/platform/PlatformOverrides.h"
#include "core/trace/TraceStep.h"

namespace {

std::mutex g_overridesMutex;
_platformOverrides g_overrides;

std::optional<std::string> OverrideOf(std::optional<std::string> _platformOverrides::*pMember)
{
    std::lock_guard<std::mutex> lock(g_overridesMutex);
    return g_overrides.*pMember;
}

// The effective user's passwd entry, copied out of the reentrant call.
struct _passwdEntry {
    std::string strName;
    std::string strGecos;
    std::string strHome;
};

bool LookUpPasswdEntry(_passwdEntry& stEntry)
{
    long nHint = sysconf(_SC_GETPW_R_SIZE_MAX);
    size_t nSize = nHint > 0 ? static_cast<size_t>(nHint) : 16384;
    for (int nTry = 0; nTry < 8; ++nTry) {
        std::vector<char> vtrBuffer(nSize);
        struct passwd stPwd;
        struct passwd* pResult = nullptr;
        int nErr = getpwuid_r(geteuid(), &stPwd, vtrBuffer.data(), vtrBuffer.size(), &pResult);
        if (nErr == ERANGE) {
            nSize *= 2;
            continue;
        }
        if (nErr == EINTR) {
            continue;
        }
        if (nErr != 0 || pResult == nullptr) {
            return false;
        }
        stEntry.strName = stPwd.pw_name ? stPwd.pw_name : "";
        stEntry.strGecos = stPwd.pw_gecos ? stPwd.pw_gecos : "";
        stEntry.strHome = stPwd.pw_dir ? stPwd.pw_dir : "";
        return true;
    }
    return false;
}

std::string Trim(const std::string& strText)
{
    const char* pszBlank = " \t\r\n\v\f";
    size_t nFirst = strText.find_first_not_of(pszBlank);
    if (nFirst == std::string::npos) {
        return std::string();
    }
    size_t nLast = strText.find_last_not_of(pszBlank);
    return strText.substr(nFirst, nLast - nFirst + 1);
}

std::string ReadSmallFile(const char* pszPath)
{
    constexpr size_t kMaxBytes = 4096;
    int fd;
    do {
        fd = open(pszPath, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return std::string();
    }
    std::string strContent;
    char szChunk[512];
    while (strContent.size() < kMaxBytes) {
        ssize_t nRead = read(fd, szChunk, sizeof(szChunk));
        if (nRead < 0 && errno == EINTR) {
            continue;
        }
        if (nRead <= 0) {
            break;
        }
        strContent.append(szChunk, static_cast<size_t>(nRead));
    }
    close(fd);
    if (strContent.size() > kMaxBytes) {
        strContent.resize(kMaxBytes);
    }
    return strContent;
}

}  // namespace

void SetPlatformOverrides(const _platformOverrides& stOverrides)
{
    std::lock_guard<std::mutex> lock(g_overridesMutex);
    g_overrides = stOverrides;
}

void ResetPlatformOverrides()
{
    std::lock_guard<std::mutex> lock(g_overridesMutex);
    g_overrides = _platformOverrides();
}

RESULT PlatformGetHomeDirectory(std::string& strHome)
{
    if (auto optHome = OverrideOf(&_platformOverrides::strHomeDirectory)) {
        strHome = *optHome;
        return 0;
    }
    const char* pszHome = getenv("HOME");
    if (pszHome != nullptr && pszHome[0] != '\0') {
        strHome = pszHome;
        return 0;
    }
    _passwdEntry stEntry;
    if (!LookUpPasswdEntry(stEntry) || stEntry.strHome.empty()) {
        TraceStepFailed(__func__, "getpwuid_r", E_FAIL);
        return E_FAIL;
    }
    strHome = stEntry.strHome;
    return 0;
}

RESULT PlatformGetDataDirectory(std::string& strData)
{
    if (auto optData = OverrideOf(&_platformOverrides::strDataDirectory)) {
        strData = *optData;
        return 0;
    }
    // A relative XDG_DATA_HOME is invalid and ignored, as the base
    // directory convention asks.
    const char* pszXdg = getenv("XDG_DATA_HOME");
    if (pszXdg != nullptr && pszXdg[0] == '/') {
        strData = pszXdg;
        return 0;
    }
    std::string strHome;
    RESULT ulResult = PlatformGetHomeDirectory(strHome);
    if (ulResult != 0) {
        return ulResult;
    }
    strData = strHome + "/.local/share";
    return 0;
}

RESULT PlatformGetLoginName(std::string& strLogin)
{
    if (auto optLogin = OverrideOf(&_platformOverrides::strLoginName)) {
        strLogin = *optLogin;
        return 0;
    }
    _passwdEntry stEntry;
    if (!LookUpPasswdEntry(stEntry) || stEntry.strName.empty()) {
        TraceStepFailed(__func__, "getpwuid_r", E_FAIL);
        return E_FAIL;
    }
    strLogin = stEntry.strName;
    return 0;
}

std::string PlatformFullNameFromGecos(const char* pszGecos, const std::string& strLogin)
{
    if (pszGecos == nullptr) {
        return strLogin;
    }
    std::string strName(pszGecos, strcspn(pszGecos, ","));
    return strName.empty() ? strLogin : strName;
}

RESULT PlatformGetFullUserName(std::string& strFullName)
{
    if (auto optFull = OverrideOf(&_platformOverrides::strFullUserName)) {
        strFullName = *optFull;
        return 0;
    }
    std::string strLogin;
    RESULT ulResult = PlatformGetLoginName(strLogin);
    if (ulResult != 0) {
        return ulResult;
    }
    _passwdEntry stEntry;
    if (!LookUpPasswdEntry(stEntry)) {
        strFullName = strLogin;
        return 0;
    }
    strFullName = PlatformFullNameFromGecos(stEntry.strGecos.c_str(), strLogin);
    return 0;
}

std::string PlatformReadFirstMachineId(std::initializer_list<const char*> lstPaths)
{
    for (const char* pszPath : lstPaths) {
        if (pszPath == nullptr) {
            continue;
        }
        std::string strId = Trim(ReadSmallFile(pszPath));
        if (!strId.empty()) {
            return strId;
        }
    }
    return std::string();
}

void PlatformGetMachineIdentity(_machineIdentity& stIdentity)
{
    auto optUUID = OverrideOf(&_platformOverrides::strPlatformUUID);
    stIdentity.strPlatformUUID = optUUID
        ? *optUUID
        : PlatformReadFirstMachineId({"/etc/machine-id", "/var/lib/dbus/machine-id"});
    auto optSerial = OverrideOf(&_platformOverrides::strSerialNumber);
    stIdentity.strSerialNumber = optSerial ? *optSerial : std::string();
}

RESULT PlatformGenerateUUID(std::string& strUUID)
{
    uuid_t abyUUID;
    char szText[37] = {0};
    uuid_generate(abyUUID);
    uuid_unparse(abyUUID, szText);
    if (szText[0] == '\0') {
        TraceStepFailed(__func__, "uuid_unparse", E_FAIL);
        return E_FAIL;
    }
    strUUID = szText;
    return 0;
}
