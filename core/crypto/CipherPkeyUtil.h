// Internal helpers of the RSA and SM2 parts of Cipher: owning handles for
// library objects, byte buffers that wipe themselves, and the step trace.
#pragma once

#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/params.h>

#include "core/crypto/CipherLibCtx.h"
#include "core/token/ResultCodes.h"
#include "core/trace/TraceStep.h"

namespace CipherPkey {

struct PkeyFree { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
struct PkeyCtxFree { void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); } };
struct BnFree { void operator()(BIGNUM* p) const { BN_free(p); } };
struct BnClearFree { void operator()(BIGNUM* p) const { BN_clear_free(p); } };
struct ParamBldFree { void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); } };
// Parameters built from secure BIGNUMs sit in a block that is wiped here.
struct ParamFree { void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); } };
struct EcdsaSigFree { void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); } };
struct MdFree { void operator()(EVP_MD* p) const { EVP_MD_free(p); } };

using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;
using BnPtr = std::unique_ptr<BIGNUM, BnFree>;
using SecretBnPtr = std::unique_ptr<BIGNUM, BnClearFree>;
using ParamBldPtr = std::unique_ptr<OSSL_PARAM_BLD, ParamBldFree>;
using ParamPtr = std::unique_ptr<OSSL_PARAM, ParamFree>;
using EcdsaSigPtr = std::unique_ptr<ECDSA_SIG, EcdsaSigFree>;
using MdPtr = std::unique_ptr<EVP_MD, MdFree>;

// An array-new'd byte buffer. Wiped on release unless handed out, so a
// failure part-way never leaves key or plain bytes behind.
class Bytes {
public:
    Bytes() = default;
    ~Bytes() { Reset(); }
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    Bytes(Bytes&& other) noexcept : m_pbyData(other.m_pbyData), m_nSize(other.m_nSize)
    {
        other.m_pbyData = nullptr;
        other.m_nSize = 0;
    }
    Bytes& operator=(Bytes&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_pbyData = other.m_pbyData;
            m_nSize = other.m_nSize;
            other.m_pbyData = nullptr;
            other.m_nSize = 0;
        }
        return *this;
    }

    // Zero-filled; false when memory runs out.
    bool Allocate(size_t nSize)
    {
        Reset();
        m_pbyData = new (std::nothrow) unsigned char[nSize == 0 ? 1 : nSize]();
        m_nSize = m_pbyData != nullptr ? nSize : 0;
        return m_pbyData != nullptr;
    }
    void Reset()
    {
        if (m_pbyData != nullptr) {
            OPENSSL_cleanse(m_pbyData, m_nSize);
            delete[] m_pbyData;
        }
        m_pbyData = nullptr;
        m_nSize = 0;
    }
    // Shortens the visible length; the whole allocation is still wiped.
    void Shrink(size_t nSize)
    {
        if (nSize < m_nSize) {
            OPENSSL_cleanse(m_pbyData + nSize, m_nSize - nSize);
            m_nSize = nSize;
        }
    }
    // Takes over an array-new'd buffer.
    void Adopt(unsigned char* pbyData, size_t nSize)
    {
        Reset();
        m_pbyData = pbyData;
        m_nSize = pbyData != nullptr ? nSize : 0;
    }
    unsigned char* Data() const { return m_pbyData; }
    size_t Size() const { return m_nSize; }
    // Gives the buffer to the caller (who releases it with array delete).
    void HandOut(unsigned char** ppbyOut, int* pnOutSize)
    {
        *ppbyOut = m_pbyData;
        *pnOutSize = static_cast<int>(m_nSize);
        m_pbyData = nullptr;
        m_nSize = 0;
    }

private:
    unsigned char* m_pbyData = nullptr;
    size_t m_nSize = 0;
};

// Traces one step and gives its code: 0 when bOk, ulFailure otherwise.
inline RESULT Step(const char* pszFunction, const char* pszLabel, bool bOk, RESULT ulFailure)
{
    if (!bOk) {
        TraceStepFailed(pszFunction, pszLabel, ulFailure);
        return ulFailure;
    }
    TraceStepSuccess(pszFunction, pszLabel);
    return 0;
}

// A caller-supplied input: non-null and of a length above 0.
inline bool IsInput(const unsigned char* pbyData, int nSize)
{
    return pbyData != nullptr && nSize > 0;
}

// Big-endian bytes into a new BIGNUM, flagged secure so that parameter
// blocks built from it are wiped too; cleared on release.
inline SecretBnPtr BnFromBytes(const unsigned char* pbyData, size_t nSize)
{
    SecretBnPtr pNumber(BN_secure_new());
    if (!pNumber || nSize > static_cast<size_t>(INT_MAX) ||
        BN_bin2bn(pbyData, static_cast<int>(nSize), pNumber.get()) == nullptr) {
        return SecretBnPtr();
    }
    return pNumber;
}

// Contexts and digests come from the private library context only; without
// it they are not made at all rather than from the host's default context.
inline PkeyCtxPtr NewKeyCtx(const char* pszKeyType)
{
    OSSL_LIB_CTX* pLibCtx = CipherLibCtx();
    return PkeyCtxPtr(pLibCtx != nullptr ? EVP_PKEY_CTX_new_from_name(pLibCtx, pszKeyType, nullptr) : nullptr);
}

inline PkeyCtxPtr NewKeyCtx(EVP_PKEY* pKey)
{
    OSSL_LIB_CTX* pLibCtx = CipherLibCtx();
    return PkeyCtxPtr(pLibCtx != nullptr && pKey != nullptr ? EVP_PKEY_CTX_new_from_pkey(pLibCtx, pKey, nullptr)
                                                            : nullptr);
}

inline MdPtr FetchMd(const char* pszName)
{
    OSSL_LIB_CTX* pLibCtx = CipherLibCtx();
    return MdPtr(pLibCtx != nullptr ? EVP_MD_fetch(pLibCtx, pszName, nullptr) : nullptr);
}

// A BIGNUM as minimal big-endian bytes (empty for 0).
inline bool BnToBytes(const BIGNUM* pNumber, Bytes& bytes)
{
    const int nSize = BN_num_bytes(pNumber);
    if (nSize < 0 || !bytes.Allocate(static_cast<size_t>(nSize))) {
        return false;
    }
    return nSize == 0 || BN_bn2bin(pNumber, bytes.Data()) == nSize;
}

// A copy of caller bytes in a new buffer.
inline bool CopyBytes(const unsigned char* pbyData, size_t nSize, Bytes& bytes)
{
    if (!bytes.Allocate(nSize)) {
        return false;
    }
    if (nSize != 0) {
        memcpy(bytes.Data(), pbyData, nSize);
    }
    return true;
}

}  // namespace CipherPkey
