// RSA key generation and conversion between PKCS#1 DER and components.
#include <openssl/core_names.h>
#include <openssl/rsa.h>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherPkeyUtil.h"
#include "core/crypto/CipherRsaDer.h"

using namespace CipherPkey;
using CipherRsaDer::Span;

namespace {

// The library's own ceiling for RSA operations; larger keys would only cost
// unbounded generation time and then be refused.
constexpr int kMaxRsaBits = 16384;

// An int exponent is taken as its unsigned 32-bit value, so 4-byte exponents
// read from a template keep their meaning.
Span ExponentBytes(int nPublicExponent, unsigned char (&abyBuffer)[4])
{
    const uint32_t uExponent = static_cast<uint32_t>(nPublicExponent);
    abyBuffer[0] = static_cast<unsigned char>(uExponent >> 24);
    abyBuffer[1] = static_cast<unsigned char>(uExponent >> 16);
    abyBuffer[2] = static_cast<unsigned char>(uExponent >> 8);
    abyBuffer[3] = static_cast<unsigned char>(uExponent);
    return CipherRsaDer::Magnitude(abyBuffer, sizeof(abyBuffer));
}

// Copies one requested component into a new buffer, to be handed out once
// every request has succeeded.
RESULT StagePart(const char* pszFunction, const Span& part, Bytes& staged)
{
    if (RESULT r = Step(pszFunction, "Check buffer size", part.nSize != 0, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (!CopyBytes(part.pbyData, part.nSize, staged)) {
        return Step(pszFunction, "new", false, NTE_NO_MEMORY);
    }
    return 0;
}

RESULT EncodePublic(const char* pszFunction, const Span& n, const Span& e, unsigned char** ppbyPublicKey,
                    int* pnPublicKeySize)
{
    if (RESULT r = Step(pszFunction, "BN_bin2bn(n)", n.nSize != 0, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(pszFunction, "BN_bin2bn(e)", e.nSize != 0, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    const Span aParts[CipherRsaDer::kPublicCount] = {n, e};
    Bytes der;
    if (RESULT r = Step(pszFunction, "i2d_RSAPublicKey", CipherRsaDer::EncodePublicKey(aParts, der), NTE_FAIL)) {
        return r;
    }
    der.HandOut(ppbyPublicKey, pnPublicKeySize);
    return 0;
}

}  // namespace

RESULT Cipher::GenerateRSAKeyPair(int nBits, int nPublicExponent, unsigned char** ppbyPrivateKey,
                                  int* pnPrivateKeySize, unsigned char** ppbyPublicKey, int* pnPublicKeySize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check ppbyPrivateKey", ppbyPrivateKey != nullptr && pnPrivateKeySize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check ppbyPublicKey", ppbyPublicKey != nullptr && pnPublicKeySize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check nBits", nBits > 0 && nBits <= kMaxRsaBits, ERROR_INVALID_PARAMETER)) {
        return r;
    }

    unsigned char abyExponent[4];
    const Span exponent = ExponentBytes(nPublicExponent, abyExponent);
    SecretBnPtr pExponent = BnFromBytes(exponent.pbyData, exponent.nSize);
    PkeyCtxPtr pCtx = NewKeyCtx("RSA");
    EVP_PKEY* pRawKey = nullptr;
    const bool bGenerated = pExponent && pCtx && EVP_PKEY_keygen_init(pCtx.get()) == 1 &&
                            EVP_PKEY_CTX_set_rsa_keygen_bits(pCtx.get(), nBits) == 1 &&
                            EVP_PKEY_CTX_set1_rsa_keygen_pubexp(pCtx.get(), pExponent.get()) == 1 &&
                            EVP_PKEY_generate(pCtx.get(), &pRawKey) == 1;
    PkeyPtr pKey(pRawKey);
    if (RESULT r = Step(F, "RSA_generate_key", bGenerated, NTE_FAIL)) {
        return r;
    }

    static const char* const apszNames[CipherRsaDer::kPrivateCount] = {
        OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,         OSSL_PKEY_PARAM_RSA_D,
        OSSL_PKEY_PARAM_RSA_FACTOR1,   OSSL_PKEY_PARAM_RSA_FACTOR2,   OSSL_PKEY_PARAM_RSA_EXPONENT1,
        OSSL_PKEY_PARAM_RSA_EXPONENT2, OSSL_PKEY_PARAM_RSA_COEFFICIENT1,
    };
    Bytes aBytes[CipherRsaDer::kPrivateCount];
    Span aParts[CipherRsaDer::kPrivateCount];
    bool bRead = true;
    for (size_t i = 0; i < CipherRsaDer::kPrivateCount && bRead; ++i) {
        BIGNUM* pRawNumber = nullptr;
        bRead = EVP_PKEY_get_bn_param(pKey.get(), apszNames[i], &pRawNumber) == 1;
        SecretBnPtr pNumber(pRawNumber);
        bRead = bRead && BnToBytes(pNumber.get(), aBytes[i]);
        aParts[i] = CipherRsaDer::Magnitude(aBytes[i].Data(), aBytes[i].Size());
    }
    Bytes privateDer;
    if (RESULT r = Step(F, "i2d_RSAPrivateKey", bRead && CipherRsaDer::EncodePrivateKey(aParts, privateDer),
                        NTE_FAIL)) {
        return r;
    }
    const Span aPublic[CipherRsaDer::kPublicCount] = {aParts[CipherRsaDer::kN], aParts[CipherRsaDer::kE]};
    Bytes publicDer;
    if (RESULT r = Step(F, "i2d_RSAPublicKey", CipherRsaDer::EncodePublicKey(aPublic, publicDer), NTE_FAIL)) {
        return r;
    }
    privateDer.HandOut(ppbyPrivateKey, pnPrivateKeySize);
    publicDer.HandOut(ppbyPublicKey, pnPublicKeySize);
    return 0;
}

RESULT Cipher::GetRSAPublicKeyParameter(const unsigned char* pbyPublicKey, int nPublicKeySize, int nDataType,
                                        unsigned char** ppbyData, int* pnDataSize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyPublicKey", IsInput(pbyPublicKey, nPublicKeySize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check ppbyData", ppbyData != nullptr && pnDataSize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    Span aParts[CipherRsaDer::kPublicCount];
    if (RESULT r = Step(F, "d2i_RSAPublicKey",
                        CipherRsaDer::ParsePublicKey(pbyPublicKey, static_cast<size_t>(nPublicKeySize), aParts),
                        NTE_BAD_KEY)) {
        return r;
    }
    if (RESULT r = Step(F, "Check data type", nDataType == 1 || nDataType == 2, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    const Span& part = aParts[nDataType == 1 ? CipherRsaDer::kPubN : CipherRsaDer::kPubE];
    Bytes staged;
    if (RESULT r = StagePart(F, part, staged)) {
        return r;
    }
    staged.HandOut(ppbyData, pnDataSize);
    return 0;
}

RESULT Cipher::GetRSAPrivateKeyParameter(const unsigned char* pbyPrivateKey, int nPrivateKeySize,
                                         unsigned char** ppbyN, int* pnNSize, unsigned char** ppbyE, int* pnESize,
                                         unsigned char** ppbyP, int* pnPSize, unsigned char** ppbyQ, int* pnQSize,
                                         unsigned char** ppbyDmp1, int* pnDmp1Size, unsigned char** ppbyDmq1,
                                         int* pnDmq1Size, unsigned char** ppbyIqmp, int* pnIqmpSize,
                                         unsigned char** ppbyD, int* pnDSize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyPrivateKey", IsInput(pbyPrivateKey, nPrivateKeySize),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    // Requested components in the order of the arguments, with their
    // position in the DER structure.
    struct Request {
        size_t nIndex;
        unsigned char** ppbyOut;
        int* pnOutSize;
    };
    const Request aRequests[] = {
        {CipherRsaDer::kN, ppbyN, pnNSize},          {CipherRsaDer::kE, ppbyE, pnESize},
        {CipherRsaDer::kP, ppbyP, pnPSize},          {CipherRsaDer::kQ, ppbyQ, pnQSize},
        {CipherRsaDer::kDmp1, ppbyDmp1, pnDmp1Size}, {CipherRsaDer::kDmq1, ppbyDmq1, pnDmq1Size},
        {CipherRsaDer::kIqmp, ppbyIqmp, pnIqmpSize}, {CipherRsaDer::kD, ppbyD, pnDSize},
    };
    bool bOutsPaired = true;
    for (const Request& request : aRequests) {
        bOutsPaired = bOutsPaired && (request.ppbyOut == nullptr || request.pnOutSize != nullptr);
    }
    if (RESULT r = Step(F, "Check out lengths", bOutsPaired, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    Span aParts[CipherRsaDer::kPrivateCount];
    if (RESULT r = Step(F, "d2i_RSAPrivateKey",
                        CipherRsaDer::ParsePrivateKey(pbyPrivateKey, static_cast<size_t>(nPrivateKeySize), aParts),
                        NTE_BAD_KEY)) {
        return r;
    }
    for (const Span& part : aParts) {
        if (RESULT r = Step(F, "Check buffer size", part.nSize != 0, ERROR_INVALID_PARAMETER)) {
            return r;
        }
    }
    // Staged first, so that a failure hands out nothing.
    Bytes aStaged[CipherRsaDer::kPrivateCount];
    for (size_t i = 0; i < CipherRsaDer::kPrivateCount; ++i) {
        if (aRequests[i].ppbyOut == nullptr) {
            continue;
        }
        if (RESULT r = StagePart(F, aParts[aRequests[i].nIndex], aStaged[i])) {
            return r;
        }
    }
    for (size_t i = 0; i < CipherRsaDer::kPrivateCount; ++i) {
        if (aRequests[i].ppbyOut != nullptr) {
            aStaged[i].HandOut(aRequests[i].ppbyOut, aRequests[i].pnOutSize);
        }
    }
    return 0;
}

RESULT Cipher::ConstructRSAPublicKeyData(const unsigned char* pbyN, int nNSize, int nPublicExponent,
                                         unsigned char** ppbyPublicKey, int* pnPublicKeySize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyN", IsInput(pbyN, nNSize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check ppbyPublicKey", ppbyPublicKey != nullptr && pnPublicKeySize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    unsigned char abyExponent[4];
    return EncodePublic(F, CipherRsaDer::Magnitude(pbyN, static_cast<size_t>(nNSize)),
                        ExponentBytes(nPublicExponent, abyExponent), ppbyPublicKey, pnPublicKeySize);
}

RESULT Cipher::ConstructRSAPublicKeyData(const unsigned char* pbyN, int nNSize, const unsigned char* pbyE,
                                         int nESize, unsigned char** ppbyPublicKey, int* pnPublicKeySize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyN", IsInput(pbyN, nNSize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyE", IsInput(pbyE, nESize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check ppbyPublicKey", ppbyPublicKey != nullptr && pnPublicKeySize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    return EncodePublic(F, CipherRsaDer::Magnitude(pbyN, static_cast<size_t>(nNSize)),
                        CipherRsaDer::Magnitude(pbyE, static_cast<size_t>(nESize)), ppbyPublicKey,
                        pnPublicKeySize);
}

RESULT Cipher::ConstructRSAPrivateKeyData(const unsigned char* pbyN, int nNSize, const unsigned char* pbyE,
                                          int nESize, const unsigned char* pbyP, int nPSize,
                                          const unsigned char* pbyQ, int nQSize, const unsigned char* pbyDmp1,
                                          int nDmp1Size, const unsigned char* pbyDmq1, int nDmq1Size,
                                          const unsigned char* pbyIqmp, int nIqmpSize, const unsigned char* pbyD,
                                          int nDSize, unsigned char** ppbyPrivateKey, int* pnPrivateKeySize)
{
    const char* F = __func__;
    // Arguments in call order, with the label of their conversion and their
    // position in the DER structure.
    struct Input {
        const unsigned char* pbyData;
        int nSize;
        const char* pszLabel;
        size_t nIndex;
    };
    const Input aInputs[] = {
        {pbyN, nNSize, "BN_bin2bn(n)", CipherRsaDer::kN},
        {pbyE, nESize, "BN_bin2bn(e)", CipherRsaDer::kE},
        {pbyP, nPSize, "BN_bin2bn(p)", CipherRsaDer::kP},
        {pbyQ, nQSize, "BN_bin2bn(q)", CipherRsaDer::kQ},
        {pbyDmp1, nDmp1Size, "BN_bin2bn(dmp1)", CipherRsaDer::kDmp1},
        {pbyDmq1, nDmq1Size, "BN_bin2bn(dmq1)", CipherRsaDer::kDmq1},
        {pbyIqmp, nIqmpSize, "BN_bin2bn(iqmp)", CipherRsaDer::kIqmp},
        {pbyD, nDSize, "BN_bin2bn(d)", CipherRsaDer::kD},
    };
    if (RESULT r = Step(F, "Check ppbyPrivateKey", ppbyPrivateKey != nullptr && pnPrivateKeySize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    Span aParts[CipherRsaDer::kPrivateCount];
    for (const Input& input : aInputs) {
        bool bOk = IsInput(input.pbyData, input.nSize);
        if (bOk) {
            aParts[input.nIndex] = CipherRsaDer::Magnitude(input.pbyData, static_cast<size_t>(input.nSize));
            bOk = aParts[input.nIndex].nSize != 0;
        }
        if (RESULT r = Step(F, input.pszLabel, bOk, ERROR_INVALID_PARAMETER)) {
            return r;
        }
    }
    Bytes der;
    if (RESULT r = Step(F, "i2d_RSAPrivateKey", CipherRsaDer::EncodePrivateKey(aParts, der), NTE_FAIL)) {
        return r;
    }
    der.HandOut(ppbyPrivateKey, pnPrivateKeySize);
    return 0;
}

RESULT Cipher::GetRSAPublicKeyLength(const unsigned char* pbyPublicKey, int nPublicKeySize, int* pnModulusSize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyPublicKey", IsInput(pbyPublicKey, nPublicKeySize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pnModulusSize", pnModulusSize != nullptr, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    Span aParts[CipherRsaDer::kPublicCount];
    const bool bParsed =
        CipherRsaDer::ParsePublicKey(pbyPublicKey, static_cast<size_t>(nPublicKeySize), aParts) &&
        aParts[CipherRsaDer::kPubN].nSize != 0;
    if (RESULT r = Step(F, "d2i_RSAPublicKey", bParsed, NTE_BAD_KEY)) {
        return r;
    }
    *pnModulusSize = static_cast<int>(aParts[CipherRsaDer::kPubN].nSize);
    return 0;
}
