// SM3 over the signer's Z value, checked against OpenSSL's own SM2
// signature digest with the default identity set explicitly.
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>

#include "core/crypto/Cipher.h"
#include "core/token/Records.h"
#include "CipherTestTools.h"

namespace {
const char kDefaultId[] = "1234567812345678";

struct LibCtxFree {
    void operator()(OSSL_LIB_CTX* p) const { OSSL_LIB_CTX_free(p); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

class DigestSm3ZTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(Cipher::CipherInitialize(), 0u);
        // The reference runs in a context of the test's own.
        m_pLibCtx.reset(OSSL_LIB_CTX_new());
        ASSERT_TRUE(m_pLibCtx);
    }
    void TearDown() override { Cipher::CipherUninitialize(); }

    // Generates SM2 keys until one satisfies the predicate on X || Y.
    PkeyPtr KeyWhere(const std::function<bool(const Bytes&)>& fnWanted, Bytes& vtrXY)
    {
        for (int i = 0; i < 20000; ++i) {
            PkeyPtr pKey(EVP_PKEY_Q_keygen(m_pLibCtx.get(), nullptr, "SM2"));
            if (!pKey) {
                return nullptr;
            }
            uint8_t byPoint[65] = {0};
            size_t nLen = 0;
            if (EVP_PKEY_get_octet_string_param(pKey.get(), OSSL_PKEY_PARAM_PUB_KEY, byPoint,
                                                sizeof(byPoint), &nLen) != 1 ||
                nLen != 65 || byPoint[0] != 0x04) {
                return nullptr;
            }
            Bytes vtrCandidate(byPoint + 1, byPoint + 65);
            if (fnWanted(vtrCandidate)) {
                vtrXY = vtrCandidate;
                return pKey;
            }
        }
        return nullptr;
    }

    // OpenSSL's SM2 signature over the message, with the default identity.
    Bytes OpensslSign(EVP_PKEY* pKey, const Bytes& vtrMessage)
    {
        std::unique_ptr<EVP_MD_CTX, MdCtxFree> pMdCtx(EVP_MD_CTX_new());
        EVP_PKEY_CTX* pPkeyCtx = nullptr;  // owned by pMdCtx
        if (EVP_DigestSignInit_ex(pMdCtx.get(), &pPkeyCtx, "SM3", m_pLibCtx.get(), nullptr, pKey,
                                  nullptr) != 1 ||
            EVP_PKEY_CTX_set1_id(pPkeyCtx, kDefaultId, 16) != 1) {
            return {};
        }
        size_t nSigLen = 0;
        if (EVP_DigestSign(pMdCtx.get(), nullptr, &nSigLen, vtrMessage.data(), vtrMessage.size()) !=
            1) {
            return {};
        }
        Bytes vtrSig(nSigLen);
        if (EVP_DigestSign(pMdCtx.get(), vtrSig.data(), &nSigLen, vtrMessage.data(),
                           vtrMessage.size()) != 1) {
            return {};
        }
        vtrSig.resize(nSigLen);
        return vtrSig;
    }

    // Verifies a signature over a ready digest e.
    bool OpensslVerifyDigest(EVP_PKEY* pKey, const Bytes& vtrSig, const Bytes& vtrE)
    {
        std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> pCtx(
            EVP_PKEY_CTX_new_from_pkey(m_pLibCtx.get(), pKey, nullptr));
        return pCtx && EVP_PKEY_verify_init(pCtx.get()) == 1 &&
               EVP_PKEY_verify(pCtx.get(), vtrSig.data(), vtrSig.size(), vtrE.data(),
                               vtrE.size()) == 1;
    }

    static Bytes CipherDigest(const Bytes& vtrXY, bool bUseZ, const Bytes& vtrMessage)
    {
        void* pCtx = nullptr;
        EXPECT_EQ(Cipher::HashEvpInit(&pCtx, CALG_SM3, vtrXY.data(), vtrXY.data() + 32, bUseZ), 0u);
        EXPECT_EQ(Cipher::HashEvpUpdate(pCtx, CALG_SM3, vtrMessage.data(),
                                        static_cast<long>(vtrMessage.size())),
                  0u);
        uint8_t* pbyDigest = nullptr;
        int nLen = 0;
        EXPECT_EQ(Cipher::HashEvpFinal(pCtx, CALG_SM3, &pbyDigest, nLen), 0u);
        Bytes vtrOut;
        if (pbyDigest != nullptr) {
            vtrOut.assign(pbyDigest, pbyDigest + nLen);
        }
        delete[] pbyDigest;
        Cipher::HashEvpDestroy(pCtx, CALG_SM3);
        return vtrOut;
    }

    std::unique_ptr<OSSL_LIB_CTX, LibCtxFree> m_pLibCtx;
};

TEST_F(DigestSm3ZTest, MatchesOpensslForEveryKeyIncludingLeadingZeroCoordinates)
{
    const struct {
        const char* pszName;
        std::function<bool(const Bytes&)> fnWanted;
    } keys[] = {
        {"any key", [](const Bytes&) { return true; }},
        {"X begins with 0x00", [](const Bytes& xy) { return xy[0] == 0x00; }},
        {"Y begins with 0x00", [](const Bytes& xy) { return xy[32] == 0x00; }},
    };
    const Bytes vtrMessage = BytesOf("message digest");
    for (const auto& k : keys) {
        SCOPED_TRACE(k.pszName);
        Bytes vtrXY;
        PkeyPtr pKey = KeyWhere(k.fnWanted, vtrXY);
        ASSERT_TRUE(pKey);
        const Bytes vtrSig = OpensslSign(pKey.get(), vtrMessage);
        ASSERT_FALSE(vtrSig.empty());

        const Bytes vtrE = CipherDigest(vtrXY, true, vtrMessage);
        ASSERT_EQ(vtrE.size(), 32u);
        EXPECT_TRUE(OpensslVerifyDigest(pKey.get(), vtrSig, vtrE));
        // Control: without Z the digest is plain SM3 and does not verify.
        EXPECT_FALSE(
            OpensslVerifyDigest(pKey.get(), vtrSig, CipherDigest(vtrXY, false, vtrMessage)));
    }
}
}  // namespace
