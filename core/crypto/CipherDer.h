// The few DER pieces the key and ciphertext formats need: strict reading of
// one tag-length-value, and writing of headers and unsigned INTEGERs.
// Internal to Cipher.
#pragma once

#include <cstddef>

namespace CipherDer {

constexpr unsigned char kTagInteger = 0x02;
constexpr unsigned char kTagOctetString = 0x04;
constexpr unsigned char kTagSequence = 0x30;

// Reads the element at pbyCursor if it carries byTag, with a definite,
// minimally encoded length that fits before pbyEnd; moves the cursor past it.
bool ReadTlv(const unsigned char*& pbyCursor, const unsigned char* pbyEnd, unsigned char byTag,
             const unsigned char*& pbyContent, size_t& nContentSize);

// Reads a minimally encoded, non-negative INTEGER and gives its magnitude
// without leading zero bytes (empty for 0).
bool ReadUnsignedInteger(const unsigned char*& pbyCursor, const unsigned char* pbyEnd,
                         const unsigned char*& pbyMagnitude, size_t& nMagnitudeSize);

// Size of a whole element with nContentSize content bytes.
size_t ElementSize(size_t nContentSize);
unsigned char* WriteHeader(unsigned char* pbyOut, unsigned char byTag, size_t nContentSize);

// Unsigned big-endian bytes as an INTEGER (leading zero bytes are dropped).
size_t IntegerElementSize(const unsigned char* pbyValue, size_t nValueSize);
unsigned char* WriteInteger(unsigned char* pbyOut, const unsigned char* pbyValue, size_t nValueSize);

// Drops leading zero bytes.
void StripLeadingZeros(const unsigned char*& pbyData, size_t& nSize);

}  // namespace CipherDer
