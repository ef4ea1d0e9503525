// Base64 text (RFC 4648 alphabet, "=" padding, 76-character lines joined by
// CR LF) for certificates imported or exported as text.  The results are
// new blocks that the caller releases with delete[].
#pragma once

#include <cstdint>

#include "core/token/ResultCodes.h"

// Encoding flags, tested bit by bit.
constexpr int BASE64_FLAG_NOPAD = 1;   // no "=" after a final short group
constexpr int BASE64_FLAG_NOCRLF = 2;  // no line breaks at all

// The buffer capacity the encoder needs for nSrcLen bytes: an upper bound
// of what it writes, not the written count.  -1 for a negative length.
int64_t Base64EncodeGetRequiredLength(int nSrcLen, int nFlags);

// Encodes nDataLen bytes.  On success *ppbyOut is a new zero-terminated
// block and nOutLen the number of characters.  0x57 for a negative length
// or one whose text would not fit an int; E_FAIL for null data.
RESULT Base64EncodeEx(const unsigned char* pbyData, int nDataLen, unsigned char** ppbyOut, int& nOutLen,
                      int nFlags);

// Decodes nTextLen characters (no terminator needed).  Characters outside
// the alphabet are skipped; a zero byte where a group of four would start
// ends the text.  On success *ppbyOut is a new block of nTextLen bytes of
// which the first nOutLen are the data.  E_FAIL for a length of 0 or less
// or null text.
RESULT Base64DecodeEx(const unsigned char* pbyText, int nTextLen, unsigned char** ppbyOut, int& nOutLen);
