// PKCS#1 v1.5 signatures over finished digests.
#include <openssl/rsa.h>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherPkeyUtil.h"
#include "core/crypto/CipherRsaPkey.h"
#include "core/token/Records.h"

using namespace CipherPkey;

namespace {

constexpr uint32_t kAlgIdSha384 = 0x800D;

// PKCS#1 v1.5 type 1 needs 0x00 0x01, eight 0xFF bytes at least and 0x00
// in front of the encoded digest.
constexpr size_t kPkcs1Overhead = 11;

struct DigestRule {
    uint32_t uAlgID;
    const char* pszDigestName;  // null: the bare digest is signed, no DigestInfo
    size_t nHashSize;
    size_t nDigestInfoPrefix;   // DER bytes in front of the digest in its DigestInfo
    bool bVerifiable;
};

const DigestRule g_aDigestRules[] = {
    {CALG_MD5, "MD5", 16, 18, true},
    {CALG_SHA1, "SHA1", 20, 15, true},
    {CALG_SSL3_SHAMD5, nullptr, 36, 0, false},
    {CALG_SHA_256, "SHA256", 32, 19, true},
    {kAlgIdSha384, "SHA384", 48, 19, true},
    {CALG_SHA_512, "SHA512", 64, 19, true},
};

const DigestRule* FindDigestRule(uint32_t uAlgID)
{
    for (const DigestRule& rule : g_aDigestRules) {
        if (rule.uAlgID == uAlgID) {
            return &rule;
        }
    }
    return nullptr;
}

size_t MinModulusSize(const DigestRule& rule)
{
    return rule.nDigestInfoPrefix + rule.nHashSize + kPkcs1Overhead;
}

// PKCS#1 v1.5 padding, with the DigestInfo of the rule's digest if it has one.
bool SetUpPadding(EVP_PKEY_CTX* pCtx, const DigestRule& rule, MdPtr& pMd)
{
    if (EVP_PKEY_CTX_set_rsa_padding(pCtx, RSA_PKCS1_PADDING) != 1) {
        return false;
    }
    if (rule.pszDigestName == nullptr) {
        return true;
    }
    pMd = FetchMd(rule.pszDigestName);
    return pMd && EVP_PKEY_CTX_set_signature_md(pCtx, pMd.get()) == 1;
}

RESULT VerifyWithKey(const char* pszFunction, EVP_PKEY* pKey, uint32_t uAlgID, const unsigned char* pbyHashData,
                     int nHashSize, const unsigned char* pbySignature, int nSignatureSize)
{
    const DigestRule* pRule = FindDigestRule(uAlgID);
    if (RESULT r = Step(pszFunction, "Unsupported hash algorithm", pRule != nullptr && pRule->bVerifiable,
                        NTE_BAD_ALGID)) {
        return r;
    }
    if (RESULT r = Step(pszFunction, "Check hash size", static_cast<size_t>(nHashSize) == pRule->nHashSize,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    PkeyCtxPtr pCtx = NewKeyCtx(pKey);
    MdPtr pMd;
    const bool bVerified = pCtx && EVP_PKEY_verify_init(pCtx.get()) == 1 && SetUpPadding(pCtx.get(), *pRule, pMd) &&
                           EVP_PKEY_verify(pCtx.get(), pbySignature, static_cast<size_t>(nSignatureSize),
                                           pbyHashData, static_cast<size_t>(nHashSize)) == 1;
    return Step(pszFunction, "RSA_verify", bVerified, NTE_BAD_SIGNATURE);
}

RESULT CheckVerifyInputs(const char* pszFunction, const unsigned char* pbyHashData, int nHashSize,
                         const unsigned char* pbySignature, int nSignatureSize)
{
    if (RESULT r = Step(pszFunction, "Check pbyHashData", IsInput(pbyHashData, nHashSize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    return Step(pszFunction, "Check pbySignature", IsInput(pbySignature, nSignatureSize), ERROR_INVALID_PARAMETER);
}

}  // namespace

RESULT Cipher::RSASignHash(const unsigned char* pbyPrivateKey, int nPrivateKeySize, uint32_t uAlgID,
                           const unsigned char* pbyHashData, int nHashSize, unsigned char* pbySignature,
                           int* pnSignatureSize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyPrivateKey", IsInput(pbyPrivateKey, nPrivateKeySize),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyHashData", IsInput(pbyHashData, nHashSize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbySignature", pbySignature != nullptr && pnSignatureSize != nullptr,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    int nModulusSize = 0;
    PkeyPtr pKey = CipherRsaPkey::PrivateFromDer(pbyPrivateKey, nPrivateKeySize, &nModulusSize);
    if (RESULT r = Step(F, "d2i_RSAPrivateKey", pKey != nullptr, NTE_FAIL)) {
        return r;
    }
    const DigestRule* pRule = FindDigestRule(uAlgID);
    if (RESULT r = Step(F, "Unsupported hash algorithm", pRule != nullptr, NTE_BAD_ALGID)) {
        return r;
    }
    if (RESULT r = Step(F, "RSA_size", *pnSignatureSize > 0, NTE_BAD_KEY)) {
        return r;
    }
    // The library writes a whole modulus-sized block.
    if (RESULT r = Step(F, "Check buffer size", *pnSignatureSize >= nModulusSize, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check key size", static_cast<size_t>(nModulusSize) >= MinModulusSize(*pRule),
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check hash size", static_cast<size_t>(nHashSize) == pRule->nHashSize,
                        ERROR_INVALID_PARAMETER)) {
        return r;
    }

    Bytes signature;
    if (!signature.Allocate(static_cast<size_t>(nModulusSize))) {
        return Step(F, "new", false, NTE_NO_MEMORY);
    }
    size_t nSignatureSize = signature.Size();
    PkeyCtxPtr pCtx = NewKeyCtx(pKey.get());
    MdPtr pMd;
    const bool bSigned = pCtx && EVP_PKEY_sign_init(pCtx.get()) == 1 && SetUpPadding(pCtx.get(), *pRule, pMd) &&
                         EVP_PKEY_sign(pCtx.get(), signature.Data(), &nSignatureSize, pbyHashData,
                                       static_cast<size_t>(nHashSize)) == 1 &&
                         nSignatureSize == signature.Size();
    if (RESULT r = Step(F, pRule->pszDigestName == nullptr ? "RSA_private_encrypt" : "RSA_sign", bSigned,
                        NTE_FAIL)) {
        return r;
    }
    memcpy(pbySignature, signature.Data(), nSignatureSize);
    *pnSignatureSize = static_cast<int>(nSignatureSize);
    return 0;
}

RESULT Cipher::RSAVerifySignature(const unsigned char* pbyPublicKey, int nPublicKeySize, uint32_t uAlgID,
                                  const unsigned char* pbyHashData, int nHashSize, const unsigned char* pbySignature,
                                  int nSignatureSize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyPublicKey", IsInput(pbyPublicKey, nPublicKeySize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = CheckVerifyInputs(F, pbyHashData, nHashSize, pbySignature, nSignatureSize)) {
        return r;
    }
    PkeyPtr pKey = CipherRsaPkey::PublicFromDer(pbyPublicKey, nPublicKeySize, nullptr);
    if (RESULT r = Step(F, "d2i_RSAPublicKey", pKey != nullptr, NTE_FAIL)) {
        return r;
    }
    return VerifyWithKey(F, pKey.get(), uAlgID, pbyHashData, nHashSize, pbySignature, nSignatureSize);
}

RESULT Cipher::RSAVerifySignature(const unsigned char* pbyN, int nNSize, const unsigned char* pbyE, int nESize,
                                  uint32_t uAlgID, const unsigned char* pbyHashData, int nHashSize,
                                  const unsigned char* pbySignature, int nSignatureSize)
{
    const char* F = __func__;
    if (RESULT r = Step(F, "Check pbyN", IsInput(pbyN, nNSize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "Check pbyE", IsInput(pbyE, nESize), ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = CheckVerifyInputs(F, pbyHashData, nHashSize, pbySignature, nSignatureSize)) {
        return r;
    }
    const CipherRsaDer::Span aParts[CipherRsaDer::kPublicCount] = {
        CipherRsaDer::Magnitude(pbyN, static_cast<size_t>(nNSize)),
        CipherRsaDer::Magnitude(pbyE, static_cast<size_t>(nESize)),
    };
    if (RESULT r = Step(F, "BN_bin2bn(n)", aParts[CipherRsaDer::kPubN].nSize != 0, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    if (RESULT r = Step(F, "BN_bin2bn(e)", aParts[CipherRsaDer::kPubE].nSize != 0, ERROR_INVALID_PARAMETER)) {
        return r;
    }
    PkeyPtr pKey = CipherRsaPkey::PublicFromParts(aParts);
    if (RESULT r = Step(F, "d2i_RSAPublicKey", pKey != nullptr, NTE_FAIL)) {
        return r;
    }
    return VerifyWithKey(F, pKey.get(), uAlgID, pbyHashData, nHashSize, pbySignature, nSignatureSize);
}
