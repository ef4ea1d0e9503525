#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/crypto/Cipher.h"
#include "core/objects/HashHandle.h"
#include "core/token/Records.h"

namespace {
std::string Hex(const uint8_t* pbyData, int nLen)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string strOut;
    for (int i = 0; i < nLen; ++i) {
        strOut += kDigits[pbyData[i] >> 4];
        strOut += kDigits[pbyData[i] & 0x0F];
    }
    return strOut;
}

const uint8_t* Bytes(const char* psz)
{
    return reinterpret_cast<const uint8_t*>(psz);
}

// X || Y of an SM2 public key whose X begins with a zero byte (the point
// need not be on the curve for the digest).
const std::vector<uint8_t> kPubKey = [] {
    std::vector<uint8_t> v(64);
    for (size_t i = 0; i < v.size(); ++i) {
        v[i] = static_cast<uint8_t>(i * 7);
    }
    return v;
}();

class HashHandleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Cipher::CipherInitialize(), 0u); }
    void TearDown() override { Cipher::CipherUninitialize(); }

    static std::string OneShot(uint32_t ulAlgId, bool bUseZ, const char* pszText)
    {
        uint8_t* pbyDigest = nullptr;
        int nLen = 0;
        EXPECT_EQ(HashHandle::HashData(ulAlgId, kPubKey.data(), kPubKey.data() + 32, bUseZ,
                                       Bytes(pszText), static_cast<long>(strlen(pszText)),
                                       &pbyDigest, &nLen),
                  0u);
        std::string strHex = pbyDigest ? Hex(pbyDigest, nLen) : "";
        delete[] pbyDigest;
        return strHex;
    }
};

TEST_F(HashHandleTest, HashDataGivesTheDigestOfEachId)
{
    const struct {
        uint32_t ulAlgId;
        const char* pszDigest;
    } cases[] = {
        {CALG_MD5, "900150983cd24fb0d6963f7d28e17f72"},
        {CALG_SHA1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {CALG_SSL3_SHAMD5,
         "900150983cd24fb0d6963f7d28e17f72a9993e364706816aba3e25717850c26c9cd0d89d"},
        {CALG_SHA_256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {CALG_SHA_512,
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
         "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {CALG_SM3, "66c7f0f462eeedd9d1f2d46bdc10e4e24167c4875cf2f7a2297da02b8f4ba8e0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.ulAlgId);
        EXPECT_EQ(OneShot(c.ulAlgId, false, "abc"), c.pszDigest);
        EXPECT_EQ(HashHandle::HashLength(c.ulAlgId) * 2, static_cast<int>(strlen(c.pszDigest)));
    }
    // With Z the SM3 digest changes, and a leading zero in X is no obstacle.
    ASSERT_EQ(kPubKey[0], 0);
    EXPECT_NE(OneShot(CALG_SM3, true, "abc"), OneShot(CALG_SM3, false, "abc"));
}

TEST_F(HashHandleTest, HashDataRefusesBadArguments)
{
    uint8_t* pbyDigest = nullptr;
    int nLen = -3;
    const struct {
        uint32_t ulAlgId;
        const uint8_t* pbyData;
        long nDataLen;
        uint8_t** ppbyOut;
        RESULT ulExpected;
    } cases[] = {
        {CALG_SHA1, nullptr, 3, &pbyDigest, ERROR_INVALID_PARAMETER},
        {CALG_SHA1, Bytes("abc"), 0, &pbyDigest, ERROR_INVALID_PARAMETER},
        {CALG_SHA1, Bytes("abc"), -1, &pbyDigest, ERROR_INVALID_PARAMETER},
        {CALG_SHA1, Bytes("abc"), static_cast<long>(INT_MAX) + 1, &pbyDigest,
         ERROR_INVALID_PARAMETER},
        {CALG_SHA1, Bytes("abc"), 3, nullptr, ERROR_INVALID_PARAMETER},
        {0x800D, Bytes("abc"), 3, &pbyDigest, NTE_BAD_ALGID},
        {CALG_DES, Bytes("abc"), 3, &pbyDigest, NTE_BAD_ALGID},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.ulAlgId << " " << c.nDataLen);
        EXPECT_EQ(HashHandle::HashData(c.ulAlgId, nullptr, nullptr, false, c.pbyData, c.nDataLen,
                                       c.ppbyOut, &nLen),
                  c.ulExpected);
    }
    // SM3 with Z needs both coordinates.
    EXPECT_EQ(HashHandle::HashData(CALG_SM3, nullptr, kPubKey.data(), true, Bytes("abc"), 3,
                                   &pbyDigest, &nLen),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(pbyDigest, nullptr);
    EXPECT_EQ(nLen, -3);
}

TEST_F(HashHandleTest, InitRefusesIdsWithoutDigest)
{
    for (uint32_t ulAlgId : {0x800Du, 0u, 0x8001u, CALG_RC4, CALG_RSA_SIGN}) {
        SCOPED_TRACE(testing::Message() << std::hex << ulAlgId);
        HashHandle hash;
        EXPECT_EQ(hash.Init(ulAlgId), NTE_BAD_ALGID);
        EXPECT_EQ(hash.m_pHashCtx, nullptr);
    }
}

TEST_F(HashHandleTest, FinalTwiceKeepsTheFirstDigest)
{
    HashHandle hash;
    ASSERT_EQ(hash.Init(CALG_SHA1), 0u);
    ASSERT_EQ(hash.Update(Bytes("abc"), 3), 0u);
    ASSERT_EQ(hash.Final(), 0u);
    EXPECT_TRUE(hash.m_bFinal);
    EXPECT_EQ(hash.Final(), NTE_BAD_HASH_STATE);
    EXPECT_EQ(hash.Update(Bytes("more"), 4), NTE_BAD_HASH_STATE);
    EXPECT_EQ(Hex(hash.m_pbyHashData, hash.nHashLen), "a9993e364706816aba3e25717850c26c9cd0d89d");

    // A new Init starts over.
    ASSERT_EQ(hash.Init(CALG_MD5), 0u);
    EXPECT_FALSE(hash.m_bFinal);
    EXPECT_EQ(hash.nHashLen, 16);
    ASSERT_EQ(hash.Update(Bytes("abc"), 3), 0u);
    ASSERT_EQ(hash.Final(), 0u);
    EXPECT_EQ(Hex(hash.m_pbyHashData, hash.nHashLen), "900150983cd24fb0d6963f7d28e17f72");
}

TEST_F(HashHandleTest, UpdateChecksItsArguments)
{
    HashHandle hash;
    EXPECT_EQ(hash.Update(Bytes("abc"), 3), ERROR_INVALID_PARAMETER);  // not started
    ASSERT_EQ(hash.Init(CALG_SHA_256), 0u);
    EXPECT_EQ(hash.Update(nullptr, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(hash.Update(Bytes("abc"), -1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(hash.Update(Bytes("abc"), static_cast<long>(INT_MAX) + 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(hash.Update(Bytes("abc"), 0), 0u);
    ASSERT_EQ(hash.Update(Bytes("abc"), 3), 0u);
    ASSERT_EQ(hash.Final(), 0u);
    EXPECT_EQ(Hex(hash.m_pbyHashData, hash.nHashLen),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST_F(HashHandleTest, DuplicateRunsAnIndependentCopy)
{
    const struct {
        uint32_t ulAlgId;
        bool bUseZ;
    } cases[] = {{CALG_MD5, false},     {CALG_SHA1, false},    {CALG_SSL3_SHAMD5, false},
                 {CALG_SHA_256, false}, {CALG_SHA_512, false}, {CALG_SM3, false},
                 {CALG_SM3, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.ulAlgId << " Z " << c.bUseZ);
        HashHandle original;
        // The copy held another digest before; it is replaced.
        HashHandle copy;
        ASSERT_EQ(copy.Init(c.ulAlgId == CALG_SSL3_SHAMD5 ? CALG_SHA_512 : CALG_SSL3_SHAMD5), 0u);
        ASSERT_EQ(original.Init(c.ulAlgId, kPubKey.data(), kPubKey.data() + 32, c.bUseZ), 0u);
        ASSERT_EQ(original.Update(Bytes("ab"), 2), 0u);
        ASSERT_EQ(original.Duplicate(&copy), 0u);
        EXPECT_EQ(copy.m_ulAlgId, c.ulAlgId);
        EXPECT_EQ(copy.nHashLen, original.nHashLen);
        ASSERT_EQ(original.Update(Bytes("c"), 1), 0u);
        ASSERT_EQ(copy.Update(Bytes("x"), 1), 0u);
        ASSERT_EQ(original.Final(), 0u);
        ASSERT_EQ(copy.Final(), 0u);
        EXPECT_EQ(Hex(original.m_pbyHashData, original.nHashLen),
                  OneShot(c.ulAlgId, c.bUseZ, "abc"));
        EXPECT_EQ(Hex(copy.m_pbyHashData, copy.nHashLen), OneShot(c.ulAlgId, c.bUseZ, "abx"));
    }
}

TEST_F(HashHandleTest, DuplicateOfAFinishedDigestIsFinished)
{
    HashHandle original;
    HashHandle copy;
    ASSERT_EQ(original.Init(CALG_SHA1), 0u);
    ASSERT_EQ(original.Update(Bytes("abc"), 3), 0u);
    ASSERT_EQ(original.Final(), 0u);
    ASSERT_EQ(original.Duplicate(&copy), 0u);
    EXPECT_TRUE(copy.m_bFinal);
    EXPECT_EQ(Hex(copy.m_pbyHashData, copy.nHashLen), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(copy.Final(), NTE_BAD_HASH_STATE);

    HashHandle unstarted;
    EXPECT_EQ(unstarted.Duplicate(&copy), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(original.Duplicate(nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(HashHandleTest, DuplicateContextNeedsTheSameAlgorithm)
{
    HashHandle source;
    HashHandle sameAlg;
    HashHandle otherAlg;
    ASSERT_EQ(source.Init(CALG_SSL3_SHAMD5), 0u);
    ASSERT_EQ(sameAlg.Init(CALG_SSL3_SHAMD5), 0u);
    ASSERT_EQ(otherAlg.Init(CALG_SHA1), 0u);
    ASSERT_EQ(source.Update(Bytes("abc"), 3), 0u);
    EXPECT_EQ(source.DuplicateContext(&otherAlg), NTE_BAD_ALGID);
    EXPECT_EQ(source.DuplicateContext(nullptr), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(source.DuplicateContext(&sameAlg), 0u);
    ASSERT_EQ(sameAlg.Final(), 0u);
    EXPECT_EQ(Hex(sameAlg.m_pbyHashData, sameAlg.nHashLen),
              OneShot(CALG_SSL3_SHAMD5, false, "abc"));
}

TEST_F(HashHandleTest, SetDataMarksTheDigestFinished)
{
    HashHandle hash;
    const std::vector<uint8_t> vtrDigest(20, 0xAB);
    EXPECT_EQ(hash.SetData(vtrDigest.data()), ERROR_INVALID_PARAMETER);  // not started
    ASSERT_EQ(hash.Init(CALG_SHA1), 0u);
    EXPECT_EQ(hash.SetData(nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(hash.m_bFinal);
    ASSERT_EQ(hash.SetData(vtrDigest.data()), 0u);
    EXPECT_TRUE(hash.m_bFinal);
    EXPECT_EQ(std::vector<uint8_t>(hash.m_pbyHashData, hash.m_pbyHashData + 20), vtrDigest);
    EXPECT_EQ(hash.Final(), NTE_BAD_HASH_STATE);
}

TEST_F(HashHandleTest, DestroyContextReleasesOnce)
{
    HashHandle hash;
    ASSERT_EQ(hash.Init(CALG_SSL3_SHAMD5), 0u);
    EXPECT_EQ(hash.DestroyContext(nullptr), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(hash.DestroyContext(hash.m_pHashCtx), 0u);
    EXPECT_EQ(hash.m_pHashCtx, nullptr);
    // Without a context nothing more is digested; the destructor does not
    // release the context a second time.
    EXPECT_EQ(hash.Update(Bytes("abc"), 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(hash.Final(), ERROR_INVALID_PARAMETER);
}
}  // namespace
