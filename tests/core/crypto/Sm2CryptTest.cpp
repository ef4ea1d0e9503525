// SM2 encryption in the raw form C1 || C3 || C2 against OpenSSL's DER form
// (API and command line), in both directions, including ciphertexts whose
// x1 or y1 begins with zero bytes.
#include <climits>

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include "PkeyTestUtil.h"
#include "core/crypto/Cipher.h"

namespace {

Buf CipherEncrypt(const Sm2Pair& pair, const Buf& plain)
{
    unsigned char* pbyOut = nullptr;
    int nOut = 0;
    EXPECT_EQ(Cipher::SM2Encrypt(plain.data(), static_cast<int>(plain.size()), pair.xy.data(), 32,
                                 pair.xy.data() + 32, 32, &pbyOut, &nOut),
              0u);
    return TakeBuf(pbyOut, nOut);
}

RESULT CipherDecrypt(const Buf& d, const Buf& cipher, Buf& plain)
{
    unsigned char* pbyOut = nullptr;
    int nOut = 0;
    const RESULT r =
        Cipher::SM2Decrypt(cipher.data(), static_cast<int>(cipher.size()), d.data(), static_cast<int>(d.size()),
                           &pbyOut, &nOut);
    plain = TakeBuf(pbyOut, nOut);
    return r;
}

Buf OsslEncryptDer(EVP_PKEY* pKey, const Buf& plain)
{
    EVP_PKEY_CTX* pCtx = EVP_PKEY_CTX_new_from_pkey(nullptr, pKey, nullptr);
    size_t nSize = 0;
    Buf der;
    if (EVP_PKEY_encrypt_init(pCtx) == 1 && EVP_PKEY_encrypt(pCtx, nullptr, &nSize, plain.data(), plain.size()) == 1) {
        der.resize(nSize);
        if (EVP_PKEY_encrypt(pCtx, der.data(), &nSize, plain.data(), plain.size()) == 1) {
            der.resize(nSize);
        } else {
            der.clear();
        }
    }
    EVP_PKEY_CTX_free(pCtx);
    return der;
}

bool OsslDecryptDer(EVP_PKEY* pKey, const Buf& der, Buf& plain)
{
    EVP_PKEY_CTX* pCtx = EVP_PKEY_CTX_new_from_pkey(nullptr, pKey, nullptr);
    size_t nSize = 0;
    bool bOk = EVP_PKEY_decrypt_init(pCtx) == 1 && EVP_PKEY_decrypt(pCtx, nullptr, &nSize, der.data(), der.size()) == 1;
    if (bOk) {
        plain.resize(nSize);
        bOk = EVP_PKEY_decrypt(pCtx, plain.data(), &nSize, der.data(), der.size()) == 1;
        plain.resize(bOk ? nSize : 0);
    }
    EVP_PKEY_CTX_free(pCtx);
    return bOk;
}

// C1 || C3 || C2 rearranged as C1 || C2 || C3.
Buf C1C2C3(const Buf& raw)
{
    Buf out(raw.begin(), raw.begin() + 64);
    out.insert(out.end(), raw.begin() + 96, raw.end());
    out.insert(out.end(), raw.begin() + 64, raw.begin() + 96);
    return out;
}

}  // namespace

TEST(Sm2Crypt, CommandLineCiphertextsDecryptAndCipherCiphertextsDecryptThere)
{
    // Keys with a zero first byte in d, X or Y among them.
    const size_t anZeroAt[] = {SIZE_MAX, 0, 32, 64};
    const Buf message = BufOf("a secret for the exchange key");
    ScratchDir dir;
    dir.Write("m.bin", message);
    for (size_t nZeroAt : anZeroAt) {
        SCOPED_TRACE(nZeroAt);
        const Sm2Pair pair =
            CipherSm2PairWhere([&](const Sm2Pair& p) { return nZeroAt == SIZE_MAX || Concat(p.d, p.xy)[nZeroAt] == 0; });
        OsslKey key = OsslSm2Key(pair.d, pair.xy);
        WritePrivatePem(dir, "key.pem", key.get());
        WritePublicPem(dir, "pub.pem", key.get());

        ASSERT_TRUE(RunCommand("openssl pkeyutl -encrypt -pubin -inkey " + dir.Path("pub.pem") + " -in " +
                               dir.Path("m.bin") + " -out " + dir.Path("cli.der")));
        const Buf raw = OsslSm2CipherDerToRaw(dir.Read("cli.der"));
        ASSERT_EQ(raw.size(), message.size() + 96);
        Buf plain;
        EXPECT_EQ(CipherDecrypt(pair.d, raw, plain), 0u);
        EXPECT_EQ(plain, message);

        const Buf fromCipher = CipherEncrypt(pair, message);
        ASSERT_EQ(fromCipher.size(), message.size() + 96);
        dir.Write("cipher.der", OsslSm2CipherRawToDer(fromCipher));
        ASSERT_TRUE(RunCommand("openssl pkeyutl -decrypt -inkey " + dir.Path("key.pem") + " -in " +
                               dir.Path("cipher.der") + " -out " + dir.Path("plain.bin")));
        EXPECT_EQ(dir.Read("plain.bin"), message);
    }
}

TEST(Sm2Crypt, CiphertextsWithShortX1OrY1AreConvertedBothWays)
{
    const Sm2Pair pair = CipherSm2Pair();
    OsslKey key = OsslSm2Key(pair.d, pair.xy);
    const Buf message = BufOf("m");
    const struct {
        const char* pszName;
        size_t nAt;
    } aCases[] = {{"x1 begins with 0x00", 0}, {"y1 begins with 0x00", 32}};
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.pszName);
        // OpenSSL's DER then holds a short INTEGER.
        Buf raw;
        for (int i = 0; i < 20000 && (raw.empty() || raw[c.nAt] != 0); ++i) {
            raw = OsslSm2CipherDerToRaw(OsslEncryptDer(key.get(), message));
        }
        ASSERT_EQ(raw[c.nAt], 0);
        Buf plain;
        EXPECT_EQ(CipherDecrypt(pair.d, raw, plain), 0u);
        EXPECT_EQ(plain, message);

        // Cipher has to give the library a minimal INTEGER.
        Buf fromCipher;
        for (int i = 0; i < 20000 && (fromCipher.empty() || fromCipher[c.nAt] != 0); ++i) {
            fromCipher = CipherEncrypt(pair, message);
        }
        ASSERT_EQ(fromCipher[c.nAt], 0);
        EXPECT_TRUE(OsslDecryptDer(key.get(), OsslSm2CipherRawToDer(fromCipher), plain));
        EXPECT_EQ(plain, message);
        EXPECT_EQ(CipherDecrypt(pair.d, fromCipher, plain), 0u);
        EXPECT_EQ(plain, message);
    }
}

TEST(Sm2Crypt, LengthsAndBothPieceOrders)
{
    const Sm2Pair pair = CipherSm2Pair();
    for (size_t nSize : {size_t{1}, size_t{32}, size_t{200}, size_t{5000}}) {
        SCOPED_TRACE(nSize);
        Buf message(nSize);
        for (size_t i = 0; i < nSize; ++i) {
            message[i] = static_cast<unsigned char>(i * 7 + 1);
        }
        const Buf cipher = CipherEncrypt(pair, message);
        EXPECT_EQ(cipher.size(), nSize + 96);
        Buf plain;
        EXPECT_EQ(CipherDecrypt(pair.d, cipher, plain), 0u);
        EXPECT_EQ(plain, message);
        EXPECT_EQ(CipherDecrypt(pair.d, C1C2C3(cipher), plain), 0u);
        EXPECT_EQ(plain, message);
    }
}

TEST(Sm2Crypt, RefusesBadInputWithoutHandingOutAnything)
{
    const Sm2Pair pair = CipherSm2Pair();
    const Buf message = BufOf("payload");
    const Buf cipher = CipherEncrypt(pair, message);
    Buf tampered = cipher;
    tampered[70] ^= 0x01;  // inside C3
    Buf offCurve = cipher;
    offCurve[63] ^= 0x01;  // y1
    const Buf zero(32, 0);

    const struct {
        const char* pszName;
        Buf cipher;
        Buf d;
        RESULT ulExpected;
    } aDecryptCases[] = {
        {"96 bytes: no message", Buf(cipher.begin(), cipher.begin() + 96), pair.d, ERROR_INVALID_PARAMETER},
        {"shorter than C1 || C3", Buf(cipher.begin(), cipher.begin() + 10), pair.d, ERROR_INVALID_PARAMETER},
        {"key of 31 bytes", cipher, Buf(pair.d.begin(), pair.d.begin() + 31), ERROR_INVALID_PARAMETER},
        {"wrong key", cipher, CipherSm2Pair().d, NTE_FAIL},
        {"tampered C3", tampered, pair.d, NTE_FAIL},
        {"C1 off the curve", offCurve, pair.d, NTE_FAIL},
        {"d = 0", cipher, zero, NTE_FAIL},
    };
    for (const auto& c : aDecryptCases) {
        SCOPED_TRACE(c.pszName);
        unsigned char* pbyOut = nullptr;
        int nOut = -1;
        EXPECT_EQ(Cipher::SM2Decrypt(c.cipher.data(), static_cast<int>(c.cipher.size()), c.d.data(),
                                     static_cast<int>(c.d.size()), &pbyOut, &nOut),
                  c.ulExpected);
        EXPECT_EQ(pbyOut, nullptr);
        EXPECT_EQ(nOut, -1);
    }

    Buf offCurveKey = pair.xy;
    offCurveKey[63] ^= 0x01;
    const struct {
        const char* pszName;
        const unsigned char* pbyPlain;
        int nPlain;
        const unsigned char* pbyXY;
        int nXSize;
        RESULT ulExpected;
    } aEncryptCases[] = {
        {"empty message", message.data(), 0, pair.xy.data(), 32, ERROR_INVALID_PARAMETER},
        {"negative length", message.data(), -1, pair.xy.data(), 32, ERROR_INVALID_PARAMETER},
        {"result would pass INT_MAX", message.data(), INT_MAX - 95, pair.xy.data(), 32, ERROR_INVALID_PARAMETER},
        {"null message", nullptr, 7, pair.xy.data(), 32, ERROR_INVALID_PARAMETER},
        {"X of 31 bytes", message.data(), 7, pair.xy.data(), 31, ERROR_INVALID_PARAMETER},
        {"point off the curve", message.data(), 7, offCurveKey.data(), 32, NTE_FAIL},
    };
    for (const auto& c : aEncryptCases) {
        SCOPED_TRACE(c.pszName);
        unsigned char* pbyOut = nullptr;
        int nOut = -1;
        EXPECT_EQ(Cipher::SM2Encrypt(c.pbyPlain, c.nPlain, c.pbyXY, c.nXSize, c.pbyXY + 32, 32, &pbyOut, &nOut),
                  c.ulExpected);
        EXPECT_EQ(pbyOut, nullptr);
        EXPECT_EQ(nOut, -1);
    }
}
