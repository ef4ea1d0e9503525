#include "core/crypto/CipherRsaPkey.h"

#include <openssl/core_names.h>


using namespace CipherPkey;
using CipherRsaDer::Span;

namespace CipherRsaPkey {
namespace {

struct ParamName {
    size_t nIndex;
    const char* pszName;
};

template <size_t N, size_t M>
PkeyPtr FromParts(const Span (&aParts)[N], const ParamName (&aNames)[M], int nSelection)
{
    // Decoding a key from components allows no zero modulus or exponent.
    if (aParts[0].nSize == 0 || aParts[1].nSize == 0) {
        return PkeyPtr();
    }
    ParamBldPtr pBuilder(OSSL_PARAM_BLD_new());
    if (!pBuilder) {
        return PkeyPtr();
    }
    SecretBnPtr aNumbers[M];
    for (size_t i = 0; i < M; ++i) {
        const Span& part = aParts[aNames[i].nIndex];
        aNumbers[i] = BnFromBytes(part.pbyData, part.nSize);
        if (!aNumbers[i] || !OSSL_PARAM_BLD_push_BN(pBuilder.get(), aNames[i].pszName, aNumbers[i].get())) {
            return PkeyPtr();
        }
    }
    ParamPtr pParams(OSSL_PARAM_BLD_to_param(pBuilder.get()));
    PkeyCtxPtr pCtx = NewKeyCtx("RSA");
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

PkeyPtr PublicFromParts(const Span (&aParts)[CipherRsaDer::kPublicCount])
{
    static const ParamName aNames[] = {
        {CipherRsaDer::kPubN, OSSL_PKEY_PARAM_RSA_N},
        {CipherRsaDer::kPubE, OSSL_PKEY_PARAM_RSA_E},
    };
    return FromParts(aParts, aNames, EVP_PKEY_PUBLIC_KEY);
}

PkeyPtr PrivateFromParts(const Span (&aParts)[CipherRsaDer::kPrivateCount])
{
    static const ParamName aNames[] = {
        {CipherRsaDer::kN, OSSL_PKEY_PARAM_RSA_N},
        {CipherRsaDer::kE, OSSL_PKEY_PARAM_RSA_E},
        {CipherRsaDer::kD, OSSL_PKEY_PARAM_RSA_D},
        {CipherRsaDer::kP, OSSL_PKEY_PARAM_RSA_FACTOR1},
        {CipherRsaDer::kQ, OSSL_PKEY_PARAM_RSA_FACTOR2},
        {CipherRsaDer::kDmp1, OSSL_PKEY_PARAM_RSA_EXPONENT1},
        {CipherRsaDer::kDmq1, OSSL_PKEY_PARAM_RSA_EXPONENT2},
        {CipherRsaDer::kIqmp, OSSL_PKEY_PARAM_RSA_COEFFICIENT1},
    };
    // A private key needs its private exponent.
    if (aParts[CipherRsaDer::kD].nSize == 0) {
        return PkeyPtr();
    }
    return FromParts(aParts, aNames, EVP_PKEY_KEYPAIR);
}

PkeyPtr PublicFromDer(const unsigned char* pbyDer, int nDerSize, int* pnModulusSize)
{
    Span aParts[CipherRsaDer::kPublicCount];
    if (nDerSize <= 0 || !CipherRsaDer::ParsePublicKey(pbyDer, static_cast<size_t>(nDerSize), aParts)) {
        return PkeyPtr();
    }
    PkeyPtr pKey = PublicFromParts(aParts);
    if (pKey && pnModulusSize != nullptr) {
        *pnModulusSize = static_cast<int>(aParts[CipherRsaDer::kPubN].nSize);
    }
    return pKey;
}

PkeyPtr PrivateFromDer(const unsigned char* pbyDer, int nDerSize, int* pnModulusSize)
{
    Span aParts[CipherRsaDer::kPrivateCount];
    if (nDerSize <= 0 || !CipherRsaDer::ParsePrivateKey(pbyDer, static_cast<size_t>(nDerSize), aParts)) {
        return PkeyPtr();
    }
    PkeyPtr pKey = PrivateFromParts(aParts);
    if (pKey && pnModulusSize != nullptr) {
        *pnModulusSize = static_cast<int>(aParts[CipherRsaDer::kN].nSize);
    }
    return pKey;
}

}  // namespace CipherRsaPkey
