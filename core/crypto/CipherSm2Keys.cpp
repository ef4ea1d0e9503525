// SM2 key generation in the token's raw forms.
#include <openssl/core_names.h>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherPkeyUtil.h"
#include "core/crypto/CipherSm2Pkey.h"

using namespace CipherPkey;
using CipherSm2Pkey::kPointSize;
using CipherSm2Pkey::kScalarSize;

RESULT Cipher::GenerateSM2KeyPair(unsigned char** ppbyPrivateKey, int* pnPrivateKeySize,
                                  unsigned char** ppbyPublicKeyXY, int* pnPublicKeyXYSize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "check ppPrivateKeyData", ppbyPrivateKey != nullptr && pnPrivateKeySize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "check ppPublicKeyXY", ppbyPublicKeyXY != nullptr && pnPublicKeyXYSize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }

    // One pair is enough: every consumer takes coordinates and d as fixed
    // 32-byte values, so leading zero bytes need no second round.
    PkeyCtxPtr pCtx = NewKeyCtx("SM2");
    EVP_PKEY* pRawKey = nullptr;
    const bool bGenerated =
        pCtx && EVP_PKEY_keygen_init(pCtx.get()) == 1 && EVP_PKEY_generate(pCtx.get(), &pRawKey) == 1;
    PkeyPtr pKey(pRawKey);
    if (RESULT r = Step(F, "_SM2_generate_keypair", bGenerated, NTE_FAIL)) {
        return r;
    }

    Bytes privateKey;
    Bytes publicKey;
    BIGNUM* pRawD = nullptr;
    bool bRead = EVP_PKEY_get_bn_param(pKey.get(), OSSL_PKEY_PARAM_PRIV_KEY, &pRawD) == 1;
    SecretBnPtr pD(pRawD);
    bRead = bRead && privateKey.Allocate(kScalarSize) &&
            BN_bn2binpad(pD.get(), privateKey.Data(), static_cast<int>(kScalarSize)) == static_cast<int>(kScalarSize);
    unsigned char abyPoint[1 + kPointSize] = {0};
    size_t nPointSize = 0;
    bRead = bRead &&
            EVP_PKEY_get_octet_string_param(pKey.get(), OSSL_PKEY_PARAM_PUB_KEY, abyPoint, sizeof(abyPoint),
                                            &nPointSize) == 1 &&
            nPointSize == sizeof(abyPoint) && abyPoint[0] == 0x04 && publicKey.Allocate(kPointSize);
    if (RESULT r = Step(F, "_SM2_generate_keypair", bRead, NTE_FAIL)) {
        return r;
    }
    memcpy(publicKey.Data(), abyPoint + 1, kPointSize);
    privateKey.HandOut(ppbyPrivateKey, pnPrivateKeySize);
    publicKey.HandOut(ppbyPublicKeyXY, pnPublicKeyXYSize);
    return 0;
}
