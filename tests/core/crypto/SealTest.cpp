#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include "core/crypto/Cipher.h"
#include "core/crypto/CipherSm3Kdf.h"
#include "core/token/Records.h"
#include "CipherTestTools.h"

namespace {
class SealTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Cipher::CipherInitialize(), 0u); }
    void TearDown() override { Cipher::CipherUninitialize(); }
};

// Takes a handed-out block into a vector and releases it.
Bytes Take(uint8_t* pbyData, int nLen)
{
    Bytes vtrOut(pbyData, pbyData + nLen);
    delete[] pbyData;
    return vtrOut;
}

Bytes Sm3(const Bytes& vtrIn)
{
    void* pCtx = nullptr;
    EXPECT_EQ(Cipher::HashEvpInit(&pCtx, CALG_SM3, nullptr, nullptr, false), 0u);
    EXPECT_EQ(Cipher::HashEvpUpdate(pCtx, CALG_SM3, vtrIn.data(), static_cast<long>(vtrIn.size())),
              0u);
    uint8_t* pbyOut = nullptr;
    int nLen = 0;
    EXPECT_EQ(Cipher::HashEvpFinal(pCtx, CALG_SM3, &pbyOut, nLen), 0u);
    Cipher::HashEvpDestroy(pCtx, CALG_SM3);
    return Take(pbyOut, nLen);
}

TEST_F(SealTest, Sm4CbcMatchesTheStandardExampleAndOpenssl)
{
    // GB/T 32907: key = plain = 0123456789abcdeffedcba9876543210 gives
    // 681edf34d206965e86b3e94f536e4246; with a zero IV that is the first
    // CBC block, and a full padding block follows.
    const Bytes vtrKey = FromHex("0123456789abcdeffedcba9876543210");
    const struct {
        const char* pszIV;
        const char* pszFirstBlock;
    } cases[] = {
        {"00000000000000000000000000000000", "681edf34d206965e86b3e94f536e4246"},
        {"000102030405060708090a0b0c0d0e0f", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszIV);
        Bytes vtrKeyBlock = FromHex(c.pszIV);
        vtrKeyBlock.insert(vtrKeyBlock.end(), vtrKey.begin(), vtrKey.end());
        uint8_t* pbyOut = nullptr;
        int nOut = 0;
        ASSERT_EQ(
            Cipher::SM4_Encrypt_CBC(vtrKey.data(), 16, vtrKeyBlock.data(), 32, &pbyOut, &nOut), 0u);
        const Bytes vtrSealed = Take(pbyOut, nOut);
        ASSERT_EQ(vtrSealed.size(), 32u);
        if (c.pszFirstBlock != nullptr) {
            EXPECT_EQ(ToHex(vtrSealed).substr(0, 32), c.pszFirstBlock);
        }
        Bytes vtrReference;
        ASSERT_TRUE(OpensslEncrypt("sm4-cbc", vtrKey, FromHex(c.pszIV), vtrKey, vtrReference));
        EXPECT_EQ(ToHex(vtrSealed), ToHex(vtrReference));

        ASSERT_EQ(
            Cipher::SM4_Decrypt_CBC(vtrSealed.data(), 32, vtrKeyBlock.data(), 32, &pbyOut, &nOut),
            0u);
        EXPECT_EQ(Take(pbyOut, nOut), vtrKey);
    }
}

TEST_F(SealTest, SealedSizesAndRoundTripByPin)
{
    const struct {
        long nPlain;
        int nSealed;
    } sizes[] = {{0, 16}, {1, 16}, {15, 16}, {16, 32}, {17, 32}, {31, 32}, {32, 48}, {100, 112}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(s.nPlain);
        Bytes vtrPlain(static_cast<size_t>(s.nPlain) + 1);
        for (size_t i = 0; i < vtrPlain.size(); ++i) {
            vtrPlain[i] = static_cast<uint8_t>(i ^ 0xA5);
        }
        uint8_t* pbyOut = nullptr;
        int nOut = 0;
        ASSERT_EQ(Cipher::SM4EncryptByPin(vtrPlain.data(), s.nPlain, "machine#user#secret", &pbyOut,
                                          &nOut),
                  0u);
        const Bytes vtrSealed = Take(pbyOut, nOut);
        ASSERT_EQ(nOut, s.nSealed);
        ASSERT_EQ(
            Cipher::SM4DecryptByPin(vtrSealed.data(), nOut, "machine#user#secret", &pbyOut, &nOut),
            0u);
        EXPECT_EQ(Take(pbyOut, nOut), Bytes(vtrPlain.begin(), vtrPlain.begin() + s.nPlain));
    }
}

TEST_F(SealTest, PinKeyBlockIsSm3OfPinAndCounterOne)
{
    const std::string strPin = "pass#string";
    Bytes vtrKdfInput = BytesOf(strPin);
    for (uint8_t b : {0, 0, 0, 1}) {
        vtrKdfInput.push_back(b);
    }
    const Bytes vtrKeyBlock = Sm3(vtrKdfInput);
    const Bytes vtrPlain = BytesOf("a private key, or so");

    uint8_t* pbyOut = nullptr;
    int nOut = 0;
    ASSERT_EQ(Cipher::SM4_Encrypt_CBC(vtrPlain.data(), static_cast<long>(vtrPlain.size()),
                                      vtrKeyBlock.data(), 32, &pbyOut, &nOut),
              0u);
    const Bytes vtrDirect = Take(pbyOut, nOut);
    ASSERT_EQ(Cipher::SM4EncryptByPin(vtrPlain.data(), static_cast<long>(vtrPlain.size()),
                                      strPin.c_str(), &pbyOut, &nOut),
              0u);
    EXPECT_EQ(Take(pbyOut, nOut), vtrDirect);
    // The explicit-length form takes the same bytes.
    ASSERT_EQ(Cipher::SM4EncryptByPin(vtrPlain.data(), static_cast<long>(vtrPlain.size()),
                                      reinterpret_cast<const uint8_t*>(strPin.data()),
                                      static_cast<long>(strPin.size()), &pbyOut, &nOut),
              0u);
    EXPECT_EQ(Take(pbyOut, nOut), vtrDirect);
}

TEST_F(SealTest, Sm3KdfMatchesX963KdfWithSm3)
{
    struct LibCtxFree {
        void operator()(OSSL_LIB_CTX* p) const { OSSL_LIB_CTX_free(p); }
    };
    std::unique_ptr<OSSL_LIB_CTX, LibCtxFree> pLibCtx(OSSL_LIB_CTX_new());
    EVP_KDF* pKdf = EVP_KDF_fetch(pLibCtx.get(), "X963KDF", nullptr);
    ASSERT_NE(pKdf, nullptr);
    Bytes vtrSecret = BytesOf("shared secret bytes");
    for (size_t nOutLen : {size_t{1}, size_t{32}, size_t{33}, size_t{100}}) {
        SCOPED_TRACE(nOutLen);
        EVP_KDF_CTX* pCtx = EVP_KDF_CTX_new(pKdf);
        char szDigest[] = "SM3";
        const OSSL_PARAM params[] = {
            OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, szDigest, 0),
            OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SECRET, vtrSecret.data(),
                                              vtrSecret.size()),
            OSSL_PARAM_construct_end()};
        Bytes vtrExpected(nOutLen);
        ASSERT_EQ(EVP_KDF_derive(pCtx, vtrExpected.data(), nOutLen, params), 1);
        EVP_KDF_CTX_free(pCtx);
        Bytes vtrOut(nOutLen);
        ASSERT_TRUE(CipherSm3Kdf(vtrSecret.data(), vtrSecret.size(), vtrOut.data(), nOutLen));
        EXPECT_EQ(vtrOut, vtrExpected);
    }
    EVP_KDF_free(pKdf);
}

TEST_F(SealTest, OtherPinOrDamagedBlobIsRefused)
{
    const Bytes vtrPlain = BytesOf("sixteen byte key");
    uint8_t* pbyOut = nullptr;
    int nOut = 0;
    ASSERT_EQ(Cipher::SM4EncryptByPin(vtrPlain.data(), 16, "id#user#pin-1", &pbyOut, &nOut), 0u);
    const Bytes vtrSealed = Take(pbyOut, nOut);

    // Sealing is deterministic: the same PIN gives the same blob.
    ASSERT_EQ(Cipher::SM4EncryptByPin(vtrPlain.data(), 16, "id#user#pin-1", &pbyOut, &nOut), 0u);
    EXPECT_EQ(Take(pbyOut, nOut), vtrSealed);

    const struct {
        const char* pszName;
        long nLen;
        const char* pszPin;
    } cases[] = {
        {"other PIN", 32, "id#user#pin-2"},
        {"not a whole block", 31, "id#user#pin-1"},
        {"empty", 0, "id#user#pin-1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        pbyOut = nullptr;
        EXPECT_EQ(Cipher::SM4DecryptByPin(vtrSealed.data(), c.nLen, c.pszPin, &pbyOut, &nOut),
                  NTE_FAIL);
        EXPECT_EQ(pbyOut, nullptr);
    }
}

TEST_F(SealTest, EmptyPinSealsAndOpens)
{
    const Bytes vtrPlain = BytesOf("data");
    uint8_t* pbyOut = nullptr;
    int nOut = 0;
    ASSERT_EQ(Cipher::SM4EncryptByPin(vtrPlain.data(), 4, "", &pbyOut, &nOut), 0u);
    const Bytes vtrSealed = Take(pbyOut, nOut);
    ASSERT_EQ(Cipher::SM4DecryptByPin(vtrSealed.data(), nOut, "", &pbyOut, &nOut), 0u);
    EXPECT_EQ(Take(pbyOut, nOut), vtrPlain);
}

TEST_F(SealTest, ArgumentChecks)
{
    uint8_t byData[32] = {0};
    uint8_t byKeyBlock[32] = {0};
    uint8_t* pbyOut = nullptr;
    int nOut = -5;
    const long kAboveInt = static_cast<long>(INT_MAX) + 1;
    struct Case {
        const char* pszName;
        const uint8_t* pbyData;
        long nLen;
        const uint8_t* pbyKeyBlock;
        int nKeyBlockLen;
        uint8_t** ppbyOut;
        int* pnOut;
    };
    const Case cases[] = {
        {"null data", nullptr, 16, byKeyBlock, 32, &pbyOut, &nOut},
        {"negative length", byData, -1, byKeyBlock, 32, &pbyOut, &nOut},
        {"length above INT_MAX", byData, kAboveInt, byKeyBlock, 32, &pbyOut, &nOut},
        {"padded length above INT_MAX", byData, INT_MAX, byKeyBlock, 32, &pbyOut, &nOut},
        {"LONG_MAX", byData, LONG_MAX, byKeyBlock, 32, &pbyOut, &nOut},
        {"null key block", byData, 16, nullptr, 32, &pbyOut, &nOut},
        {"short key block", byData, 16, byKeyBlock, 16, &pbyOut, &nOut},
        {"null out", byData, 16, byKeyBlock, 32, nullptr, &nOut},
        {"null out length", byData, 16, byKeyBlock, 32, &pbyOut, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(Cipher::SM4_Encrypt_CBC(c.pbyData, c.nLen, c.pbyKeyBlock, c.nKeyBlockLen,
                                          c.ppbyOut, c.pnOut),
                  ERROR_INVALID_PARAMETER);
        EXPECT_EQ(Cipher::SM4_Decrypt_CBC(c.pbyData, c.nLen, c.pbyKeyBlock, c.nKeyBlockLen,
                                          c.ppbyOut, c.pnOut),
                  ERROR_INVALID_PARAMETER);
        if (c.pbyKeyBlock == byKeyBlock && c.nKeyBlockLen == 32) {
            EXPECT_EQ(Cipher::SM4EncryptByPin(c.pbyData, c.nLen, "pin", c.ppbyOut, c.pnOut),
                      ERROR_INVALID_PARAMETER);
            EXPECT_EQ(Cipher::SM4DecryptByPin(c.pbyData, c.nLen, "pin", c.ppbyOut, c.pnOut),
                      ERROR_INVALID_PARAMETER);
        }
    }
    EXPECT_EQ(Cipher::SM4EncryptByPin(byData, 16, nullptr, &pbyOut, &nOut),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::SM4DecryptByPin(byData, 16, nullptr, &pbyOut, &nOut),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::SM4EncryptByPin(byData, 16, nullptr, 3, &pbyOut, &nOut),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::SM4EncryptByPin(byData, 16, byKeyBlock, -1, &pbyOut, &nOut),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::SM4DecryptByPin(byData, 16, byKeyBlock, kAboveInt, &pbyOut, &nOut),
              ERROR_INVALID_PARAMETER);
    // Nothing was handed out.
    EXPECT_EQ(pbyOut, nullptr);
    EXPECT_EQ(nOut, -5);
}
}  // namespace
