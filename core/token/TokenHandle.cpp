// Construction, creation and opening of tokens, the token info string and
// the small queries.
#include "core/token/TokenHandle.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "core/crypto/Cipher.h"
#include "core/crypto/SecretMemory.h"
#include "core/objects/HashHandle.h"
#include "core/storage/FileSimple.h"
#include "core/storage/NewBlock.h"
#include "core/storage/ProtectData.h"
#include "core/storage/StoragePath.h"
#include "core/storage/TokenFolderLock.h"
#include "core/storage/UserInfo.h"
#include "core/token/Pkcs11Text.h"
#include "core/token/TokenGlobalData.h"
#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

namespace {

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

// The key set folder, made a folder if something else or nothing is there.
RESULT PrepareKeySetFolder(const char* pszFunction, std::string& strKeySetPath)
{
    char* pszKeySetPath = nullptr;
    RESULT ulResult = GetRealKeySetPath(&pszKeySetPath);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetRealKeySetPath", ulResult);
    }
    strKeySetPath = pszKeySetPath;
    delete[] pszKeySetPath;
    bool bIsDirectory = false;
    if (IsFileOrDirectoryExist(strKeySetPath.c_str(), &bIsDirectory) && !bIsDirectory) {
        ulResult = DeleteFile(strKeySetPath.c_str());
        if (ulResult != 0) {
            return Failed(pszFunction, "DeleteFile", ulResult);
        }
    }
    if (!IsFileOrDirectoryExist(strKeySetPath.c_str())) {
        ulResult = CreateDirectories(strKeySetPath.c_str());
        if (ulResult != 0) {
            return Failed(pszFunction, "CreateDirectories", ulResult);
        }
    }
    return 0;
}

}  // namespace

bool IsTokenFileEntryName(const char* pszName)
{
    const size_t nLen = strlen(pszName);
    return nLen != 0 && nLen <= strlen(TOKEN_FILE_NAME) &&
           strncmp(pszName, TOKEN_FILE_NAME, nLen) == 0;
}

// The token folder must already be inside the key set folder.
RESULT TokenHandle::CheckTokenFolder(const char* pszFunction, const char* pszLabel,
                                     const char* pszTokenName)
{
    char* pszKeySetPath = nullptr;
    RESULT ulResult = GetRealKeySetPath(&pszKeySetPath);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetRealKeySetPath", ulResult);
    }
    const bool bFound = CheckFileOrDirectoryExistInDirectory(pszKeySetPath, pszTokenName);
    delete[] pszKeySetPath;
    if (!bFound) {
        return Failed(pszFunction, pszLabel, E_FAIL);
    }
    return 0;
}

TokenHandle::TokenHandle(unsigned long ulSlotID, const char* pszTokenName)
    : m_szTokenName{},
      m_byTokenLabel{},
      m_byManufacturerID{},
      m_byTokenModel{},
      m_bySerialNumber{},
      m_ulFlags(TOKEN_DEFAULT_FLAGS),
      m_ulMaxFileCount(TOKEN_MIN_MAX_FILE_COUNT),
      m_ulCurrentFileCount(0),
      m_ulCurrentPINCount(TOKEN_PIN_TRIES),
      m_ulSlotID(ulSlotID),
      m_pSessionHandle(nullptr),
      m_stEncryptedPIN{0, nullptr},
      m_bPINNotVerified(true)
{
    SetPkcs11UTF8Char(m_byTokenLabel, TOKEN_LABEL_LEN, TokenGlobalData::GetTokenLabel());
    SetPkcs11UTF8Char(m_byManufacturerID, TOKEN_MANUFACTURER_LEN,
                      TokenGlobalData::GetManufacturerID());
    SetPkcs11UTF8Char(m_byTokenModel, TOKEN_MODEL_LEN, TokenGlobalData::GetTokenModel());
    if (pszTokenName != nullptr) {
        strncpy(m_szTokenName, pszTokenName, MAX_PATH_LEN - 1);
    }
}

TokenHandle::~TokenHandle()
{
    ReleaseVerifier();
    ReleaseContainerObjects();
}

void TokenHandle::ReleaseVerifier()
{
    delete[] m_stEncryptedPIN.pbData;
    m_stEncryptedPIN.pbData = nullptr;
    m_stEncryptedPIN.cbData = 0;
}

void TokenHandle::ReleaseContainerObjects()
{
    for (_containerObjectInfo& stEntry : m_vtrContainerObjectSet) {
        ClearContainerObject(stEntry);
    }
    m_vtrContainerObjectSet.clear();
}

TokenHandle* TokenHandle::CreateNewTokenHandle(unsigned long ulSlotID, const char* pszTokenName)
{
    const char* const pszFunction = "TokenHandle::CreateNewTokenHandle";
    SecretText stGeneratedName;
    if (pszTokenName == nullptr) {
        char* pszGUID = nullptr;
        RESULT ulResult = CreateGUIDString(&pszGUID);
        if (ulResult != 0) {
            Failed(pszFunction, "CreateGUIDString", ulResult);
            return nullptr;
        }
        stGeneratedName.Adopt(pszGUID);
        pszTokenName = stGeneratedName.Get();
    }
    std::string strKeySetPath;
    if (PrepareKeySetFolder(pszFunction, strKeySetPath) != 0) {
        return nullptr;
    }
    if (CheckTokenFolder(pszFunction, "CheckFileOrDirectoryExistInDirectory", pszTokenName) != 0) {
        return nullptr;
    }

    TokenHandle* pToken = new (std::nothrow) TokenHandle(ulSlotID, pszTokenName);
    if (pToken == nullptr) {
        Failed(pszFunction, "new TokenHandle", CKR_HOST_MEMORY);
        return nullptr;
    }
    SecretText stInfo;
    RESULT ulResult = pToken->BuildInfo(stInfo);
    if (ulResult == 0) {
        ulResult = pToken->SealVerifier(TokenGlobalData::GetDefaultPIN(), stInfo);
    }
    if (ulResult == 0) {
        ulResult = Cipher::GenRandomDataByTimeSeed(pToken->m_bySerialNumber, TOKEN_SERIAL_LEN);
        if (ulResult != 0) {
            Failed(pszFunction, "Cipher::GenRandomDataByTimeSeed", ulResult);
        }
    }
    if (ulResult == 0) {
        TokenFolderLock stLock;
        ulResult = stLock.LockToken(pToken->m_szTokenName);
        if (ulResult == 0) {
            ulResult = pToken->GenerateTokenFile();
        }
        if (ulResult != 0) {
            Failed(pszFunction, "GenerateTokenFile", ulResult);
        }
    }
    if (ulResult != 0) {
        delete pToken;
        return nullptr;
    }
    TraceStepSuccess(pszFunction, "GenerateTokenFile");
    return pToken;
}

TokenHandle* TokenHandle::CreateRegisteredTokenHandle(unsigned long ulSlotID,
                                                      const char* pszTokenName)
{
    const char* const pszFunction = "TokenHandle::CreateRegisteredTokenHandle";
    if (pszTokenName == nullptr) {
        Failed(pszFunction, "Check pszTokenName", ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (CheckTokenFolder(pszFunction, "CheckFileOrDirectoryExistInDirectory", pszTokenName) != 0) {
        return nullptr;
    }
    TokenHandle* pToken = new (std::nothrow) TokenHandle(ulSlotID, pszTokenName);
    if (pToken == nullptr) {
        Failed(pszFunction, "new TokenHandle", CKR_HOST_MEMORY);
        return nullptr;
    }
    RESULT ulResult = pToken->ParseTokenFile(nullptr);
    if (TokenParseFailed(ulResult)) {
        Failed(pszFunction, "ParseTokenFile", ulResult);
        delete pToken;
        return nullptr;
    }

    char* pszTokenPath = nullptr;
    std::vector<_fileInfo> vtrEntries;
    ulResult = GetRealTokenPath(pToken->m_szTokenName, &pszTokenPath);
    if (ulResult == 0) {
        ulResult = EnumDirectory(pszTokenPath, vtrEntries);
    }
    if (ulResult != 0) {
        Failed(pszFunction, "EnumDirectory", ulResult);
        delete[] pszTokenPath;
        delete pToken;
        return nullptr;
    }

    uint32_t ulLoaded = 0;
    uint32_t ulCandidates = 0;
    for (const _fileInfo& stEntry : vtrEntries) {
        if (ulLoaded >= pToken->m_ulMaxFileCount) {
            break;
        }
        if (stEntry.bIsDirectory || IsTokenFileEntryName(stEntry.szFileName)) {
            continue;
        }
        ++ulCandidates;
        char szEntryPath[MAX_PATH_LEN] = {0};
        const int nLen =
            snprintf(szEntryPath, sizeof(szEntryPath), "%s/%s", pszTokenPath, stEntry.szFileName);
        if (nLen < 0 || nLen >= MAX_PATH_LEN) {
            continue;
        }
        Container* pContainer = pToken->OpenContainerEntry(szEntryPath);
        if (pContainer == nullptr) {
            continue;
        }
        _containerObjectInfo stObject{};
        stObject.pContainerHandle = pContainer;
        stObject.bIsSymKey = false;
        pToken->m_vtrContainerObjectSet.push_back(stObject);
        ++ulLoaded;
    }
    delete[] pszTokenPath;
    TRACE(QYRA_LOG_INFO, "%s - %u candidate entries, %u containers loaded", pszFunction,
          static_cast<unsigned>(ulCandidates), static_cast<unsigned>(ulLoaded));

    // The scan can take long: re-read under the lock and change nothing but
    // the container count, so a PIN try or change made meanwhile stays.
    {
        TokenFolderLock stLock;
        ulResult = stLock.LockToken(pToken->m_szTokenName);
        if (ulResult == 0) {
            ulResult = pToken->ParseTokenFile(nullptr);
            ulResult = TokenParseFailed(ulResult) ? ulResult : 0;
        }
        if (ulResult == 0) {
            pToken->m_ulCurrentFileCount = ulLoaded;
            ulResult = pToken->GenerateTokenFile();
        }
    }
    if (ulResult != 0) {
        Failed(pszFunction, "GenerateTokenFile", ulResult);
        delete pToken;
        return nullptr;
    }
    TraceStepSuccess(pszFunction, "GenerateTokenFile");
    return pToken;
}

RESULT TokenHandle::BuildInfo(SecretText& stInfo)
{
    char* pszInfo = nullptr;
    RESULT ulResult = GenerateInfo(&pszInfo);
    if (ulResult == 0) {
        stInfo.Adopt(pszInfo);
    }
    return ulResult;
}

RESULT TokenHandle::GenerateInfo(char** ppszInfo)
{
    const char* const pszFunction = "TokenHandle::GenerateInfo";
    if (ppszInfo == nullptr) {
        return Failed(pszFunction, "Check ppszInfo", ERROR_INVALID_PARAMETER);
    }
    if (m_szTokenName[0] == '\0') {
        return Failed(pszFunction, "Check m_szTokenName", E_FAIL);
    }
    char* pszUserName = nullptr;
    if (GetUserName(&pszUserName) != 0) {
        return Failed(pszFunction, "GetUserName", E_FAIL);
    }
    std::string strInput(pszUserName);
    delete[] pszUserName;
    strInput += m_szTokenName;

    uint8_t* pbyDigest = nullptr;
    int nDigestLen = 0;
    RESULT ulResult = HashHandle::HashData(CALG_SSL3_SHAMD5, nullptr, nullptr, false,
                                           reinterpret_cast<const uint8_t*>(strInput.data()),
                                           static_cast<long>(strInput.size()), &pbyDigest,
                                           &nDigestLen);
    if (ulResult != 0) {
        return Failed(pszFunction, "HashData", ulResult);
    }
    if (nDigestLen * 2 != TOKEN_INFO_LEN) {
        CipherSecureZero(pbyDigest, static_cast<size_t>(nDigestLen > 0 ? nDigestLen : 0));
        delete[] pbyDigest;
        return Failed(pszFunction, "Check digest length", NTE_BAD_UID);
    }
    char* pszInfo = new (std::nothrow) char[MAX_PATH_LEN]();
    if (pszInfo == nullptr) {
        CipherSecureZero(pbyDigest, static_cast<size_t>(nDigestLen));
        delete[] pbyDigest;
        return Failed(pszFunction, "New info buffer", CKR_HOST_MEMORY);
    }
    static const char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < nDigestLen; ++i) {
        pszInfo[2 * i] = kDigits[pbyDigest[i] >> 4];
        pszInfo[2 * i + 1] = kDigits[pbyDigest[i] & 0x0F];
    }
    CipherSecureZero(pbyDigest, static_cast<size_t>(nDigestLen));
    delete[] pbyDigest;
    *ppszInfo = pszInfo;
    TraceStepSuccess(pszFunction, "HashData");
    return 0;
}

RESULT TokenHandle::SealVerifier(const char* pszPIN, const SecretText& stInfo)
{
    uint8_t* pbySealed = nullptr;
    int nSealedLen = 0;
    RESULT ulResult =
        CreateProtectData(reinterpret_cast<const uint8_t*>(stInfo.Get()),
                          static_cast<long>(stInfo.Length()), pszPIN, &pbySealed, &nSealedLen);
    if (ulResult != 0) {
        return Failed("TokenHandle::SealVerifier", "CreateProtectData", ulResult);
    }
    ReleaseVerifier();
    m_stEncryptedPIN.pbData = pbySealed;
    m_stEncryptedPIN.cbData = static_cast<uint32_t>(nSealedLen);
    return 0;
}

RESULT TokenHandle::GetTokenName(char** ppszTokenName)
{
    if (ppszTokenName == nullptr) {
        return Failed("TokenHandle::GetTokenName", "Check ppszTokenName", ERROR_INVALID_PARAMETER);
    }
    return HandOutText("TokenHandle::GetTokenName", m_szTokenName, ppszTokenName);
}

RESULT TokenHandle::GetPINInfo(const char* pszTokenName, int* pnLeftTime)
{
    const char* const pszFunction = "TokenHandle::GetPINInfo";
    if (pszTokenName == nullptr || pnLeftTime == nullptr) {
        return Failed(pszFunction, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    RESULT ulResult = CheckTokenFolder(pszFunction, "CheckFileExistInDirectory", pszTokenName);
    if (ulResult != 0) {
        return ulResult;
    }
    TokenHandle stToken(1, pszTokenName);
    ulResult = stToken.ParseTokenFile(nullptr);
    if (TokenParseFailed(ulResult)) {
        return Failed(pszFunction, "ParseTokenFile", ulResult);
    }
    *pnLeftTime = static_cast<int>(stToken.m_ulCurrentPINCount);
    return 0;
}
