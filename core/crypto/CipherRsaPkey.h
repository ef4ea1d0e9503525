// Library RSA keys in the private context, built from PKCS#1 DER or from
// components. Internal to the RSA part of Cipher.
#pragma once

#include "core/crypto/CipherPkeyUtil.h"
#include "core/crypto/CipherRsaDer.h"

namespace CipherRsaPkey {

// n and e must be non-zero.
CipherPkey::PkeyPtr PublicFromParts(const CipherRsaDer::Span (&aParts)[CipherRsaDer::kPublicCount]);
CipherPkey::PkeyPtr PrivateFromParts(const CipherRsaDer::Span (&aParts)[CipherRsaDer::kPrivateCount]);

// Null when the DER does not decode to a usable key; pnModulusSize (if
// given) receives the modulus length in bytes.
CipherPkey::PkeyPtr PublicFromDer(const unsigned char* pbyDer, int nDerSize, int* pnModulusSize);
CipherPkey::PkeyPtr PrivateFromDer(const unsigned char* pbyDer, int nDerSize, int* pnModulusSize);

}  // namespace CipherRsaPkey
