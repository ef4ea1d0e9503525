#include "core/objects/HashHandle.h"

#include <cstring>
#include <new>

#include "core/crypto/Cipher.h"
#include "core/token/Records.h"
#include "core/trace/QyraLog.h"
#include "core/trace/TraceStep.h"

namespace {
RESULT Failed(const char* pszFn, const char* pszLabel, RESULT ulResult)
{
    TraceStepFailed(pszFn, pszLabel, ulResult);
    return ulResult;
}
}  // namespace

int HashHandle::HashLength(uint32_t ulAlgId)
{
    switch (ulAlgId) {
    case CALG_MD5: return 16;
    case CALG_SHA1: return 20;
    case CALG_SSL3_SHAMD5: return 36;
    case CALG_SHA_256: return 32;
    case CALG_SHA_512: return 64;
    case CALG_SM3: return 32;
    default: return 0;
    }
}

HashHandle::~HashHandle()
{
    TRACE(QYRA_LOG_INFO, "HashHandle invoked ~HashHandle()");
    Cipher::HashEvpDestroy(m_pHashCtx, m_ulAlgId);
    delete[] m_pbyHashData;
}

RESULT HashHandle::Init(uint32_t ulAlgId, const uint8_t* pbyPubKeyX, const uint8_t* pbyPubKeyY,
                        bool bUseZ)
{
    static const char* const kFn = "HashHandle::Init";
    TRACE(QYRA_LOG_INFO, "algid %d", static_cast<int>(ulAlgId));
    const int nLen = HashLength(ulAlgId);
    if (nLen == 0) {
        return Failed(kFn, "nonsupport algid", NTE_BAD_ALGID);
    }
    uint8_t* pbyResult = new (std::nothrow) uint8_t[nLen]();
    if (pbyResult == nullptr) {
        return Failed(kFn, "new hash data", NTE_NO_MEMORY);
    }
    Cipher::HashEvpDestroy(m_pHashCtx, m_ulAlgId);
    m_pHashCtx = nullptr;
    delete[] m_pbyHashData;
    m_pbyHashData = pbyResult;
    m_ulAlgId = ulAlgId;
    nHashLen = nLen;
    m_bFinal = false;

    const RESULT ulResult =
        Cipher::HashEvpInit(&m_pHashCtx, ulAlgId, pbyPubKeyX, pbyPubKeyY, bUseZ);
    if (ulResult != 0) {
        return Failed(kFn, "HashEvpInit", ulResult);
    }
    TraceStepSuccess(kFn, "HashEvpInit");
    return 0;
}

RESULT HashHandle::Update(const uint8_t* pbyData, long nDataLen)
{
    static const char* const kFn = "HashHandle::Update";
    if (pbyData == nullptr || nDataLen < 0) {
        return Failed(kFn, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    // A finished context takes no more data.
    if (m_bFinal) {
        return Failed(kFn, "Hash state is final", NTE_BAD_HASH_STATE);
    }
    const RESULT ulResult = Cipher::HashEvpUpdate(m_pHashCtx, m_ulAlgId, pbyData, nDataLen);
    if (ulResult != 0) {
        return Failed(kFn, "HashEvpUpdate", ulResult);
    }
    TraceStepSuccess(kFn, "HashEvpUpdate");
    return 0;
}

RESULT HashHandle::Final()
{
    static const char* const kFn = "HashHandle::Final";
    if (m_bFinal) {
        return Failed(kFn, "Hash state is final", NTE_BAD_HASH_STATE);
    }
    uint8_t* pbyDigest = nullptr;
    int nDigestLen = 0;
    const RESULT ulResult = Cipher::HashEvpFinal(m_pHashCtx, m_ulAlgId, &pbyDigest, nDigestLen);
    if (ulResult != 0) {
        return Failed(kFn, "HashEvpFinal", ulResult);
    }
    m_bFinal = true;
    if (nDigestLen != nHashLen || m_pbyHashData == nullptr) {
        delete[] pbyDigest;
        return Failed(kFn, "Check hash data length", NTE_BAD_UID);
    }
    memcpy(m_pbyHashData, pbyDigest, nHashLen);
    delete[] pbyDigest;
    TraceStepSuccess(kFn, "HashEvpFinal");
    return 0;
}

RESULT HashHandle::SetData(const uint8_t* pbyHashData)
{
    static const char* const kFn = "HashHandle::SetData";
    if (pbyHashData == nullptr || m_pbyHashData == nullptr) {
        return Failed(kFn, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    memcpy(m_pbyHashData, pbyHashData, nHashLen);
    m_bFinal = true;
    return 0;
}

RESULT HashHandle::Duplicate(HashHandle* pOther)
{
    static const char* const kFn = "HashHandle::Duplicate";
    if (pOther == nullptr || pOther == this || m_pHashCtx == nullptr ||
        m_pbyHashData == nullptr) {
        return Failed(kFn, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    // The copy gets a context of its own of this algorithm, whatever it held
    // before, so its context always has the form its id says.
    void* pNewCtx = nullptr;
    RESULT ulResult = Cipher::HashEvpInit(&pNewCtx, m_ulAlgId, nullptr, nullptr, false);
    if (ulResult != 0) {
        return Failed(kFn, "HashEvpInit", ulResult);
    }
    if (!m_bFinal) {
        ulResult = Cipher::HashEvpDuplicate(m_pHashCtx, pNewCtx, m_ulAlgId);
        if (ulResult != 0) {
            Cipher::HashEvpDestroy(pNewCtx, m_ulAlgId);
            return Failed(kFn, "HashEvpDuplicate", ulResult);
        }
    }
    uint8_t* pbyResult = new (std::nothrow) uint8_t[nHashLen];
    if (pbyResult == nullptr) {
        Cipher::HashEvpDestroy(pNewCtx, m_ulAlgId);
        return Failed(kFn, "new hash data", NTE_NO_MEMORY);
    }
    memcpy(pbyResult, m_pbyHashData, nHashLen);

    Cipher::HashEvpDestroy(pOther->m_pHashCtx, pOther->m_ulAlgId);
    delete[] pOther->m_pbyHashData;
    pOther->m_pHashCtx = pNewCtx;
    pOther->m_ulAlgId = m_ulAlgId;
    pOther->nHashLen = nHashLen;
    pOther->m_pbyHashData = pbyResult;
    pOther->m_bFinal = m_bFinal;
    TraceStepSuccess(kFn, "HashEvpDuplicate");
    return 0;
}

RESULT HashHandle::DestroyContext(void* pHashCtx)
{
    static const char* const kFn = "HashHandle::DestroyContext";
    if (pHashCtx == nullptr) {
        return Failed(kFn, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    Cipher::HashEvpDestroy(pHashCtx, m_ulAlgId);
    if (pHashCtx == m_pHashCtx) {
        m_pHashCtx = nullptr;
    }
    return 0;
}

RESULT HashHandle::DuplicateContext(HashHandle* pOther)
{
    static const char* const kFn = "HashHandle::DuplicateContext";
    if (pOther == nullptr) {
        return Failed(kFn, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    // Contexts of different algorithms differ in form.
    if (pOther->m_ulAlgId != m_ulAlgId) {
        return Failed(kFn, "Check algid", NTE_BAD_ALGID);
    }
    const RESULT ulResult = Cipher::HashEvpDuplicate(m_pHashCtx, pOther->m_pHashCtx, m_ulAlgId);
    if (ulResult != 0) {
        return Failed(kFn, "HashEvpDuplicate", ulResult);
    }
    return 0;
}

RESULT HashHandle::HashData(uint32_t ulAlgId, const uint8_t* pbyPubKeyX,
                            const uint8_t* pbyPubKeyY, bool bUseZ, const uint8_t* pbyData,
                            long nDataLen, uint8_t** ppbyHashData, int* pnHashLen)
{
    static const char* const kFn = "HashHandle::HashData";
    if (pbyData == nullptr) {
        return Failed(kFn, "Check pData", ERROR_INVALID_PARAMETER);
    }
    if (nDataLen <= 0) {
        return Failed(kFn, "Check nDataLen", ERROR_INVALID_PARAMETER);
    }
    if (ppbyHashData == nullptr || pnHashLen == nullptr) {
        return Failed(kFn, "Check ppbyHashData", ERROR_INVALID_PARAMETER);
    }
    const int nExpected = HashLength(ulAlgId);
    if (nExpected == 0) {
        return Failed(kFn, "nonsupport algid", NTE_BAD_ALGID);
    }
    void* pCtx = nullptr;
    RESULT ulResult = Cipher::HashEvpInit(&pCtx, ulAlgId, pbyPubKeyX, pbyPubKeyY, bUseZ);
    if (ulResult != 0) {
        return Failed(kFn, "HashEvpInit", ulResult);
    }
    uint8_t* pbyDigest = nullptr;
    int nDigestLen = 0;
    ulResult = Cipher::HashEvpUpdate(pCtx, ulAlgId, pbyData, nDataLen);
    if (ulResult != 0) {
        Failed(kFn, "HashEvpUpdate", ulResult);
    } else {
        ulResult = Cipher::HashEvpFinal(pCtx, ulAlgId, &pbyDigest, nDigestLen);
        if (ulResult != 0) {
            Failed(kFn, "HashEvpFinal", ulResult);
        } else if (nDigestLen != nExpected) {
            delete[] pbyDigest;
            ulResult = Failed(kFn, "Check hash data length", NTE_BAD_UID);
        }
    }
    Cipher::HashEvpDestroy(pCtx, ulAlgId);
    if (ulResult != 0) {
        return ulResult;
    }
    *ppbyHashData = pbyDigest;
    *pnHashLen = nDigestLen;
    return 0;
}
