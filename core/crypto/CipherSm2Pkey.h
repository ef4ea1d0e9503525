// Library SM2 keys in the private context, built from the token's raw
// forms: d (32 bytes) and X || Y (64 bytes). Internal to the SM2 part of
// Cipher.
#pragma once

#include <cstddef>

#include "core/crypto/CipherPkeyUtil.h"

namespace CipherSm2Pkey {

constexpr size_t kScalarSize = 32;
constexpr size_t kPointSize = 64;

// 1 <= d <= n - 2: the range in which signing ((1 + d)^-1) and decryption
// are defined.
bool IsUsableScalar(const unsigned char* pbyD);

// Null when d is out of range or the library cannot take it.
CipherPkey::PkeyPtr PrivateFromScalar(const unsigned char* pbyD);
// Null when (X, Y) is not a point of the curve.
CipherPkey::PkeyPtr PublicFromPoint(const unsigned char* pbyX, const unsigned char* pbyY);

}  // namespace CipherSm2Pkey
