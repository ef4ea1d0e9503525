// Secret-key ciphers of the secret-key objects: DES, two- and three-key
// triple DES and RC4, plus key derivation from bytes.
#include <cstring>
#include <new>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherLibCtx.h"
#include "core/crypto/CipherOwners.h"
#include "core/crypto/CipherSteps.h"
#include "core/token/Records.h"

namespace {
constexpr int kModeCount = 4;  // 1 CBC, 2 ECB, 3 OFB, 4 CFB with 64-bit feedback

const char* const kDesNames[kModeCount] = {"DES-CBC", "DES-ECB", "DES-OFB", "DES-CFB"};
const char* const kDes3Names[kModeCount] = {"DES-EDE3-CBC", "DES-EDE3-ECB", "DES-EDE3-OFB",
                                            "DES-EDE3-CFB"};
const char* const kDes2Names[kModeCount] = {"DES-EDE-CBC", "DES-EDE-ECB", "DES-EDE-OFB",
                                            "DES-EDE-CFB"};

const char* SymCipherName(uint32_t ulAlgId, int nMode)
{
    if (ulAlgId == CALG_RC4) {
        return "RC4";
    }
    if (nMode < 1 || nMode > kModeCount) {
        return nullptr;
    }
    switch (ulAlgId) {
    case CALG_DES: return kDesNames[nMode - 1];
    case CALG_3DES: return kDes3Names[nMode - 1];
    case CALG_3DES_112: return kDes2Names[nMode - 1];
    default: return nullptr;
    }
}

RESULT SymInit(bool bEncrypt, void** ppCipherCtx, uint32_t ulAlgId, int nMode,
               const uint8_t* pbyKey, const uint8_t* pbyIV)
{
    const char* const kFn = bEncrypt ? "Cipher::SymEncryptInit" : "Cipher::SymDecryptInit";
    const char* const kInitLabel = bEncrypt ? "EVP_EncryptInit_ex" : "EVP_DecryptInit_ex";
    if (ppCipherCtx == nullptr) {
        return CipherStepFailed(kFn, "Check ppCipherCtx", ERROR_INVALID_PARAMETER);
    }
    if (pbyKey == nullptr) {
        return CipherStepFailed(kFn, "Check pKey", ERROR_INVALID_PARAMETER);
    }
    CipherCtxPtr pCtx(EVP_CIPHER_CTX_new());
    if (!pCtx) {
        return CipherStepFailed(kFn, "EVP_CIPHER_CTX_new", NTE_NO_MEMORY);
    }
    CipherEvpCipherPtr pCipher(Cipher::EVPSymEnc(ulAlgId, nMode));
    if (!pCipher) {
        return CipherStepFailed(kFn, kInitLabel, NTE_FAIL);
    }
    // A missing IV is an all-zero one, as a fresh context always had.
    const uint8_t byZeroIV[EVP_MAX_IV_LENGTH] = {0};
    const uint8_t* pbyUseIV = pbyIV;
    if (pbyUseIV == nullptr && EVP_CIPHER_get_iv_length(pCipher.get()) > 0) {
        pbyUseIV = byZeroIV;
    }
    if (EVP_CipherInit_ex2(pCtx.get(), pCipher.get(), pbyKey, pbyUseIV, bEncrypt ? 1 : 0,
                           nullptr) != 1) {
        return CipherStepFailed(kFn, kInitLabel, NTE_FAIL);
    }
    CipherStepPassed(kFn, kInitLabel);
    *ppCipherCtx = pCtx.release();
    return 0;
}

RESULT SymUpdate(bool bEncrypt, void* pCipherCtx, const uint8_t* pbySourceData,
                 long nSourceDataLen, uint8_t* pbyOutData, int& nOutDataLen)
{
    const char* const kFn = bEncrypt ? "Cipher::SymEncryptUpdate" : "Cipher::SymDecryptUpdate";
    const char* const kLabel = bEncrypt ? "EVP_EncryptUpdate" : "EVP_DecryptUpdate";
    if (pCipherCtx == nullptr) {
        return CipherStepFailed(kFn, "Check pCipherCtx", ERROR_INVALID_PARAMETER);
    }
    if (pbySourceData == nullptr) {
        return CipherStepFailed(kFn, "Check pSourceData", ERROR_INVALID_PARAMETER);
    }
    if (pbyOutData == nullptr) {
        return CipherStepFailed(kFn, "Check pOutData", ERROR_INVALID_PARAMETER);
    }
    if (!CipherFitsInt(nSourceDataLen)) {
        return CipherStepFailed(kFn, "Check nSourceDataLen", ERROR_INVALID_PARAMETER);
    }
    int nOut = 0;
    if (EVP_CipherUpdate(static_cast<EVP_CIPHER_CTX*>(pCipherCtx), pbyOutData, &nOut,
                         pbySourceData, static_cast<int>(nSourceDataLen)) != 1) {
        return CipherStepFailed(kFn, kLabel, NTE_FAIL);
    }
    CipherStepPassed(kFn, kLabel);
    nOutDataLen = nOut;
    return 0;
}

RESULT SymFinal(bool bEncrypt, void* pCipherCtx, uint8_t* pbyOutData, int& nOutDataLen)
{
    const char* const kFn = bEncrypt ? "Cipher::SymEncryptFinal" : "Cipher::SymDecryptFinal";
    const char* const kLabel = bEncrypt ? "EVP_EncryptFinal_ex" : "EVP_DecryptFinal_ex";
    if (pCipherCtx == nullptr) {
        return CipherStepFailed(kFn, "Check pCipherCtx", ERROR_INVALID_PARAMETER);
    }
    if (pbyOutData == nullptr) {
        return CipherStepFailed(kFn, "Check pOutData", ERROR_INVALID_PARAMETER);
    }
    int nOut = 0;
    if (EVP_CipherFinal_ex(static_cast<EVP_CIPHER_CTX*>(pCipherCtx), pbyOutData, &nOut) != 1) {
        return CipherStepFailed(kFn, kLabel, NTE_FAIL);
    }
    CipherStepPassed(kFn, kLabel);
    nOutDataLen = nOut;
    return 0;
}
}  // namespace

EVP_CIPHER* Cipher::EVPSymEnc(uint32_t ulAlgId, int nMode)
{
    const char* pszName = SymCipherName(ulAlgId, nMode);
    OSSL_LIB_CTX* pLibCtx = CipherLibCtx();
    if (pszName == nullptr || pLibCtx == nullptr) {
        return nullptr;
    }
    return EVP_CIPHER_fetch(pLibCtx, pszName, nullptr);
}

RESULT Cipher::SymEncryptInit(void** ppCipherCtx, uint32_t ulAlgId, int nMode,
                              const uint8_t* pbyKey, const uint8_t* pbyIV)
{
    return SymInit(true, ppCipherCtx, ulAlgId, nMode, pbyKey, pbyIV);
}

RESULT Cipher::SymDecryptInit(void** ppCipherCtx, uint32_t ulAlgId, int nMode,
                              const uint8_t* pbyKey, const uint8_t* pbyIV)
{
    return SymInit(false, ppCipherCtx, ulAlgId, nMode, pbyKey, pbyIV);
}

RESULT Cipher::SymEncryptUpdate(void* pCipherCtx, const uint8_t* pbySourceData,
                                long nSourceDataLen, uint8_t* pbyOutData, int& nOutDataLen)
{
    return SymUpdate(true, pCipherCtx, pbySourceData, nSourceDataLen, pbyOutData, nOutDataLen);
}

RESULT Cipher::SymDecryptUpdate(void* pCipherCtx, const uint8_t* pbySourceData,
                                long nSourceDataLen, uint8_t* pbyOutData, int& nOutDataLen)
{
    return SymUpdate(false, pCipherCtx, pbySourceData, nSourceDataLen, pbyOutData, nOutDataLen);
}

RESULT Cipher::SymEncryptFinal(void* pCipherCtx, uint8_t* pbyOutData, int& nOutDataLen)
{
    return SymFinal(true, pCipherCtx, pbyOutData, nOutDataLen);
}

RESULT Cipher::SymDecryptFinal(void* pCipherCtx, uint8_t* pbyOutData, int& nOutDataLen)
{
    return SymFinal(false, pCipherCtx, pbyOutData, nOutDataLen);
}

RESULT Cipher::SymEvpDestroy(void* pCipherCtx)
{
    EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(pCipherCtx));
    return 0;
}

RESULT Cipher::GenerateSYMKey(uint32_t ulAlgId, int nMode, const uint8_t* pbyData, long nDataLen,
                              uint8_t** ppbyKey, int* pnKeyLen, uint8_t** ppbyIV, int* pnIVLen)
{
    static const char* const kFn = "Cipher::GenerateSYMKey";
    if (pbyData == nullptr) {
        return CipherStepFailed(kFn, "check pData", ERROR_INVALID_PARAMETER);
    }
    if (nDataLen <= 0 || !CipherFitsInt(nDataLen)) {
        return CipherStepFailed(kFn, "check nDataLen", ERROR_INVALID_PARAMETER);
    }
    if (ppbyKey == nullptr || pnKeyLen == nullptr || ppbyIV == nullptr || pnIVLen == nullptr) {
        return CipherStepFailed(kFn, "check out parameters", ERROR_INVALID_PARAMETER);
    }
    CipherEvpCipherPtr pCipher(EVPSymEnc(ulAlgId, nMode));
    CipherMdPtr pMd5 = CipherFetchMd("MD5");
    if (!pCipher || !pMd5) {
        return CipherStepFailed(kFn, "EVP_BytesToKey", NTE_FAIL);
    }
    uint8_t byKey[EVP_MAX_KEY_LENGTH] = {0};
    uint8_t byIV[EVP_MAX_IV_LENGTH] = {0};
    const int nKeyLen = EVP_CIPHER_get_key_length(pCipher.get());
    const int nIVLen = EVP_CIPHER_get_iv_length(pCipher.get());
    RESULT ulResult = 0;
    uint8_t* pbyKey = nullptr;
    uint8_t* pbyIV = nullptr;
    if (EVP_BytesToKey(pCipher.get(), pMd5.get(), nullptr, pbyData, static_cast<int>(nDataLen), 1,
                       byKey, byIV) != nKeyLen ||
        nKeyLen <= 0) {
        ulResult = CipherStepFailed(kFn, "EVP_BytesToKey", NTE_FAIL);
    } else {
        pbyKey = new (std::nothrow) uint8_t[nKeyLen];
        pbyIV = nIVLen > 0 ? new (std::nothrow) uint8_t[nIVLen] : nullptr;
        if (pbyKey == nullptr || (nIVLen > 0 && pbyIV == nullptr)) {
            delete[] pbyKey;
            delete[] pbyIV;
            ulResult = CipherStepFailed(kFn, "new key and iv", NTE_NO_MEMORY);
        }
    }
    if (ulResult == 0) {
        CipherStepPassed(kFn, "EVP_BytesToKey");
        memcpy(pbyKey, byKey, nKeyLen);
        if (nIVLen > 0) {
            memcpy(pbyIV, byIV, nIVLen);
        }
        *ppbyKey = pbyKey;
        *pnKeyLen = nKeyLen;
        *ppbyIV = pbyIV;
        *pnIVLen = nIVLen;
    }
    OPENSSL_cleanse(byKey, sizeof(byKey));
    OPENSSL_cleanse(byIV, sizeof(byIV));
    return ulResult;
}
