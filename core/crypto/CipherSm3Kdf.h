// The SM2 key derivation function: SM3 in counter mode (X9.63 KDF with SM3),
// a 32-bit big-endian counter from 1. Internal to core/crypto.
#pragma once

#include <cstddef>
#include <cstdint>

// Fills nOutLen bytes from the nSecretLen bytes of pbySecret (which may be
// empty). Returns false when the digest cannot be computed.
bool CipherSm3Kdf(const uint8_t* pbySecret, size_t nSecretLen, uint8_t* pbyOut, size_t nOutLen);
