#include "core/storage/Container.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "core/objects/HashHandle.h"
#include "core/storage/ContainerBlocks.h"
#include "core/storage/StoragePath.h"
#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

namespace {

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

void EmptyKeyPair(_keyPairInfo& stPair, uint32_t uKeySpec)
{
    memset(&stPair, 0, sizeof(stPair));
    stPair.uKeySpec = uKeySpec;
}

void ReleaseKeyPair(_keyPairInfo& stPair)
{
    ReleaseText(stPair.pszPriKeyLabel);
    ReleaseText(stPair.pszPubKeyLabel);
    ReleaseText(stPair.pszCertLabel);
    ReleaseBlob(stPair.PriKeyCKID);
    ReleaseBlob(stPair.PubKeyCKID);
    ReleaseBlob(stPair.CertCKID);
    ReleaseBlob(stPair.PrivateKey);
    ReleaseBlob(stPair.PublicKey);
    ReleaseBlob(stPair.Certificate);
}

bool CopyText(char*& pszTo, const char* pszFrom)
{
    return ReplaceText(pszTo, reinterpret_cast<const unsigned char*>(pszFrom), TextLength(pszFrom));
}

bool CopyBlob(_CRYPTOAPI_BLOB& stTo, const _CRYPTOAPI_BLOB& stFrom)
{
    return ReplaceBlob(stTo, stFrom.pbData, stFrom.pbData == nullptr ? 0 : stFrom.cbData);
}

// stTo must own nothing yet.
bool CopyKeyPair(_keyPairInfo& stTo, const _keyPairInfo& stFrom)
{
    stTo.uAlgorithm = stFrom.uAlgorithm;
    stTo.uSize = stFrom.uSize;
    stTo.uKeySpec = stFrom.uKeySpec;
    stTo.uPriKeyFlags = stFrom.uPriKeyFlags;
    stTo.uPubKeyFlags = stFrom.uPubKeyFlags;
    stTo.uCertFlags = stFrom.uCertFlags;
    return CopyText(stTo.pszPriKeyLabel, stFrom.pszPriKeyLabel) &&
           CopyText(stTo.pszPubKeyLabel, stFrom.pszPubKeyLabel) &&
           CopyText(stTo.pszCertLabel, stFrom.pszCertLabel) && CopyBlob(stTo.PriKeyCKID, stFrom.PriKeyCKID) &&
           CopyBlob(stTo.PubKeyCKID, stFrom.PubKeyCKID) && CopyBlob(stTo.CertCKID, stFrom.CertCKID) &&
           CopyBlob(stTo.PrivateKey, stFrom.PrivateKey) && CopyBlob(stTo.PublicKey, stFrom.PublicKey) &&
           CopyBlob(stTo.Certificate, stFrom.Certificate);
}

// Copies a name into a 260-byte field; longer names are cut to 259 bytes,
// a length no name check accepts, so a cut name never names another file.
void CopyName(char* pszField, const char* pszName)
{
    memset(pszField, 0, MAX_PATH_LEN);
    if (pszName != nullptr) {
        memcpy(pszField, pszName, strnlen(pszName, MAX_PATH_LEN - 1));
    }
}

}  // namespace

Container::Container()
{
    EmptyKeyPair(m_stSigatureKey, AT_SIGNATURE);
    EmptyKeyPair(m_stExchangeKey, AT_KEYEXCHANGE);
    m_stDataValue = {0, nullptr};
    m_stDataOID = {0, nullptr};
    m_stDataLabel = {0, nullptr};
    memset(m_szKeyName, 0, sizeof(m_szKeyName));
    memset(m_szContainerName, 0, sizeof(m_szContainerName));
}

Container::Container(const char* pszKeyName, const char* pszContainerName, bool bIsDataFile, bool bIsToken,
                     uint64_t uAlgrithm)
    : Container()
{
    CopyName(m_szKeyName, pszKeyName);
    CopyName(m_szContainerName, pszContainerName);
    TRACE(QYRA_LOG_INFO, "Key name : [%s]", m_szKeyName);
    TRACE(QYRA_LOG_INFO, "Container name: [%s]", m_szContainerName);
    m_bIsDataFile = bIsDataFile;
    m_bIsToken = bIsToken;
    m_uAlgrithm = uAlgrithm;
}

Container::~Container()
{
    ReleaseFields();
}

void Container::ReleaseFields()
{
    ReleaseKeyPair(m_stSigatureKey);
    ReleaseKeyPair(m_stExchangeKey);
    ReleaseBlob(m_stDataValue);
    ReleaseBlob(m_stDataOID);
    ReleaseBlob(m_stDataLabel);
    ReleaseText(m_pszDataApplication);
}

// Everything the file holds, plus the names; this object must own nothing.
RESULT Container::CopyFieldsFrom(const Container& other)
{
    m_uAlgrithm = other.m_uAlgrithm;
    m_ulDataFlags = other.m_ulDataFlags;
    m_bIsDataFile = other.m_bIsDataFile;
    m_bIsToken = other.m_bIsToken;
    memcpy(m_szKeyName, other.m_szKeyName, sizeof(m_szKeyName));
    memcpy(m_szContainerName, other.m_szContainerName, sizeof(m_szContainerName));
    bool bCopied = CopyKeyPair(m_stSigatureKey, other.m_stSigatureKey) &&
                   CopyKeyPair(m_stExchangeKey, other.m_stExchangeKey) &&
                   CopyBlob(m_stDataValue, other.m_stDataValue) && CopyBlob(m_stDataOID, other.m_stDataOID) &&
                   CopyBlob(m_stDataLabel, other.m_stDataLabel) &&
                   CopyText(m_pszDataApplication, other.m_pszDataApplication);
    if (!bCopied) {
        return Failed("Container::CopyFieldsFrom", "New buffer", E_FAIL);
    }
    return 0;
}

// Exchanges what the file holds; token link, token name, reload state and
// unsaved changes stay with each object.
void Container::SwapFields(Container& other)
{
    std::swap(m_uAlgrithm, other.m_uAlgrithm);
    std::swap(m_ulDataFlags, other.m_ulDataFlags);
    std::swap(m_bIsDataFile, other.m_bIsDataFile);
    std::swap(m_stSigatureKey, other.m_stSigatureKey);
    std::swap(m_stExchangeKey, other.m_stExchangeKey);
    std::swap(m_stDataValue, other.m_stDataValue);
    std::swap(m_stDataOID, other.m_stDataOID);
    std::swap(m_stDataLabel, other.m_stDataLabel);
    std::swap(m_pszDataApplication, other.m_pszDataApplication);
    std::swap(m_szContainerName, other.m_szContainerName);
}

RESULT Container::GetLegalContainerName(const char* pszContainerName, char** ppszLegalName)
{
    const char* pszFunction = "Container::GetLegalContainerName";
    if (pszContainerName == nullptr || ppszLegalName == nullptr) {
        return Failed(pszFunction, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    size_t nNameLen = strnlen(pszContainerName, CONTAINER_NAME_MAX_LEN + 1);
    if (nNameLen == 0 || nNameLen > static_cast<size_t>(CONTAINER_NAME_MAX_LEN)) {
        return Failed(pszFunction, "Check pszContainerName", ERROR_INVALID_PARAMETER);
    }
    uint8_t* pbyDigest = nullptr;
    int nDigestLen = 0;
    RESULT ulResult = HashHandle::HashData(CALG_SHA1, nullptr, nullptr, false,
                                           reinterpret_cast<const uint8_t*>(pszContainerName),
                                           static_cast<long>(nNameLen), &pbyDigest, &nDigestLen);
    if (ulResult != 0) {
        return Failed(pszFunction, "HashData", ulResult);
    }
    std::unique_ptr<uint8_t[]> pbyOwnedDigest(pbyDigest);
    if (nDigestLen != 20) {
        return Failed(pszFunction, "Check hash data length", NTE_BAD_UID);
    }
    char* pszLegalName = new (std::nothrow) char[MAX_PATH_LEN]();
    if (pszLegalName == nullptr) {
        return Failed(pszFunction, "New buffer", E_FAIL);
    }
    for (int i = 0; i < nDigestLen; ++i) {
        snprintf(pszLegalName + 2 * i, 3, "%02x", pbyDigest[i]);
    }
    *ppszLegalName = pszLegalName;
    TraceStepSuccess(pszFunction, "HashData");
    return 0;
}

RESULT Container::GetContainerPathName(const char* pszKeyName, const char* pszContainerName,
                                       char** ppszPathName)
{
    const char* pszFunction = "Container::GetContainerPathName";
    if (pszKeyName == nullptr || pszContainerName == nullptr || ppszPathName == nullptr) {
        return Failed(pszFunction, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    char* pszTokenPath = nullptr;
    RESULT ulResult = GetRealTokenPath(pszKeyName, &pszTokenPath);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetRealTokenPath", ulResult);
    }
    std::unique_ptr<char[]> pszOwnedTokenPath(pszTokenPath);
    char* pszLegalName = nullptr;
    ulResult = GetLegalContainerName(pszContainerName, &pszLegalName);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetLegalContainerName", ulResult);
    }
    std::unique_ptr<char[]> pszOwnedLegalName(pszLegalName);
    char* pszPathName = new (std::nothrow) char[MAX_PATH_LEN + 1]();
    if (pszPathName == nullptr) {
        return Failed(pszFunction, "New buffer", E_FAIL);
    }
    int nLength = snprintf(pszPathName, MAX_PATH_LEN + 1, "%s/%s", pszTokenPath, pszLegalName);
    if (nLength < 0 || nLength >= MAX_PATH_LEN) {
        delete[] pszPathName;
        return Failed(pszFunction, "Check path length", E_FAIL);
    }
    *ppszPathName = pszPathName;
    TraceStepSuccess(pszFunction, "GetLegalContainerName");
    return 0;
}
