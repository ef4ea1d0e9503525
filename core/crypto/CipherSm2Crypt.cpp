// SM2 encryption (GB/T 32918.4) in the token's form C1 || C3 || C2.
#include <climits>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherPkeyUtil.h"
#include "core/crypto/CipherSm2Der.h"
#include "core/crypto/CipherSm2Pkey.h"

using namespace CipherPkey;
using CipherSm2Der::kC1Size;
using CipherSm2Der::kC3Size;
using CipherSm2Pkey::kScalarSize;

namespace {

constexpr size_t kOverhead = kC1Size + kC3Size;

// One decryption attempt of the library DER form into exactly nPlainSize
// bytes.
bool DecryptDer(EVP_PKEY* pKey, const Bytes& der, size_t nPlainSize, Bytes& plain)
{
    PkeyCtxPtr pCtx = NewKeyCtx(pKey);
    if (!pCtx || EVP_PKEY_decrypt_init(pCtx.get()) != 1 || !plain.Allocate(nPlainSize)) {
        return false;
    }
    size_t nOutSize = plain.Size();
    if (EVP_PKEY_decrypt(pCtx.get(), plain.Data(), &nOutSize, der.Data(), der.Size()) != 1 ||
        nOutSize != nPlainSize) {
        plain.Reset();
        return false;
    }
    return true;
}

}  // namespace

RESULT Cipher::SM2Encrypt(const unsigned char* pbyPlainData, int nPlainDataSize, const unsigned char* pbyPubKeyX,
                          int nPubKeyXSize, const unsigned char* pbyPubKeyY, int nPubKeyYSize,
                          unsigned char** ppbyEncryptedData, int* pnEncryptedDataSize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyPlainData", pbyPlainData != nullptr, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyPubKeyX", pbyPubKeyX != nullptr, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyPubKeyY", pbyPubKeyY != nullptr, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check ppbyEncryptedData", ppbyEncryptedData != nullptr && pnEncryptedDataSize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check nPubKeyXSize", nPubKeyXSize == static_cast<int>(kScalarSize),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check nPubKeyYSize", nPubKeyYSize == static_cast<int>(kScalarSize),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    // The library does not end for an empty message, and the result length
    // must stay an int.
    if (RESULT r = Step(F, "Check nPlainDataSize",
                        nPlainDataSize > 0 && nPlainDataSize <= INT_MAX - static_cast<int>(kOverhead),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }

    PkeyPtr pKey = CipherSm2Pkey::PublicFromPoint(pbyPubKeyX, pbyPubKeyY);
    PkeyCtxPtr pCtx = NewKeyCtx(pKey.get());
    const size_t nPlainSize = static_cast<size_t>(nPlainDataSize);
    size_t nDerSize = 0;
    bool bEncrypted = pCtx && EVP_PKEY_encrypt_init(pCtx.get()) == 1 &&
                      EVP_PKEY_encrypt(pCtx.get(), nullptr, &nDerSize, pbyPlainData, nPlainSize) == 1;
    Bytes der;
    bEncrypted = bEncrypted && der.Allocate(nDerSize) &&
                 EVP_PKEY_encrypt(pCtx.get(), der.Data(), &nDerSize, pbyPlainData, nPlainSize) == 1;
    Bytes raw;
    bEncrypted = bEncrypted && nDerSize <= der.Size() && CipherSm2Der::DerToRaw(der.Data(), nDerSize, raw) &&
                 raw.Size() == nPlainSize + kOverhead;
    if (RESULT r = Step(F, "_SM2_encrypt", bEncrypted, NTE_FAIL)) {
        return r;
    }
    raw.HandOut(ppbyEncryptedData, pnEncryptedDataSize);
    return 0;
}

RESULT Cipher::SM2Decrypt(const unsigned char* pbyEncryptedData, int nEncryptedDataSize,
                          const unsigned char* pbyPrivateKey, int nPrivateKeySize, unsigned char** ppbyPlainData,
                          int* pnPlainDataSize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyEncryptedData", pbyEncryptedData != nullptr && nEncryptedDataSize >= 0,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyPrivateKey", pbyPrivateKey != nullptr, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check ppbyPlainData", ppbyPlainData != nullptr && pnPlainDataSize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check nPrivateKeySize", nPrivateKeySize == static_cast<int>(kScalarSize),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check buffer size", static_cast<size_t>(nEncryptedDataSize) > kOverhead,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }

    const size_t nPlainSize = static_cast<size_t>(nEncryptedDataSize) - kOverhead;
    const unsigned char* pbyC1 = pbyEncryptedData;
    PkeyPtr pKey = CipherSm2Pkey::PrivateFromScalar(pbyPrivateKey);
    Bytes der;
    Bytes plain;
    // The stored order C1 || C3 || C2 first, then C1 || C2 || C3.
    bool bDecrypted =
        pKey && CipherSm2Der::RawToDer(pbyC1, pbyC1 + kC1Size, pbyC1 + kOverhead, nPlainSize, der) &&
        DecryptDer(pKey.get(), der, nPlainSize, plain);
    if (pKey && !bDecrypted) {
        bDecrypted = CipherSm2Der::RawToDer(pbyC1, pbyC1 + kC1Size + nPlainSize, pbyC1 + kC1Size, nPlainSize, der) &&
                     DecryptDer(pKey.get(), der, nPlainSize, plain);
    }
    if (RESULT r = Step(F, "_SM2_decrypt", bDecrypted, NTE_FAIL)) {
        return r;
    }
    plain.HandOut(ppbyPlainData, pnPlainDataSize);
    return 0;
}
