// Field-level access to a container: the identifiers of WriteFileInfo and
// ReadFileInfo, the reload before access and the saving write.
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "core/storage/Container.h"
#include "core/storage/ContainerBlocks.h"
#include "core/storage/FileSimple.h"
#include "core/storage/StoragePath.h"
#include "core/storage/TokenFolderLock.h"
#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

namespace {

RESULT Failed(const char* pszFunction, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFunction, pszLabel, ulResult);
    return ulResult;
}

enum class FieldKind { None, Number, Flag64, Text, Blob };

// Where one field identifier of a container lives.
struct FieldRef {
    FieldKind eKind = FieldKind::None;
    uint32_t* puNumber = nullptr;
    uint64_t* puFlag = nullptr;
    char** ppszText = nullptr;
    _CRYPTOAPI_BLOB* pBlob = nullptr;
};

FieldRef Number(uint32_t& uValue)
{
    FieldRef stRef;
    stRef.eKind = FieldKind::Number;
    stRef.puNumber = &uValue;
    return stRef;
}

FieldRef Text(char*& pszText)
{
    FieldRef stRef;
    stRef.eKind = FieldKind::Text;
    stRef.ppszText = &pszText;
    return stRef;
}

FieldRef Blob(_CRYPTOAPI_BLOB& stBlob)
{
    FieldRef stRef;
    stRef.eKind = FieldKind::Blob;
    stRef.pBlob = &stBlob;
    return stRef;
}

FieldRef FindField(Container& container, int nKeyUsage, int nType)
{
    if (container.m_bIsDataFile) {
        switch (nType) {
        case DATAINFOID_APPLICATION: return Text(container.m_pszDataApplication);
        case DATAINFOID_OID: return Blob(container.m_stDataOID);
        case DATAINFOID_VALUE: return Blob(container.m_stDataValue);
        case DATAINFOID_LABEL: return Blob(container.m_stDataLabel);
        case DATAINFOID_FLAG: {
            FieldRef stRef;
            stRef.eKind = FieldKind::Flag64;
            stRef.puFlag = &container.m_ulDataFlags;
            return stRef;
        }
        default: return FieldRef();
        }
    }
    _keyPairInfo& stPair = nKeyUsage == AT_SIGNATURE ? container.m_stSigatureKey : container.m_stExchangeKey;
    switch (nType) {
    case KEYINFOID_ALGORITHM: return Number(stPair.uAlgorithm);
    case KEYINFOID_PRIVATEKEY: return Blob(stPair.PrivateKey);
    case KEYINFOID_PUBLICKEY: return Blob(stPair.PublicKey);
    case KEYINFOID_CERTIFICATE: return Blob(stPair.Certificate);
    case KEYINFOID_PRIVATEKEY_FLAG: return Number(stPair.uPriKeyFlags);
    case KEYINFOID_PUBLICKEY_FLAG: return Number(stPair.uPubKeyFlags);
    case KEYINFOID_CERTIFICATE_FLAG: return Number(stPair.uCertFlags);
    case KEYINFOID_PRIVATEKEY_LABEL: return Text(stPair.pszPriKeyLabel);
    case KEYINFOID_PUBLICKEY_LABEL: return Text(stPair.pszPubKeyLabel);
    case KEYINFOID_CERTIFICATE_LABEL: return Text(stPair.pszCertLabel);
    case KEYINFOID_PRIVATEKEY_CKID: return Blob(stPair.PriKeyCKID);
    case KEYINFOID_PUBLICKEY_CKID: return Blob(stPair.PubKeyCKID);
    case KEYINFOID_CERTIFICATE_CKID: return Blob(stPair.CertCKID);
    default: return FieldRef();
    }
}

// A number takes exactly its own width: reading more or fewer bytes than
// the caller has would read past its data or store a value never given.
bool SizeFits(FieldKind eKind, int nDataSize)
{
    switch (eKind) {
    case FieldKind::Number: return nDataSize == 4;
    case FieldKind::Flag64: return nDataSize == 8;
    default: return true;
    }
}

RESULT NewCopy(const void* pData, size_t nSize, unsigned char** ppbCopy)
{
    unsigned char* pbCopy = new (std::nothrow) unsigned char[nSize];
    if (pbCopy == nullptr) {
        return E_FAIL;
    }
    memcpy(pbCopy, pData, nSize);
    *ppbCopy = pbCopy;
    return 0;
}

}  // namespace

RESULT Container::ApplyField(Container& target, int nKeyUsage, const unsigned char* pbData, int nDataSize,
                             int nType)
{
    const char* pszFunction = "Container::WriteFileInfo";
    FieldRef stField = FindField(target, nKeyUsage, nType);
    if (stField.eKind == FieldKind::None) {
        return Failed(pszFunction, "Check data type", ERROR_NOT_SUPPORTED);
    }
    if (!SizeFits(stField.eKind, nDataSize)) {
        return Failed(pszFunction, "Check nDataSize", ERROR_INVALID_PARAMETER);
    }
    bool bStored = true;
    switch (stField.eKind) {
    case FieldKind::Number: memcpy(stField.puNumber, pbData, 4); break;
    case FieldKind::Flag64: memcpy(stField.puFlag, pbData, 8); break;
    case FieldKind::Text: bStored = ReplaceText(*stField.ppszText, pbData, static_cast<size_t>(nDataSize)); break;
    case FieldKind::Blob: bStored = ReplaceBlob(*stField.pBlob, pbData, static_cast<size_t>(nDataSize)); break;
    case FieldKind::None: break;
    }
    if (!bStored) {
        return Failed(pszFunction, "New buffer", E_FAIL);
    }
    return 0;
}

void Container::RememberUnsaved(int nKeyUsage, const unsigned char* pbData, int nDataSize, int nType)
{
    // Only a token container is ever saved, so only its changes need
    // replaying.
    if (!m_bIsToken) {
        return;
    }
    _unsavedField stField{nKeyUsage, nType, {}};
    if (pbData != nullptr) {
        stField.vtrData.assign(pbData, pbData + nDataSize);
    }
    m_vtrUnsavedFields.push_back(std::move(stField));
}

RESULT Container::ReloadIfNeeded(const char* pszFilePath)
{
    if (!m_bReload || !IsFileOrDirectoryExist(pszFilePath)) {
        return 0;
    }
    RESULT ulResult = ParseContainerFileByRealPath(pszFilePath);
    if (ulResult == 0) {
        // Memory now is what the file holds.
        m_vtrUnsavedFields.clear();
    }
    return ulResult;
}

// Saves this change together with the unsaved ones on top of what the
// file holds now, under the token's lock, so that a change another
// process saved in between is kept.
RESULT Container::FlushField(const char* pszFilePath, int nKeyUsage, const unsigned char* pbData, int nDataSize,
                             int nType)
{
    const char* pszFunction = "Container::WriteFileInfo";
    char* pszTokenPath = nullptr;
    RESULT ulResult = GetRealTokenPath(m_szKeyName, &pszTokenPath);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetRealTokenPath", ulResult);
    }
    // The folder must be there to be locked.
    ulResult = CreateDirectories(pszTokenPath);
    TokenFolderLock lock;
    if (ulResult == 0) {
        ulResult = lock.LockFolder(pszTokenPath);
    }
    delete[] pszTokenPath;
    if (ulResult != 0) {
        return Failed(pszFunction, "TokenFolderLock", ulResult);
    }

    Container fresh;
    ulResult = fresh.CopyFieldsFrom(*this);
    if (ulResult != 0) {
        return ulResult;
    }
    if (IsFileOrDirectoryExist(pszFilePath)) {
        ulResult = fresh.ParseFileInto(pszFilePath);
        if (ulResult != 0) {
            return Failed(pszFunction, "ParseContainerFile", ulResult);
        }
    }
    for (const _unsavedField& stField : m_vtrUnsavedFields) {
        ulResult = ApplyField(fresh, stField.nKeyUsage, stField.vtrData.empty() ? nullptr : stField.vtrData.data(),
                              static_cast<int>(stField.vtrData.size()), stField.nType);
        if (ulResult != 0) {
            return ulResult;
        }
    }
    ulResult = ApplyField(fresh, nKeyUsage, pbData, nDataSize, nType);
    if (ulResult != 0) {
        return ulResult;
    }
    ulResult = fresh.GenerateContainerFile();
    if (ulResult != 0) {
        // As an unsaved write: kept in memory while the reload flag stays
        // clear, dropped by the next re-read otherwise.
        if (ApplyField(*this, nKeyUsage, pbData, nDataSize, nType) == 0 && !m_bReload) {
            RememberUnsaved(nKeyUsage, pbData, nDataSize, nType);
        }
        return Failed(pszFunction, "GenerateContainerFile", ulResult);
    }
    SwapFields(fresh);
    m_vtrUnsavedFields.clear();
    m_bReload = true;
    return 0;
}

RESULT Container::WriteFileInfo(int nKeyUsage, const unsigned char* pbData, int nDataSize, int nType, bool bFlush)
{
    const char* pszFunction = "Container::WriteFileInfo";
    TRACE(QYRA_LOG_INFO, "Key usage: %d | Data size: %d | Type: %d | Flush: %d", nKeyUsage, nDataSize, nType,
          bFlush ? 1 : 0);
    if (nDataSize < 0 || (pbData != nullptr && nDataSize == 0) || (pbData == nullptr && nDataSize != 0)) {
        return Failed(pszFunction, "Check pbData and nDataSize", ERROR_INVALID_PARAMETER);
    }
    if (!m_bIsDataFile && m_uAlgrithm != KEY_TYPE_RSA && m_uAlgrithm != KEY_TYPE_SM2) {
        return Failed(pszFunction, "Check container algorithm type", NTE_BAD_ALGID);
    }
    // Refused before anything is read or locked.
    FieldRef stField = FindField(*this, nKeyUsage, nType);
    if (stField.eKind == FieldKind::None) {
        return Failed(pszFunction, "Check data type", ERROR_NOT_SUPPORTED);
    }
    if (!SizeFits(stField.eKind, nDataSize)) {
        return Failed(pszFunction, "Check nDataSize", ERROR_INVALID_PARAMETER);
    }
    char* pszPathName = nullptr;
    RESULT ulResult = GetContainerPathName(m_szKeyName, m_szContainerName, &pszPathName);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetContainerPathName", ulResult);
    }
    std::unique_ptr<char[]> pszOwnedPathName(pszPathName);

    if (bFlush && m_bIsToken) {
        ulResult = FlushField(pszPathName, nKeyUsage, pbData, nDataSize, nType);
        if (ulResult == 0) {
            TraceStepSuccess(pszFunction, "GenerateContainerFile");
        }
        return ulResult;
    }
    ulResult = ReloadIfNeeded(pszPathName);
    if (ulResult != 0) {
        return Failed(pszFunction, "ParseContainerFile", ulResult);
    }
    ulResult = ApplyField(*this, nKeyUsage, pbData, nDataSize, nType);
    if (ulResult != 0) {
        return ulResult;
    }
    if (bFlush) {
        m_vtrUnsavedFields.clear();
    } else {
        RememberUnsaved(nKeyUsage, pbData, nDataSize, nType);
    }
    m_bReload = bFlush;
    TraceStepSuccess(pszFunction, "Store data");
    return 0;
}

RESULT Container::ReadFileInfo(int nKeyUsage, unsigned char** ppbData, int* pnDataSize, int nType)
{
    const char* pszFunction = "Container::ReadFileInfo";
    TRACE(QYRA_LOG_INFO, "Key usage: %d | Type: %d", nKeyUsage, nType);
    if (ppbData == nullptr || pnDataSize == nullptr) {
        return Failed(pszFunction, "Check ppbData", ERROR_INVALID_PARAMETER);
    }
    char* pszPathName = nullptr;
    RESULT ulResult = GetContainerPathName(m_szKeyName, m_szContainerName, &pszPathName);
    if (ulResult != 0) {
        return Failed(pszFunction, "GetContainerPathName", ulResult);
    }
    std::unique_ptr<char[]> pszOwnedPathName(pszPathName);
    ulResult = ReloadIfNeeded(pszPathName);
    if (ulResult != 0) {
        return Failed(pszFunction, "ParseContainerFile", ulResult);
    }

    FieldRef stField = FindField(*this, nKeyUsage, nType);
    unsigned char* pbCopy = nullptr;
    size_t nSize = 0;
    switch (stField.eKind) {
    case FieldKind::None:
        return Failed(pszFunction, m_bIsDataFile ? "Check data type" : "Invalid data type", ERROR_NOT_SUPPORTED);
    case FieldKind::Number:
        nSize = 4;
        ulResult = NewCopy(stField.puNumber, nSize, &pbCopy);
        break;
    case FieldKind::Flag64:
        nSize = 8;
        ulResult = NewCopy(stField.puFlag, nSize, &pbCopy);
        break;
    case FieldKind::Text: {
        const char* pszText = *stField.ppszText;
        size_t nLength = TextLength(pszText);
        if (nLength == 0) {
            if (m_bIsDataFile && pszText == nullptr) {
                *ppbData = nullptr;
                *pnDataSize = 0;
                return 0;
            }
            if (!m_bIsDataFile) {
                return 0;
            }
        }
        nSize = nLength + 1;
        ulResult = NewCopy(pszText, nSize, &pbCopy);
        break;
    }
    case FieldKind::Blob:
        if (stField.pBlob->pbData == nullptr || stField.pBlob->cbData == 0) {
            *pnDataSize = 0;
            return 0;
        }
        nSize = stField.pBlob->cbData;
        ulResult = NewCopy(stField.pBlob->pbData, nSize, &pbCopy);
        break;
    }
    if (ulResult != 0) {
        return Failed(pszFunction, "New buffer", ulResult);
    }
    *ppbData = pbCopy;
    *pnDataSize = static_cast<int>(nSize);
    TraceStepSuccess(pszFunction, "Copy data");
    return 0;
}
