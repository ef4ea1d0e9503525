#include "core/crypto/CipherSm3Kdf.h"

#include <algorithm>
#include <cstring>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "core/crypto/CipherOwners.h"

bool CipherSm3Kdf(const uint8_t* pbySecret, size_t nSecretLen, uint8_t* pbyOut, size_t nOutLen)
{
    if ((pbySecret == nullptr && nSecretLen > 0) || (pbyOut == nullptr && nOutLen > 0)) {
        return false;
    }
    CipherMdPtr pSm3 = CipherFetchMd("SM3");
    CipherMdCtxPtr pCtx(EVP_MD_CTX_new());
    if (!pSm3 || !pCtx) {
        return false;
    }
    uint8_t byBlock[EVP_MAX_MD_SIZE] = {0};
    bool bOk = true;
    uint32_t ulCounter = 1;
    for (size_t nDone = 0; bOk && nDone < nOutLen; ++ulCounter) {
        const uint8_t byCounter[4] = {
            static_cast<uint8_t>(ulCounter >> 24), static_cast<uint8_t>(ulCounter >> 16),
            static_cast<uint8_t>(ulCounter >> 8), static_cast<uint8_t>(ulCounter)};
        unsigned int nBlockLen = 0;
        bOk = EVP_DigestInit_ex2(pCtx.get(), pSm3.get(), nullptr) == 1 &&
              (nSecretLen == 0 || EVP_DigestUpdate(pCtx.get(), pbySecret, nSecretLen) == 1) &&
              EVP_DigestUpdate(pCtx.get(), byCounter, sizeof(byCounter)) == 1 &&
              EVP_DigestFinal_ex(pCtx.get(), byBlock, &nBlockLen) == 1 && nBlockLen > 0;
        if (bOk) {
            const size_t nTake = std::min<size_t>(nBlockLen, nOutLen - nDone);
            memcpy(pbyOut + nDone, byBlock, nTake);
            nDone += nTake;
        }
    }
    OPENSSL_cleanse(byBlock, sizeof(byBlock));
    if (!bOk && nOutLen > 0) {
        OPENSSL_cleanse(pbyOut, nOutLen);
    }
    return bOk;
}
