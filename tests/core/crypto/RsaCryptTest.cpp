// RSA encryption and decryption with the library's padding types, against
// OpenSSL's own (API and command line).
#include <openssl/rsa.h>

#include <gtest/gtest.h>

#include "PkeyTestUtil.h"
#include "core/crypto/Cipher.h"

namespace {

RESULT Encrypt(const Buf& pub, const Buf& plain, int nPadding, Buf& out)
{
    unsigned char* pbyOut = nullptr;
    int nOut = -1;
    const RESULT r = Cipher::RSAEncrypt(pub.data(), static_cast<int>(pub.size()), plain.data(),
                                        static_cast<int>(plain.size()), &pbyOut, &nOut, nPadding);
    if (r != 0) {
        EXPECT_EQ(pbyOut, nullptr);
        EXPECT_EQ(nOut, -1);
    }
    out = TakeBuf(pbyOut, nOut);
    return r;
}

RESULT Decrypt(const Buf& priv, const Buf& cipher, int nPadding, Buf& out)
{
    unsigned char* pbyOut = nullptr;
    int nOut = -1;
    const RESULT r = Cipher::RSADecrypt(priv.data(), static_cast<int>(priv.size()), cipher.data(),
                                        static_cast<int>(cipher.size()), &pbyOut, &nOut, nPadding);
    if (r != 0) {
        EXPECT_EQ(pbyOut, nullptr);
        EXPECT_EQ(nOut, -1);
    }
    out = TakeBuf(pbyOut, nOut);
    return r;
}

bool OsslTransform(EVP_PKEY* pKey, bool bEncrypt, int nPadding, const Buf& in, Buf& out)
{
    EVP_PKEY_CTX* pCtx = EVP_PKEY_CTX_new_from_pkey(nullptr, pKey, nullptr);
    out.assign(512, 0);
    size_t nSize = out.size();
    const bool bOk = (bEncrypt ? EVP_PKEY_encrypt_init(pCtx) : EVP_PKEY_decrypt_init(pCtx)) == 1 &&
                     EVP_PKEY_CTX_set_rsa_padding(pCtx, nPadding) == 1 &&
                     (bEncrypt ? EVP_PKEY_encrypt(pCtx, out.data(), &nSize, in.data(), in.size())
                               : EVP_PKEY_decrypt(pCtx, out.data(), &nSize, in.data(), in.size())) == 1;
    EVP_PKEY_CTX_free(pCtx);
    out.resize(bOk ? nSize : 0);
    return bOk;
}

}  // namespace

TEST(RsaCrypt, PaddingTypesAgreeWithOpenSsl)
{
    const RsaPair pair = CipherRsaPair(1024);
    OsslKey priv = OsslRsaFromPrivateDer(pair.priv);
    OsslKey pub = OsslRsaFromPublicDer(pair.pub);
    ASSERT_TRUE(priv && pub);
    Buf raw(128, 0x5A);
    raw[0] = 0x00;  // below the modulus
    const struct {
        const char* pszName;
        int nPadding;
        Buf plain;
    } aCases[] = {
        {"PKCS#1 v1.5", RSA_PKCS1_PADDING, BufOf("session key bytes")},
        {"OAEP with SHA-1", RSA_PKCS1_OAEP_PADDING, BufOf("session key bytes")},
        {"none", RSA_NO_PADDING, raw},
    };
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.pszName);
        Buf cipher;
        ASSERT_EQ(Encrypt(pair.pub, c.plain, c.nPadding, cipher), 0u);
        EXPECT_EQ(cipher.size(), 128u);
        Buf plain;
        ASSERT_TRUE(OsslTransform(priv.get(), false, c.nPadding, cipher, plain));
        EXPECT_EQ(plain, c.plain);

        ASSERT_TRUE(OsslTransform(pub.get(), true, c.nPadding, c.plain, cipher));
        ASSERT_EQ(Decrypt(pair.priv, cipher, c.nPadding, plain), 0u);
        EXPECT_EQ(plain, c.plain);
    }

    // The command line decrypts what Cipher encrypted from n and e.
    unsigned char* pbyN = nullptr;
    int nN = 0;
    ASSERT_EQ(Cipher::GetRSAPublicKeyParameter(pair.pub.data(), static_cast<int>(pair.pub.size()), 1, &pbyN, &nN), 0u);
    const Buf n = TakeBuf(pbyN, nN);
    const Buf e{0x01, 0x00, 0x01};
    const Buf message = BufOf("from n and e");
    unsigned char* pbyOut = nullptr;
    int nOut = 0;
    ASSERT_EQ(Cipher::RSAEncrypt(n.data(), nN, e.data(), 3, message.data(), static_cast<int>(message.size()), &pbyOut,
                                 &nOut, RSA_PKCS1_PADDING),
              0u);
    ScratchDir dir;
    dir.Write("c.bin", TakeBuf(pbyOut, nOut));
    dir.Write("priv.der", pair.priv);
    ASSERT_TRUE(RunCommand("openssl rsa -inform DER -in " + dir.Path("priv.der") + " -out " + dir.Path("priv.pem")));
    ASSERT_TRUE(RunCommand("openssl pkeyutl -decrypt -inkey " + dir.Path("priv.pem") + " -in " + dir.Path("c.bin") +
                           " -out " + dir.Path("p.bin")));
    EXPECT_EQ(dir.Read("p.bin"), message);
}

TEST(RsaCrypt, RefusesWhatTheKeyOrPaddingCannotTake)
{
    const RsaPair pair = CipherRsaPair(1024);
    const RsaPair other = CipherRsaPair(1024);
    const Buf message = BufOf("payload");
    Buf cipher;
    ASSERT_EQ(Encrypt(pair.pub, message, RSA_PKCS1_PADDING, cipher), 0u);
    Buf out;

    const struct {
        const char* pszName;
        Buf plain;
        int nPadding;
        RESULT ulExpected;
    } aEncryptCases[] = {
        {"negative padding type", message, -1, ERROR_INVALID_PARAMETER},
        {"unknown padding type", message, 99, NTE_BAD_LEN},
        {"raw input shorter than the modulus", message, RSA_NO_PADDING, NTE_BAD_LEN},
        {"raw input above the modulus", Buf(128, 0xFF), RSA_NO_PADDING, NTE_BAD_LEN},
        {"PKCS#1 input too long", Buf(118, 0x01), RSA_PKCS1_PADDING, NTE_BAD_LEN},
    };
    for (const auto& c : aEncryptCases) {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(Encrypt(pair.pub, c.plain, c.nPadding, out), c.ulExpected);
    }

    Buf flipped = cipher;
    flipped[100] ^= 0x01;
    const struct {
        const char* pszName;
        const Buf* pKey;
        Buf cipher;
        RESULT ulExpected;
    } aDecryptCases[] = {
        {"wrong key", &other.priv, cipher, NTE_BAD_LEN},
        {"tampered ciphertext", &pair.priv, flipped, NTE_BAD_LEN},
        {"longer than the modulus", &pair.priv, Concat(cipher, Buf{0x00}), NTE_BAD_LEN},
        {"a public key", &pair.pub, cipher, NTE_FAIL},
    };
    for (const auto& c : aDecryptCases) {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(Decrypt(*c.pKey, c.cipher, RSA_PKCS1_PADDING, out), c.ulExpected);
    }
    unsigned char* pbyOut = nullptr;
    int nOut = 0;
    EXPECT_EQ(Cipher::RSAEncrypt(pair.pub.data(), static_cast<int>(pair.pub.size()), nullptr, 7, &pbyOut, &nOut, 1),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::RSAEncrypt(pair.pub.data(), static_cast<int>(pair.pub.size()), message.data(), 7, nullptr, &nOut,
                                 1),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::RSADecrypt(pair.priv.data(), static_cast<int>(pair.priv.size()), cipher.data(), -5, &pbyOut,
                                 &nOut, 1),
              ERROR_INVALID_PARAMETER);
}
