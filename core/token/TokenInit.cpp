// Re-initialisation of a token (C_InitToken).
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/crypto/SecretMemory.h"
#include "core/storage/FileSimple.h"
#include "core/storage/StoragePath.h"
#include "core/storage/TokenFolderLock.h"
#include "core/token/TokenHandle.h"
#include "core/trace/TraceStep.h"

namespace {

constexpr uint32_t CKF_USER_PIN_TO_BE_CHANGED_BIT = 0x00080000;

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

// Deletes every file of the token folder but the token file; folders stay
// and failures to delete are let be.
RESULT DeleteContainerFiles(const char* pszFunction, const char* pszTokenName)
{
    char* pszTokenPath = nullptr;
    RESULT ulResult = GetRealTokenPath(pszTokenName, &pszTokenPath);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetRealTokenPath", ulResult);
    }
    std::vector<_fileInfo> vtrEntries;
    ulResult = EnumDirectory(pszTokenPath, vtrEntries);
    if (ulResult != 0) {
        delete[] pszTokenPath;
        return Failed(pszFunction, "EnumDirectory", ulResult);
    }
    for (const _fileInfo& stEntry : vtrEntries) {
        if (stEntry.bIsDirectory || IsTokenFileEntryName(stEntry.szFileName)) {
            continue;
        }
        char szEntryPath[MAX_PATH_LEN] = {0};
        const int nLen =
            snprintf(szEntryPath, sizeof(szEntryPath), "%s/%s", pszTokenPath, stEntry.szFileName);
        if (nLen > 0 && nLen < MAX_PATH_LEN) {
            DeleteFile(szEntryPath);
        }
    }
    delete[] pszTokenPath;
    return 0;
}

}  // namespace

RESULT TokenHandle::InitToken(const unsigned char* pbyPIN, long nPINLength,
                              const unsigned char* pbyLabel)
{
    const char* const pszFunction = "TokenHandle::InitToken";
    if (pbyPIN == nullptr) {
        return Failed(pszFunction, "Check InitToken", CKR_ARGUMENTS_BAD);
    }
    if (nPINLength < TOKEN_PIN_MIN_LEN || nPINLength > TOKEN_PIN_MAX_LEN) {
        return Failed(pszFunction, "Check nPINLength", CKR_PIN_LEN_RANGE);
    }
    if (pbyLabel == nullptr) {
        return Failed(pszFunction, "Check pbyLabel", CKR_ARGUMENTS_BAD);
    }
    RESULT ulResult = ParseTokenFile(nullptr);
    if (TokenParseFailed(ulResult)) {
        return Failed(pszFunction, "ParseTokenFile", ulResult);
    }
    if (m_ulCurrentPINCount == 0) {
        return Failed(pszFunction, "Check m_ulCurrentPINCount", CKR_PIN_LOCKED);
    }
    if (m_stEncryptedPIN.cbData == 0) {
        return Failed(pszFunction, "Check m_stEncryptedPIN.cbData", NTE_BAD_DATA);
    }

    // The new verifier is sealed under the PIN just verified: the one typed
    // into the prompt for the sentinel, else the one given.
    SecretText stPIN;
    if (nPINLength == static_cast<long>(sizeof(PROMPT_SENTINEL_PIN)) &&
        memcmp(pbyPIN, PROMPT_SENTINEL_PIN, sizeof(PROMPT_SENTINEL_PIN)) == 0) {
        ulResult = CheckPINByPrompt(true, false, &stPIN);
        if (ulResult != 0) {
            return Failed(pszFunction, "CheckPIN with UI", ulResult);
        }
    } else {
        ulResult = CheckPIN(pbyPIN, nPINLength);
        if (ulResult != 0) {
            return Failed(pszFunction, "CheckPIN with pin", ulResult);
        }
        if (!stPIN.Assign(reinterpret_cast<const char*>(pbyPIN), static_cast<size_t>(nPINLength))) {
            return Failed(pszFunction, "Copy PIN", CKR_HOST_MEMORY);
        }
    }

    TokenFolderLock stLock;
    ulResult = stLock.LockToken(m_szTokenName);
    if (ulResult != 0) {
        return Failed(pszFunction, "LockToken", ulResult);
    }
    ulResult = ParseTokenFile(nullptr);
    if (TokenParseFailed(ulResult)) {
        return Failed(pszFunction, "ParseTokenFile", ulResult);
    }
    SecretText stInfo;
    ulResult = BuildInfo(stInfo);
    if (ulResult != 0) {
        return Failed(pszFunction, "GenerateInfo", ulResult);
    }
    ulResult = InstallNewPIN(stPIN.Get(), stInfo);
    if (ulResult != 0) {
        return Failed(pszFunction, "CreateProtectData", ulResult);
    }
    memcpy(m_byTokenLabel, pbyLabel, TOKEN_LABEL_LEN);

    ulResult = DeleteContainerFiles(pszFunction, m_szTokenName);
    if (ulResult != 0) {
        return ulResult;
    }
    m_ulMaxFileCount = TOKEN_MIN_MAX_FILE_COUNT;
    ReleaseContainerObjects();
    ulResult = GenerateTokenFile();
    if (ulResult != 0) {
        return Failed(pszFunction, "GenerateTokenFile", ulResult);
    }
    TraceStepSuccess(pszFunction, "GenerateTokenFile");
    return 0;
}
