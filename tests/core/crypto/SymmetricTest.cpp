#include <climits>
#include <string>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "core/crypto/Cipher.h"
#include "core/token/Records.h"
#include "CipherTestTools.h"

namespace {
const Bytes kKey24 = FromHex("0123456789abcdef23456789abcdef01456789abcdef0123");
const Bytes kKey16 = FromHex("0123456789abcdeffedcba9876543210");
const Bytes kIV = FromHex("1234567890abcdef");

class SymmetricTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Cipher::CipherInitialize(), 0u); }
    void TearDown() override { Cipher::CipherUninitialize(); }
};

// Runs a whole encryption or decryption; returns the code of the first
// failing step and the output so far.
RESULT RunCipher(bool bEncrypt, uint32_t ulAlgId, int nMode, const Bytes& vtrKey,
                 const uint8_t* pbyIV, const Bytes& vtrIn, Bytes& vtrOut)
{
    void* pCtx = nullptr;
    RESULT ulResult = bEncrypt
                          ? Cipher::SymEncryptInit(&pCtx, ulAlgId, nMode, vtrKey.data(), pbyIV)
                          : Cipher::SymDecryptInit(&pCtx, ulAlgId, nMode, vtrKey.data(), pbyIV);
    if (ulResult != 0) {
        return ulResult;
    }
    vtrOut.assign(vtrIn.size() + 16, 0);
    int nUpdate = 0;
    int nFinal = 0;
    const long nLen = static_cast<long>(vtrIn.size());
    // Empty input still comes with a pointer: a null one is refused.
    const uint8_t byNone = 0;
    const uint8_t* pbyIn = vtrIn.empty() ? &byNone : vtrIn.data();
    ulResult = bEncrypt ? Cipher::SymEncryptUpdate(pCtx, pbyIn, nLen, vtrOut.data(), nUpdate)
                        : Cipher::SymDecryptUpdate(pCtx, pbyIn, nLen, vtrOut.data(), nUpdate);
    if (ulResult == 0) {
        ulResult = bEncrypt ? Cipher::SymEncryptFinal(pCtx, vtrOut.data() + nUpdate, nFinal)
                            : Cipher::SymDecryptFinal(pCtx, vtrOut.data() + nUpdate, nFinal);
    }
    vtrOut.resize(static_cast<size_t>(nUpdate + nFinal));
    Cipher::SymEvpDestroy(pCtx);
    return ulResult;
}

struct CipherCase {
    uint32_t ulAlgId;
    int nMode;
    const char* pszOpensslName;
    size_t nKeyLen;
    bool bTakesIV;
};

const CipherCase kCiphers[] = {
    {CALG_DES, 1, "des-cbc", 8, true},
    {CALG_DES, 2, "des-ecb", 8, false},
    {CALG_DES, 3, "des-ofb", 8, true},
    {CALG_DES, 4, "des-cfb", 8, true},
    {CALG_3DES, 1, "des-ede3-cbc", 24, true},
    {CALG_3DES, 2, "des-ede3", 24, false},
    {CALG_3DES, 3, "des-ede3-ofb", 24, true},
    {CALG_3DES, 4, "des-ede3-cfb", 24, true},
    {CALG_3DES_112, 1, "des-ede-cbc", 16, true},
    {CALG_3DES_112, 2, "des-ede", 16, false},
    {CALG_3DES_112, 3, "des-ede-ofb", 16, true},
    {CALG_3DES_112, 4, "des-ede-cfb", 16, true},
    {CALG_RC4, 1, "rc4", 16, false},
};

TEST_F(SymmetricTest, EveryCipherAndModeMatchesOpensslEncAndRoundTrips)
{
    for (const CipherCase& c : kCiphers) {
        for (size_t nPlainLen : {size_t{0}, size_t{12}, size_t{16}, size_t{23}}) {
            SCOPED_TRACE(testing::Message() << c.pszOpensslName << " over " << nPlainLen);
            Bytes vtrPlain(nPlainLen);
            for (size_t i = 0; i < nPlainLen; ++i) {
                vtrPlain[i] = static_cast<uint8_t>(i * 37 + 5);
            }
            const Bytes vtrKey(kKey24.begin(), kKey24.begin() + static_cast<long>(c.nKeyLen));
            const Bytes vtrIV = c.bTakesIV ? kIV : Bytes{};
            Bytes vtrExpected;
            ASSERT_TRUE(OpensslEncrypt(c.pszOpensslName, vtrKey, vtrIV, vtrPlain, vtrExpected));

            Bytes vtrCipherText;
            ASSERT_EQ(
                RunCipher(true, c.ulAlgId, c.nMode, vtrKey, kIV.data(), vtrPlain, vtrCipherText),
                0u);
            EXPECT_EQ(ToHex(vtrCipherText), ToHex(vtrExpected));
            Bytes vtrBack;
            ASSERT_EQ(
                RunCipher(false, c.ulAlgId, c.nMode, vtrKey, kIV.data(), vtrCipherText, vtrBack),
                0u);
            EXPECT_EQ(vtrBack, vtrPlain);
        }
    }
}

TEST_F(SymmetricTest, PublishedVectors)
{
    struct Vector {
        const char* pszName;
        uint32_t ulAlgId;
        int nMode;
        const char* pszKey;
        const char* pszPlain;
        const char* pszCipherPrefix;  // before any padding block
    };
    const Vector vectors[] = {
        {"DES (textbook worked example)", CALG_DES, 2, "133457799bbcdff1", "0123456789abcdef",
         "85e813540f0ab405"},
        {"RC4 128-bit key (RFC 6229)", CALG_RC4, 0, "0102030405060708090a0b0c0d0e0f10",
         "00000000000000000000000000000000", "9ac7cc9a609d1ef7b2932899cde41b97"},
        {"triple DES (SP 800-67 example)", CALG_3DES, 2,
         "0123456789abcdef23456789abcdef01456789abcdef0123",
         "54686520717566636b2062726f776e20666f78206a756d70",
         "a826fd8ce53b855fcce21c8112256fe668d5c05dd9b6b900"},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.pszName);
        Bytes vtrOut;
        ASSERT_EQ(RunCipher(true, v.ulAlgId, v.nMode, FromHex(v.pszKey), nullptr,
                            FromHex(v.pszPlain), vtrOut),
                  0u);
        const std::string strExpected = std::string(v.pszCipherPrefix);
        EXPECT_EQ(ToHex(vtrOut).substr(0, strExpected.size()), strExpected);
    }
}

TEST_F(SymmetricTest, PaddingAndLengthsByMode)
{
    const Bytes vtrTwelve(12, 0x5A);
    struct LengthCase {
        uint32_t ulAlgId;
        int nMode;
        size_t nPlainLen;
        size_t nCipherLen;
    };
    const LengthCase cases[] = {
        {CALG_DES, 1, 12, 16}, {CALG_DES, 1, 16, 24}, {CALG_DES, 2, 0, 8},
        {CALG_DES, 3, 12, 12}, {CALG_DES, 4, 12, 12}, {CALG_RC4, 1, 12, 12},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.ulAlgId << " mode " << c.nMode);
        Bytes vtrOut;
        ASSERT_EQ(
            RunCipher(true, c.ulAlgId, c.nMode, kKey16, kIV.data(), Bytes(c.nPlainLen, 1), vtrOut),
            0u);
        EXPECT_EQ(vtrOut.size(), c.nCipherLen);
    }

    // Block modes check the input length and the padding at Final.
    Bytes vtrOut;
    EXPECT_EQ(RunCipher(false, CALG_DES, 1, kKey16, kIV.data(), vtrTwelve, vtrOut), NTE_FAIL);
    EXPECT_EQ(RunCipher(false, CALG_DES, 2, kKey16, kIV.data(), vtrTwelve, vtrOut), NTE_FAIL);
    Bytes vtrSealed;
    ASSERT_EQ(
        RunCipher(true, CALG_3DES, 1, kKey24, kIV.data(), BytesOf("sixteen byte msg"), vtrSealed),
        0u);
    Bytes vtrOtherKey = kKey24;
    vtrOtherKey[0] ^= 0x02;  // outside the parity bit
    EXPECT_EQ(RunCipher(false, CALG_3DES, 1, vtrOtherKey, kIV.data(), vtrSealed, vtrOut), NTE_FAIL);
}

TEST_F(SymmetricTest, MissingIVIsAllZero)
{
    const Bytes vtrPlain = BytesOf("twenty bytes of text");
    const Bytes vtrZeroIV(8, 0);
    for (int nMode : {1, 3, 4}) {
        SCOPED_TRACE(nMode);
        Bytes vtrWithout;
        Bytes vtrWith;
        ASSERT_EQ(RunCipher(true, CALG_DES, nMode, kKey16, nullptr, vtrPlain, vtrWithout), 0u);
        ASSERT_EQ(RunCipher(true, CALG_DES, nMode, kKey16, vtrZeroIV.data(), vtrPlain, vtrWith),
                  0u);
        EXPECT_EQ(vtrWithout, vtrWith);
    }
}

TEST_F(SymmetricTest, ArgumentAndAlgorithmChecks)
{
    void* pCtx = nullptr;
    EXPECT_EQ(Cipher::SymEncryptInit(nullptr, CALG_DES, 1, kKey16.data(), kIV.data()),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::SymDecryptInit(&pCtx, CALG_DES, 1, nullptr, kIV.data()),
              ERROR_INVALID_PARAMETER);

    const struct {
        uint32_t ulAlgId;
        int nMode;
    } unsupported[] = {{CALG_DES, 0}, {CALG_DES, 5},  {CALG_3DES, -1},
                       {0x6602, 1},   {CALG_SHA1, 1}, {CALG_SM2_SIGN, 1}};
    for (const auto& u : unsupported) {
        SCOPED_TRACE(testing::Message() << std::hex << u.ulAlgId << " mode " << u.nMode);
        EXPECT_EQ(Cipher::EVPSymEnc(u.ulAlgId, u.nMode), nullptr);
        EXPECT_EQ(Cipher::SymEncryptInit(&pCtx, u.ulAlgId, u.nMode, kKey24.data(), kIV.data()),
                  NTE_FAIL);
        EXPECT_EQ(Cipher::SymDecryptInit(&pCtx, u.ulAlgId, u.nMode, kKey24.data(), kIV.data()),
                  NTE_FAIL);
        EXPECT_EQ(pCtx, nullptr);
    }
    // RC4 has no modes: any mode value gives the same stream.
    Bytes vtrModeOne;
    Bytes vtrModeNine;
    ASSERT_EQ(RunCipher(true, CALG_RC4, 1, kKey16, nullptr, BytesOf("stream"), vtrModeOne), 0u);
    ASSERT_EQ(RunCipher(true, CALG_RC4, 9, kKey16, nullptr, BytesOf("stream"), vtrModeNine), 0u);
    EXPECT_EQ(vtrModeOne, vtrModeNine);

    ASSERT_EQ(Cipher::SymEncryptInit(&pCtx, CALG_DES, 1, kKey16.data(), kIV.data()), 0u);
    uint8_t byIn[8] = {0};
    uint8_t byOut[32] = {0};
    int nOut = -7;
    struct UpdateCase {
        void* pCtx;
        const uint8_t* pbyIn;
        long nLen;
        uint8_t* pbyOut;
    };
    const UpdateCase updates[] = {
        {nullptr, byIn, 8, byOut},
        {pCtx, nullptr, 8, byOut},
        {pCtx, byIn, 8, nullptr},
        {pCtx, byIn, -1, byOut},
        // Longer than an int: refused, never cut to a shorter operation.
        {pCtx, byIn, static_cast<long>(INT_MAX) + 8, byOut},
    };
    for (const UpdateCase& u : updates) {
        SCOPED_TRACE(u.nLen);
        EXPECT_EQ(Cipher::SymEncryptUpdate(u.pCtx, u.pbyIn, u.nLen, u.pbyOut, nOut),
                  ERROR_INVALID_PARAMETER);
        EXPECT_EQ(Cipher::SymDecryptUpdate(u.pCtx, u.pbyIn, u.nLen, u.pbyOut, nOut),
                  ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(Cipher::SymEncryptFinal(pCtx, nullptr, nOut), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::SymDecryptFinal(pCtx, nullptr, nOut), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(nOut, -7);
    EXPECT_EQ(Cipher::SymEvpDestroy(pCtx), 0u);
    EXPECT_EQ(Cipher::SymEvpDestroy(nullptr), 0u);
}

TEST_F(SymmetricTest, GenerateSYMKeyFollowsBytesToKeyWithMd5)
{
    const Bytes vtrData = BytesOf("some key material");
    // D1 = MD5(data), D2 = MD5(D1 || data); key bytes first, then IV bytes.
    auto md5 = [](const Bytes& vtrIn) {
        uint8_t* pbyOut = nullptr;
        int nLen = 0;
        void* pCtx = nullptr;
        EXPECT_EQ(Cipher::HashEvpInit(&pCtx, CALG_MD5, nullptr, nullptr, false), 0u);
        EXPECT_EQ(
            Cipher::HashEvpUpdate(pCtx, CALG_MD5, vtrIn.data(), static_cast<long>(vtrIn.size())),
            0u);
        EXPECT_EQ(Cipher::HashEvpFinal(pCtx, CALG_MD5, &pbyOut, nLen), 0u);
        Bytes vtrOut(pbyOut, pbyOut + nLen);
        delete[] pbyOut;
        Cipher::HashEvpDestroy(pCtx, CALG_MD5);
        return vtrOut;
    };
    Bytes vtrStream = md5(vtrData);
    Bytes vtrSecond = vtrStream;
    vtrSecond.insert(vtrSecond.end(), vtrData.begin(), vtrData.end());
    const Bytes vtrD2 = md5(vtrSecond);
    vtrStream.insert(vtrStream.end(), vtrD2.begin(), vtrD2.end());

    const struct {
        uint32_t ulAlgId;
        int nMode;
        int nKeyLen;
        int nIVLen;
    } cases[] = {{CALG_DES, 1, 8, 8},
                 {CALG_3DES, 1, 24, 8},
                 {CALG_3DES_112, 3, 16, 8},
                 {CALG_RC4, 1, 16, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.ulAlgId);
        uint8_t* pbyKey = nullptr;
        uint8_t* pbyIV = nullptr;
        int nKeyLen = 0;
        int nIVLen = 0;
        ASSERT_EQ(Cipher::GenerateSYMKey(c.ulAlgId, c.nMode, vtrData.data(),
                                         static_cast<long>(vtrData.size()), &pbyKey, &nKeyLen,
                                         &pbyIV, &nIVLen),
                  0u);
        ASSERT_EQ(nKeyLen, c.nKeyLen);
        ASSERT_EQ(nIVLen, c.nIVLen);
        EXPECT_EQ(ToHex(pbyKey, nKeyLen), ToHex(vtrStream.data(), c.nKeyLen));
        if (c.nIVLen > 0) {
            EXPECT_EQ(ToHex(pbyIV, nIVLen), ToHex(vtrStream.data() + c.nKeyLen, c.nIVLen));
        } else {
            EXPECT_EQ(pbyIV, nullptr);
        }
        delete[] pbyKey;
        delete[] pbyIV;
    }

    uint8_t* pbyKey = nullptr;
    uint8_t* pbyIV = nullptr;
    int nKeyLen = 0;
    int nIVLen = 0;
    const struct {
        const uint8_t* pbyData;
        long nLen;
        uint32_t ulAlgId;
        RESULT ulExpected;
    } failures[] = {
        {nullptr, 4, CALG_DES, ERROR_INVALID_PARAMETER},
        {vtrData.data(), 0, CALG_DES, ERROR_INVALID_PARAMETER},
        {vtrData.data(), -3, CALG_DES, ERROR_INVALID_PARAMETER},
        {vtrData.data(), static_cast<long>(INT_MAX) + 1, CALG_DES, ERROR_INVALID_PARAMETER},
        {vtrData.data(), 4, 0x6602, NTE_FAIL},
    };
    for (const auto& f : failures) {
        SCOPED_TRACE(f.nLen);
        EXPECT_EQ(Cipher::GenerateSYMKey(f.ulAlgId, 1, f.pbyData, f.nLen, &pbyKey, &nKeyLen, &pbyIV,
                                         &nIVLen),
                  f.ulExpected);
        EXPECT_EQ(pbyKey, nullptr);
    }
}

TEST_F(SymmetricTest, HostDefaultContextIsUntouched)
{
    // Work through Cipher with single DES and RC4, which need the legacy
    // provider...
    Bytes vtrOut;
    ASSERT_EQ(RunCipher(true, CALG_DES, 1, kKey16, kIV.data(), BytesOf("data"), vtrOut), 0u);
    ASSERT_EQ(RunCipher(true, CALG_RC4, 1, kKey16, nullptr, BytesOf("data"), vtrOut), 0u);
    // ...which the host program's own context still does not have.
    for (const char* pszName : {"DES-CBC", "RC4"}) {
        SCOPED_TRACE(pszName);
        EVP_CIPHER* pCipher = EVP_CIPHER_fetch(nullptr, pszName, nullptr);
        EXPECT_EQ(pCipher, nullptr);
        EVP_CIPHER_free(pCipher);
    }
}
}  // namespace
