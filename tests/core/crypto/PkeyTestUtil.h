// Shared pieces of the RSA and SM2 tests. Everything named Ossl... does its
// work directly with OpenSSL in its default context, as the independent
// implementation the token's results are checked against.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>

using Buf = std::vector<unsigned char>;

// Takes over a buffer handed out by Cipher (array new).
Buf TakeBuf(unsigned char* pbyData, int nSize);
Buf BufOf(const std::string& strText);
Buf Concat(const Buf& a, const Buf& b);

// A folder under the build tree, removed with the object.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string Path(const std::string& strName) const;
    void Write(const std::string& strName, const Buf& data) const;
    Buf Read(const std::string& strName) const;

private:
    std::string m_strPath;
};

// Runs a shell command; true when it exits with status 0. Its output goes
// to the test log.
bool RunCommand(const std::string& strCommand);

struct PkeyDeleter {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
using OsslKey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;

// ---- SM2 ------------------------------------------------------------------
extern const char* const kSm2Id;  // "1234567812345678"

// A Cipher key pair in its raw forms.
struct Sm2Pair {
    Buf d;   // 32
    Buf xy;  // 64
};
Sm2Pair CipherSm2Pair();
// Generates with Cipher until the pair satisfies the condition.
Sm2Pair CipherSm2PairWhere(const std::function<bool(const Sm2Pair&)>& fnWanted);

// OpenSSL keys from the raw forms (d may be empty for a public key only).
OsslKey OsslSm2Key(const Buf& d, const Buf& xy);
// X || Y of d * G, computed by OpenSSL.
Buf OsslSm2PublicOf(const Buf& d);
Buf OsslSm3(const Buf& data);
// Z of GB/T 32918.2 with the id "1234567812345678", from the curve
// parameters OpenSSL reports.
Buf OsslSm2Z(const Buf& xy);
// DER ECDSA-Sig-Value <-> r || s (32 bytes each).
Buf OsslSigDerToRaw(const Buf& der);
Buf OsslSigRawToDer(const Buf& raw);
// SM3-with-Z signature over M with the id set explicitly.
Buf OsslSm2SignMessage(EVP_PKEY* pKey, const Buf& message);
bool OsslSm2VerifyMessage(EVP_PKEY* pKey, const Buf& message, const Buf& derSignature);
// The library's SM2 ciphertext DER <-> C1 || C3 || C2.
Buf OsslSm2CipherDerToRaw(const Buf& der);
Buf OsslSm2CipherRawToDer(const Buf& raw);

void WritePrivatePem(const ScratchDir& dir, const std::string& strName, EVP_PKEY* pKey);
void WritePublicPem(const ScratchDir& dir, const std::string& strName, EVP_PKEY* pKey);

// ---- RSA ------------------------------------------------------------------
struct RsaPair {
    Buf priv;  // PKCS#1 RSAPrivateKey DER
    Buf pub;   // PKCS#1 RSAPublicKey DER
};
RsaPair CipherRsaPair(int nBits);
OsslKey OsslRsaFromPrivateDer(const Buf& der);
OsslKey OsslRsaFromPublicDer(const Buf& der);
// A key of exactly nModulusBytes bytes built by hand from two primes, for
// sizes below what key generation allows; PKCS#1 DER from OpenSSL's encoder.
RsaPair OsslSmallRsaPair(int nModulusBytes);
Buf OsslDigest(const char* pszName, const Buf& data);
