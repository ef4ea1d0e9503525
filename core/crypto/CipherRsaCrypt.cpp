// RSA public-key encryption and private-key decryption with a caller-chosen
// padding type.
#include <openssl/rsa.h>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherPkeyUtil.h"
#include "core/crypto/CipherRsaPkey.h"

using namespace CipherPkey;

namespace {

RESULT CheckCryptArguments(const char* pszFunction, const unsigned char* pbyInput, int nInputSize,
                           unsigned char** ppbyOutput, int* pnOutputSize, int nPaddingType)
{
    // An empty input is the library's to judge (it fits no padding type).
    if (RESULT r = Step(pszFunction, "Check pbyPlainData", pbyInput != nullptr && nInputSize >= 0,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(pszFunction, "Check ppbyEncryptedData", ppbyOutput != nullptr && pnOutputSize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    return Step(pszFunction, "Check nPadingType", nPaddingType >= 0, ERROR_INVALID_PARAMETER);
}

// One library pass with the key: encryption or decryption into a buffer of
// the modulus length, handed out with the length the library reports.
RESULT Transform(const char* pszFunction, EVP_PKEY* pKey, int nModulusSize, bool bEncrypt,
                 const unsigned char* pbyInput, int nInputSize, unsigned char** ppbyOutput, int* pnOutputSize,
                 int nPaddingType)
{
    if (RESULT r = Step(pszFunction, "RSA_size", nModulusSize > 0, NTE_BAD_LEN)) {
        return r;
    }
    Bytes output;
    if (!output.Allocate(static_cast<size_t>(nModulusSize))) {
        return Step(pszFunction, "new", false, NTE_NO_MEMORY);
    }
    size_t nOutputSize = output.Size();
    PkeyCtxPtr pCtx = NewKeyCtx(pKey);
    bool bDone = pCtx != nullptr;
    if (bDone) {
        bDone = (bEncrypt ? EVP_PKEY_encrypt_init(pCtx.get()) : EVP_PKEY_decrypt_init(pCtx.get())) == 1 &&
                EVP_PKEY_CTX_set_rsa_padding(pCtx.get(), nPaddingType) == 1;
    }
    if (bDone) {
        const size_t nIn = static_cast<size_t>(nInputSize);
        bDone = (bEncrypt ? EVP_PKEY_encrypt(pCtx.get(), output.Data(), &nOutputSize, pbyInput, nIn)
                          : EVP_PKEY_decrypt(pCtx.get(), output.Data(), &nOutputSize, pbyInput, nIn)) == 1 &&
                nOutputSize <= output.Size();
    }
    if (RESULT r = Step(pszFunction, bEncrypt ? "RSA_public_encrypt" : "RSA_private_decrypt", bDone, NTE_BAD_LEN)) {
        return r;
    }
    output.Shrink(nOutputSize);
    output.HandOut(ppbyOutput, pnOutputSize);
    return 0;
}

}  // namespace

RESULT Cipher::RSAEncrypt(const unsigned char* pbyPublicKey, int nPublicKeySize, const unsigned char* pbyPlainData,
                          int nPlainDataSize, unsigned char** ppbyEncryptedData, int* pnEncryptedDataSize,
                          int nPaddingType)
{
    const char* F = __func__;
    if (RESULT r = CheckCryptArguments(F, pbyPlainData, nPlainDataSize, ppbyEncryptedData, pnEncryptedDataSize,
                                       nPaddingType)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyPublicKey", IsInput(pbyPublicKey, nPublicKeySize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    int nModulusSize = 0;
    PkeyPtr pKey = CipherRsaPkey::PublicFromDer(pbyPublicKey, nPublicKeySize, &nModulusSize);
    if (RESULT r = Step(F, "d2i_RSAPublicKey", pKey != nullptr, NTE_FAIL)) {
        return r;
    }
    return Transform(F, pKey.get(), nModulusSize, true, pbyPlainData, nPlainDataSize, ppbyEncryptedData,
                     pnEncryptedDataSize, nPaddingType);
}

RESULT Cipher::RSAEncrypt(const unsigned char* pbyN, int nNSize, const unsigned char* pbyE, int nESize,
                          const unsigned char* pbyPlainData, int nPlainDataSize, unsigned char** ppbyEncryptedData,
                          int* pnEncryptedDataSize, int nPaddingType)
{
    const char* F = __func__;
    if (RESULT r = CheckCryptArguments(F, pbyPlainData, nPlainDataSize, ppbyEncryptedData, pnEncryptedDataSize,
                                       nPaddingType)) {
        return r;
    }
    unsigned char* pbyPublicKey = nullptr;
    int nPublicKeySize = 0;
    if (RESULT r = ConstructRSAPublicKeyData(pbyN, nNSize, pbyE, nESize, &pbyPublicKey, &nPublicKeySize)) {
        return Step(F, "ConstructRSAPublicKeyData", false, r);
    }
    Bytes publicKey;
    publicKey.Adopt(pbyPublicKey, static_cast<size_t>(nPublicKeySize));
    int nModulusSize = 0;
    PkeyPtr pKey = CipherRsaPkey::PublicFromDer(publicKey.Data(), nPublicKeySize, &nModulusSize);
    if (RESULT r = Step(F, "d2i_RSAPublicKey", pKey != nullptr, NTE_FAIL)) {
        return r;
    }
    return Transform(F, pKey.get(), nModulusSize, true, pbyPlainData, nPlainDataSize, ppbyEncryptedData,
                     pnEncryptedDataSize, nPaddingType);
}

RESULT Cipher::RSADecrypt(const unsigned char* pbyPrivateKey, int nPrivateKeySize,
                          const unsigned char* pbyEncryptedData, int nEncryptedDataSize, unsigned char** ppbyPlainData,
                          int* pnPlainDataSize, int nPaddingType)
{
    const char* F = __func__;
    if (RESULT r = CheckCryptArguments(F, pbyEncryptedData, nEncryptedDataSize, ppbyPlainData, pnPlainDataSize,
                                       nPaddingType)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyPrivateKey", IsInput(pbyPrivateKey, nPrivateKeySize),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    int nModulusSize = 0;
    PkeyPtr pKey = CipherRsaPkey::PrivateFromDer(pbyPrivateKey, nPrivateKeySize, &nModulusSize);
    if (RESULT r = Step(F, "d2i_RSAPrivateKey", pKey != nullptr, NTE_FAIL)) {
        return r;
    }
    return Transform(F, pKey.get(), nModulusSize, false, pbyEncryptedData, nEncryptedDataSize, ppbyPlainData,
                     pnPlainDataSize, nPaddingType);
}
