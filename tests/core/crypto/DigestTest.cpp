#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "core/crypto/Cipher.h"
#include "core/token/Records.h"
#include "CipherTestTools.h"

namespace {
const std::string kAbc = "abc";
const std::string kGbt32905Message64 =
    "abcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcdabcd";

class DigestTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Cipher::CipherInitialize(), 0u); }
    void TearDown() override { Cipher::CipherUninitialize(); }

    // Digest of the message fed in two parts (split at nSplit).
    static std::string Digest(uint32_t ulAlgId, const std::string& strMessage, size_t nSplit)
    {
        void* pCtx = nullptr;
        EXPECT_EQ(Cipher::HashEvpInit(&pCtx, ulAlgId, nullptr, nullptr, false), 0u);
        const Bytes vtrData = BytesOf(strMessage);
        const uint8_t* p = vtrData.data();
        EXPECT_EQ(Cipher::HashEvpUpdate(pCtx, ulAlgId, p, static_cast<long>(nSplit)), 0u);
        EXPECT_EQ(Cipher::HashEvpUpdate(pCtx, ulAlgId, p + nSplit,
                                        static_cast<long>(vtrData.size() - nSplit)),
                  0u);
        uint8_t* pbyDigest = nullptr;
        int nLen = 0;
        EXPECT_EQ(Cipher::HashEvpFinal(pCtx, ulAlgId, &pbyDigest, nLen), 0u);
        std::string strHex = pbyDigest ? ToHex(pbyDigest, static_cast<size_t>(nLen)) : "";
        delete[] pbyDigest;
        Cipher::HashEvpDestroy(pCtx, ulAlgId);
        return strHex;
    }
};

struct KnownAnswer {
    uint32_t ulAlgId;
    const std::string* pMessage;
    const char* pszDigest;
};

TEST_F(DigestTest, KnownAnswersInOneAndTwoParts)
{
    const KnownAnswer cases[] = {
        {CALG_MD5, &kAbc, "900150983cd24fb0d6963f7d28e17f72"},
        {CALG_SHA1, &kAbc, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {CALG_SHA_256, &kAbc, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {CALG_SHA_512, &kAbc,
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
         "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {CALG_SM3, &kAbc, "66c7f0f462eeedd9d1f2d46bdc10e4e24167c4875cf2f7a2297da02b8f4ba8e0"},
        {CALG_SM3, &kGbt32905Message64,
         "debe9ff92275b8a138604889c18e5a4d6fdb70e5387e5765293dcba39c0c5732"},
        // MD5 digest, then SHA-1 digest of the same data.
        {CALG_SSL3_SHAMD5, &kAbc,
         "900150983cd24fb0d6963f7d28e17f72a9993e364706816aba3e25717850c26c9cd0d89d"},
    };
    for (const KnownAnswer& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.ulAlgId << " over " << *c.pMessage);
        EXPECT_EQ(Digest(c.ulAlgId, *c.pMessage, 0), c.pszDigest);
        EXPECT_EQ(Digest(c.ulAlgId, *c.pMessage, c.pMessage->size() / 2), c.pszDigest);
    }
}

TEST_F(DigestTest, UnsupportedIdsFailAtInit)
{
    for (uint32_t ulAlgId : {0x800Du, 0u, 0x8001u, 0x8009u, CALG_DES, CALG_SM2_SIGN}) {
        SCOPED_TRACE(testing::Message() << std::hex << ulAlgId);
        void* pCtx = nullptr;
        EXPECT_EQ(Cipher::HashEvpInit(&pCtx, ulAlgId, nullptr, nullptr, false), NTE_BAD_ALGID);
        EXPECT_EQ(pCtx, nullptr);
        EXPECT_EQ(Cipher::X_EVP_md(ulAlgId), nullptr);
    }
    // The pair has a context of its own, not a single library digest.
    EXPECT_EQ(Cipher::X_EVP_md(CALG_SSL3_SHAMD5), nullptr);
}

TEST_F(DigestTest, ArgumentChecks)
{
    const uint8_t byData[4] = {1, 2, 3, 4};
    void* pCtx = nullptr;
    EXPECT_EQ(Cipher::HashEvpInit(nullptr, CALG_SHA1, nullptr, nullptr, false),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::HashEvpInit(&pCtx, CALG_SM3, nullptr, byData, true), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::HashEvpInit(&pCtx, CALG_SM3, byData, nullptr, true), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(pCtx, nullptr);

    ASSERT_EQ(Cipher::HashEvpInit(&pCtx, CALG_SHA_256, nullptr, nullptr, false), 0u);
    struct UpdateCase {
        void* pCtx;
        const uint8_t* pbyData;
        long nLen;
    };
    const UpdateCase updates[] = {
        {nullptr, byData, 4},
        {pCtx, byData, -1},
        {pCtx, nullptr, 0},
        {pCtx, nullptr, 4},
        // Longer than an int: refused before anything is read.
        {pCtx, byData, static_cast<long>(INT_MAX) + 1},
        {pCtx, byData, LONG_MAX},
    };
    for (const UpdateCase& u : updates) {
        SCOPED_TRACE(u.nLen);
        EXPECT_EQ(Cipher::HashEvpUpdate(u.pCtx, CALG_SHA_256, u.pbyData, u.nLen),
                  ERROR_INVALID_PARAMETER);
    }
    uint8_t* pbyDigest = nullptr;
    int nLen = 0;
    EXPECT_EQ(Cipher::HashEvpFinal(nullptr, CALG_SHA_256, &pbyDigest, nLen),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::HashEvpFinal(pCtx, CALG_SHA_256, nullptr, nLen), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::HashEvpDuplicate(nullptr, pCtx, CALG_SHA_256), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::HashEvpDuplicate(pCtx, nullptr, CALG_SHA_256), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::HashEvpDestroy(nullptr, CALG_SHA_256), 0u);

    // The refused calls left the digest untouched: a zero-length update
    // counts as nothing, and the result is the digest of the empty message.
    EXPECT_EQ(Cipher::HashEvpUpdate(pCtx, CALG_SHA_256, byData, 0), 0u);
    ASSERT_EQ(Cipher::HashEvpFinal(pCtx, CALG_SHA_256, &pbyDigest, nLen), 0u);
    EXPECT_EQ(ToHex(pbyDigest, static_cast<size_t>(nLen)),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    delete[] pbyDigest;
    Cipher::HashEvpDestroy(pCtx, CALG_SHA_256);
}

TEST_F(DigestTest, ZFlagIsIgnoredWhereItDoesNotApply)
{
    // Without the flag, or for another digest, X and Y are not looked at.
    const struct {
        uint32_t ulAlgId;
        bool bUseZ;
    } cases[] = {{CALG_SM3, false}, {CALG_SHA1, true}, {CALG_SSL3_SHAMD5, true}};
    for (const auto& c : cases) {
        void* pCtx = nullptr;
        EXPECT_EQ(Cipher::HashEvpInit(&pCtx, c.ulAlgId, nullptr, nullptr, c.bUseZ), 0u);
        Cipher::HashEvpDestroy(pCtx, c.ulAlgId);
    }
}

TEST_F(DigestTest, DuplicateCopiesTheRunningStateOfEveryForm)
{
    const Bytes vtrAb = BytesOf("ab");
    const Bytes vtrC = BytesOf("c");
    const Bytes vtrX = BytesOf("x");
    for (uint32_t ulAlgId :
         {CALG_MD5, CALG_SHA1, CALG_SSL3_SHAMD5, CALG_SHA_256, CALG_SHA_512, CALG_SM3}) {
        SCOPED_TRACE(testing::Message() << std::hex << ulAlgId);
        void* pSource = nullptr;
        void* pTarget = nullptr;
        ASSERT_EQ(Cipher::HashEvpInit(&pSource, ulAlgId, nullptr, nullptr, false), 0u);
        ASSERT_EQ(Cipher::HashEvpInit(&pTarget, ulAlgId, nullptr, nullptr, false), 0u);
        ASSERT_EQ(Cipher::HashEvpUpdate(pSource, ulAlgId, vtrAb.data(), 2), 0u);
        ASSERT_EQ(Cipher::HashEvpDuplicate(pSource, pTarget, ulAlgId), 0u);
        ASSERT_EQ(Cipher::HashEvpUpdate(pSource, ulAlgId, vtrC.data(), 1), 0u);
        ASSERT_EQ(Cipher::HashEvpUpdate(pTarget, ulAlgId, vtrX.data(), 1), 0u);

        uint8_t* pbySource = nullptr;
        uint8_t* pbyTarget = nullptr;
        int nSource = 0;
        int nTarget = 0;
        ASSERT_EQ(Cipher::HashEvpFinal(pSource, ulAlgId, &pbySource, nSource), 0u);
        ASSERT_EQ(Cipher::HashEvpFinal(pTarget, ulAlgId, &pbyTarget, nTarget), 0u);
        EXPECT_EQ(ToHex(pbySource, static_cast<size_t>(nSource)), Digest(ulAlgId, "abc", 0));
        EXPECT_EQ(ToHex(pbyTarget, static_cast<size_t>(nTarget)), Digest(ulAlgId, "abx", 0));
        delete[] pbySource;
        delete[] pbyTarget;
        Cipher::HashEvpDestroy(pSource, ulAlgId);
        Cipher::HashEvpDestroy(pTarget, ulAlgId);
    }
}
}  // namespace
