// Sealing of secret bytes under a pass string bound to this machine and
// this login account: the PIN verifier of a token is sealed under the user
// PIN, private keys under the token info string.
//
// The pass string is the user identity string, "#", then the secret text.
// A sealed blob is the bare SM4-CBC ciphertext (PKCS#7 padding, key and IV
// from the SM3 counter KDF over the pass string): 16 * (n / 16 + 1) bytes
// for n plain bytes, no header and no integrity tag.  Opening with a wrong
// pass string usually fails the padding check (NTE_FAIL) but can also
// return wrong bytes, so callers that need proof compare what comes out.
//
// Blocks handed out are array-new'd and released by the caller with
// delete[]; on failure nothing is handed out and the out arguments are left
// untouched.
#pragma once

#include <cstdint>

#include "core/token/ResultCodes.h"

// The user identity string in a new block: machine identity, then the
// serial part (empty on Linux), then the login name, without separators.
// A part the platform does not deliver is left out.
RESULT GetUserInfo(char** ppszUserInfo);

// Seals nDataInSize plain bytes under pszPIN (an empty text is allowed).
RESULT CreateProtectData(const uint8_t* pbyDataIn, long nDataInSize, const char* pszPIN,
                         uint8_t** ppbyDataOut, int* pnDataOutSize);

// Opens a sealed blob under pszPIN; the caller wipes the plain bytes
// before releasing them.
RESULT AcquireProtectData(const uint8_t* pbyDataIn, long nDataInSize, const char* pszPIN,
                          uint8_t** ppbyDataOut, int* pnDataOutSize);
