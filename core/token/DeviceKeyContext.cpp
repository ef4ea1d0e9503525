// The key set listing of the manager application: every token with its key
// containers and their certificates, read straight from the files.
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/storage/Container.h"
#include "core/storage/FileSimple.h"
#include "core/storage/StoragePath.h"
#include "core/token/DeviceHandle.h"
#include "core/token/TokenHandle.h"
#include "core/trace/TraceStep.h"

namespace {

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

void ReleaseCertificate(_CRYPTOAPI_BLOB& stBlob)
{
    delete[] stBlob.pbData;
    stBlob.pbData = nullptr;
    stBlob.cbData = 0;
}

// One certificate of the container; an unreadable one stays empty.
void ReadCertificate(Container& container, int nKeySpec, _CRYPTOAPI_BLOB& stBlob)
{
    unsigned char* pbData = nullptr;
    int nSize = 0;
    if (container.ReadFileInfo(nKeySpec, &pbData, &nSize, KEYINFOID_CERTIFICATE) != 0 || pbData == nullptr ||
        nSize <= 0) {
        delete[] pbData;
        stBlob = {0, nullptr};
        return;
    }
    stBlob.pbData = pbData;
    stBlob.cbData = static_cast<uint32_t>(nSize);
}

// The key containers of one token folder, in listing order.
RESULT ListContainers(const char* pszFunction, const char* pszTokenPath, const char* pszTokenName,
                      std::vector<_CONTAINER_CONTEXT>& vtrContainers)
{
    std::vector<_fileInfo> vtrEntries;
    RESULT ulResult = EnumDirectory(pszTokenPath, vtrEntries);
    if (ulResult != 0) {
        return Failed(pszFunction, "EnumDirectory for token", ulResult);
    }
    for (const _fileInfo& stEntry : vtrEntries) {
        if (stEntry.bIsDirectory || IsTokenFileEntryName(stEntry.szFileName)) {
            continue;
        }
        char szEntryPath[MAX_PATH_LEN] = {0};
        int n = snprintf(szEntryPath, sizeof(szEntryPath), "%s/%s", pszTokenPath, stEntry.szFileName);
        if (n <= 0 || n >= static_cast<int>(sizeof(szEntryPath))) {
            continue;
        }
        std::unique_ptr<Container> pContainer(
            Container::CreateRegisteredContaierByRealPath(pszTokenName, szEntryPath, true));
        if (!pContainer || pContainer->m_bIsDataFile) {
            continue;
        }
        _CONTAINER_CONTEXT stContext = {};
        memcpy(stContext.szContainerName, pContainer->m_szContainerName, MAX_PATH_LEN - 1);
        memcpy(stContext.szTokenName, pszTokenName, strnlen(pszTokenName, MAX_PATH_LEN - 1));
        ReadCertificate(*pContainer, AT_SIGNATURE, stContext.stSignCert);
        ReadCertificate(*pContainer, AT_KEYEXCHANGE, stContext.stExchangeCert);
        vtrContainers.push_back(stContext);
    }
    return 0;
}

}  // namespace

RESULT DeviceHandle::GetAllKeyContext(std::vector<_KEY_CONTEXT>& vtrKeyContext)
{
    static const char* const kFn = "DeviceHandle::GetAllKeyContext";
    char* pszRaw = nullptr;
    RESULT ulResult = GetRealKeySetPath(&pszRaw);
    if (ulResult != 0) {
        return Failed(kFn, "GetRealKeySetPath", ulResult);
    }
    std::unique_ptr<char[]> pszKeySetPath(pszRaw);
    if (!IsFileOrDirectoryExist(pszKeySetPath.get())) {
        return 0;
    }
    std::vector<_fileInfo> vtrEntries;
    ulResult = EnumDirectory(pszKeySetPath.get(), vtrEntries);
    if (ulResult != 0) {
        return Failed(kFn, "EnumDirectory", ulResult);
    }
    for (const _fileInfo& stEntry : vtrEntries) {
        if (!stEntry.bIsDirectory) {
            continue;
        }
        _KEY_CONTEXT stToken = {};
        int n = snprintf(stToken.szTokenPath, sizeof(stToken.szTokenPath), "%s/%s", pszKeySetPath.get(),
                         stEntry.szFileName);
        if (n <= 0 || n >= static_cast<int>(sizeof(stToken.szTokenPath))) {
            continue;
        }
        if (!CheckFileOrDirectoryExistInDirectory(stToken.szTokenPath, TOKEN_FILE_NAME)) {
            continue;
        }
        memcpy(stToken.szTokenName, stEntry.szFileName, strnlen(stEntry.szFileName, MAX_PATH_LEN - 1));
        ulResult = ListContainers(kFn, stToken.szTokenPath, stToken.szTokenName, stToken.vtrContainers);
        if (ulResult != 0) {
            // Tokens listed before stay, for the caller to release.
            return ulResult;
        }
        vtrKeyContext.push_back(std::move(stToken));
    }
    TraceStepSuccess(kFn, "GetAllKeyContext");
    return 0;
}

RESULT DeviceHandle::ClearAllKeyContext(std::vector<_KEY_CONTEXT>& vtrKeyContext)
{
    for (_KEY_CONTEXT& stToken : vtrKeyContext) {
        for (_CONTAINER_CONTEXT& stContainer : stToken.vtrContainers) {
            ReleaseCertificate(stContainer.stSignCert);
            ReleaseCertificate(stContainer.stExchangeCert);
        }
        stToken.vtrContainers.clear();
    }
    vtrKeyContext.clear();
    return 0;
}
