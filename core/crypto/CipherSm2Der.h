// The library's SM2 ciphertext, DER SEQUENCE { INTEGER x1, INTEGER y1,
// OCTET STRING C3, OCTET STRING C2 }, against the token's raw pieces.
// Internal to the SM2 part of Cipher.
#pragma once

#include <cstddef>

#include "core/crypto/CipherPkeyUtil.h"

namespace CipherSm2Der {

constexpr size_t kC1Size = 64;  // x1 || y1, 32 bytes each
constexpr size_t kC3Size = 32;  // SM3 value

// Raw C1 || C3 || C2 from the DER form; x1 and y1 are left-padded to 32
// bytes. False for anything but exactly that structure.
bool DerToRaw(const unsigned char* pbyDer, size_t nDerSize, CipherPkey::Bytes& raw);

// The DER form from the raw pieces; leading zero bytes of x1 and y1 are
// dropped as DER requires.
bool RawToDer(const unsigned char* pbyC1, const unsigned char* pbyC3, const unsigned char* pbyC2, size_t nC2Size,
              CipherPkey::Bytes& der);

}  // namespace CipherSm2Der
