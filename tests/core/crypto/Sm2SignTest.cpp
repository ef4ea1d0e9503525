// SM2 signatures from Cipher against OpenSSL's own SM3-with-Z signatures
// (API and command line), in both directions, including keys and
// signatures whose fixed 32-byte values begin with zero bytes.
#include <gtest/gtest.h>

#include "PkeyTestUtil.h"
#include "core/crypto/Cipher.h"

namespace {

Buf CipherSign(const Sm2Pair& pair, const Buf& e)
{
    Buf signature(64);
    int nSize = 0;
    EXPECT_EQ(Cipher::SM2SignHash(pair.d.data(), 32, e.data(), 32, signature.data(), &nSize), 0u);
    EXPECT_EQ(nSize, 64);
    return signature;
}

RESULT CipherVerify(const Buf& xy, const Buf& e, const Buf& signature)
{
    return Cipher::SM2VerifySignature(e.data(), static_cast<int>(e.size()), xy.data(), static_cast<int>(xy.size()),
                                      signature.data(), static_cast<int>(signature.size()), true);
}

Buf MessageDigest(const Sm2Pair& pair, const Buf& message) { return OsslSm3(Concat(OsslSm2Z(pair.xy), message)); }

struct KeyCase {
    const char* pszName;
    size_t nZeroAt;  // index into d || X || Y that must be 0x00; SIZE_MAX for any key
};

}  // namespace

TEST(Sm2Sign, AgreesWithOpenSslBothWaysForKeysWithLeadingZeros)
{
    const KeyCase aCases[] = {
        {"any key", SIZE_MAX},
        {"d begins with 0x00", 0},
        {"X begins with 0x00", 32},
        {"Y begins with 0x00", 64},
    };
    const Buf message = BufOf("message to be signed");
    ScratchDir dir;
    dir.Write("m.bin", message);
    for (const KeyCase& c : aCases) {
        SCOPED_TRACE(c.pszName);
        const Sm2Pair pair = CipherSm2PairWhere([&](const Sm2Pair& p) {
            return c.nZeroAt == SIZE_MAX || Concat(p.d, p.xy)[c.nZeroAt] == 0;
        });
        ASSERT_EQ(pair.d.size(), 32u);
        ASSERT_EQ(pair.xy.size(), 64u);
        // The public key really is d * G, with its zero bytes in place.
        EXPECT_EQ(pair.xy, OsslSm2PublicOf(pair.d));

        OsslKey key = OsslSm2Key(pair.d, pair.xy);
        const Buf e = MessageDigest(pair, message);

        // Cipher signs e; OpenSSL verifies over M with the id.
        const Buf signature = CipherSign(pair, e);
        EXPECT_TRUE(OsslSm2VerifyMessage(key.get(), message, OsslSigRawToDer(signature)));

        // OpenSSL signs M; Cipher verifies e.
        const Buf opensslSignature = OsslSigDerToRaw(OsslSm2SignMessage(key.get(), message));
        EXPECT_EQ(CipherVerify(pair.xy, e, opensslSignature), 0u);

        // The same through the command line.
        WritePrivatePem(dir, "key.pem", key.get());
        WritePublicPem(dir, "pub.pem", key.get());
        dir.Write("cipher.sig", OsslSigRawToDer(signature));
        const std::string strOpts = " -rawin -digest sm3 -pkeyopt distid:" + std::string(kSm2Id) + " -in " +
                                    dir.Path("m.bin");
        EXPECT_TRUE(RunCommand("openssl pkeyutl -verify -pubin -inkey " + dir.Path("pub.pem") + strOpts + " -sigfile " +
                        dir.Path("cipher.sig")));
        ASSERT_TRUE(RunCommand("openssl pkeyutl -sign -inkey " + dir.Path("key.pem") + strOpts + " -out " +
                        dir.Path("cli.sig")));
        EXPECT_EQ(CipherVerify(pair.xy, e, OsslSigDerToRaw(dir.Read("cli.sig"))), 0u);
    }
}

TEST(Sm2Sign, SignaturesWithShortRAndSStayFixedWidth)
{
    const Sm2Pair pair = CipherSm2Pair();
    OsslKey key = OsslSm2Key(pair.d, pair.xy);
    const Buf message = BufOf("leading zeros");
    const Buf e = MessageDigest(pair, message);
    const struct {
        const char* pszName;
        size_t nAt;
    } aCases[] = {{"r begins with 0x00", 0}, {"s begins with 0x00", 32}};
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.pszName);
        // From Cipher: the raw form keeps 32 bytes each and OpenSSL accepts it.
        Buf signature;
        for (int i = 0; i < 20000 && (signature.empty() || signature[c.nAt] != 0); ++i) {
            signature = CipherSign(pair, e);
        }
        ASSERT_EQ(signature[c.nAt], 0);
        EXPECT_TRUE(OsslSm2VerifyMessage(key.get(), message, OsslSigRawToDer(signature)));
        EXPECT_EQ(CipherVerify(pair.xy, e, signature), 0u);

        // From OpenSSL: a short INTEGER in its DER, padded back by the test.
        Buf fromOpenSsl;
        for (int i = 0; i < 20000 && (fromOpenSsl.empty() || fromOpenSsl[c.nAt] != 0); ++i) {
            fromOpenSsl = OsslSigDerToRaw(OsslSm2SignMessage(key.get(), message));
        }
        ASSERT_EQ(fromOpenSsl[c.nAt], 0);
        EXPECT_EQ(CipherVerify(pair.xy, e, fromOpenSsl), 0u);
    }
}

TEST(Sm2Sign, FreshSignaturesDifferAndAnyFlippedByteFails)
{
    const Sm2Pair pair = CipherSm2Pair();
    const Buf e = OsslSm3(BufOf("abc"));
    const Buf first = CipherSign(pair, e);
    const Buf second = CipherSign(pair, e);
    EXPECT_NE(first, second);
    EXPECT_EQ(CipherVerify(pair.xy, e, first), 0u);
    EXPECT_EQ(CipherVerify(pair.xy, e, second), 0u);

    const struct {
        const char* pszName;
        bool bInSignature;
        size_t nAt;
    } aCases[] = {{"r", true, 5}, {"s", true, 40}, {"e", false, 0}, {"last of s", true, 63}};
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.pszName);
        Buf signature = first;
        Buf digest = e;
        (c.bInSignature ? signature : digest)[c.nAt] ^= 0x01;
        EXPECT_EQ(CipherVerify(pair.xy, digest, signature), NTE_BAD_SIGNATURE);
    }
    // Another key, and a point that is not on the curve.
    EXPECT_EQ(CipherVerify(CipherSm2Pair().xy, e, first), NTE_BAD_SIGNATURE);
    Buf offCurve = pair.xy;
    offCurve[63] ^= 0x01;
    EXPECT_EQ(CipherVerify(offCurve, e, first), NTE_BAD_SIGNATURE);
}

TEST(Sm2Sign, RefusesWrongSizesNullsAndUnusableKeys)
{
    const Sm2Pair pair = CipherSm2Pair();
    const Buf e = OsslSm3(BufOf("abc"));
    const Buf zero(32, 0x00);
    // n - 1: (1 + d) has no inverse mod n.
    Buf orderMinusOne = {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                         0x72, 0x03, 0xDF, 0x6B, 0x21, 0xC6, 0x05, 0x2B, 0x53, 0xBB, 0xF4, 0x09, 0x39, 0xD5, 0x41, 0x22};
    Buf signature(64, 0xAA);
    int nSize = -1;
    const struct {
        const char* pszName;
        const unsigned char* pbyKey;
        int nKeySize;
        const unsigned char* pbyE;
        int nESize;
        unsigned char* pbyOut;
        RESULT ulExpected;
    } aSignCases[] = {
        {"e of 31 bytes", pair.d.data(), 32, e.data(), 31, signature.data(), ERROR_INVALID_PARAMETER},
        {"e of 33 bytes", pair.d.data(), 32, e.data(), 33, signature.data(), ERROR_INVALID_PARAMETER},
        {"key of 31 bytes", pair.d.data(), 31, e.data(), 32, signature.data(), ERROR_INVALID_PARAMETER},
        {"null key", nullptr, 32, e.data(), 32, signature.data(), ERROR_INVALID_PARAMETER},
        {"null e", pair.d.data(), 32, nullptr, 32, signature.data(), ERROR_INVALID_PARAMETER},
        {"null signature buffer", pair.d.data(), 32, e.data(), 32, nullptr, ERROR_INVALID_PARAMETER},
        {"d = 0", zero.data(), 32, e.data(), 32, signature.data(), NTE_FAIL},
        {"d = n - 1", orderMinusOne.data(), 32, e.data(), 32, signature.data(), NTE_FAIL},
    };
    for (const auto& c : aSignCases) {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(Cipher::SM2SignHash(c.pbyKey, c.nKeySize, c.pbyE, c.nESize, c.pbyOut, &nSize), c.ulExpected);
        EXPECT_EQ(nSize, -1);
        EXPECT_EQ(signature, Buf(64, 0xAA));
    }
    EXPECT_EQ(Cipher::SM2SignHash(pair.d.data(), 32, e.data(), 32, signature.data(), nullptr),
              ERROR_INVALID_PARAMETER);

    const Buf good = CipherSign(pair, e);
    const struct {
        const char* pszName;
        int nESize;
        const unsigned char* pbyKey;
        int nKeySize;
        int nSignatureSize;
        bool bUsePublicKey;
    } aVerifyCases[] = {
        {"without the public key", 32, pair.xy.data(), 64, 64, false},
        {"e of 31 bytes", 31, pair.xy.data(), 64, 64, true},
        {"signature of 63 bytes", 32, pair.xy.data(), 64, 63, true},
        {"public key of 65 bytes", 32, pair.xy.data(), 65, 64, true},
        {"null public key", 32, nullptr, 64, 64, true},
    };
    for (const auto& c : aVerifyCases) {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(Cipher::SM2VerifySignature(e.data(), c.nESize, c.pbyKey, c.nKeySize, good.data(), c.nSignatureSize,
                                             c.bUsePublicKey),
                  ERROR_INVALID_PARAMETER);
    }
}

TEST(Sm2Keys, GenerationRefusesNullOutputs)
{
    unsigned char* pbyD = nullptr;
    unsigned char* pbyXY = nullptr;
    int nD = 0;
    int nXY = 0;
    EXPECT_EQ(Cipher::GenerateSM2KeyPair(nullptr, &nD, &pbyXY, &nXY), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::GenerateSM2KeyPair(&pbyD, &nD, nullptr, &nXY), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::GenerateSM2KeyPair(&pbyD, nullptr, &pbyXY, &nXY), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(pbyD, nullptr);
    EXPECT_EQ(pbyXY, nullptr);
}
