#include "PkeyTestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>
#include <openssl/asn1.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/decoder.h>
#include <openssl/ec.h>
#include <openssl/encoder.h>
#include <openssl/obj_mac.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "core/crypto/Cipher.h"

const char* const kSm2Id = "1234567812345678";

namespace {

struct BnDeleter {
    void operator()(BIGNUM* p) const { BN_free(p); }
};
using Bn = std::unique_ptr<BIGNUM, BnDeleter>;

void Require(bool bOk, const char* pszWhat)
{
    if (!bOk) {
        throw std::runtime_error(pszWhat);
    }
}

Buf BnBytes(const BIGNUM* pNumber, int nPad)
{
    Buf out(static_cast<size_t>(nPad));
    Require(BN_bn2binpad(pNumber, out.data(), nPad) == nPad, "BN_bn2binpad");
    return out;
}

OsslKey FromData(const char* pszType, int nSelection, OSSL_PARAM* pParams)
{
    EVP_PKEY_CTX* pCtx = EVP_PKEY_CTX_new_from_name(nullptr, pszType, nullptr);
    EVP_PKEY* pKey = nullptr;
    const bool bOk = pCtx != nullptr && EVP_PKEY_fromdata_init(pCtx) == 1 &&
                     EVP_PKEY_fromdata(pCtx, &pKey, nSelection, pParams) == 1;
    EVP_PKEY_CTX_free(pCtx);
    Require(bOk, "EVP_PKEY_fromdata");
    return OsslKey(pKey);
}

OsslKey DecodeRsa(const Buf& der, int nSelection)
{
    EVP_PKEY* pKey = nullptr;
    OSSL_DECODER_CTX* pCtx =
        OSSL_DECODER_CTX_new_for_pkey(&pKey, "DER", "type-specific", "RSA", nSelection, nullptr, nullptr);
    const unsigned char* pbyData = der.data();
    size_t nSize = der.size();
    const bool bOk = pCtx != nullptr && OSSL_DECODER_from_data(pCtx, &pbyData, &nSize) == 1 && nSize == 0;
    OSSL_DECODER_CTX_free(pCtx);
    if (!bOk) {
        EVP_PKEY_free(pKey);
        return OsslKey();
    }
    return OsslKey(pKey);
}

Buf EncodeRsa(EVP_PKEY* pKey, int nSelection)
{
    OSSL_ENCODER_CTX* pCtx = OSSL_ENCODER_CTX_new_for_pkey(pKey, nSelection, "DER", "type-specific", nullptr);
    unsigned char* pbyData = nullptr;
    size_t nSize = 0;
    const bool bOk = pCtx != nullptr && OSSL_ENCODER_to_data(pCtx, &pbyData, &nSize) == 1;
    OSSL_ENCODER_CTX_free(pCtx);
    Require(bOk, "OSSL_ENCODER_to_data");
    Buf out(pbyData, pbyData + nSize);
    OPENSSL_free(pbyData);
    return out;
}

}  // namespace

Buf TakeBuf(unsigned char* pbyData, int nSize)
{
    Buf out;
    if (pbyData != nullptr) {
        out.assign(pbyData, pbyData + nSize);
        delete[] pbyData;
    }
    return out;
}

Buf BufOf(const std::string& strText) { return Buf(strText.begin(), strText.end()); }

Buf Concat(const Buf& a, const Buf& b)
{
    Buf out(a);
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

ScratchDir::ScratchDir()
{
    std::filesystem::path root = std::filesystem::path(TESSERA_BINARY_DIR) / "test-scratch";
    std::filesystem::create_directories(root);
    std::string strTemplate = (root / "pkey.XXXXXX").string();
    std::vector<char> buf(strTemplate.begin(), strTemplate.end());
    buf.push_back('\0');
    Require(mkdtemp(buf.data()) != nullptr, "mkdtemp");
    m_strPath = buf.data();
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_strPath, ec);
}

std::string ScratchDir::Path(const std::string& strName) const { return m_strPath + "/" + strName; }

void ScratchDir::Write(const std::string& strName, const Buf& data) const
{
    std::ofstream out(Path(strName), std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    Require(out.good(), "write");
}

Buf ScratchDir::Read(const std::string& strName) const
{
    std::ifstream in(Path(strName), std::ios::binary);
    return Buf(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool RunCommand(const std::string& strCommand)
{
    const int nStatus = std::system((strCommand + " 2>&1").c_str());
    return nStatus == 0;
}

// ---- SM2 ------------------------------------------------------------------

Sm2Pair CipherSm2Pair()
{
    unsigned char* pbyD = nullptr;
    unsigned char* pbyXY = nullptr;
    int nD = 0;
    int nXY = 0;
    Require(Cipher::GenerateSM2KeyPair(&pbyD, &nD, &pbyXY, &nXY) == 0, "GenerateSM2KeyPair");
    Sm2Pair pair;
    pair.d = TakeBuf(pbyD, nD);
    pair.xy = TakeBuf(pbyXY, nXY);
    return pair;
}

Sm2Pair CipherSm2PairWhere(const std::function<bool(const Sm2Pair&)>& fnWanted)
{
    // A byte condition holds once in 256 pairs; 20000 rounds miss it with a
    // chance below 1e-30.
    for (int i = 0; i < 20000; ++i) {
        Sm2Pair pair = CipherSm2Pair();
        if (fnWanted(pair)) {
            return pair;
        }
    }
    throw std::runtime_error("no such SM2 pair");
}

OsslKey OsslSm2Key(const Buf& d, const Buf& xy)
{
    OSSL_PARAM_BLD* pBuilder = OSSL_PARAM_BLD_new();
    Buf point = Concat(Buf{0x04}, xy);
    Bn pD(d.empty() ? nullptr : BN_bin2bn(d.data(), static_cast<int>(d.size()), nullptr));
    Require(OSSL_PARAM_BLD_push_utf8_string(pBuilder, OSSL_PKEY_PARAM_GROUP_NAME, "SM2", 0) == 1 &&
                OSSL_PARAM_BLD_push_octet_string(pBuilder, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()) == 1 &&
                (!pD || OSSL_PARAM_BLD_push_BN(pBuilder, OSSL_PKEY_PARAM_PRIV_KEY, pD.get()) == 1),
            "SM2 params");
    OSSL_PARAM* pParams = OSSL_PARAM_BLD_to_param(pBuilder);
    OsslKey key = FromData("SM2", pD ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY, pParams);
    OSSL_PARAM_free(pParams);
    OSSL_PARAM_BLD_free(pBuilder);
    return key;
}

Buf OsslSm2PublicOf(const Buf& d)
{
    EC_GROUP* pGroup = EC_GROUP_new_by_curve_name(NID_sm2);
    EC_POINT* pPoint = EC_POINT_new(pGroup);
    Bn pD(BN_bin2bn(d.data(), static_cast<int>(d.size()), nullptr));
    Bn pX(BN_new());
    Bn pY(BN_new());
    const bool bOk = EC_POINT_mul(pGroup, pPoint, pD.get(), nullptr, nullptr, nullptr) == 1 &&
                     EC_POINT_get_affine_coordinates(pGroup, pPoint, pX.get(), pY.get(), nullptr) == 1;
    EC_POINT_free(pPoint);
    EC_GROUP_free(pGroup);
    Require(bOk, "EC_POINT_mul");
    return Concat(BnBytes(pX.get(), 32), BnBytes(pY.get(), 32));
}

Buf OsslSm3(const Buf& data)
{
    return OsslDigest("SM3", data);
}

Buf OsslSm2Z(const Buf& xy)
{
    EC_GROUP* pGroup = EC_GROUP_new_by_curve_name(NID_sm2);
    Bn pP(BN_new());
    Bn pA(BN_new());
    Bn pB(BN_new());
    Bn pGx(BN_new());
    Bn pGy(BN_new());
    const bool bOk =
        EC_GROUP_get_curve(pGroup, pP.get(), pA.get(), pB.get(), nullptr) == 1 &&
        EC_POINT_get_affine_coordinates(pGroup, EC_GROUP_get0_generator(pGroup), pGx.get(), pGy.get(), nullptr) == 1;
    EC_GROUP_free(pGroup);
    Require(bOk, "curve parameters");
    const std::string strId = kSm2Id;
    Buf input{0x00, static_cast<unsigned char>(strId.size() * 8)};
    input = Concat(input, BufOf(strId));
    input = Concat(input, BnBytes(pA.get(), 32));
    input = Concat(input, BnBytes(pB.get(), 32));
    input = Concat(input, BnBytes(pGx.get(), 32));
    input = Concat(input, BnBytes(pGy.get(), 32));
    input = Concat(input, xy);
    return OsslSm3(input);
}

Buf OsslSigDerToRaw(const Buf& der)
{
    const unsigned char* pbyCursor = der.data();
    ECDSA_SIG* pSig = d2i_ECDSA_SIG(nullptr, &pbyCursor, static_cast<long>(der.size()));
    Require(pSig != nullptr, "d2i_ECDSA_SIG");
    Buf raw = Concat(BnBytes(ECDSA_SIG_get0_r(pSig), 32), BnBytes(ECDSA_SIG_get0_s(pSig), 32));
    ECDSA_SIG_free(pSig);
    return raw;
}

Buf OsslSigRawToDer(const Buf& raw)
{
    ECDSA_SIG* pSig = ECDSA_SIG_new();
    ECDSA_SIG_set0(pSig, BN_bin2bn(raw.data(), 32, nullptr), BN_bin2bn(raw.data() + 32, 32, nullptr));
    unsigned char* pbyDer = nullptr;
    const int nSize = i2d_ECDSA_SIG(pSig, &pbyDer);
    ECDSA_SIG_free(pSig);
    Require(nSize > 0, "i2d_ECDSA_SIG");
    Buf der(pbyDer, pbyDer + nSize);
    OPENSSL_free(pbyDer);
    return der;
}

namespace {

EVP_MD_CTX* DigestSignVerifyInit(EVP_PKEY* pKey, bool bSign)
{
    EVP_MD_CTX* pCtx = EVP_MD_CTX_new();
    EVP_PKEY_CTX* pKeyCtx = nullptr;
    // OpenSSL 3.0 takes the id only after initialisation, before the data.
    const int nOk = bSign ? EVP_DigestSignInit_ex(pCtx, &pKeyCtx, "SM3", nullptr, nullptr, pKey, nullptr)
                          : EVP_DigestVerifyInit_ex(pCtx, &pKeyCtx, "SM3", nullptr, nullptr, pKey, nullptr);
    Require(nOk == 1 && EVP_PKEY_CTX_set1_id(pKeyCtx, kSm2Id, strlen(kSm2Id)) == 1,
            "EVP_Digest(Sign|Verify)Init_ex");
    return pCtx;
}

}  // namespace

Buf OsslSm2SignMessage(EVP_PKEY* pKey, const Buf& message)
{
    EVP_MD_CTX* pCtx = DigestSignVerifyInit(pKey, true);
    Buf der(80);
    size_t nSize = der.size();
    const bool bOk = EVP_DigestSign(pCtx, der.data(), &nSize, message.data(), message.size()) == 1;
    EVP_MD_CTX_free(pCtx);
    Require(bOk, "EVP_DigestSign");
    der.resize(nSize);
    return der;
}

bool OsslSm2VerifyMessage(EVP_PKEY* pKey, const Buf& message, const Buf& derSignature)
{
    EVP_MD_CTX* pCtx = DigestSignVerifyInit(pKey, false);
    const int nResult =
        EVP_DigestVerify(pCtx, derSignature.data(), derSignature.size(), message.data(), message.size());
    EVP_MD_CTX_free(pCtx);
    return nResult == 1;
}

Buf OsslSm2CipherDerToRaw(const Buf& der)
{
    const unsigned char* pbyCursor = der.data();
    ASN1_SEQUENCE_ANY* pItems = d2i_ASN1_SEQUENCE_ANY(nullptr, &pbyCursor, static_cast<long>(der.size()));
    Require(pItems != nullptr && sk_ASN1_TYPE_num(pItems) == 4, "SM2 ciphertext DER");
    Buf raw;
    for (int i = 0; i < 2; ++i) {
        ASN1_TYPE* pItem = sk_ASN1_TYPE_value(pItems, i);
        Require(pItem->type == V_ASN1_INTEGER, "INTEGER");
        Bn pNumber(ASN1_INTEGER_to_BN(pItem->value.integer, nullptr));
        raw = Concat(raw, BnBytes(pNumber.get(), 32));
    }
    for (int i = 2; i < 4; ++i) {
        ASN1_TYPE* pItem = sk_ASN1_TYPE_value(pItems, i);
        Require(pItem->type == V_ASN1_OCTET_STRING, "OCTET STRING");
        const unsigned char* pbyData = ASN1_STRING_get0_data(pItem->value.octet_string);
        raw = Concat(raw, Buf(pbyData, pbyData + ASN1_STRING_length(pItem->value.octet_string)));
    }
    sk_ASN1_TYPE_pop_free(pItems, ASN1_TYPE_free);
    return raw;
}

Buf OsslSm2CipherRawToDer(const Buf& raw)
{
    ASN1_SEQUENCE_ANY* pItems = sk_ASN1_TYPE_new_null();
    for (int i = 0; i < 2; ++i) {
        Bn pNumber(BN_bin2bn(raw.data() + 32 * i, 32, nullptr));
        ASN1_TYPE* pItem = ASN1_TYPE_new();
        ASN1_TYPE_set(pItem, V_ASN1_INTEGER, BN_to_ASN1_INTEGER(pNumber.get(), nullptr));
        sk_ASN1_TYPE_push(pItems, pItem);
    }
    const size_t anOffsets[2] = {64, 96};
    const size_t anSizes[2] = {32, raw.size() - 96};
    for (int i = 0; i < 2; ++i) {
        ASN1_OCTET_STRING* pString = ASN1_OCTET_STRING_new();
        ASN1_OCTET_STRING_set(pString, raw.data() + anOffsets[i], static_cast<int>(anSizes[i]));
        ASN1_TYPE* pItem = ASN1_TYPE_new();
        ASN1_TYPE_set(pItem, V_ASN1_OCTET_STRING, pString);
        sk_ASN1_TYPE_push(pItems, pItem);
    }
    unsigned char* pbyDer = nullptr;
    const int nSize = i2d_ASN1_SEQUENCE_ANY(pItems, &pbyDer);
    sk_ASN1_TYPE_pop_free(pItems, ASN1_TYPE_free);
    Require(nSize > 0, "i2d_ASN1_SEQUENCE_ANY");
    Buf der(pbyDer, pbyDer + nSize);
    OPENSSL_free(pbyDer);
    return der;
}

void WritePrivatePem(const ScratchDir& dir, const std::string& strName, EVP_PKEY* pKey)
{
    FILE* pFile = fopen(dir.Path(strName).c_str(), "w");
    Require(pFile != nullptr, "fopen");
    const int nOk = PEM_write_PrivateKey(pFile, pKey, nullptr, nullptr, 0, nullptr, nullptr);
    fclose(pFile);
    Require(nOk == 1, "PEM_write_PrivateKey");
}

void WritePublicPem(const ScratchDir& dir, const std::string& strName, EVP_PKEY* pKey)
{
    FILE* pFile = fopen(dir.Path(strName).c_str(), "w");
    Require(pFile != nullptr, "fopen");
    const int nOk = PEM_write_PUBKEY(pFile, pKey);
    fclose(pFile);
    Require(nOk == 1, "PEM_write_PUBKEY");
}

// ---- RSA ------------------------------------------------------------------

RsaPair CipherRsaPair(int nBits)
{
    unsigned char* pbyPriv = nullptr;
    unsigned char* pbyPub = nullptr;
    int nPriv = 0;
    int nPub = 0;
    Require(Cipher::GenerateRSAKeyPair(nBits, 65537, &pbyPriv, &nPriv, &pbyPub, &nPub) == 0, "GenerateRSAKeyPair");
    RsaPair pair;
    pair.priv = TakeBuf(pbyPriv, nPriv);
    pair.pub = TakeBuf(pbyPub, nPub);
    return pair;
}

OsslKey OsslRsaFromPrivateDer(const Buf& der) { return DecodeRsa(der, EVP_PKEY_KEYPAIR); }

OsslKey OsslRsaFromPublicDer(const Buf& der) { return DecodeRsa(der, EVP_PKEY_PUBLIC_KEY); }

RsaPair OsslSmallRsaPair(int nModulusBytes)
{
    const int nBits = nModulusBytes * 8;
    BN_CTX* pBnCtx = BN_CTX_new();
    Bn pP(BN_new()), pQ(BN_new()), pN(BN_new()), pE(BN_new()), pD(BN_new());
    Bn pP1(BN_new()), pQ1(BN_new()), pPhi(BN_new()), pDmp1(BN_new()), pDmq1(BN_new()), pIqmp(BN_new());
    BN_set_word(pE.get(), 65537);
    bool bOk = false;
    for (int i = 0; i < 1000 && !bOk; ++i) {
        bOk = BN_generate_prime_ex(pP.get(), nBits / 2, 0, nullptr, nullptr, nullptr) == 1 &&
              BN_generate_prime_ex(pQ.get(), nBits - nBits / 2, 0, nullptr, nullptr, nullptr) == 1 &&
              BN_cmp(pP.get(), pQ.get()) != 0 && BN_mul(pN.get(), pP.get(), pQ.get(), pBnCtx) == 1 &&
              BN_num_bits(pN.get()) == nBits && BN_sub(pP1.get(), pP.get(), BN_value_one()) == 1 &&
              BN_sub(pQ1.get(), pQ.get(), BN_value_one()) == 1 &&
              BN_mul(pPhi.get(), pP1.get(), pQ1.get(), pBnCtx) == 1 &&
              BN_mod_inverse(pD.get(), pE.get(), pPhi.get(), pBnCtx) != nullptr;
    }
    bOk = bOk && BN_mod(pDmp1.get(), pD.get(), pP1.get(), pBnCtx) == 1 &&
          BN_mod(pDmq1.get(), pD.get(), pQ1.get(), pBnCtx) == 1 &&
          BN_mod_inverse(pIqmp.get(), pQ.get(), pP.get(), pBnCtx) != nullptr;
    BN_CTX_free(pBnCtx);
    Require(bOk, "small RSA key");
    OSSL_PARAM_BLD* pBuilder = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_BN(pBuilder, OSSL_PKEY_PARAM_RSA_N, pN.get());
    OSSL_PARAM_BLD_push_BN(pBuilder, OSSL_PKEY_PARAM_RSA_E, pE.get());
    OSSL_PARAM_BLD_push_BN(pBuilder, OSSL_PKEY_PARAM_RSA_D, pD.get());
    OSSL_PARAM_BLD_push_BN(pBuilder, OSSL_PKEY_PARAM_RSA_FACTOR1, pP.get());
    OSSL_PARAM_BLD_push_BN(pBuilder, OSSL_PKEY_PARAM_RSA_FACTOR2, pQ.get());
    OSSL_PARAM_BLD_push_BN(pBuilder, OSSL_PKEY_PARAM_RSA_EXPONENT1, pDmp1.get());
    OSSL_PARAM_BLD_push_BN(pBuilder, OSSL_PKEY_PARAM_RSA_EXPONENT2, pDmq1.get());
    OSSL_PARAM_BLD_push_BN(pBuilder, OSSL_PKEY_PARAM_RSA_COEFFICIENT1, pIqmp.get());
    OSSL_PARAM* pParams = OSSL_PARAM_BLD_to_param(pBuilder);
    OsslKey key = FromData("RSA", EVP_PKEY_KEYPAIR, pParams);
    OSSL_PARAM_free(pParams);
    OSSL_PARAM_BLD_free(pBuilder);
    RsaPair pair;
    pair.priv = EncodeRsa(key.get(), EVP_PKEY_KEYPAIR);
    pair.pub = EncodeRsa(key.get(), EVP_PKEY_PUBLIC_KEY);
    return pair;
}

Buf OsslDigest(const char* pszName, const Buf& data)
{
    Buf out(EVP_MAX_MD_SIZE);
    unsigned int nSize = 0;
    EVP_MD* pMd = EVP_MD_fetch(nullptr, pszName, nullptr);
    const bool bOk = pMd != nullptr && EVP_Digest(data.data(), data.size(), out.data(), &nSize, pMd, nullptr) == 1;
    EVP_MD_free(pMd);
    Require(bOk, "EVP_Digest");
    out.resize(nSize);
    return out;
}
