// PKCS#1 DER of RSA keys (RSAPublicKey, two-prime RSAPrivateKey), read and
// written strictly: definite minimal lengths, minimal non-negative INTEGERs,
// nothing after the outer SEQUENCE. Internal to the RSA part of Cipher.
#pragma once

#include <cstddef>

#include "core/crypto/CipherPkeyUtil.h"

namespace CipherRsaDer {

// An unsigned big-endian magnitude without leading zero bytes (empty for 0).
struct Span {
    const unsigned char* pbyData = nullptr;
    size_t nSize = 0;
};

// Component positions, in the order of the DER structures.
enum PublicIndex { kPubN = 0, kPubE, kPublicCount };
enum PrivateIndex { kN = 0, kE, kD, kP, kQ, kDmp1, kDmq1, kIqmp, kPrivateCount };

// The spans point into pbyDer.
bool ParsePublicKey(const unsigned char* pbyDer, size_t nDerSize, Span (&aParts)[kPublicCount]);
bool ParsePrivateKey(const unsigned char* pbyDer, size_t nDerSize, Span (&aParts)[kPrivateCount]);

// Leading zero bytes in the parts are dropped. False when memory runs out or
// the encoding would not fit an int length.
bool EncodePublicKey(const Span (&aParts)[kPublicCount], CipherPkey::Bytes& der);
bool EncodePrivateKey(const Span (&aParts)[kPrivateCount], CipherPkey::Bytes& der);

// Drops leading zero bytes.
Span Magnitude(const unsigned char* pbyData, size_t nSize);

}  // namespace CipherRsaDer
