// SM2 signatures (GB/T 32918.2) over a prepared 32-byte e, as r || s.
#include "core/crypto/Cipher.h"
#include "core/crypto/CipherPkeyUtil.h"
#include "core/crypto/CipherSm2Pkey.h"

using namespace CipherPkey;
using CipherSm2Pkey::kPointSize;
using CipherSm2Pkey::kScalarSize;

namespace {

constexpr size_t kHashSize = 32;
constexpr size_t kSignatureSize = 64;
// SEQUENCE of two INTEGERs of at most 33 content bytes each.
constexpr size_t kMaxDerSignatureSize = 72;

}  // namespace

RESULT Cipher::SM2SignHash(const unsigned char* pbyPrivateKey, int nPrivateKeySize,
                           const unsigned char* pbyRawHashData, int nRawHashSize,
                           unsigned char* pbySM2RawSignatureRS, int* pnSM2RawSignatureRSSize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyPrivateKey", pbyPrivateKey != nullptr, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyRawHashData", pbyRawHashData != nullptr, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check ppbySM2RawSignatureRS",
                        pbySM2RawSignatureRS != nullptr && pnSM2RawSignatureRSSize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check private key size", nPrivateKeySize == static_cast<int>(kScalarSize),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check hash size", nRawHashSize == static_cast<int>(kHashSize), ERROR_INVALID_PARAMETER)) {
        return r;
    }

    PkeyPtr pKey = CipherSm2Pkey::PrivateFromScalar(pbyPrivateKey);
    PkeyCtxPtr pCtx = NewKeyCtx(pKey.get());
    unsigned char abyDer[kMaxDerSignatureSize];
    size_t nDerSize = sizeof(abyDer);
    // The library signs the 32 bytes as e; it does not hash them again.
    bool bSigned = pCtx && EVP_PKEY_sign_init(pCtx.get()) == 1 &&
                   EVP_PKEY_sign(pCtx.get(), abyDer, &nDerSize, pbyRawHashData, kHashSize) == 1;
    unsigned char abySignature[kSignatureSize];
    if (bSigned) {
        const unsigned char* pbyCursor = abyDer;
        EcdsaSigPtr pSignature(d2i_ECDSA_SIG(nullptr, &pbyCursor, static_cast<long>(nDerSize)));
        bSigned = pSignature &&
                  BN_bn2binpad(ECDSA_SIG_get0_r(pSignature.get()), abySignature, 32) == 32 &&
                  BN_bn2binpad(ECDSA_SIG_get0_s(pSignature.get()), abySignature + 32, 32) == 32;
    }
    if (RESULT r = Step(F, "_SM2_sign_ex", bSigned, NTE_FAIL)) {
        return r;
    }
    memcpy(pbySM2RawSignatureRS, abySignature, kSignatureSize);
    *pnSM2RawSignatureRSSize = static_cast<int>(kSignatureSize);
    return 0;
}

RESULT Cipher::SM2VerifySignature(const unsigned char* pbyRawHashData, int nRawHashSize,
                                  const unsigned char* pbyPublicKeyXY, int nPublicKeyXYSize,
                                  const unsigned char* pbyRawSignatureRS, int nRawSignatureRSSize,
                                  bool bUsePublicKey)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyRawHashData", pbyRawHashData != nullptr, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyRawSignatureRS", pbyRawSignatureRS != nullptr, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check nRawHashSize", nRawHashSize == static_cast<int>(kHashSize),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check nRawSignatureRSSize", nRawSignatureRSSize == static_cast<int>(kSignatureSize),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    // Without the signer's public key there is nothing to verify against.
    if (RESULT r = Step(F, "Check bUsePublicKey", bUsePublicKey, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyPublicKeyXY", pbyPublicKeyXY != nullptr, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check nPublicKeyXYSize", nPublicKeyXYSize == static_cast<int>(kPointSize),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }

    PkeyPtr pKey = CipherSm2Pkey::PublicFromPoint(pbyPublicKeyXY, pbyPublicKeyXY + kScalarSize);
    EcdsaSigPtr pSignature(ECDSA_SIG_new());
    BnPtr pR(BN_bin2bn(pbyRawSignatureRS, 32, nullptr));
    BnPtr pS(BN_bin2bn(pbyRawSignatureRS + 32, 32, nullptr));
    bool bVerified = pKey && pSignature && pR && pS && ECDSA_SIG_set0(pSignature.get(), pR.get(), pS.get()) == 1;
    if (bVerified) {
        pR.release();  // now owned by the signature
        pS.release();
    }
    unsigned char abyDer[kMaxDerSignatureSize];
    unsigned char* pbyCursor = abyDer;
    bVerified = bVerified && i2d_ECDSA_SIG(pSignature.get(), nullptr) <= static_cast<int>(sizeof(abyDer));
    const int nDerSize = bVerified ? i2d_ECDSA_SIG(pSignature.get(), &pbyCursor) : 0;
    PkeyCtxPtr pCtx = NewKeyCtx(bVerified ? pKey.get() : nullptr);
    bVerified = nDerSize > 0 && pCtx && EVP_PKEY_verify_init(pCtx.get()) == 1 &&
                EVP_PKEY_verify(pCtx.get(), abyDer, static_cast<size_t>(nDerSize), pbyRawHashData, kHashSize) == 1;
    return Step(F, "_SM2_verify_ex", bVerified, NTE_BAD_SIGNATURE);
}
