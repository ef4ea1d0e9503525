// SM4-CBC sealing of data, directly under a key block or under a PIN text.
#include <cstring>
#include <new>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherLibCtx.h"
#include "core/crypto/CipherOwners.h"
#include "core/crypto/CipherSm3Kdf.h"
#include "core/crypto/CipherSteps.h"

namespace {
constexpr int kSm4Block = 16;
constexpr int kKeyBlockLen = 32;  // IV, then key

// Runs SM4-CBC over the whole input into a new zeroed buffer of nOutSize.
RESULT Sm4Cbc(bool bEncrypt, const char* pszFn, const uint8_t* pbyData, int nDataLen,
              const uint8_t* pbyKeyBlock, int nOutSize, uint8_t** ppbyOutData, int* pnOutDataLen)
{
    const char* const kInit = bEncrypt ? "EVP_EncryptInit_ex" : "EVP_DecryptInit_ex";
    const char* const kUpdate = bEncrypt ? "EVP_EncryptUpdate" : "EVP_DecryptUpdate";
    const char* const kFinal = bEncrypt ? "EVP_EncryptFinal_ex" : "EVP_DecryptFinal_ex";

    OSSL_LIB_CTX* pLibCtx = CipherLibCtx();
    CipherEvpCipherPtr pSm4(pLibCtx ? EVP_CIPHER_fetch(pLibCtx, "SM4-CBC", nullptr) : nullptr);
    CipherCtxPtr pCtx(EVP_CIPHER_CTX_new());
    if (!pCtx) {
        return CipherStepFailed(pszFn, "EVP_CIPHER_CTX_new", NTE_NO_MEMORY);
    }
    if (!pSm4 || EVP_CipherInit_ex2(pCtx.get(), pSm4.get(), pbyKeyBlock + kSm4Block, pbyKeyBlock,
                                    bEncrypt ? 1 : 0, nullptr) != 1) {
        return CipherStepFailed(pszFn, kInit, NTE_FAIL);
    }
    uint8_t* pbyOut = new (std::nothrow) uint8_t[nOutSize]();
    if (pbyOut == nullptr) {
        return CipherStepFailed(pszFn, "Check buffer size", NTE_NO_MEMORY);
    }
    RESULT ulResult = 0;
    int nUpdateLen = 0;
    int nFinalLen = 0;
    if (nDataLen > 0 &&
        EVP_CipherUpdate(pCtx.get(), pbyOut, &nUpdateLen, pbyData, nDataLen) != 1) {
        ulResult = CipherStepFailed(pszFn, kUpdate, NTE_FAIL);
    } else if (EVP_CipherFinal_ex(pCtx.get(), pbyOut + nUpdateLen, &nFinalLen) != 1) {
        ulResult = CipherStepFailed(pszFn, kFinal, NTE_FAIL);
    }
    if (ulResult != 0) {
        OPENSSL_cleanse(pbyOut, nOutSize);
        delete[] pbyOut;
        return ulResult;
    }
    CipherStepPassed(pszFn, kFinal);
    *ppbyOutData = pbyOut;
    *pnOutDataLen = nUpdateLen + nFinalLen;
    return 0;
}

RESULT CheckCbcArguments(const char* pszFn, const uint8_t* pbyData, long nDataLen,
                         const uint8_t* pbyKeyBlock, int nKeyBlockLen, uint8_t** ppbyOutData,
                         int* pnOutDataLen)
{
    if (pbyData == nullptr && nDataLen != 0) {
        return CipherStepFailed(pszFn, "Check pData", ERROR_INVALID_PARAMETER);
    }
    if (pbyKeyBlock == nullptr || nKeyBlockLen < kKeyBlockLen) {
        return CipherStepFailed(pszFn, "Check pKey", ERROR_INVALID_PARAMETER);
    }
    if (ppbyOutData == nullptr || pnOutDataLen == nullptr) {
        return CipherStepFailed(pszFn, "Check ppOutData", ERROR_INVALID_PARAMETER);
    }
    return 0;
}

RESULT SealByPin(bool bEncrypt, const uint8_t* pbyData, long nDataLen, const uint8_t* pbyPIN,
                 long nPINLen, uint8_t** ppbyOutData, int* pnOutDataLen)
{
    const char* const kFn = bEncrypt ? "Cipher::SM4EncryptByPin" : "Cipher::SM4DecryptByPin";
    if (pbyPIN == nullptr) {
        return CipherStepFailed(kFn, "Check pPIN", ERROR_INVALID_PARAMETER);
    }
    if (!CipherFitsInt(nPINLen)) {
        return CipherStepFailed(kFn, "Check nPINLen", ERROR_INVALID_PARAMETER);
    }
    uint8_t byKeyBlock[kKeyBlockLen] = {0};
    if (!CipherSm3Kdf(pbyPIN, static_cast<size_t>(nPINLen), byKeyBlock, sizeof(byKeyBlock))) {
        return CipherStepFailed(kFn, "_SM2_KDF", NTE_FAIL);
    }
    CipherStepPassed(kFn, "_SM2_KDF");
    const RESULT ulResult =
        bEncrypt ? Cipher::SM4_Encrypt_CBC(pbyData, nDataLen, byKeyBlock, kKeyBlockLen,
                                           ppbyOutData, pnOutDataLen)
                 : Cipher::SM4_Decrypt_CBC(pbyData, nDataLen, byKeyBlock, kKeyBlockLen,
                                           ppbyOutData, pnOutDataLen);
    OPENSSL_cleanse(byKeyBlock, sizeof(byKeyBlock));
    const char* const kCbc = bEncrypt ? "SM4_Encrypt_CBC" : "SM4_Decrypt_CBC";
    if (ulResult != 0) {
        return CipherStepFailed(kFn, kCbc, ulResult);
    }
    CipherStepPassed(kFn, kCbc);
    return 0;
}
}  // namespace

RESULT Cipher::SM4_Encrypt_CBC(const uint8_t* pbyData, long nDataLen, const uint8_t* pbyKeyBlock,
                               int nKeyBlockLen, uint8_t** ppbyOutData, int* pnOutDataLen)
{
    static const char* const kFn = "Cipher::SM4_Encrypt_CBC";
    RESULT ulResult = CheckCbcArguments(kFn, pbyData, nDataLen, pbyKeyBlock, nKeyBlockLen,
                                        ppbyOutData, pnOutDataLen);
    if (ulResult != 0) {
        return ulResult;
    }
    // Padding always adds 1 to 16 bytes; the result must still fit an int.
    const long nOutSize =
        CipherFitsInt(nDataLen) ? (nDataLen / kSm4Block) * kSm4Block + kSm4Block : 0;
    if (nOutSize <= 0 || !CipherFitsInt(nOutSize)) {
        return CipherStepFailed(kFn, "Check buffer size", ERROR_INVALID_PARAMETER);
    }
    CipherStepPassed(kFn, "Check buffer size");
    return Sm4Cbc(true, kFn, pbyData, static_cast<int>(nDataLen), pbyKeyBlock,
                  static_cast<int>(nOutSize), ppbyOutData, pnOutDataLen);
}

RESULT Cipher::SM4_Decrypt_CBC(const uint8_t* pbyData, long nDataLen, const uint8_t* pbyKeyBlock,
                               int nKeyBlockLen, uint8_t** ppbyOutData, int* pnOutDataLen)
{
    static const char* const kFn = "Cipher::SM4_Decrypt_CBC";
    RESULT ulResult = CheckCbcArguments(kFn, pbyData, nDataLen, pbyKeyBlock, nKeyBlockLen,
                                        ppbyOutData, pnOutDataLen);
    if (ulResult != 0) {
        return ulResult;
    }
    const long nOutSize = CipherFitsInt(nDataLen) ? nDataLen + kSm4Block : 0;
    if (nOutSize <= 0 || !CipherFitsInt(nOutSize)) {
        return CipherStepFailed(kFn, "Check buffer size", ERROR_INVALID_PARAMETER);
    }
    CipherStepPassed(kFn, "Check buffer size");
    return Sm4Cbc(false, kFn, pbyData, static_cast<int>(nDataLen), pbyKeyBlock,
                  static_cast<int>(nOutSize), ppbyOutData, pnOutDataLen);
}

RESULT Cipher::SM4EncryptByPin(const uint8_t* pbyData, long nDataLen, const char* pszPIN,
                               uint8_t** ppbyOutData, int* pnOutDataLen)
{
    if (pszPIN == nullptr) {
        return CipherStepFailed("Cipher::SM4EncryptByPin", "Check pszPIN", ERROR_INVALID_PARAMETER);
    }
    return SealByPin(true, pbyData, nDataLen, reinterpret_cast<const uint8_t*>(pszPIN),
                     static_cast<long>(strlen(pszPIN)), ppbyOutData, pnOutDataLen);
}

RESULT Cipher::SM4DecryptByPin(const uint8_t* pbyData, long nDataLen, const char* pszPIN,
                               uint8_t** ppbyOutData, int* pnOutDataLen)
{
    if (pszPIN == nullptr) {
        return CipherStepFailed("Cipher::SM4DecryptByPin", "Check pszPIN", ERROR_INVALID_PARAMETER);
    }
    return SealByPin(false, pbyData, nDataLen, reinterpret_cast<const uint8_t*>(pszPIN),
                     static_cast<long>(strlen(pszPIN)), ppbyOutData, pnOutDataLen);
}

RESULT Cipher::SM4EncryptByPin(const uint8_t* pbyData, long nDataLen, const uint8_t* pbyPIN,
                               long nPINLen, uint8_t** ppbyOutData, int* pnOutDataLen)
{
    return SealByPin(true, pbyData, nDataLen, pbyPIN, nPINLen, ppbyOutData, pnOutDataLen);
}

RESULT Cipher::SM4DecryptByPin(const uint8_t* pbyData, long nDataLen, const uint8_t* pbyPIN,
                               long nPINLen, uint8_t** ppbyOutData, int* pnOutDataLen)
{
    return SealByPin(false, pbyData, nDataLen, pbyPIN, nPINLen, ppbyOutData, pnOutDataLen);
}
