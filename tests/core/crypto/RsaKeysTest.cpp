// RSA keys: PKCS#1 DER from Cipher read by OpenSSL and the reverse, the
// component conversions, and refusal of anything that is not strict DER.
#include <openssl/bn.h>
#include <openssl/core_names.h>

#include <gtest/gtest.h>

#include "PkeyTestUtil.h"
#include "core/crypto/Cipher.h"

namespace {

Buf OsslComponent(EVP_PKEY* pKey, const char* pszName)
{
    BIGNUM* pNumber = nullptr;
    EXPECT_EQ(EVP_PKEY_get_bn_param(pKey, pszName, &pNumber), 1);
    Buf out(static_cast<size_t>(BN_num_bytes(pNumber)));
    BN_bn2bin(pNumber, out.data());
    BN_free(pNumber);
    return out;
}

RESULT ModulusLength(const Buf& pub, int& nLength)
{
    return Cipher::GetRSAPublicKeyLength(pub.data(), static_cast<int>(pub.size()), &nLength);
}

}  // namespace

TEST(RsaKeys, GeneratedKeysAreReadByOpenSslAndItsKeysConvertBack)
{
    const RsaPair pair = CipherRsaPair(1024);
    ScratchDir dir;
    dir.Write("priv.der", pair.priv);
    dir.Write("pub.der", pair.pub);
    // The command line takes both as PKCS#1 and finds the private key sound.
    EXPECT_TRUE(RunCommand("openssl rsa -inform DER -in " + dir.Path("priv.der") + " -check -noout"));
    EXPECT_TRUE(RunCommand("openssl rsa -RSAPublicKey_in -inform DER -in " + dir.Path("pub.der") +
                           " -RSAPublicKey_out -outform DER -out " + dir.Path("pub-again.der")));
    EXPECT_EQ(dir.Read("pub-again.der"), pair.pub);

    int nLength = 0;
    EXPECT_EQ(ModulusLength(pair.pub, nLength), 0u);
    EXPECT_EQ(nLength, 128);

    // A key made by OpenSSL: the components Cipher reads are OpenSSL's, and
    // re-encoding them gives OpenSSL's DER byte for byte.
    ASSERT_TRUE(RunCommand("openssl genrsa -out " + dir.Path("ossl.pem") + " 1024 && openssl rsa -in " +
                           dir.Path("ossl.pem") + " -traditional -outform DER -out " + dir.Path("ossl.der")));
    const Buf der = dir.Read("ossl.der");
    OsslKey key = OsslRsaFromPrivateDer(der);
    ASSERT_TRUE(key);
    unsigned char* apby[8] = {};
    int an[8] = {};
    ASSERT_EQ(Cipher::GetRSAPrivateKeyParameter(der.data(), static_cast<int>(der.size()), &apby[0], &an[0], &apby[1],
                                                &an[1], &apby[2], &an[2], &apby[3], &an[3], &apby[4], &an[4],
                                                &apby[5], &an[5], &apby[6], &an[6], &apby[7], &an[7]),
              0u);
    Buf aParts[8];
    for (int i = 0; i < 8; ++i) {
        aParts[i] = TakeBuf(apby[i], an[i]);
    }
    const char* apszNames[8] = {OSSL_PKEY_PARAM_RSA_N,         OSSL_PKEY_PARAM_RSA_E,
                                OSSL_PKEY_PARAM_RSA_FACTOR1,   OSSL_PKEY_PARAM_RSA_FACTOR2,
                                OSSL_PKEY_PARAM_RSA_EXPONENT1, OSSL_PKEY_PARAM_RSA_EXPONENT2,
                                OSSL_PKEY_PARAM_RSA_COEFFICIENT1, OSSL_PKEY_PARAM_RSA_D};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(apszNames[i]);
        EXPECT_EQ(aParts[i], OsslComponent(key.get(), apszNames[i]));
    }
    unsigned char* pbyDer = nullptr;
    int nDer = 0;
    ASSERT_EQ(Cipher::ConstructRSAPrivateKeyData(
                  aParts[0].data(), static_cast<int>(aParts[0].size()), aParts[1].data(),
                  static_cast<int>(aParts[1].size()), aParts[2].data(), static_cast<int>(aParts[2].size()),
                  aParts[3].data(), static_cast<int>(aParts[3].size()), aParts[4].data(),
                  static_cast<int>(aParts[4].size()), aParts[5].data(), static_cast<int>(aParts[5].size()),
                  aParts[6].data(), static_cast<int>(aParts[6].size()), aParts[7].data(),
                  static_cast<int>(aParts[7].size()), &pbyDer, &nDer),
              0u);
    EXPECT_EQ(TakeBuf(pbyDer, nDer), der);

    // Only the requested components are handed out.
    unsigned char* pbyD = nullptr;
    int nD = 0;
    ASSERT_EQ(Cipher::GetRSAPrivateKeyParameter(der.data(), static_cast<int>(der.size()), nullptr, nullptr, nullptr,
                                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                nullptr, nullptr, nullptr, nullptr, &pbyD, &nD),
              0u);
    EXPECT_EQ(TakeBuf(pbyD, nD), aParts[7]);
}

TEST(RsaKeys, PublicKeyFromModulusAndExponent)
{
    const RsaPair pair = CipherRsaPair(1024);
    unsigned char* pbyN = nullptr;
    int nN = 0;
    ASSERT_EQ(Cipher::GetRSAPublicKeyParameter(pair.pub.data(), static_cast<int>(pair.pub.size()), 1, &pbyN, &nN), 0u);
    const Buf n = TakeBuf(pbyN, nN);
    ASSERT_EQ(n.size(), 128u);

    unsigned char* pbyE = nullptr;
    int nE = 0;
    ASSERT_EQ(Cipher::GetRSAPublicKeyParameter(pair.pub.data(), static_cast<int>(pair.pub.size()), 2, &pbyE, &nE), 0u);
    EXPECT_EQ(TakeBuf(pbyE, nE), (Buf{0x01, 0x00, 0x01}));
    EXPECT_EQ(Cipher::GetRSAPublicKeyParameter(pair.pub.data(), static_cast<int>(pair.pub.size()), 3, &pbyE, &nE),
              ERROR_INVALID_PARAMETER);

    // The integer form gives the generated key's DER again; leading zero
    // bytes of the modulus are not part of the number.
    unsigned char* pbyDer = nullptr;
    int nDer = 0;
    const Buf padded = Concat(Buf{0x00, 0x00}, n);
    ASSERT_EQ(Cipher::ConstructRSAPublicKeyData(padded.data(), static_cast<int>(padded.size()), 65537, &pbyDer, &nDer),
              0u);
    EXPECT_EQ(TakeBuf(pbyDer, nDer), pair.pub);

    const struct {
        int nExponent;
        Buf expected;
    } aCases[] = {
        {3, {0x03}},
        {65537, {0x01, 0x00, 0x01}},
        {static_cast<int>(0x80000001u), {0x80, 0x00, 0x00, 0x01}},
    };
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.nExponent);
        ASSERT_EQ(Cipher::ConstructRSAPublicKeyData(n.data(), nN, c.nExponent, &pbyDer, &nDer), 0u);
        const Buf der = TakeBuf(pbyDer, nDer);
        OsslKey key = OsslRsaFromPublicDer(der);
        ASSERT_TRUE(key);
        EXPECT_EQ(OsslComponent(key.get(), OSSL_PKEY_PARAM_RSA_E), c.expected);
        EXPECT_EQ(OsslComponent(key.get(), OSSL_PKEY_PARAM_RSA_N), n);
        // The byte form gives the same DER.
        ASSERT_EQ(Cipher::ConstructRSAPublicKeyData(n.data(), nN, c.expected.data(),
                                                    static_cast<int>(c.expected.size()), &pbyDer, &nDer),
                  0u);
        EXPECT_EQ(TakeBuf(pbyDer, nDer), der);
    }
    const Buf zero(4, 0);
    pbyDer = nullptr;
    EXPECT_EQ(Cipher::ConstructRSAPublicKeyData(n.data(), nN, 0, &pbyDer, &nDer), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::ConstructRSAPublicKeyData(zero.data(), 4, 65537, &pbyDer, &nDer), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Cipher::ConstructRSAPublicKeyData(n.data(), -1, 65537, &pbyDer, &nDer), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(pbyDer, nullptr);
}

TEST(RsaKeys, AnythingButStrictPkcs1DerIsRefused)
{
    const RsaPair pair = CipherRsaPair(1024);
    ScratchDir dir;
    dir.Write("pub.der", pair.pub);
    ASSERT_TRUE(RunCommand("openssl rsa -RSAPublicKey_in -inform DER -in " + dir.Path("pub.der") +
                           " -pubout -outform DER -out " + dir.Path("spki.der")));
    const Buf& pub = pair.pub;  // 30 81 89 02 81 81 00 <n> 02 03 01 00 01

    auto mutate = [&](const std::function<void(Buf&)>& fnChange) {
        Buf out = pub;
        fnChange(out);
        return out;
    };
    const struct {
        const char* pszName;
        Buf der;
    } aCases[] = {
        {"trailing byte", mutate([](Buf& b) { b.push_back(0x00); })},
        {"truncated", mutate([](Buf& b) { b.pop_back(); })},
        {"empty", Buf{}},
        {"indefinite length", mutate([](Buf& b) { b[1] = 0x80; b.erase(b.begin() + 2); b.push_back(0); b.push_back(0); })},
        {"length in two bytes where one does", mutate([](Buf& b) { b[1] = 0x82; b.insert(b.begin() + 2, 0x00); })},
        {"negative modulus", mutate([](Buf& b) { b.erase(b.begin() + 6); b[5] = 0x80; b[2] = 0x88; })},
        {"modulus with a needless zero byte", mutate([](Buf& b) { b.insert(b.begin() + 6, 0x00); b[5] = 0x82; b[2] = 0x8A; })},
        {"wrong outer tag", mutate([](Buf& b) { b[0] = 0x31; })},
        {"third INTEGER", mutate([](Buf& b) { b.insert(b.end(), {0x02, 0x01, 0x01}); b[2] += 3; })},
        {"SubjectPublicKeyInfo, not PKCS#1", dir.Read("spki.der")},
        {"the private key", pair.priv},
    };
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.pszName);
        int nLength = -1;
        const RESULT r = Cipher::GetRSAPublicKeyLength(c.der.empty() ? nullptr : c.der.data(),
                                                       static_cast<int>(c.der.size()), &nLength);
        EXPECT_EQ(r, c.der.empty() ? ERROR_INVALID_PARAMETER : NTE_BAD_KEY);
        EXPECT_EQ(nLength, -1);
        if (!c.der.empty()) {
            const Buf sig(128, 0x01);
            const Buf hash(32, 0x02);
            EXPECT_EQ(Cipher::RSAVerifySignature(c.der.data(), static_cast<int>(c.der.size()), 0x800C, hash.data(), 32,
                                                 sig.data(), 128),
                      NTE_FAIL);
        }
    }
    // The private key form: version 1 (more primes) and a public key.
    Buf version1 = pair.priv;
    const size_t nVersionAt = version1[1] == 0x82 ? 6 : 5;  // 30 82 xx xx 02 01 00
    ASSERT_EQ(version1[nVersionAt], 0x00);
    version1[nVersionAt] = 0x01;
    const Buf hash(32, 0x02);
    Buf sig(128);
    const Buf* apNotPrivate[] = {&version1, &pair.pub};
    for (const Buf* pDer : apNotPrivate) {
        int nSize = 128;
        EXPECT_EQ(Cipher::RSASignHash(pDer->data(), static_cast<int>(pDer->size()), 0x800C, hash.data(), 32,
                                      sig.data(), &nSize),
                  NTE_FAIL);
        unsigned char* pbyN = nullptr;
        int nN = 0;
        EXPECT_EQ(Cipher::GetRSAPrivateKeyParameter(pDer->data(), static_cast<int>(pDer->size()), &pbyN, &nN, nullptr,
                                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
                  NTE_BAD_KEY);
        EXPECT_EQ(pbyN, nullptr);
    }
}

TEST(RsaKeys, GenerationLimits)
{
    unsigned char* pbyPriv = nullptr;
    unsigned char* pbyPub = nullptr;
    int nPriv = 0;
    int nPub = 0;
    const struct {
        const char* pszName;
        int nBits;
        int nExponent;
        RESULT ulExpected;
    } aCases[] = {
        {"more bits than the library handles", 16385, 65537, ERROR_INVALID_PARAMETER},
        {"no bits", 0, 65537, ERROR_INVALID_PARAMETER},
        {"below the library's minimum", 256, 65537, NTE_FAIL},
        {"even exponent", 1024, 65536, NTE_FAIL},
        {"exponent 1", 1024, 1, NTE_FAIL},
    };
    for (const auto& c : aCases) {
        SCOPED_TRACE(c.pszName);
        EXPECT_EQ(Cipher::GenerateRSAKeyPair(c.nBits, c.nExponent, &pbyPriv, &nPriv, &pbyPub, &nPub), c.ulExpected);
        EXPECT_EQ(pbyPriv, nullptr);
        EXPECT_EQ(pbyPub, nullptr);
    }
    EXPECT_EQ(Cipher::GenerateRSAKeyPair(1024, 65537, nullptr, &nPriv, &pbyPub, &nPub), ERROR_INVALID_PARAMETER);
    // A four-byte exponent with its top bit set.
    ASSERT_EQ(Cipher::GenerateRSAKeyPair(1024, static_cast<int>(0x80000001u), &pbyPriv, &nPriv, &pbyPub, &nPub), 0u);
    const Buf pub = TakeBuf(pbyPub, nPub);
    TakeBuf(pbyPriv, nPriv);
    unsigned char* pbyE = nullptr;
    int nE = 0;
    ASSERT_EQ(Cipher::GetRSAPublicKeyParameter(pub.data(), nPub, 2, &pbyE, &nE), 0u);
    EXPECT_EQ(TakeBuf(pbyE, nE), (Buf{0x80, 0x00, 0x00, 0x01}));
}
