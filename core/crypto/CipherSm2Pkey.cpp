#include "core/crypto/CipherSm2Pkey.h"

#include <openssl/core_names.h>


using namespace CipherPkey;

namespace CipherSm2Pkey {
namespace {

// n - 1 for the order n of the recommended 256-bit curve (GB/T 32918.5).
const unsigned char g_abyOrderMinusOne[kScalarSize] = {
    0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0x72, 0x03, 0xDF, 0x6B, 0x21, 0xC6, 0x05, 0x2B, 0x53, 0xBB, 0xF4, 0x09, 0x39, 0xD5, 0x41, 0x22,
};

PkeyPtr FromParams(OSSL_PARAM_BLD* pBuilder, int nSelection)
{
    if (OSSL_PARAM_BLD_push_utf8_string(pBuilder, OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0) != 1) {
        return PkeyPtr();
    }
    ParamPtr pParams(OSSL_PARAM_BLD_to_param(pBuilder));
    // Key type "SM2": an "EC" key on the SM2 curve would not sign or encrypt
    // the SM2 way.
    PkeyCtxPtr pCtx = NewKeyCtx("SM2");
    if (!pParams || !pCtx || EVP_PKEY_fromdata_init(pCtx.get()) != 1) {
        return PkeyPtr();
    }
    EVP_PKEY* pKey = nullptr;
    if (EVP_PKEY_fromdata(pCtx.get(), &pKey, nSelection, pParams.get()) != 1) {
        return PkeyPtr();
    }
    return PkeyPtr(pKey);
}

}  // namespace

bool IsUsableScalar(const unsigned char* pbyD)
{
    bool bZero = true;
    for (size_t i = 0; i < kScalarSize; ++i) {
        bZero = bZero && pbyD[i] == 0;
    }
    return !bZero && memcmp(pbyD, g_abyOrderMinusOne, kScalarSize) < 0;
}

PkeyPtr PrivateFromScalar(const unsigned char* pbyD)
{
    if (!IsUsableScalar(pbyD)) {
        return PkeyPtr();
    }
    // Signing and decryption need d alone; the public point is not derived.
    SecretBnPtr pD = BnFromBytes(pbyD, kScalarSize);
    ParamBldPtr pBuilder(OSSL_PARAM_BLD_new());
    if (!pD || !pBuilder || OSSL_PARAM_BLD_push_BN(pBuilder.get(), OSSL_PKEY_PARAM_PRIV_KEY, pD.get()) != 1) {
        return PkeyPtr();
    }
    return FromParams(pBuilder.get(), EVP_PKEY_KEYPAIR);
}

PkeyPtr PublicFromPoint(const unsigned char* pbyX, const unsigned char* pbyY)
{
    unsigned char abyPoint[1 + kPointSize];
    abyPoint[0] = 0x04;  // uncompressed
    memcpy(abyPoint + 1, pbyX, kScalarSize);
    memcpy(abyPoint + 1 + kScalarSize, pbyY, kScalarSize);
    ParamBldPtr pBuilder(OSSL_PARAM_BLD_new());
    if (!pBuilder ||
        OSSL_PARAM_BLD_push_octet_string(pBuilder.get(), OSSL_PKEY_PARAM_PUB_KEY, abyPoint, sizeof(abyPoint)) != 1) {
        return PkeyPtr();
    }
    return FromParams(pBuilder.get(), EVP_PKEY_PUBLIC_KEY);
}

}  // namespace CipherSm2Pkey
