// Running digests: MD5, SHA-1, SHA-256, SHA-512, SM3 (optionally over the
// SM2 Z value) and the MD5-and-SHA-1 pair.
#include <cstring>
#include <memory>
#include <new>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherLibCtx.h"
#include "core/crypto/CipherOwners.h"
#include "core/crypto/CipherSm2Z.h"
#include "core/crypto/CipherSteps.h"
#include "core/token/Records.h"

namespace {
constexpr int kMd5Len = 16;
constexpr int kSha1Len = 20;

// The context of CALG_SSL3_SHAMD5: both digests fed the same data.
struct ShaMd5Context {
    EVP_MD_CTX* pMd5 = nullptr;
    EVP_MD_CTX* pSha1 = nullptr;
    ~ShaMd5Context()
    {
        EVP_MD_CTX_free(pMd5);
        EVP_MD_CTX_free(pSha1);
    }
};

const char* DigestName(uint32_t ulAlgId)
{
    switch (ulAlgId) {
    case CALG_MD5: return "MD5";
    case CALG_SHA1: return "SHA1";
    case CALG_SHA_256: return "SHA256";
    case CALG_SHA_512: return "SHA512";
    case CALG_SM3: return "SM3";
    default: return nullptr;
    }
}

RESULT InitShaMd5(void** ppHashCtx)
{
    static const char* const kFn = "Cipher::HashEvpInit";
    std::unique_ptr<ShaMd5Context> pRecord(new (std::nothrow) ShaMd5Context);
    if (!pRecord) {
        return CipherStepFailed(kFn, "EVP_MD_CTX_create for SSL3_SHA_MD5 md5", NTE_NO_MEMORY);
    }
    pRecord->pMd5 = EVP_MD_CTX_new();
    if (pRecord->pMd5 == nullptr) {
        return CipherStepFailed(kFn, "EVP_MD_CTX_create for SSL3_SHA_MD5 md5", NTE_NO_MEMORY);
    }
    CipherMdPtr pMd5 = CipherFetchMd("MD5");
    if (!pMd5 || EVP_DigestInit_ex2(pRecord->pMd5, pMd5.get(), nullptr) != 1) {
        return CipherStepFailed(kFn, "EVP_DigestInit CALG_SSL3_SHAMD5 md5", NTE_BAD_ALGID);
    }
    pRecord->pSha1 = EVP_MD_CTX_new();
    if (pRecord->pSha1 == nullptr) {
        return CipherStepFailed(kFn, "EVP_MD_CTX_create for SSL3_SHA_MD5 sha1", NTE_NO_MEMORY);
    }
    CipherMdPtr pSha1 = CipherFetchMd("SHA1");
    if (!pSha1 || EVP_DigestInit_ex2(pRecord->pSha1, pSha1.get(), nullptr) != 1) {
        return CipherStepFailed(kFn, "EVP_DigestInit CALG_SSL3_SHAMD5 sha", NTE_BAD_ALGID);
    }
    CipherStepPassed(kFn, "EVP_DigestInit CALG_SSL3_SHAMD5");
    *ppHashCtx = pRecord.release();
    return 0;
}
}  // namespace

CipherMdPtr CipherFetchMd(const char* pszName)
{
    OSSL_LIB_CTX* pLibCtx = CipherLibCtx();
    if (pLibCtx == nullptr) {
        return nullptr;
    }
    return CipherMdPtr(EVP_MD_fetch(pLibCtx, pszName, nullptr));
}

EVP_MD* Cipher::X_EVP_md(uint32_t ulAlgId)
{
    const char* pszName = DigestName(ulAlgId);
    return pszName == nullptr ? nullptr : CipherFetchMd(pszName).release();
}

RESULT Cipher::HashEvpInit(void** ppHashCtx, uint32_t ulAlgId, const uint8_t* pbyPubKeyX,
                           const uint8_t* pbyPubKeyY, bool bUseZ)
{
    static const char* const kFn = "Cipher::HashEvpInit";
    if (ppHashCtx == nullptr) {
        return CipherStepFailed(kFn, "Check parameter", ERROR_INVALID_PARAMETER);
    }
    CipherStepPassed(kFn, "Check parameter");
    if (ulAlgId == CALG_SSL3_SHAMD5) {
        return InitShaMd5(ppHashCtx);
    }

    CipherMdCtxPtr pCtx(EVP_MD_CTX_new());
    if (!pCtx) {
        return CipherStepFailed(kFn, "EVP_MD_CTX_create", NTE_NO_MEMORY);
    }
    CipherMdPtr pMd(X_EVP_md(ulAlgId));
    if (!pMd || EVP_DigestInit_ex2(pCtx.get(), pMd.get(), nullptr) != 1) {
        return CipherStepFailed(kFn, "EVP_DigestInit", NTE_BAD_ALGID);
    }
    CipherStepPassed(kFn, "EVP_DigestInit");

    if (ulAlgId == CALG_SM3 && bUseZ) {
        if (pbyPubKeyX == nullptr) {
            return CipherStepFailed(kFn, "Check pubkey X", ERROR_INVALID_PARAMETER);
        }
        if (pbyPubKeyY == nullptr) {
            return CipherStepFailed(kFn, "Check pubkey Y", ERROR_INVALID_PARAMETER);
        }
        // Coordinates are fixed-width: a leading zero byte is part of the
        // value, so every key gets its Z.
        uint8_t byZ[SM2_Z_LEN] = {0};
        if (!CipherSm2DefaultZ(pbyPubKeyX, pbyPubKeyY, byZ)) {
            return CipherStepFailed(kFn, "_SM2_CalculateDefaultZValue", NTE_FAIL);
        }
        CipherStepPassed(kFn, "_SM2_CalculateDefaultZValue");
        if (EVP_DigestUpdate(pCtx.get(), byZ, sizeof(byZ)) != 1) {
            return CipherStepFailed(kFn, "EVP_DigestUpdate", NTE_FAIL);
        }
        CipherStepPassed(kFn, "EVP_DigestUpdate");
    }
    *ppHashCtx = pCtx.release();
    return 0;
}

RESULT Cipher::HashEvpUpdate(void* pHashCtx, uint32_t ulAlgId, const uint8_t* pbyData,
                             long nDataLen)
{
    static const char* const kFn = "Cipher::HashEvpUpdate";
    if (pHashCtx == nullptr) {
        return CipherStepFailed(kFn, "Check pHashCtx", ERROR_INVALID_PARAMETER);
    }
    if (!CipherFitsInt(nDataLen)) {
        return CipherStepFailed(kFn, "Check nDataLen", ERROR_INVALID_PARAMETER);
    }
    if (pbyData == nullptr) {
        return CipherStepFailed(kFn, "Check pData", ERROR_INVALID_PARAMETER);
    }
    const size_t nLen = static_cast<size_t>(nDataLen);
    if (ulAlgId == CALG_SSL3_SHAMD5) {
        auto* pRecord = static_cast<ShaMd5Context*>(pHashCtx);
        if (EVP_DigestUpdate(pRecord->pMd5, pbyData, nLen) != 1 ||
            EVP_DigestUpdate(pRecord->pSha1, pbyData, nLen) != 1) {
            return CipherStepFailed(kFn, "EVP_DigestUpdate", ERROR_INVALID_PARAMETER);
        }
    } else if (EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(pHashCtx), pbyData, nLen) != 1) {
        return CipherStepFailed(kFn, "EVP_DigestUpdate", ERROR_INVALID_PARAMETER);
    }
    CipherStepPassed(kFn, "EVP_DigestUpdate");
    return 0;
}

RESULT Cipher::HashEvpFinal(void* pHashCtx, uint32_t ulAlgId, uint8_t** ppbyHashData,
                            int& nHashLen)
{
    static const char* const kFn = "Cipher::HashEvpFinal";
    if (pHashCtx == nullptr) {
        return CipherStepFailed(kFn, "Check pHashCtx", ERROR_INVALID_PARAMETER);
    }
    if (ppbyHashData == nullptr) {
        return CipherStepFailed(kFn, "Check ppHashData", ERROR_INVALID_PARAMETER);
    }
    uint8_t byDigest[EVP_MAX_MD_SIZE] = {0};
    unsigned int nLen = 0;
    if (ulAlgId == CALG_SSL3_SHAMD5) {
        auto* pRecord = static_cast<ShaMd5Context*>(pHashCtx);
        unsigned int nMd5Len = 0;
        unsigned int nSha1Len = 0;
        if (EVP_DigestFinal_ex(pRecord->pMd5, byDigest, &nMd5Len) != 1 || nMd5Len != kMd5Len ||
            EVP_DigestFinal_ex(pRecord->pSha1, byDigest + kMd5Len, &nSha1Len) != 1 ||
            nSha1Len != kSha1Len) {
            return CipherStepFailed(kFn, "EVP_DigestFinal", ERROR_INVALID_PARAMETER);
        }
        nLen = kMd5Len + kSha1Len;
    } else {
        if (EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(pHashCtx), byDigest, &nLen) != 1) {
            return CipherStepFailed(kFn, "EVP_DigestFinal", ERROR_INVALID_PARAMETER);
        }
        if (nLen == 0) {
            return CipherStepFailed(kFn, "Check buffer size", ERROR_INVALID_PARAMETER);
        }
    }
    CipherStepPassed(kFn, "EVP_DigestFinal");
    uint8_t* pbyOut = new (std::nothrow) uint8_t[nLen];
    if (pbyOut == nullptr) {
        return CipherStepFailed(kFn, "Check buffer size", ERROR_INVALID_PARAMETER);
    }
    memcpy(pbyOut, byDigest, nLen);
    *ppbyHashData = pbyOut;
    nHashLen = static_cast<int>(nLen);
    return 0;
}

RESULT Cipher::HashEvpDuplicate(void* pInHashCtx, void* pOutHashCtx, uint32_t ulAlgId)
{
    static const char* const kFn = "Cipher::HashEvpDuplicate";
    if (pInHashCtx == nullptr) {
        return CipherStepFailed(kFn, "Check pInHashCtx", ERROR_INVALID_PARAMETER);
    }
    if (pOutHashCtx == nullptr) {
        return CipherStepFailed(kFn, "Check pOutHashCtx", ERROR_INVALID_PARAMETER);
    }
    bool bCopied = false;
    if (ulAlgId == CALG_SSL3_SHAMD5) {
        auto* pIn = static_cast<ShaMd5Context*>(pInHashCtx);
        auto* pOut = static_cast<ShaMd5Context*>(pOutHashCtx);
        bCopied = EVP_MD_CTX_copy_ex(pOut->pMd5, pIn->pMd5) == 1 &&
                  EVP_MD_CTX_copy_ex(pOut->pSha1, pIn->pSha1) == 1;
    } else {
        bCopied = EVP_MD_CTX_copy_ex(static_cast<EVP_MD_CTX*>(pOutHashCtx),
                                     static_cast<EVP_MD_CTX*>(pInHashCtx)) == 1;
    }
    if (!bCopied) {
        return CipherStepFailed(kFn, "EVP_MD_CTX_copy", ERROR_INVALID_PARAMETER);
    }
    CipherStepPassed(kFn, "EVP_MD_CTX_copy");
    return 0;
}

RESULT Cipher::HashEvpDestroy(void* pHashCtx, uint32_t ulAlgId)
{
    if (pHashCtx == nullptr) {
        return 0;
    }
    if (ulAlgId == CALG_SSL3_SHAMD5) {
        delete static_cast<ShaMd5Context*>(pHashCtx);
    } else {
        EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(pHashCtx));
    }
    return 0;
}
