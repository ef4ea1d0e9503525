// The SM2 signer's Z value under the default user identity. Internal to
// core/crypto.
#pragma once

#include <cstdint>

constexpr int SM2_COORDINATE_LEN = 32;
constexpr int SM2_Z_LEN = 32;

// Z = SM3(ENTL || ID || a || b || xG || yG || xA || yA) with ID the 16-byte
// default identity "1234567812345678" and the recommended 256-bit curve.
// X and Y are taken as full 32-byte coordinates, leading zero bytes
// included. Returns false when the digest cannot be computed.
bool CipherSm2DefaultZ(const uint8_t* pbyPubKeyX, const uint8_t* pbyPubKeyY, uint8_t* pbyZ);
