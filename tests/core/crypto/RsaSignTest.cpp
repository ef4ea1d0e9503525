// PKCS#1 v1.5 signatures from Cipher against `openssl dgst` and the
// reverse, the bare MD5-and-SHA-1 block, and the size rules of the signer.
#include <openssl/rsa.h>

#include <gtest/gtest.h>

#include "PkeyTestUtil.h"
#include "core/crypto/Cipher.h"
#include "core/token/Records.h"

namespace {

constexpr uint32_t kAlgIdSha384 = 0x800D;

RESULT Sign(const Buf& priv, uint32_t uAlgID, const Buf& hash, Buf& signature, int nCapacity)
{
    signature.assign(static_cast<size_t>(nCapacity > 0 ? nCapacity : 1), 0xEE);
    int nSize = nCapacity;
    const RESULT r = Cipher::RSASignHash(priv.data(), static_cast<int>(priv.size()), uAlgID, hash.data(),
                                         static_cast<int>(hash.size()), signature.data(), &nSize);
    if (r == 0) {
        signature.resize(static_cast<size_t>(nSize));
    }
    return r;
}

RESULT Verify(const Buf& pub, uint32_t uAlgID, const Buf& hash, const Buf& signature)
{
    return Cipher::RSAVerifySignature(pub.data(), static_cast<int>(pub.size()), uAlgID, hash.data(),
                                      static_cast<int>(hash.size()), signature.data(),
                                      static_cast<int>(signature.size()));
}

// The public-key inverse of a signature: the padded block.
Buf OsslRawPublic(const Buf& pub, const Buf& signature)
{
    OsslKey key = OsslRsaFromPublicDer(pub);
    EVP_PKEY_CTX* pCtx = EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr);
    Buf out(signature.size());
    size_t nSize = out.size();
    const bool bOk = EVP_PKEY_encrypt_init(pCtx) == 1 && EVP_PKEY_CTX_set_rsa_padding(pCtx, RSA_NO_PADDING) == 1 &&
                     EVP_PKEY_encrypt(pCtx, out.data(), &nSize, signature.data(), signature.size()) == 1;
    EVP_PKEY_CTX_free(pCtx);
    EXPECT_TRUE(bOk);
    out.resize(nSize);
    return out;
}

struct DigestCase {
    uint32_t uAlgID;
    const char* pszName;  // OpenSSL's digest name
};
const DigestCase g_aDigests[] = {
    {CALG_MD5, "md5"},         {CALG_SHA1, "sha1"},         {CALG_SHA_256, "sha256"},
    {kAlgIdSha384, "sha384"}, {CALG_SHA_512, "sha512"},
};

}  // namespace

TEST(RsaSign, SignaturesVerifyWithOpenSslDgstAndTheReverse)
{
    const RsaPair pair = CipherRsaPair(2048);
    ScratchDir dir;
    dir.Write("priv.der", pair.priv);
    dir.Write("pub.der", pair.pub);
    ASSERT_TRUE(RunCommand("openssl rsa -inform DER -in " + dir.Path("priv.der") + " -out " + dir.Path("priv.pem")));
    ASSERT_TRUE(RunCommand("openssl rsa -RSAPublicKey_in -inform DER -in " + dir.Path("pub.der") + " -pubout -out " +
                           dir.Path("pub.pem")));
    const Buf message = BufOf("The quick brown fox jumps over the lazy dog");
    dir.Write("m.bin", message);

    unsigned char* pbyN = nullptr;
    unsigned char* pbyE = nullptr;
    int nN = 0;
    int nE = 0;
    ASSERT_EQ(Cipher::GetRSAPublicKeyParameter(pair.pub.data(), static_cast<int>(pair.pub.size()), 1, &pbyN, &nN), 0u);
    ASSERT_EQ(Cipher::GetRSAPublicKeyParameter(pair.pub.data(), static_cast<int>(pair.pub.size()), 2, &pbyE, &nE), 0u);
    const Buf n = TakeBuf(pbyN, nN);
    const Buf e = TakeBuf(pbyE, nE);

    for (const DigestCase& c : g_aDigests) {
        SCOPED_TRACE(c.pszName);
        const Buf hash = OsslDigest(c.pszName, message);
        Buf signature;
        ASSERT_EQ(Sign(pair.priv, c.uAlgID, hash, signature, 256), 0u);
        EXPECT_EQ(signature.size(), 256u);
        dir.Write("cipher.sig", signature);
        EXPECT_TRUE(RunCommand("openssl dgst -" + std::string(c.pszName) + " -verify " + dir.Path("pub.pem") +
                               " -signature " + dir.Path("cipher.sig") + " " + dir.Path("m.bin")));

        ASSERT_TRUE(RunCommand("openssl dgst -" + std::string(c.pszName) + " -sign " + dir.Path("priv.pem") +
                               " -out " + dir.Path("cli.sig") + " " + dir.Path("m.bin")));
        const Buf cliSignature = dir.Read("cli.sig");
        EXPECT_EQ(Verify(pair.pub, c.uAlgID, hash, cliSignature), 0u);
        EXPECT_EQ(Cipher::RSAVerifySignature(n.data(), nN, e.data(), nE, c.uAlgID, hash.data(),
                                             static_cast<int>(hash.size()), cliSignature.data(),
                                             static_cast<int>(cliSignature.size())),
                  0u);
        // PKCS#1 v1.5 is deterministic: both sides made the same bytes.
        EXPECT_EQ(cliSignature, signature);
    }
}

TEST(RsaSign, Md5Sha1BlockIsSignedWithoutDigestInfo)
{
    const RsaPair pair = CipherRsaPair(1024);
    const Buf message = BufOf("abc");
    const Buf hash = Concat(OsslDigest("md5", message), OsslDigest("sha1", message));
    Buf signature;
    ASSERT_EQ(Sign(pair.priv, CALG_SSL3_SHAMD5, hash, signature, 300), 0u);
    ASSERT_EQ(signature.size(), 128u);
    Buf expected{0x00, 0x01};
    expected.insert(expected.end(), 89, 0xFF);
    expected.push_back(0x00);
    expected = Concat(expected, hash);
    EXPECT_EQ(OsslRawPublic(pair.pub, signature), expected);
    // Verification has no such form.
    EXPECT_EQ(Verify(pair.pub, CALG_SSL3_SHAMD5, hash, signature), NTE_BAD_ALGID);
}

TEST(RsaSign, SignaturesWithLeadingZeroBytesKeepTheModulusLength)
{
    const RsaPair pair = CipherRsaPair(1024);
    Buf hash;
    Buf signature;
    for (int i = 0; i < 20000 && (signature.empty() || signature[0] != 0); ++i) {
        hash = OsslDigest("sha256", BufOf("message " + std::to_string(i)));
        ASSERT_EQ(Sign(pair.priv, CALG_SHA_256, hash, signature, 128), 0u);
    }
    ASSERT_EQ(signature[0], 0);
    ASSERT_EQ(signature.size(), 128u);
    EXPECT_EQ(Verify(pair.pub, CALG_SHA_256, hash, signature), 0u);

    OsslKey key = OsslRsaFromPublicDer(pair.pub);
    EVP_PKEY_CTX* pCtx = EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr);
    EXPECT_EQ(EVP_PKEY_verify_init(pCtx), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_rsa_padding(pCtx, RSA_PKCS1_PADDING), 1);
    EXPECT_EQ(EVP_PKEY_CTX_set_signature_md(pCtx, EVP_sha256()), 1);
    EXPECT_EQ(EVP_PKEY_verify(pCtx, signature.data(), signature.size(), hash.data(), hash.size()), 1);
    EVP_PKEY_CTX_free(pCtx);
}

TEST(RsaSign, KeysTooSmallForTheEncodingAreRefused)
{
    // Smallest modulus per digest: DigestInfo (or the bare 36 bytes) plus 11.
    const RsaPair key46 = OsslSmallRsaPair(46);
    const RsaPair key62 = OsslSmallRsaPair(62);
    const struct {
        const char* pszName;
        const RsaPair* pKey;
        uint32_t uAlgID;
        const char* pszDigest;  // null: MD5 || SHA-1
        RESULT ulExpected;
    } aCases[] = {
        {"MD5 needs 45", &key46, CALG_MD5, "md5", 0},
        {"SHA-1 needs 46", &key46, CALG_SHA1, "sha1", 0},
        {"MD5+SHA-1 needs 47", &key46, CALG_SSL3_SHAMD5, nullptr, ERROR_INVALID_PARAMETER},
        {"SHA-256 needs 62", &key46, CALG_SHA_256, "sha256", ERROR_INVALID_PARAMETER},
        {"SHA-256 on 62", &key62, CALG_SHA_256, "sha256", 0},
        {"SHA-384 needs 78", &key62, kAlgIdSha384, "sha384", ERROR_INVALID_PARAMETER},
        {"SHA-512 needs 94", &key62, CALG_SHA_512, "sha512", ERROR_INVALID_PARAMETER},
    };
    const Buf message = BufOf("x");
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.pszName);
        const Buf hash = c.pszDigest != nullptr ? OsslDigest(c.pszDigest, message)
                                                : Concat(OsslDigest("md5", message), OsslDigest("sha1", message));
        Buf signature;
        EXPECT_EQ(Sign(c.pKey->priv, c.uAlgID, hash, signature, 256), c.ulExpected);
        if (c.ulExpected == 0) {
            EXPECT_EQ(Verify(c.pKey->pub, c.uAlgID, hash, signature), 0u);
        } else {
            EXPECT_EQ(signature, Buf(256, 0xEE));
        }
    }
}

TEST(RsaSign, RefusesWrongArgumentsAndBadSignatures)
{
    const RsaPair pair = CipherRsaPair(1024);
    const Buf hash = OsslDigest("sha256", BufOf("abc"));
    Buf good;
    ASSERT_EQ(Sign(pair.priv, CALG_SHA_256, hash, good, 128), 0u);

    const struct {
        const char* pszName;
        uint32_t uAlgID;
        Buf hash;
        int nCapacity;
        RESULT ulExpected;
    } aSignCases[] = {
        {"SM3 has no DigestInfo here", CALG_SM3, hash, 128, NTE_BAD_ALGID},
        {"SHA-384 is 0x800D, not 0x800B", 0x800B, hash, 128, NTE_BAD_ALGID},
        {"capacity 0", CALG_SHA_256, hash, 0, NTE_BAD_KEY},
        {"capacity one short of the modulus", CALG_SHA_256, hash, 127, ERROR_INVALID_PARAMETER},
        {"digest shorter than SHA-256", CALG_SHA_256, Buf(hash.begin(), hash.begin() + 31), 128,
         ERROR_INVALID_PARAMETER},
        {"35 bytes for MD5+SHA-1", CALG_SSL3_SHAMD5, Buf(35, 0x11), 128, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : aSignCases) {
        SCOPED_TRACE(c.pszName);
        Buf signature;
        EXPECT_EQ(Sign(pair.priv, c.uAlgID, c.hash, signature, c.nCapacity), c.ulExpected);
    }
    int nSize = 128;
    Buf out(128);
    EXPECT_EQ(Cipher::RSASignHash(pair.priv.data(), -1, CALG_SHA_256, hash.data(), 32, out.data(), &nSize),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::RSASignHash(pair.priv.data(), static_cast<int>(pair.priv.size()), CALG_SHA_256, hash.data(), 32,
                                  out.data(), nullptr),
              ERROR_INVALID_PARAMETER);

    Buf flipped = good;
    flipped[60] ^= 0x01;
    Buf otherHash = hash;
    otherHash[0] ^= 0x01;
    const struct {
        const char* pszName;
        uint32_t uAlgID;
        Buf hash;
        Buf signature;
        RESULT ulExpected;
    } aVerifyCases[] = {
        {"flipped signature bit", CALG_SHA_256, hash, flipped, NTE_BAD_SIGNATURE},
        {"other digest", CALG_SHA_256, otherHash, good, NTE_BAD_SIGNATURE},
        {"signature one byte short", CALG_SHA_256, hash, Buf(good.begin() + 1, good.end()), NTE_BAD_SIGNATURE},
        {"signature one byte long", CALG_SHA_256, hash, Concat(Buf{0x00}, good), NTE_BAD_SIGNATURE},
        {"digest id of another size", CALG_SHA1, hash, good, ERROR_INVALID_PARAMETER},
        {"SM3", CALG_SM3, hash, good, NTE_BAD_ALGID},
    };
    for (const auto& c : aVerifyCases) {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(Verify(pair.pub, c.uAlgID, c.hash, c.signature), c.ulExpected);
    }
}
