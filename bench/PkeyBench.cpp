// RSA-2048 and SM2 signing and verification through Cipher, each next to
// the same work done directly with OpenSSL: once from the same stored key
// form on every call, once with a key OpenSSL already holds.
#include <cstring>
#include <stdexcept>
#include <vector>

#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/decoder.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include "core/crypto/Cipher.h"
#include "core/objects/HashHandle.h"
#include "core/token/Records.h"

namespace {

using Buf = std::vector<unsigned char>;

const char kSm2Id[] = "1234567812345678";

void Require(bool bOk, const char* pszWhat)
{
    if (!bOk) {
        throw std::runtime_error(pszWhat);
    }
}

Buf Digest(const char* pszName, const Buf& data)
{
    Buf out(EVP_MAX_MD_SIZE);
    unsigned int nSize = 0;
    Require(EVP_Digest(data.data(), data.size(), out.data(), &nSize, EVP_get_digestbyname(pszName), nullptr) == 1,
            "EVP_Digest");
    out.resize(nSize);
    return out;
}

EVP_PKEY* OsslRsaFromDer(const Buf& der, int nSelection)
{
    EVP_PKEY* pKey = nullptr;
    OSSL_DECODER_CTX* pCtx =
        OSSL_DECODER_CTX_new_for_pkey(&pKey, "DER", "type-specific", "RSA", nSelection, nullptr, nullptr);
    const unsigned char* pbyData = der.data();
    size_t nSize = der.size();
    Require(OSSL_DECODER_from_data(pCtx, &pbyData, &nSize) == 1, "decode RSA key");
    OSSL_DECODER_CTX_free(pCtx);
    return pKey;
}

// An SM2 key from d (may be empty) and X || Y (may be empty).
EVP_PKEY* OsslSm2Key(const Buf& d, const Buf& xy)
{
    OSSL_PARAM_BLD* pBuilder = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_utf8_string(pBuilder, OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0);
    unsigned char abyPoint[65] = {0x04};
    if (!xy.empty()) {
        memcpy(abyPoint + 1, xy.data(), 64);
        OSSL_PARAM_BLD_push_octet_string(pBuilder, OSSL_PKEY_PARAM_PUB_KEY, abyPoint, sizeof(abyPoint));
    }
    BIGNUM* pD = d.empty() ? nullptr : BN_bin2bn(d.data(), 32, nullptr);
    if (pD != nullptr) {
        OSSL_PARAM_BLD_push_BN(pBuilder, OSSL_PKEY_PARAM_PRIV_KEY, pD);
    }
    OSSL_PARAM* pParams = OSSL_PARAM_BLD_to_param(pBuilder);
    EVP_PKEY_CTX* pCtx = EVP_PKEY_CTX_new_from_name(nullptr, "SM2", nullptr);
    EVP_PKEY* pKey = nullptr;
    Require(EVP_PKEY_fromdata_init(pCtx) == 1 &&
                EVP_PKEY_fromdata(pCtx, &pKey, d.empty() ? EVP_PKEY_PUBLIC_KEY : EVP_PKEY_KEYPAIR, pParams) == 1,
            "SM2 OpenSSL key");
    EVP_PKEY_CTX_free(pCtx);
    OSSL_PARAM_free(pParams);
    OSSL_PARAM_BLD_free(pBuilder);
    BN_clear_free(pD);
    return pKey;
}

// ---- RSA-2048 ------------------------------------------------------------

struct RsaFixture {
    Buf priv;
    Buf pub;
    EVP_PKEY* pKey = nullptr;  // the same pair, held by OpenSSL
    Buf hash;
    Buf signature;

    RsaFixture()
    {
        unsigned char* pbyPriv = nullptr;
        unsigned char* pbyPub = nullptr;
        int nPriv = 0;
        int nPub = 0;
        Require(Cipher::GenerateRSAKeyPair(2048, 65537, &pbyPriv, &nPriv, &pbyPub, &nPub) == 0, "RSA key");
        priv.assign(pbyPriv, pbyPriv + nPriv);
        pub.assign(pbyPub, pbyPub + nPub);
        delete[] pbyPriv;
        delete[] pbyPub;
        pKey = OsslRsaFromDer(priv, EVP_PKEY_KEYPAIR);
        hash = Digest("SHA256", Buf(1024, 0x61));
        signature.resize(256);
        int nSignature = 256;
        Require(Cipher::RSASignHash(priv.data(), nPriv, CALG_SHA_256, hash.data(), 32, signature.data(),
                                    &nSignature) == 0,
                "RSA sign");
    }
};

RsaFixture& Rsa()
{
    static RsaFixture fixture;
    return fixture;
}

EVP_PKEY_CTX* OsslRsaCtx(EVP_PKEY* pKey, bool bSign)
{
    EVP_PKEY_CTX* pCtx = EVP_PKEY_CTX_new_from_pkey(nullptr, pKey, nullptr);
    Require((bSign ? EVP_PKEY_sign_init(pCtx) : EVP_PKEY_verify_init(pCtx)) == 1 &&
                EVP_PKEY_CTX_set_rsa_padding(pCtx, RSA_PKCS1_PADDING) == 1 &&
                EVP_PKEY_CTX_set_signature_md(pCtx, EVP_sha256()) == 1,
            "RSA context");
    return pCtx;
}

void BM_CipherRsaSign(benchmark::State& state)
{
    RsaFixture& f = Rsa();
    Buf signature(256);
    for (auto _ : state) {
        int nSize = 256;
        Require(Cipher::RSASignHash(f.priv.data(), static_cast<int>(f.priv.size()), CALG_SHA_256, f.hash.data(), 32,
                                    signature.data(), &nSize) == 0,
                "sign");
        benchmark::DoNotOptimize(signature.data());
    }
}

// bHeld: the key is held by OpenSSL; otherwise it is decoded from its DER first.
template <bool bHeld>
void BM_OsslRsaSign(benchmark::State& state)
{
    RsaFixture& f = Rsa();
    Buf signature(256);
    for (auto _ : state) {
        EVP_PKEY* pKey = bHeld ? f.pKey : OsslRsaFromDer(f.priv, EVP_PKEY_KEYPAIR);
        EVP_PKEY_CTX* pCtx = OsslRsaCtx(pKey, true);
        size_t nSize = signature.size();
        Require(EVP_PKEY_sign(pCtx, signature.data(), &nSize, f.hash.data(), 32) == 1, "sign");
        EVP_PKEY_CTX_free(pCtx);
        if (!bHeld) {
            EVP_PKEY_free(pKey);
        }
        benchmark::DoNotOptimize(signature.data());
    }
}

void BM_CipherRsaVerify(benchmark::State& state)
{
    RsaFixture& f = Rsa();
    for (auto _ : state) {
        Require(Cipher::RSAVerifySignature(f.pub.data(), static_cast<int>(f.pub.size()), CALG_SHA_256, f.hash.data(),
                                           32, f.signature.data(), 256) == 0,
                "verify");
    }
}

template <bool bHeld>
void BM_OsslRsaVerify(benchmark::State& state)
{
    RsaFixture& f = Rsa();
    for (auto _ : state) {
        EVP_PKEY* pKey = bHeld ? f.pKey : OsslRsaFromDer(f.pub, EVP_PKEY_PUBLIC_KEY);
        EVP_PKEY_CTX* pCtx = OsslRsaCtx(pKey, false);
        Require(EVP_PKEY_verify(pCtx, f.signature.data(), 256, f.hash.data(), 32) == 1, "verify");
        EVP_PKEY_CTX_free(pCtx);
        if (!bHeld) {
            EVP_PKEY_free(pKey);
        }
    }
}

// ---- SM2 -------------------------------------------------------------------

struct Sm2Fixture {
    Buf d;
    Buf xy;
    EVP_PKEY* pKey = nullptr;
    Buf message = Buf(1024, 0x62);
    Buf zPrefix;  // ENTL || ID || a || b || xG || yG
    Buf e;        // SM3(Z || message)
    Buf signature;     // r || s over e
    Buf derSignature;  // the same as DER

    Sm2Fixture()
    {
        unsigned char* pbyD = nullptr;
        unsigned char* pbyXY = nullptr;
        int nD = 0;
        int nXY = 0;
        Require(Cipher::GenerateSM2KeyPair(&pbyD, &nD, &pbyXY, &nXY) == 0, "SM2 key");
        d.assign(pbyD, pbyD + nD);
        xy.assign(pbyXY, pbyXY + nXY);
        delete[] pbyD;
        delete[] pbyXY;

        pKey = OsslSm2Key(d, xy);

        EC_GROUP* pGroup = EC_GROUP_new_by_curve_name(NID_sm2);
        BIGNUM* apNumbers[5] = {BN_new(), BN_new(), BN_new(), BN_new(), BN_new()};  // p a b xG yG
        Require(EC_GROUP_get_curve(pGroup, apNumbers[0], apNumbers[1], apNumbers[2], nullptr) == 1 &&
                    EC_POINT_get_affine_coordinates(pGroup, EC_GROUP_get0_generator(pGroup), apNumbers[3],
                                                    apNumbers[4], nullptr) == 1,
                "curve");
        zPrefix = {0x00, 0x80};
        zPrefix.insert(zPrefix.end(), kSm2Id, kSm2Id + 16);
        for (int i = 1; i < 5; ++i) {
            unsigned char aby[32];
            BN_bn2binpad(apNumbers[i], aby, 32);
            zPrefix.insert(zPrefix.end(), aby, aby + 32);
        }
        for (BIGNUM* pNumber : apNumbers) {
            BN_free(pNumber);
        }
        EC_GROUP_free(pGroup);

        e = DigestWithZ();
        Require(CipherDigestWithZ() == e, "SM3 with Z agrees with OpenSSL");
        signature.resize(64);
        int nSize = 0;
        Require(Cipher::SM2SignHash(d.data(), 32, e.data(), 32, signature.data(), &nSize) == 0, "SM2 sign");
        ECDSA_SIG* pSig = ECDSA_SIG_new();
        ECDSA_SIG_set0(pSig, BN_bin2bn(signature.data(), 32, nullptr), BN_bin2bn(signature.data() + 32, 32, nullptr));
        unsigned char* pbyDer = nullptr;
        const int nDer = i2d_ECDSA_SIG(pSig, &pbyDer);
        derSignature.assign(pbyDer, pbyDer + nDer);
        OPENSSL_free(pbyDer);
        ECDSA_SIG_free(pSig);
    }

    // e = SM3(Z || M) through the token's own digest, as a signer computes
    // it per message.
    Buf CipherDigestWithZ() const
    {
        uint8_t* pbyHash = nullptr;
        int nHashLen = 0;
        Require(HashHandle::HashData(CALG_SM3, xy.data(), xy.data() + 32, true, message.data(),
                                     static_cast<long>(message.size()), &pbyHash, &nHashLen) == 0 &&
                    nHashLen == 32,
                "SM3 with Z");
        Buf e(pbyHash, pbyHash + nHashLen);
        delete[] pbyHash;
        return e;
    }

    // The same through OpenSSL, for the fixture's reference values.
    Buf DigestWithZ() const
    {
        Buf zInput = zPrefix;
        zInput.insert(zInput.end(), xy.begin(), xy.end());
        Buf z = Digest("SM3", zInput);
        z.insert(z.end(), message.begin(), message.end());
        return Digest("SM3", z);
    }
};

Sm2Fixture& Sm2()
{
    static Sm2Fixture fixture;
    return fixture;
}

EVP_MD_CTX* OsslSm2DigestCtx(EVP_PKEY* pKey, bool bSign)
{
    EVP_MD_CTX* pCtx = EVP_MD_CTX_new();
    EVP_PKEY_CTX* pKeyCtx = nullptr;
    Require((bSign ? EVP_DigestSignInit_ex(pCtx, &pKeyCtx, "SM3", nullptr, nullptr, pKey, nullptr)
                   : EVP_DigestVerifyInit_ex(pCtx, &pKeyCtx, "SM3", nullptr, nullptr, pKey, nullptr)) == 1 &&
                EVP_PKEY_CTX_set1_id(pKeyCtx, kSm2Id, 16) == 1,
            "SM2 digest context");
    return pCtx;
}

void BM_CipherSm2Sign(benchmark::State& state)
{
    Sm2Fixture& f = Sm2();
    Buf signature(64);
    for (auto _ : state) {
        int nSize = 0;
        Require(Cipher::SM2SignHash(f.d.data(), 32, f.e.data(), 32, signature.data(), &nSize) == 0, "sign");
        benchmark::DoNotOptimize(signature.data());
    }
}

// bHeld: the key is held by OpenSSL; otherwise it is built from the raw
// forms first (d alone where that suffices).
template <bool bHeld>
void BM_OsslSm2Sign(benchmark::State& state)
{
    Sm2Fixture& f = Sm2();
    Buf signature(80);
    for (auto _ : state) {
        EVP_PKEY* pKey = bHeld ? f.pKey : OsslSm2Key(f.d, Buf());
        EVP_PKEY_CTX* pCtx = EVP_PKEY_CTX_new_from_pkey(nullptr, pKey, nullptr);
        size_t nSize = signature.size();
        Require(EVP_PKEY_sign_init(pCtx) == 1 && EVP_PKEY_sign(pCtx, signature.data(), &nSize, f.e.data(), 32) == 1,
                "sign");
        EVP_PKEY_CTX_free(pCtx);
        if (!bHeld) {
            EVP_PKEY_free(pKey);
        }
        benchmark::DoNotOptimize(signature.data());
    }
}

void BM_CipherSm2Verify(benchmark::State& state)
{
    Sm2Fixture& f = Sm2();
    for (auto _ : state) {
        Require(Cipher::SM2VerifySignature(f.e.data(), 32, f.xy.data(), 64, f.signature.data(), 64, true) == 0,
                "verify");
    }
}

template <bool bHeld>
void BM_OsslSm2Verify(benchmark::State& state)
{
    Sm2Fixture& f = Sm2();
    for (auto _ : state) {
        EVP_PKEY* pKey = bHeld ? f.pKey : OsslSm2Key(Buf(), f.xy);
        EVP_PKEY_CTX* pCtx = EVP_PKEY_CTX_new_from_pkey(nullptr, pKey, nullptr);
        Require(EVP_PKEY_verify_init(pCtx) == 1 &&
                    EVP_PKEY_verify(pCtx, f.derSignature.data(), f.derSignature.size(), f.e.data(), 32) == 1,
                "verify");
        EVP_PKEY_CTX_free(pCtx);
        if (!bHeld) {
            EVP_PKEY_free(pKey);
        }
    }
}

void BM_CipherSm2SignWithZ(benchmark::State& state)
{
    Sm2Fixture& f = Sm2();
    Buf signature(64);
    for (auto _ : state) {
        const Buf e = f.CipherDigestWithZ();
        int nSize = 0;
        Require(Cipher::SM2SignHash(f.d.data(), 32, e.data(), 32, signature.data(), &nSize) == 0, "sign");
        benchmark::DoNotOptimize(signature.data());
    }
}

// Z needs the public key too, so the stored form here is d and X || Y.
template <bool bHeld>
void BM_OsslSm2SignWithZ(benchmark::State& state)
{
    Sm2Fixture& f = Sm2();
    Buf signature(80);
    for (auto _ : state) {
        EVP_PKEY* pKey = bHeld ? f.pKey : OsslSm2Key(f.d, f.xy);
        EVP_MD_CTX* pCtx = OsslSm2DigestCtx(pKey, true);
        size_t nSize = signature.size();
        Require(EVP_DigestSign(pCtx, signature.data(), &nSize, f.message.data(), f.message.size()) == 1, "sign");
        EVP_MD_CTX_free(pCtx);
        if (!bHeld) {
            EVP_PKEY_free(pKey);
        }
        benchmark::DoNotOptimize(signature.data());
    }
}

void BM_CipherSm2VerifyWithZ(benchmark::State& state)
{
    Sm2Fixture& f = Sm2();
    for (auto _ : state) {
        const Buf e = f.CipherDigestWithZ();
        Require(Cipher::SM2VerifySignature(e.data(), 32, f.xy.data(), 64, f.signature.data(), 64, true) == 0,
                "verify");
    }
}

template <bool bHeld>
void BM_OsslSm2VerifyWithZ(benchmark::State& state)
{
    Sm2Fixture& f = Sm2();
    for (auto _ : state) {
        EVP_PKEY* pKey = bHeld ? f.pKey : OsslSm2Key(Buf(), f.xy);
        EVP_MD_CTX* pCtx = OsslSm2DigestCtx(pKey, false);
        Require(EVP_DigestVerify(pCtx, f.derSignature.data(), f.derSignature.size(), f.message.data(),
                                 f.message.size()) == 1,
                "verify");
        EVP_MD_CTX_free(pCtx);
        if (!bHeld) {
            EVP_PKEY_free(pKey);
        }
    }
}

}  // namespace

#define TESSERA_PKEY_BENCH(cipherFn, opensslFn, name)                                            \
    BENCHMARK(cipherFn)->Name("Cipher/" name)->Unit(benchmark::kMicrosecond);                     \
    BENCHMARK(opensslFn<false>)->Name("OpenSSL/" name)->Unit(benchmark::kMicrosecond);            \
    BENCHMARK(opensslFn<true>)->Name("OpenSSL-held/" name)->Unit(benchmark::kMicrosecond)

TESSERA_PKEY_BENCH(BM_CipherRsaSign, BM_OsslRsaSign, "RSA2048 sign SHA-256");
TESSERA_PKEY_BENCH(BM_CipherRsaVerify, BM_OsslRsaVerify, "RSA2048 verify SHA-256");
TESSERA_PKEY_BENCH(BM_CipherSm2Sign, BM_OsslSm2Sign, "SM2 sign e");
TESSERA_PKEY_BENCH(BM_CipherSm2Verify, BM_OsslSm2Verify, "SM2 verify e");
TESSERA_PKEY_BENCH(BM_CipherSm2SignWithZ, BM_OsslSm2SignWithZ, "SM2 sign 1 KiB with Z");
TESSERA_PKEY_BENCH(BM_CipherSm2VerifyWithZ, BM_OsslSm2VerifyWithZ, "SM2 verify 1 KiB with Z");
