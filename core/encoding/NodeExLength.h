// DER length octets, shared by the node tree's encoder and decoder.
#pragma once

#include <cstdint>

// 1 for lengths below 128, else 1 + the bytes of the length (at most 9).
uint64_t ASN1LengthOctetCount(uint64_t nLength);
// Writes the length octets (room for 9 needed); returns their count.
uint64_t ASN1WriteLength(uint64_t nLength, unsigned char* pbyOut);
